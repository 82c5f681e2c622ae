#pragma once

#include <QByteArray>
#include <QPointer>
#include <QTextList>
#include <QString>
#include <QTextFormat>
#include <QTextCursor>
#include <QTextListFormat>

#include <map>
#include <unordered_map>
#include <utility>

class QTextBlock;

// Numbered lists in RTF. A word processor numbers a paragraph by its list (\lsN, an entry of
// the \listoverridetable) and level (\ilvlN), and writes the number it shows in a {\listtext}
// group; older writers give {\*\pn} and {\pntext}. The document keeps them as QTextLists, one per
// list and level, that draw their own numbers; their level is a property of the list's format
// (the paragraph's own indent places it). Bulleted paragraphs are in lists of the bullet style,
// one a level too, each drawing the level's marker: a disc, a circle or a square.
namespace RtfLists {

// The level of a list: 0 for the outermost.
constexpr int LevelProperty = QTextFormat::UserProperty + 0x4c53;
constexpr int MaxLevel = 8;
// Paragraphs in one list: past this a new list starts (numbering from 1 again). Adding an item
// to a list of n costs Qt n steps, so this keeps reading a long list linear.
constexpr int MaxItems = 1000;

// The style a \levelnfcN gives: ListStyleUndefined for bullets and forms not drawn.
QTextListFormat::Style styleOfLevelFormat(int levelFormat);
// The style that a marker ("1.", "(a)", "iv)") shows, for writers without a list table.
QTextListFormat::Style styleOfMarker(QStringView marker);
QTextListFormat numberedFormat(QTextListFormat::Style style, int level);
// True for a list that draws numbers or letters.
bool isNumbered(const QTextList *list);
// The level of a list's items, 0 to MaxLevel; 0 for no list.
int levelOf(const QTextList *list);

// The bullet a level draws: the one the file's marker text shows ("•", "◦", "▪" and the symbol
// fonts' forms), else the level's own (disc, circle, square, and again from the fourth level).
QTextListFormat::Style bulletStyle(QStringView marker, int level);
QTextListFormat bulletFormat(QTextListFormat::Style style, int level);

// The numbered lists of a document as it is read: a paragraph of list `number` at `level` goes
// into the list that level's paragraphs are in, and a paragraph at a level ends the lists below
// it (the next item down numbers from 1).
class Reading {
public:
    void place(QTextCursor &cursor, QTextListFormat::Style style, int number, int level);

private:
    using Key = std::pair<int, int>;
    std::map<Key, QPointer<QTextList>> m_lists;
};

// The lists of a document as it is written. Each numbered list is a \list of its own (all
// levels in its style) with an override numbered from `firstNumber`. Bulleted paragraphs are
// all in list 1 (\ls1), at their level (\ilvlN); each level of it draws the bullet its first
// paragraph shows, and each paragraph's own bullet goes with it in the \pn style.
class Writing {
public:
    explicit Writing(int firstNumber) : m_next(firstNumber) { }
    void collect(const QTextBlock &block);
    bool isEmpty() const { return m_numbers.empty(); }
    bool hasBullets() const { return m_hasBullets; }
    // The list number and level of the block's paragraph; 0 when it is in no numbered list.
    std::pair<int, int> numberOf(const QTextBlock &block) const;
    // The \list entries and \listoverride entries, to go into the two tables.
    QByteArray listEntries() const;
    QByteArray overrideEntries() const;
    // The bulleted lists' \list entry; the disc is drawn from the Symbol font `symbolFont`.
    QByteArray bulletEntry(int symbolFont) const;
    // "{\listtext 1.\tab}": the number for readers that draw none.
    static QByteArray listText(const QTextBlock &block);
    // A bullet style's \pn group and {\pntext} marker.
    static QByteArray bulletPn(QTextListFormat::Style style, int symbolFont);
    static QByteArray bulletText(QTextListFormat::Style style, int symbolFont);

private:
    std::unordered_map<const QTextList *, int> m_numbers;
    std::map<int, QTextListFormat::Style> m_styles; // by number, in order
    QTextListFormat::Style m_bulletStyles[MaxLevel + 1] = {}; // 0: no paragraph at the level
    bool m_hasBullets = false;
    int m_next;
};

} // namespace RtfLists
