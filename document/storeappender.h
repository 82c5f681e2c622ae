#pragma once

#include <QString>
#include <QStringView>

class QTextDocument;
class QTextDocumentPrivate;

// Appends text and paragraph breaks at the end of a document straight into the document's own
// store, each in constant time, for reading files.
//
// Qt's way (QTextCursor::insertText, or the store's insertBlock) finds the place of every
// insertion in both of the store's trees again, copies both formats, walks every cursor of the
// document and records the change: some 6,000 instructions a paragraph break, most of the time
// it takes to read a file of a million empty paragraphs. The appender keeps where the document
// ends and adds each piece there the way the store itself would, with the same fragments,
// blocks, formats and revisions; when it finishes, the cursors and the change are brought up to
// date once, as one insertion of everything it added.
//
// While it appends, nothing else may read or change the document (no cursor, no layout, no
// block): finish() first. It works only where nothing else would have happened at an insertion:
// undo off, no block limit, formats that belong to no frame, table or list (usable() and
// accepts() say so); where not, the caller inserts the usual way.
class StoreAppender {
public:
    explicit StoreAppender(QTextDocument &document);
    ~StoreAppender();
    StoreAppender(const StoreAppender &) = delete;
    StoreAppender &operator=(const StoreAppender &) = delete;

    // Whether this document can be appended to: undo recording off, no limit on its blocks.
    bool usable() const { return m_usable; }
    // Whether a paragraph break in these formats (indexes in the document's format collection)
    // needs nothing but the store: the block format belongs to no list and the character format
    // to no frame. Text is accepted in any character format that belongs to no frame.
    bool acceptsBreak(int blockFormat, int charFormat) const;
    bool acceptsText(int charFormat) const;

    // Text without paragraph separators or frame marks, at the end, in that character format.
    void appendText(QStringView text, int charFormat);
    // A paragraph break at the end: the paragraph so far ends with a separator in `charFormat`,
    // and the new last paragraph has `blockFormat`.
    void appendBreak(int blockFormat, int charFormat);

    // The document position where the next text goes (before the final paragraph separator).
    int position() const;
    // How many characters were appended and not yet announced.
    int pending() const { return m_added; }

    // Moves the document's cursors and reports the change, as one insertion of all that was
    // appended since the last finish; the document is then as if Qt had made every insertion.
    void finish();

    // What is wrong with a document's store, or empty when nothing is: both trees well linked,
    // balanced and summed, every paragraph ended by a separator, no separator inside a text
    // fragment. For tests and the fuzz targets; costs a walk over the whole store.
    static QString storeFault(const QTextDocument &document);

private:
    bool formatHasObject(int format) const;
    void begin();
    unsigned addBeforeLast(unsigned size);

    QTextDocument &m_document;
    QTextDocumentPrivate *m_store = nullptr;
    bool m_usable = false;
    bool m_ownEditBlock = false;
    int m_from = -1; // where the appended characters start
    int m_added = 0;
    // While appending: the final separator's fragment, the one before it, the last paragraph.
    unsigned m_last = 0;
    unsigned m_beforeLast = 0;
    unsigned m_lastBlock = 0;
    mutable int m_plainFormat = -1; // the last format found to belong to no object
};
