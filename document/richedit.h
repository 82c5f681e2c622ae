#pragma once

#include "pictureclipboard.h"
#include "richdocument.h"
#include "textformats.h"

#include <QCursor>
#include <QTextCursor>
#include <QTextEdit>

#include <functional>
#include <memory>

class LoadingGate;
struct FormatRange;

// The document editor: a QTextEdit that offers the rich-edit operations in their own units.
// Positions count bytes of the document's CP932 text (a double-byte character 2, a paragraph
// break CR LF 2); sizes and indents are twips; lines are the editor's display lines from 0.
class RichEdit : public QTextEdit {
    Q_OBJECT
public:
    // The largest text the editor takes, in bytes; in force from the start.
    static constexpr qint64 DefaultTextLimit = 0x7FFFFFF0;

    enum class FormatTarget { Selection, Default };
    enum class UndoMode { CanUndo, CannotUndo };

    struct Selection {
        qint64 start = 0; // the lower end, wherever the caret is
        qint64 end = 0;
        qint64 length() const { return end - start; }
    };

    explicit RichEdit(QWidget *parent = nullptr);
    ~RichEdit() override;

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

    RichDocument &richDocument() { return *m_richDocument; }

    // -- Selection --
    Selection selection() const;
    // Anchor at start, caret at end (end -1: the end of the text), then scrolls the caret into view.
    void setSelection(qint64 start, qint64 end);
    // selectAll() is QTextEdit's.
    // Deletes the selection (the caret stays where it began).
    void deleteSelection();
    // Replaces the selection by text (CR LF, CR or LF end a paragraph); the caret follows it.
    // A replacement that cannot be undone empties the undo history, which could no longer be
    // applied to the text correctly.
    void replaceSelection(const QString &text, UndoMode undo = UndoMode::CanUndo);
    void scrollCaret();

    // -- Lines and text --
    int lineFromChar(qint64 position);
    // First position of a line (-1: the caret's line), or -1 when there is no such line.
    qint64 lineIndex(int line);
    int lineCount();
    QByteArray textBytes() const;
    qint64 textLength() const;

    // -- Formats --
    CharFormat charFormat(FormatTarget target = FormatTarget::Selection) const;
    void setCharFormat(const CharFormat &format, FormatTarget target = FormatTarget::Selection);
    ParaFormat paraFormat() const;
    void setParaFormat(const ParaFormat &format);

    // -- Find -- (see RichDocument::find)
    qint64 findText(const QString &text, qint64 minBytes, qint64 maxBytes, int flags) const;

    // -- Clipboard and undo -- copy() and paste() are QTextEdit's; cut is copy then
    // deleteSelection(). The clipboard carries RTF ("text/rtf") and plain text, and with
    // pictures also HTML and an image (see PictureClipboard). A paste takes RTF, else an
    // image (as a picture), else text.
    // Undoes (or redoes) the last action. An action that changed only formats leaves the caret
    // and selection where the change was, as they were when they lay inside it, otherwise over
    // the range changed; an action on the text leaves the caret where the text changed.
    // Afterwards the selection displays are refreshed (selectionChange) even where the caret
    // stayed: what was undone may be the format the displays show.
    enum class History { Undo, Redo };
    void undoLast(History which = History::Undo);
    // Forgets every step: nothing before this point can be undone or redone.
    void clearHistory();

    // Everything written to the document while an UndoStep lives is one step of the history:
    // one undo takes it all back, one redo puts it all again. Nothing done before or after
    // joins it (typing after a paste is a step of its own). A step in which nothing changed
    // leaves nothing in the history. Steps may nest; the outermost one counts.
    class UndoStep {
    public:
        explicit UndoStep(RichEdit &edit);
        ~UndoStep();
        UndoStep(const UndoStep &) = delete;
        UndoStep &operator=(const UndoStep &) = delete;

    private:
        QTextCursor m_cursor;
        int m_recordedBefore;
    };

    // Inserts a picture at the caret in place of the selection, as one step of the history, and
    // scrolls it into view; false (with a beep) when the text limit leaves no room for it.
    bool insertPictureAtCaret(const Picture &picture);

    // -- View -- The zoom, in percent (see Zoom): a view property, the document does not change.
    // The caret keeps its place in the view where it can and stays in view. Ctrl with the wheel
    // steps it.
    int zoomPercent() const;
    void setZoomPercent(int percent);

    // -- State --
    bool isModified() const;
    void setModified(bool modified);
    QColor backgroundColor() const;
    void setBackgroundColor(const QColor &color);
    qint64 textLimit() const { return m_textLimit; }
    void setTextLimit(qint64 bytes) { m_textLimit = bytes; }

    // -- Streams -- the plain-text flag chooses the format of the next load or save.
    bool plainTextMode() const { return m_plainText; }
    void setPlainTextMode(bool on) { m_plainText = on; }
    // Replaces the content with the data: RTF, or plain text in CP932 (the plain-text flag, or
    // data that is not RTF). New text takes the format at the caret. Throws AppError.
    void load(QByteArrayView data);
    // A text longer than RichDocument::LaterBytes shows its start at once and reads the rest
    // between the program's events; the first key, click or drop has it all read first.
    void load(std::vector<QByteArray> &&pieces);
    bool isLoading() const;
    void finishLoading();
    // Drops what is left to read (a new document replaces this one).
    void stopLoading();
    QByteArray save(Unsaveable *unsaveable = nullptr) const;
    void loadFile(const QString &path);
    void saveFile(const QString &path) const;

    // Many replacements as one (a Replace All), made on the document directly: the editor's
    // caret and displays do not follow each one. At the end the selection is set once, while
    // nothing is laid out yet, and the change and selection notices and the scrolling to the
    // caret follow once the program is idle, when the layout can catch up.
    class BatchEdit {
    public:
        explicit BatchEdit(RichEdit &edit);
        ~BatchEdit();
        BatchEdit(const BatchEdit &) = delete;
        BatchEdit &operator=(const BatchEdit &) = delete;

        // See RichDocument::BatchEdit::replace.
        qint64 replace(qint64 start, qint64 end, const QString &text);
        // The selection the editor shows when the batch ends.
        void setSelection(qint64 start, qint64 end);

    private:
        RichEdit &m_edit;
        std::unique_ptr<RichDocument::BatchEdit> m_batch;
        qint64 m_start;
        qint64 m_end;
    };

    // -- Printing --
    qint64 formatRange(const FormatRange &request);
    void releaseFormatRange();

signals:
    // The text changed (typing, deleting, pasting, undo, a format write).
    void changed();
    // The caret moved or the selection changed.
    void selectionChange();
    void zoomChanged(int percent);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void notifySelectionIfMoved();
    // Shows or hides the selection where the editor draws it without the focus.
    void setUnfocusedSelectionShown(bool shown);
    // How much of `text` fits within the text limit in place of the selection.
    QString limited(const QString &text) const;
    // Inserts a pasted picture at the cursor; false when there is none (an image too large to
    // take is said in a message box).
    bool insertPicture(QTextCursor &cursor, const PictureClipboard::PastedImage &pasted);
    void loadWith(const std::function<void(const QTextCharFormat &)> &load);
    void typeWithoutPicture();

    // richedit_scrolling.cpp: the offset follows the heights the layout corrects (see
    // EditorDocumentLayout::heightCorrected).
    void keepShownContent(qreal oldBottom, qreal delta);
    // Text an edit moved along its line (document pixels): its pixels are moved, not painted
    // again, where the view can (richedit_scrolling.cpp).
    void moveShownText(const QRectF &source, qreal dx);
    void layOutAfterJump();
    // The fraction by which the caret's edge nearer the view's lies off a whole pixel of the
    // document (-0.5 to 0.5).
    qreal caretFraction() const;

    // richedit_tables.cpp: edits in and around tables, as TableCells::removeSelection has them.
    // Each answers false when the text control's own handling does.
    // Replaces the cursor's selection by text (empty: deletes it) as one undo step.
    void replaceInTables(QTextCursor cursor, const QString &text);
    // Deleting keys, cut, typing and Enter over a selection that meets a table.
    bool editSelectionInTables(QKeyEvent *event);
    // A deleting key that takes the last of a cell's text.
    bool deleteLastOfCell(QKeyEvent *event);
    // An input method's text over a selection that meets a table.
    bool composeOverTables(QInputMethodEvent *event);
    // Opens the edit block of a paste or drop at the cursor, the selection deleted first when it
    // meets a table, and gives the cursor the format typed text would take.
    static void startInsertion(QTextCursor &cursor);
    // The selection's text, paragraphs separated by U+2029; selected cells as in a text file.
    static QString selectedText(const QTextCursor &cursor);
    void endLoadingWatch();

    RichDocument *m_richDocument;
    qint64 m_textLimit = DefaultTextLimit;
    bool m_plainText = false;
    int m_lastAnchor = -1;
    int m_lastPosition = -1;
    bool m_holdSelectionNotice = false; // while an undo or redo runs
    bool m_unfocusedSelectionShown = true;
    QPalette m_inactiveSelection; // the colours the editor shows an unfocused selection in
    // While a scroll is being made: the offset of the content still on screen (see
    // scrollContentsBy); otherwise negative.
    qreal m_shownTop = -1;
    bool m_compensating = false;
    // The offset to the fraction of a pixel while corrections move it (see keepShownContent).
    qreal m_exactOffset = -1e9;
    std::unique_ptr<LoadingGate> m_loadingGate; // while the rest of a text is read
    QCursor m_viewportCursor;
    int m_zoomPercent = 100;
    std::unique_ptr<QPaintDevice> m_zoomDevice; // the layout's device while zoomed
    int m_wheelRemainder = 0; // wheel turns short of a step
};
