#pragma once

#include "pagesetup.h"
#include "textform.h"
#include "textformats.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include <memory>
#include <vector>

class BackgroundLoad;
class EditorDocumentLayout;
class FormatRangeRenderer;
class QTextCharFormat;
class QTextCursor;
class QTextDocumentFragment;
class QTextDocument;
class TextPositionIndex;
struct FormatRange;

// Which stream a load reads or a save writes.
enum class StreamFormat { Rtf, PlainText };

// Groups kept from an RTF file (see RtfKept) that a save no longer finds, the text they stood at
// deleted since the file was read or last saved, by what they were. A bookmark or annotation
// counts once for its start and end.
struct DroppedGroups {
    int footnotes = 0;
    int fields = 0;
    int bookmarks = 0;
    int annotations = 0;
    int others = 0;
    int total() const { return footnotes + fields + bookmarks + annotations + others; }
};

// Characters a plain-text save had to write as "?", CP932 having no form for them.
struct Unsaveable {
    qint64 count = 0;
    char32_t first = 0; // the first of them
    int line = 0; // its line in the text written, from 1
    int documentPosition = -1; // where it stands in the document
    // What text cannot hold at all, however it is encoded: pictures, tables (their cells are
    // written as text, their structure is lost) and groups kept from an RTF file (footnotes,
    // headers, fields...), and where the first of them stands.
    int pictures = 0;
    int tables = 0;
    int keptGroups = 0;
    int firstLostPosition = -1;
    DroppedGroups dropped; // by either save
    bool losesContent() const { return pictures > 0 || tables > 0 || keptGroups > 0; }
};

// Find options, with the editor's flag values.
enum FindFlag : int { FindWholeWord = 2, FindMatchCase = 4 };

// The editor's document in the editor's units, over a QTextDocument: positions in bytes of the
// document's CP932 text (a double-byte character 2, a paragraph break CR LF 2), display lines,
// character and paragraph formats in twips, find, the load and save streams and format-range
// rendering. Holds no widget: the editor control and the converter share it.
class RichDocument : public QObject {
    Q_OBJECT
public:
    explicit RichDocument(QTextDocument *document, QObject *parent = nullptr);
    ~RichDocument() override;

    QTextDocument *document() const { return m_document; }
    // The document's layout, which this object installs (see EditorDocumentLayout).
    EditorDocumentLayout *layout() const { return m_layout; }

    // -- Positions (bytes) --
    qint64 textLength() const;
    qint64 characterCount() const;
    qint64 bytePosition(int documentPosition) const;
    int documentPosition(qint64 bytePosition) const;
    // Characters whose first byte lies within the first n bytes.
    qint64 charactersBefore(qint64 n) const;
    // Display lines of the document's layout, from 0.
    int lineFromByte(qint64 bytePosition);
    // First byte position of a line, -1 when the document has no such line.
    qint64 lineStartByte(int line);
    // All a caret's displays need, from one look at its paragraph: its byte position, the
    // characters before it, its display line and that line's first byte position.
    struct CaretPlace {
        qint64 byte = 0;
        qint64 charactersBefore = 0;
        int line = 0;
        qint64 lineStartByte = 0;
        // False: the line counts paragraphs before it that are not laid out yet by their
        // estimated lines (the rest is exact: the caret's own paragraph is laid out).
        bool exact = true;
    };
    CaretPlace caretPlace(int documentPosition);
    // The same after at most about `budgetMs` of laying out the paragraphs before the position;
    // while some still need it (a long text just opened, a change all over it), with the line
    // estimated for those.
    CaretPlace caretPlace(int documentPosition, int budgetMs);
    int lineCount();

    // The whole text in CP932 with CR LF between paragraphs (and after each table cell, as
    // positions count it); plainText() as a text file has it (a row's cells joined by tabs).
    QByteArray text() const;
    QString plainText() const;

    // -- Formats --
    // The format of text that sets nothing itself. Setting it changes the document's default font.
    const CharFormat &defaultCharFormat() const { return m_defaultFormat; }
    void setDefaultCharFormat(const CharFormat &format);
    // Gives the document's fonts the resolution of its layout's device, after the device
    // changed (a view's zoom), so that laying the text out and drawing it reuse resolved fonts
    // (see TextFormats::atResolutionOf). Copies of the document take the default resolution.
    void followLayoutResolution();
    // The colour an automatic colour reads as: the editor's text colour on the screen, which
    // follows the desktop's theme; black until an editor sets it. Paper prints automatic text
    // black whatever this is (see FormatRangeRenderer).
    void setWindowTextColor(const QColor &color) { m_windowText = color; }
    QColor windowTextColor() const { return m_windowText; }

    // The selection's format: that of its first character, or with no selection the format
    // new text at the cursor takes.
    CharFormat charFormat(const QTextCursor &cursor) const;
    // Merges the masked fields into the selection, or into the cursor's format for new text.
    // A selection that would read the same afterwards is left as it is (no step in the history).
    void setCharFormat(QTextCursor &cursor, const CharFormat &format) const;
    // The format of the paragraph at the selection's start.
    ParaFormat paraFormat(const QTextCursor &cursor) const;
    // Writes the masked fields to every paragraph the selection touches, as one undo step;
    // paragraphs that already have them are left alone (no step when none changes).
    // Numbering none sets the left indent to 0; a bullet raises a left indent below 10 pt to
    // 10 pt; a left indent written in the same call is taken as it is.
    void setParaFormat(const QTextCursor &cursor, const ParaFormat &format);

    // -- Find --
    // First hit of text lying within [minBytes, maxBytes) (maxBytes -1: to the end) with the
    // FindFlag options; its byte position, or -1. CR LF in text matches a paragraph break.
    // A line break matches only between two paragraphs of the same flow: never across the end
    // of a table cell, nor into or out of a table.
    qint64 find(const QString &text, qint64 minBytes, qint64 maxBytes, int flags) const;
    // Bytes a hit of text spans: a line break in it (CR LF, CR or LF) spans a paragraph break, 2.
    static qint64 findLength(const QString &text);

    // -- Streams --
    // Replaces the whole content. Rtf reads data starting with "{\rtf" as RTF (as far as it can
    // be read) and anything else as plain text; PlainText reads it all as text. Text read as
    // text takes textFormat. Clears the undo history.
    void load(QByteArrayView data, StreamFormat format, const QTextCharFormat &textFormat);
    // The same from data in pieces (see DocumentFile::readPieces), letting each go once read.
    // Rest::Later: of a text longer than LaterBytes, only the start is read now; the rest is
    // appended between the program's events (see isLoading()).
    enum class Rest { AtOnce, Later };
    static constexpr qint64 LaterBytes = qint64(8) << 20;
    static constexpr qint64 FirstPartBytes = qint64(4) << 20;
    void load(std::vector<QByteArray> &&pieces, StreamFormat format, const QTextCharFormat &textFormat,
              Rest rest = Rest::AtOnce);
    // Whether the rest of a text loaded with Rest::Later is still to come.
    bool isLoading() const;
    // Appends all that is left of it now. What reads the whole document (save, find) does this
    // first: the document is the file either way.
    void finishLoading() const;
    // Drops what is left of it (a new document replaces this one).
    void stopLoading();
    // How the text was read, and so how a plain-text save writes it (see TextForm): set by
    // every load, CP932 with CR LF for RTF and for a new document.
    const TextForm &textForm() const { return m_textForm; }
    void setTextForm(const TextForm &form) { m_textForm = form; }

    // The whole content as RTF or as text in the text form (CP932 unless UTF-8 was read); what plain text could not hold is reported
    // in `unsaveable` when given.
    QByteArray save(StreamFormat format, Unsaveable *unsaveable = nullptr) const;
    // The selection as RTF, for the clipboard.
    QByteArray selectionRtf(const QTextCursor &cursor) const;
    // RTF read into a fragment to insert; empty when the data is not RTF.
    QTextDocumentFragment rtfFragment(QByteArrayView rtf) const;
    // The same through a file, with the file failure texts (see DocumentFile).
    void loadFile(const QString &path, StreamFormat format, const QTextCharFormat &textFormat);
    void saveFile(const QString &path, StreamFormat format, Unsaveable *unsaveable = nullptr) const;
    // The kept groups the text holds now become those a save reports missing when their text
    // is deleted (Unsaveable::dropped): every load does this, and a save once it is written.
    void noteKeptGroups();

    // The paper and margins the document prints on: read with it (none: the report's A4 page),
    // kept with it, set by the page setup. Every load replaces it.
    const PageSetup &pageSetup() const { return m_pageSetup; }
    void setPageSetup(const PageSetup &setup) { m_pageSetup = setup; }

    // -- Format range --
    // Renders or measures a range into a rectangle on a device; see FormatRange.
    qint64 formatRange(const FormatRange &request);
    // Releases the layouts kept for format-range targets.
    void releaseFormatRange();
    // See FormatRangeRenderer::hold.
    void holdFormatRange(bool on);

    // Counts every change of content or format; cached layouts compare it.
    quint64 changeCount() const { return m_changeCount; }

    // Many replacements as one (a Replace All): one edit block, no layout, no undo history (the
    // replacements cannot be undone, so what was recorded before goes), byte positions kept
    // current after each replacement, display lines recounted once at the end.
    class BatchEdit {
    public:
        explicit BatchEdit(RichDocument &document);
        ~BatchEdit();
        BatchEdit(const BatchEdit &) = delete;
        BatchEdit &operator=(const BatchEdit &) = delete;

        // Replaces the bytes [start, end) by text (CR LF, CR or LF end a paragraph) in the format
        // of the text replaced; returns the byte position just behind the new text.
        qint64 replace(qint64 start, qint64 end, const QString &text);

    private:
        RichDocument &m_document;
        QTextCursor *m_cursor;
        bool m_layoutWasEnabled;
    };

signals:
    // After a load replaced the whole content.
    void loaded();
    // The rest of a text loaded with Rest::Later is in.
    void loadingFinished();

private:
    // Whether merging the modifier into the selection would change how any of it reads.
    bool changesSelection(const QTextCursor &cursor, const QTextCharFormat &modifier) const;

    QTextDocument *m_document;
    std::unique_ptr<TextPositionIndex> m_positions;
    EditorDocumentLayout *m_layout; // owned by the document
    std::unique_ptr<FormatRangeRenderer> m_renderer;
    std::unique_ptr<BackgroundLoad> m_rest;
    CharFormat m_defaultFormat;
    QColor m_windowText;
    quint64 m_changeCount = 0;
    TextForm m_textForm;
    PageSetup m_pageSetup;
    std::vector<qint64> m_keptGroups; // see RtfKept::keptInText
};
