#include "richedit.h"

#include "app/messagebox.h"
#include "editordocumentlayout.h"
#include "documentfile.h"
#include "documentmessages.h"
#include "formatrange.h"
#include "loadinggate.h"
#include "paragraphlines.h"
#include "pictureclipboard.h"
#include "pictures.h"
#include "plaintext.h"
#include "sjistext.h"
#include "tablecells.h"

#include <QApplication>
#include <QFontInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTimer>

#include <functional>

namespace {

// The names other programs give RTF on the clipboard, the most common first.
QStringList rtfMimeTypes()
{
    return { QStringLiteral("text/rtf"), QStringLiteral("application/rtf"), QStringLiteral("text/richtext") };
}

bool offersRtf(const QMimeData *source)
{
    for (const QString &type : rtfMimeTypes()) {
        if (source->hasFormat(type))
            return true;
    }
    return false;
}

// The size of a font in the twips of whole points, as sizes are written: a 15-pixel font
// (11.25 points) gives 11 points.
int wholePointsTwips(const QFont &font)
{
    return qRound(QFontInfo(font).pointSizeF()) * TextFormats::TwipsPerPoint;
}

QByteArray rtfOf(const QMimeData *source)
{
    for (const QString &type : rtfMimeTypes()) {
        if (source->hasFormat(type))
            return source->data(type);
    }
    return {};
}

} // namespace

RichEdit::RichEdit(QWidget *parent)
    : QTextEdit(parent)
{
    setAcceptRichText(false);
    setTabChangesFocus(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Tab stops every half inch (48 pixels at 96 to the inch).
    setTabStopDistance(48);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_InputMethodEnabled);
    document()->setUndoRedoEnabled(true);

    m_richDocument = new RichDocument(document(), this);
    EditorDocumentLayout *layout = m_richDocument->layout();
    layout->setPaintDevice(viewport());
    layout->setBackgroundLayout(true);
    connect(layout, &EditorDocumentLayout::heightCorrected, this, &RichEdit::keepShownContent);
    connect(layout, &EditorDocumentLayout::textMoved, this, &RichEdit::moveShownText);
    layout->setMovesText(true);
    connect(m_richDocument, &RichDocument::loadingFinished, this, &RichEdit::endLoadingWatch);
    m_richDocument->setWindowTextColor(palette().color(QPalette::Text));
    CharFormat initial;
    initial.mask = CharFormat::AllFields;
    initial.faceName = font().family();
    initial.sizeTwips = wholePointsTwips(font());
    initial.autoColor = true;
    m_richDocument->setDefaultCharFormat(initial);

    connect(this, &QTextEdit::textChanged, this, &RichEdit::changed);
    connect(this, &QTextEdit::cursorPositionChanged, this, &RichEdit::notifySelectionIfMoved);
    connect(this, &QTextEdit::selectionChanged, this, &RichEdit::notifySelectionIfMoved);
}


void RichEdit::notifySelectionIfMoved()
{
    if (m_holdSelectionNotice)
        return;
    const QTextCursor cursor = textCursor();
    if (cursor.anchor() == m_lastAnchor && cursor.position() == m_lastPosition)
        return;
    m_lastAnchor = cursor.anchor();
    m_lastPosition = cursor.position();
    emit selectionChange();
}

RichEdit::Selection RichEdit::selection() const
{
    const QTextCursor cursor = textCursor();
    return { m_richDocument->bytePosition(cursor.selectionStart()), m_richDocument->bytePosition(cursor.selectionEnd()) };
}

void RichEdit::setSelection(qint64 start, qint64 end)
{
    if (end < 0)
        m_richDocument->finishLoading();
    const qint64 length = textLength();
    if (end < 0)
        end = length;
    start = qBound<qint64>(0, start, length);
    end = qBound<qint64>(0, end, length);
    QTextCursor cursor = textCursor();
    cursor.setPosition(m_richDocument->documentPosition(start));
    cursor.setPosition(m_richDocument->documentPosition(end), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    scrollCaret();
}

void RichEdit::scrollCaret()
{
    ensureCursorVisible();
}

void RichEdit::deleteSelection()
{
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return;
    if (TableCells::hasTables(*document()))
        TableCells::removeSelection(cursor);
    else
        cursor.removeSelectedText();
    setTextCursor(cursor);
}

void RichEdit::replaceSelection(const QString &text, UndoMode undo)
{
    QTextCursor cursor = textCursor();
    const QString inserted = limited(PlainText::breaksAsNewlines(text));
    if (undo == UndoMode::CanUndo) {
        cursor.insertText(inserted);
        setTextCursor(cursor);
        return;
    }
    // Qt's history records absolute positions: once an unrecorded change shifts the text,
    // undoing earlier steps would edit the wrong characters, so the history goes.
    QTextDocument *doc = document();
    doc->setUndoRedoEnabled(false);
    cursor.insertText(inserted);
    doc->setUndoRedoEnabled(true);
    doc->setModified(true);
    setTextCursor(cursor);
}

int RichEdit::lineFromChar(qint64 position)
{
    return m_richDocument->lineFromByte(position);
}

qint64 RichEdit::lineIndex(int line)
{
    if (line == -1)
        line = lineFromChar(selection().start);
    return m_richDocument->lineStartByte(line);
}

int RichEdit::lineCount()
{
    m_richDocument->finishLoading();
    return m_richDocument->lineCount();
}

QByteArray RichEdit::textBytes() const
{
    m_richDocument->finishLoading();
    return m_richDocument->text();
}

qint64 RichEdit::textLength() const
{
    return m_richDocument->textLength();
}

CharFormat RichEdit::charFormat(FormatTarget target) const
{
    if (target == FormatTarget::Default)
        return m_richDocument->defaultCharFormat();
    return m_richDocument->charFormat(textCursor());
}

void RichEdit::setCharFormat(const CharFormat &format, FormatTarget target)
{
    if (target == FormatTarget::Default) {
        m_richDocument->setDefaultCharFormat(format);
        return;
    }
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        QTextCursor edit = cursor;
        m_richDocument->setCharFormat(edit, format);
    } else {
        // With no selection the format is that of the text typed next.
        mergeCurrentCharFormat(TextFormats::toTextCharFormat(format));
    }
}

ParaFormat RichEdit::paraFormat() const
{
    return m_richDocument->paraFormat(textCursor());
}

void RichEdit::setParaFormat(const ParaFormat &format)
{
    m_richDocument->setParaFormat(textCursor(), format);
}

qint64 RichEdit::findText(const QString &text, qint64 minBytes, qint64 maxBytes, int flags) const
{
    return m_richDocument->find(text, minBytes, maxBytes, flags);
}

bool RichEdit::isModified() const
{
    return document()->isModified();
}

void RichEdit::setModified(bool modified)
{
    document()->setModified(modified);
}

QColor RichEdit::backgroundColor() const
{
    return viewport()->palette().color(QPalette::Base);
}

void RichEdit::setBackgroundColor(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
    QPalette v = viewport()->palette();
    v.setColor(QPalette::Base, color);
    viewport()->setPalette(v);
}

void RichEdit::load(QByteArrayView data)
{
    stopLoading();
    loadWith([&](const QTextCharFormat &textFormat) {
        m_richDocument->load(data, m_plainText ? StreamFormat::PlainText : StreamFormat::Rtf, textFormat);
    });
}

void RichEdit::load(std::vector<QByteArray> &&pieces)
{
    stopLoading();
    // PENLOFT_READ_AT_ONCE has every file read whole before it is shown (tests that look at the
    // screen while a file is read).
    const RichDocument::Rest rest
        = qEnvironmentVariableIsSet("PENLOFT_READ_AT_ONCE") ? RichDocument::Rest::AtOnce : RichDocument::Rest::Later;
    loadWith([&](const QTextCharFormat &textFormat) {
        m_richDocument->load(std::move(pieces), m_plainText ? StreamFormat::PlainText : StreamFormat::Rtf, textFormat,
                             rest);
    });
    if (!m_richDocument->isLoading())
        return;
    // The start of a long text is shown; the rest comes in between the program's events.
    m_loadingGate = std::make_unique<LoadingGate>([this] { m_richDocument->finishLoading(); },
                                                  std::vector<QWidget *> { verticalScrollBar(), horizontalScrollBar() });
    m_viewportCursor = viewport()->cursor();
    viewport()->setCursor(Qt::BusyCursor);
}

bool RichEdit::isLoading() const
{
    return m_richDocument->isLoading();
}

void RichEdit::finishLoading()
{
    m_richDocument->finishLoading();
}

void RichEdit::stopLoading()
{
    m_richDocument->stopLoading();
    endLoadingWatch();
}

void RichEdit::endLoadingWatch()
{
    if (!m_loadingGate)
        return;
    // The gate may be the one finishing the load, from its own event filter.
    m_loadingGate->open();
    m_loadingGate.release()->deleteLater();
    viewport()->setCursor(m_viewportCursor);
}

QByteArray RichEdit::save(Unsaveable *unsaveable) const
{
    return m_richDocument->save(m_plainText ? StreamFormat::PlainText : StreamFormat::Rtf, unsaveable);
}

void RichEdit::loadFile(const QString &path)
{
    load(DocumentFile::readPieces(path));
}

void RichEdit::saveFile(const QString &path) const
{
    m_richDocument->saveFile(path, m_plainText ? StreamFormat::PlainText : StreamFormat::Rtf);
}

void RichEdit::loadWith(const std::function<void(const QTextCharFormat &)> &load)
{
    // The caret rides along with the text inserted before it, to the end of the new content;
    // moving it back repaints its old place, which would lay the whole document out at once.
    // With the layout off until the caret is back at the start, only the first screen is.
    QTextDocument *doc = document();
    const QTextCharFormat textFormat = textCursor().charFormat();
    doc->setLayoutEnabled(false);
    try {
        load(textFormat);
    } catch (...) {
        doc->setLayoutEnabled(true);
        throw;
    }
    // The text control asks for the lines of the caret's old and new places before the layout
    // is on: they have none yet, which a long paragraph can say without analysing its text.
    ParagraphLines::answerWithoutLines(doc->findBlock(textCursor().position()));
    ParagraphLines::answerWithoutLines(doc->begin());
    setTextCursor(QTextCursor(doc));
    doc->setLayoutEnabled(true);
    m_textLimit = qMax(m_textLimit, DefaultTextLimit);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    notifySelectionIfMoved();
}

RichEdit::BatchEdit::BatchEdit(RichEdit &edit)
    : m_edit(edit)
    , m_start(edit.selection().start)
    , m_end(edit.selection().end)
{
    m_edit.blockSignals(true);
    m_batch = std::make_unique<RichDocument::BatchEdit>(*m_edit.m_richDocument);
}

RichEdit::BatchEdit::~BatchEdit()
{
    QTextDocument *doc = m_edit.document();
    // The document's batch turns its layout on again as it ends, and only then is it turned off
    // for the caret. Keeping it off from the batch's start to the caret's placement instead made
    // the next paint lay out the whole text at once (100,000 replacements in 10 MB: painted
    // after 2.1 s instead of 0.7 s). The state to come back to is read once the document's batch
    // has given the layout back: while it runs, it holds the layout off.
    m_batch.reset();
    const bool layout = doc->isLayoutEnabled();
    // The caret goes to its place before the document is laid out again: setting it repaints
    // its old place, which would lay out everything up to there at once.
    doc->setLayoutEnabled(false);
    m_edit.setSelection(m_start, m_end);
    doc->setLayoutEnabled(layout);
    m_edit.blockSignals(false);
    QTimer::singleShot(0, &m_edit, [edit = &m_edit] {
        emit edit->changed();
        edit->notifySelectionIfMoved();
        edit->ensureCursorVisible();
    });
}

qint64 RichEdit::BatchEdit::replace(qint64 start, qint64 end, const QString &text)
{
    return m_batch->replace(start, end, text);
}

void RichEdit::BatchEdit::setSelection(qint64 start, qint64 end)
{
    m_start = start;
    m_end = end;
}

qint64 RichEdit::formatRange(const FormatRange &request)
{
    return m_richDocument->formatRange(request);
}

void RichEdit::releaseFormatRange()
{
    m_richDocument->releaseFormatRange();
}

QString RichEdit::limited(const QString &text) const
{
    // Room enough without what the selection frees: the selection's bytes need not be counted
    // (in a long paragraph that walks its text up to the caret, at every keystroke).
    if (m_textLimit - textLength() >= text.size() * 2)
        return text;
    const qint64 room = m_textLimit - (textLength() - selection().length());
    if (room <= 0)
        return {};
    if (room >= text.size() * 2) // no character takes more than two bytes
        return text;
    const qsizetype fits = SjisText::utf16Offset(text, room);
    return text.left(fits);
}

// Text typed next to a picture starts from the picture's format: it takes the text's part only,
// or every run typed there would hold the picture's bytes and a format of its own. Text typed
// into an empty table cell starts from the cell's format: it takes the text format the cell
// keeps (see TableCells::keepTextFormat), not the cell's geometry.
void RichEdit::typeWithoutPicture()
{
    QTextCharFormat format = textCursor().charFormat();
    const bool cell = !textCursor().hasSelection() && TableCells::typingFormat(textCursor(), &format);
    if (Pictures::withoutPicture(format) || cell)
        setCurrentCharFormat(format);
}

void RichEdit::keyPressEvent(QKeyEvent *event)
{
    m_richDocument->layout()->holdBackgroundForInput();
    // A chord with Alt is a command (a menu's mnemonic, or none), never a letter of the text;
    // AltGr, which types characters of its own, is not Alt.
    if ((event->modifiers() & Qt::AltModifier) && !(event->modifiers() & Qt::GroupSwitchModifier)) {
        event->ignore();
        return;
    }
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        undoLast(event->matches(QKeySequence::Undo) ? History::Undo : History::Redo);
        event->accept();
        return;
    }
    // Tab and Shift+Tab in a table go from cell to cell (see TableCells::stepCell).
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) && !isReadOnly()) {
        QTextCursor cursor = textCursor();
        const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        if (TableCells::stepCell(cursor, back ? TableCells::CellStep::Previous : TableCells::CellStep::Next)) {
            setTextCursor(cursor);
            ensureCursorVisible();
            event->accept();
            return;
        }
    }
    const QString typed = event->text();
    const bool inserts = !typed.isEmpty() && typed.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier);
    if (inserts && limited(typed).size() < typed.size()) {
        QApplication::beep();
        event->accept();
        return;
    }
    if (!isReadOnly() && (editSelectionInTables(event) || deleteLastOfCell(event)))
        return;
    if (inserts)
        typeWithoutPicture();
    QTextEdit::keyPressEvent(event);
}

void RichEdit::inputMethodEvent(QInputMethodEvent *event)
{
    // A long paragraph keeps the lines the composition does not touch.
    EditorDocumentLayout *layout = m_richDocument->layout();
    layout->holdBackgroundForInput();
    layout->holdLinesForInput(textCursor().block());
    const QString committed = event->commitString();
    if (!isReadOnly() && composeOverTables(event)) {
        layout->dropHeldLines();
        return;
    }
    if (!committed.isEmpty() || !event->preeditString().isEmpty())
        typeWithoutPicture();
    if (!committed.isEmpty() && limited(committed).size() < committed.size()) {
        QInputMethodEvent trimmed(event->preeditString(), event->attributes());
        trimmed.setCommitString(limited(committed), event->replacementStart(), event->replacementLength());
        QTextEdit::inputMethodEvent(&trimmed);
        QApplication::beep();
    } else {
        QTextEdit::inputMethodEvent(event);
    }
    layout->dropHeldLines();
}

QMimeData *RichEdit::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    const QTextCursor cursor = textCursor();
    // selectedText() separates paragraphs with U+2029; other programs expect newlines.
    QString text = selectedText(cursor);
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    text.remove(QChar::ObjectReplacementCharacter); // a picture has no text
    data->setText(text);
    const QByteArray rtf = m_richDocument->selectionRtf(cursor);
    for (const QString &type : rtfMimeTypes())
        data->setData(type, rtf);
    PictureClipboard::addPictures(data, cursor.selection());
    return data;
}

bool RichEdit::canInsertFromMimeData(const QMimeData *source) const
{
    // Asked at every move of a drag: the offered formats are looked at, never their data,
    // which a drag from another program would fetch from it each time.
    // Dropped files are documents to open, which the window around the editor does.
    if (source->hasUrls()) {
        for (const QUrl &url : source->urls()) {
            if (url.isLocalFile())
                return false;
        }
    }
    return source->hasText() || offersRtf(source) || PictureClipboard::offersImage(source);
}

void RichEdit::insertFromMimeData(const QMimeData *source)
{
    const UndoStep step(*this); // a paste is one step, and typing does not join it
    QTextCursor cursor = textCursor();
    // Formatted text when another program offers it, as long as it fits the text limit.
    const QTextDocumentFragment fragment = m_richDocument->rtfFragment(rtfOf(source));
    const QString fragmentText = fragment.toPlainText();
    if (!fragment.isEmpty() && limited(fragmentText).size() == fragmentText.size()) {
        startInsertion(cursor);
        // A cell holds no table: a table pasted into one comes as its cells' paragraphs.
        cursor.insertFragment(cursor.currentTable() ? TableCells::withoutTables(fragment) : fragment);
    } else if (fragment.isEmpty() && PictureClipboard::offersImage(source)) {
        if (!insertPicture(cursor, PictureClipboard::pictureFrom(source)))
            return;
    } else {
        if (!source->hasText())
            return;
        const QString text = PlainText::breaksAsNewlines(source->text());
        const QString inserted = limited(text);
        if (inserted.size() < text.size())
            QApplication::beep();
        if (inserted.isEmpty())
            return;
        startInsertion(cursor);
        cursor.insertText(inserted);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

bool RichEdit::insertPicture(QTextCursor &cursor, const PictureClipboard::PastedImage &pasted)
{
    if (pasted.picture.isNull()) {
        if (pasted.tooLarge.isEmpty())
            return false;
        // After the event that pasted: a drop's source is not kept waiting on the box.
        QTimer::singleShot(0, this, [this, size = pasted.tooLarge] {
            MessageBox::showAppError(this, Messages::pictureTooLargeToPaste(size.width(), size.height()));
        });
        return false;
    }
    const QString object(QChar::ObjectReplacementCharacter);
    if (limited(object).isEmpty()) {
        QApplication::beep();
        return false;
    }
    startInsertion(cursor);
    cursor.insertText(object, Pictures::charFormat(pasted.picture, cursor.charFormat()));
    return true;
}

bool RichEdit::insertPictureAtCaret(const Picture &picture)
{
    const UndoStep step(*this);
    QTextCursor cursor = textCursor();
    if (!insertPicture(cursor, { picture, {} }))
        return false;
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
}

void RichEdit::paintEvent(QPaintEvent *event)
{
    // The selection shows while the editor holds its window's focus, also when the window is
    // not the active one (the hit a search selected, with the find dialog in front), and is
    // hidden while another control of the window has the focus.
    setUnfocusedSelectionShown(window()->focusWidget() == this);
    QTextEdit::paintEvent(event);
}

void RichEdit::setUnfocusedSelectionShown(bool shown)
{
    if (shown == m_unfocusedSelectionShown)
        return;
    m_unfocusedSelectionShown = shown;
    QPalette p = palette();
    if (!shown) {
        m_inactiveSelection = p;
        // No brush: the selection draws nothing, and the text keeps its own colours.
        p.setBrush(QPalette::Inactive, QPalette::Highlight, Qt::NoBrush);
        p.setBrush(QPalette::Inactive, QPalette::HighlightedText, Qt::NoBrush);
    } else {
        p.setBrush(QPalette::Inactive, QPalette::Highlight, m_inactiveSelection.brush(QPalette::Inactive, QPalette::Highlight));
        p.setBrush(QPalette::Inactive, QPalette::HighlightedText,
                   m_inactiveSelection.brush(QPalette::Inactive, QPalette::HighlightedText));
    }
    setPalette(p);
}

void RichEdit::changeEvent(QEvent *event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        m_richDocument->setWindowTextColor(palette().color(QPalette::Text));
    if (event->type() == QEvent::FontChange) {
        // The editor's font is the format of text that sets none; QTextEdit has just made it
        // the document's default font, without the rest of the default format.
        const QFont f = font();
        CharFormat format;
        format.mask = CharFormat::Face | CharFormat::Size | CharFormat::Bold | CharFormat::Italic;
        format.faceName = f.family();
        format.sizeTwips = wholePointsTwips(f);
        format.bold = f.bold();
        format.italic = f.italic();
        m_richDocument->setDefaultCharFormat(format);
    }
}
