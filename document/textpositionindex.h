#pragma once

#include "fenwicktree.h"

#include <QObject>
#include <QString>

#include <vector>

class QTextDocument;

// Keeps the CP932 byte length and character count of every paragraph of a QTextDocument, updated
// from the document's change notifications, so that byte positions, document positions and
// character counts convert in O(log n) plus the length of one paragraph, never a whole scan.
//
// Byte positions count the document as written in CP932: paragraphs joined by CR LF (two bytes,
// two characters), no break after the last one (see SjisText for the characters themselves).
class TextPositionIndex : public QObject {
    Q_OBJECT
public:
    explicit TextPositionIndex(QTextDocument *document, QObject *parent = nullptr);

    // Bulk changes (loading a file) are measured once at the end instead of once per edit.
    void suspend();
    void resume();
    // A change the document has made but not reported yet (inside an edit block, which reports
    // once at its end): followed now, so that positions stay right in between.
    void noteChange(int position, int charsRemoved, int charsAdded) { onContentsChange(position, charsRemoved, charsAdded); }

    qint64 byteLength() const;
    qint64 characterCount() const;

    // Byte position of a document position (clamped to the document).
    qint64 bytePosition(int documentPosition) const;
    // Document position of a byte position (clamped; a byte inside a character, or the LF of a
    // paragraph break, snaps to the character's start).
    int documentPosition(qint64 bytePosition) const;
    // Characters whose first byte lies before byte position n (0 when n <= 0).
    qint64 charactersBefore(qint64 n) const;

    // A caret's byte position, the characters before it, and the byte position of an earlier
    // place in its paragraph (the start of its display line), from one look at the paragraph:
    // what bytePosition(), charactersBefore() and bytePosition() again would answer.
    struct CaretBytes {
        qint64 byte = 0;
        qint64 charactersBefore = 0;
        qint64 lineStartByte = 0;
    };
    CaretBytes caretBytes(int documentPosition, int lineStartPosition) const;

private:
    struct Paragraph {
        qint64 bytes; // without the break
        qint64 characters;
    };

    void onContentsChange(int position, int charsRemoved, int charsAdded);
    // A pure insertion into one paragraph; false when the paragraph must be measured anew.
    bool followInsertion(int blockNumber, int position, int charsAdded);
    bool followRemoval(int blockNumber, int position, int charsRemoved);
    // Changes one paragraph's measure, and the sums when they are up to date.
    void addToMeasure(int blockNumber, qint64 bytes, qint64 characters);
    void rebuild();
    void rebuildTrees() const;
    Paragraph measureBlockNumber(int blockNumber) const;
    // Index of the paragraph holding byte position pos, with pos made relative to its start.
    int paragraphAtByte(qint64 &pos) const;

    // Offsets inside one paragraph (block number `number`), as SjisText counts them in its text.
    qint64 byteOffsetIn(int number, qsizetype utf16Offset) const;
    qsizetype utf16OffsetIn(int number, qint64 byteOffset) const;
    qint64 charactersBeforeIn(int number, qint64 byteOffset) const;

    // The text of the long paragraph last looked into, with the counts at checkpoints every
    // Stride units (never between the halves of a pair): an offset inside it costs a scan of
    // at most Stride units, not a copy and a scan of the whole paragraph (a page of a 10 MB line
    // would cost the whole line). Text typed into it or deleted from it moves the checkpoints
    // behind; any other change forgets it.
    struct LongParagraph {
        static constexpr int MinimumUnits = 8192;
        static constexpr int Stride = 1024;
        int blockNumber = -1;
        QString text;
        std::vector<qsizetype> units;
        std::vector<qint64> bytes;
        std::vector<qint64> characters;
        void insert(qsizetype at, QStringView added, qint64 addedBytes, qint64 addedCharacters);
        void remove(qsizetype at, qsizetype removed, qint64 removedBytes, qint64 removedCharacters);
    };
    // The paragraph's cache, or null when it is short (its text is then copied and scanned).
    const LongParagraph *longParagraph(int number) const;
    // The last checkpoint at or before a UTF-16 offset, or a byte offset.
    static size_t checkpointAtUnit(const LongParagraph &p, qsizetype utf16Offset);
    static size_t checkpointAtByte(const LongParagraph &p, qint64 byteOffset);

    QTextDocument *m_document;
    std::vector<Paragraph> m_paragraphs;
    // Per paragraph, bytes and characters including the two of its break.
    mutable FenwickTree m_byteTree;
    mutable FenwickTree m_characterTree;
    mutable bool m_treesStale = true;
    mutable LongParagraph m_long;
    bool m_suspended = false;
};
