#pragma once

#include "paragraphitems.h"

#include <QTextBlockFormat>
#include <QTextOption>

#include <memory>
#include <vector>

class QTextBlock;
class QTextLayout;

// Breaks one paragraph's text into display lines, in the paragraph's own QTextLayout, the way the
// editor's document layout places them: the same widths, indents, line heights and break rules
// as Qt's document layout, so that a paragraph breaks the same in either.
//
// A paragraph's lines can be kept across an edit (takeLines) and then reused: the lines before
// the one preceding the edit stay as they are, breaking starts again there and stops as soon as
// a new line begins where an old one did behind the edit; the old lines from there on are moved
// into place. Only the lines in between are shaped and broken, so one keystroke in a paragraph
// of 300,000 characters costs its few changed lines, not the paragraph.
namespace ParagraphLines {

// Where a paragraph's lines go, in the layout's 1/64 pixel units, relative to the paragraph's
// layout position (its top left, at the left edge of the frame's content).
struct Geometry {
    qint64 left = 0; // where the lines begin (the left indent)
    qint64 right = 0; // where they end (the content width less the right indent)
    qint64 textIndent = 0; // the first line's extra indent
    Qt::LayoutDirection direction = Qt::LeftToRight;
    qreal scaling = 1; // device dots per layout pixel, for fixed line heights
    QTextOption option;
    QTextBlockFormat format;
};

// What a layout came to.
struct Result {
    qint64 height = 0; // from the first line's top to the last line's bottom, 1/64 pixel
    int lines = 0;
    qint64 widest = 0; // furthest right any line reaches from the layout's position, 1/64 pixel
    bool reused = false; // some old lines were kept (for the tests)
    qint64 brokenCharacters = 0; // of the lines broken by this layout (the others were moved)
    bool complete = true; // false: the lines so far of a paragraph laid out in part (layOutPart)
    int characters = 0; // the text the lines hold, from the paragraph's start
};

// The first lines of a paragraph laid out in part, and where breaking goes on. They are kept
// out of the paragraph's layout between uses (hide, show), so that whoever reads the layout
// sees none and asks for the paragraph to be laid out whole; the layout keeps its shaping.
class PartialLines {
public:
    ~PartialLines();
    PartialLines(const PartialLines &) = delete;
    PartialLines &operator=(const PartialLines &) = delete;

    // Puts the lines back into the layout, for drawing; hide() takes them out again.
    void show(QTextLayout *layout);
    void hide(QTextLayout *layout);
    // The text position (from the paragraph's start) the lines end at.
    int end() const;
    // The line holding a text position, counted from the paragraph's first line, or -1 when
    // the lines do not reach it; with `start`, where that line starts. Hidden lines only.
    int lineAt(int position, int *start = nullptr) const;

    struct Data;

private:
    friend Result layOutPart(QTextLayout *, const Geometry &, std::unique_ptr<PartialLines> &, qint64, int);
    explicit PartialLines(std::unique_ptr<Data> data);
    std::unique_ptr<Data> d;
};

// Lays out a paragraph from its start, or on from `part` (shown or hidden), until its lines
// reach `height` (1/64 pixel from its top) or hold `characters`, or the text ends. Only the text
// of those lines is shaped. Complete, `part` is let go and the layout holds all the lines, as
// layOut() leaves it; else `part` holds the lines so far, shown.
Result layOutPart(QTextLayout *layout, const Geometry &geometry, std::unique_ptr<PartialLines> &part, qint64 height,
                  int characters);

// The break rules Qt found for each character of a paragraph at its last layout (where a line may
// break, grapheme and white space marks). Qt finds them for a whole paragraph at once; kept, they
// let a layout after an edit analyse only the text around the edit.
struct CharacterRules {
    const QTextLayout *layout = nullptr; // whose they are
    std::vector<unsigned char> rules;
    std::vector<ParagraphItems::Item> items; // its runs, when they can be taken over (ParagraphItems)
};
// Keeps the rules of a paragraph just laid out (when Qt has them), replacing `rules`'s.
void keepRules(const QTextLayout *layout, CharacterRules &rules);

// The lines of a paragraph as they were before an edit, with where the edit was.
class KeptLines {
public:
    ~KeptLines();
    KeptLines(const KeptLines &) = delete;
    KeptLines &operator=(const KeptLines &) = delete;

    // Another edit in the same paragraph before it was laid out again: start and the removed
    // and added lengths in characters of the paragraph's text as it is before this edit.
    void addEdit(int start, int removed, int added);
    // The text length the kept lines expect the paragraph to have now.
    int expectedLength() const;
    // For lines copied before the edit was known (copyLines): the edit, once.
    void setEdit(int start, int removed, int added);

    struct Data; // opaque: the text engine's lines

private:
    friend std::unique_ptr<KeptLines> takeLines(QTextLayout *, qint64, int, int, int, CharacterRules *);
    friend std::unique_ptr<KeptLines> copyLines(const QTextLayout *, qint64);
    friend Result layOut(QTextLayout *, const Geometry &, KeptLines *);
    explicit KeptLines(std::unique_ptr<Data> data);
    std::unique_ptr<Data> d;
};

// Lays the paragraph out in full, or, given the lines it had before an edit, again from the line
// before the edit. The lines are placed from y 0 down.
Result layOut(QTextLayout *layout, const Geometry &geometry, KeptLines *kept = nullptr);

// Takes the lines out of a paragraph's layout (which is left without lines) after an edit of
// its text: `start`, `removed` and `added` in characters of the text the lines were made for.
// `height` is the paragraph's height as those lines placed it. Null when the layout had no
// lines, or holds text that is not the paragraph's own (an input method's preedit).
// `rules`, when they are this layout's, go with the lines.
std::unique_ptr<KeptLines> takeLines(QTextLayout *layout, qint64 height, int start, int removed, int added,
                                     CharacterRules *rules = nullptr);

// A copy of a paragraph's lines, its input method's preedit included, taken before a change
// whose extent is only known after it (an input method's event): see KeptLines::setEdit. Null
// when the layout has no lines.
std::unique_ptr<KeptLines> copyLines(const QTextLayout *layout, qint64 height);

// The text a paragraph's layout breaks: its own, with the preedit where it stands.
QString layoutText(const QTextLayout *layout);

// The text layout Qt keeps for a paragraph, or null when it has none: unlike
// QTextBlock::layout(), never makes one.
QTextLayout *existingLayout(const QTextBlock &block);

// The line of a laid-out paragraph holding the character at `offset` (from the paragraph's
// start; the last line for one past its end), by halving over the lines' starts alone:
// QTextLayout::lineForTextPosition walks the lines from the first, and itemizes the
// paragraph's text again when its text changed since. -1 when the layout has no lines.
int lineNumberAt(const QTextLayout &layout, int offset);
// Frees that layout; the next use of the paragraph makes a new one.
void freeLayout(const QTextBlock &block);
// Readies a paragraph that has no lines to say so: asked for the line of a position, Qt's layout
// first analyses the whole paragraph (its scripts and directions: a third of a second for 8 MB),
// and throws that away when the paragraph is laid out. Taking its text is enough to answer
// "none". No-op for a paragraph with lines.
void answerWithoutLines(const QTextBlock &block);

} // namespace ParagraphLines
