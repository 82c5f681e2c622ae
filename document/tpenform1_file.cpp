// The document's life cycle on disk: new, open, save, save as, dropped files and the close
// prompt.

#include "app/tpenform1.h"

#include "document/apperror.h"
#include "app/filedialogs.h"
#include "app/messagebox.h"
#include "app/messages.h"
#include "document/documentfile.h"
#include "document/documentname.h"
#include "document/richedit.h"
#include "document/rtf/rtfkept.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>

namespace {

// The default extension a Save As leaves for the next one, by the filter chosen (from 1).
QString defaultExtensionAfter(int filterIndex)
{
    switch (filterIndex) {
    case 1:
        return QStringLiteral("rtf");
    case 2:
        return QStringLiteral("txt");
    case 3:
        return QStringLiteral("c");
    case 4:
        return QStringLiteral("htm");
    default:
        return {};
    }
}

// Shows a dialog with what it remembers; the choice is remembered for the next time. The
// dialog opens in the open document's folder.
std::optional<FileDialogs::Choice> runFileDialog(QWidget *parent, FileDialogs::Request::Mode mode, const char16_t *filter,
                                                 TPenForm1::FileDialogState &state, const QString &documentPath)
{
    FileDialogs::Request request;
    request.mode = mode;
    request.filter = Messages::text(filter);
    request.filterIndex = state.filterIndex;
    request.fileName = state.fileName;
    request.defaultExtension = state.defaultExtension;
    if (!documentPath.isEmpty())
        request.directory = QFileInfo(documentPath).absolutePath();
    std::optional<FileDialogs::Choice> choice = FileDialogs::run(parent, request);
    if (choice) {
        state.fileName = choice->fileName;
        state.filterIndex = choice->filterIndex;
    }
    return choice;
}

} // namespace

void TPenForm1::ClearDocument()
{
    RichEdit1->stopLoading();
    RichEdit1->setPlainTextMode(false);
    RichEdit1->richDocument().setTextForm({});
    RichEdit1->richDocument().setPageSetup({});
    RichEdit1->setUpdatesEnabled(false);
    const CharFormat format = TextFormats::newDocumentFormat(RichEdit1->charFormat(RichEdit::FormatTarget::Default));
    RichEdit1->setSelection(0, -1);
    RichEdit1->setCharFormat(format);
    RichEdit1->deleteSelection();
    // Nor what a file read before had ahead of its text, nor what it kept in it.
    RtfKept::setLeading(*RichEdit1->document(), {});
    RichEdit1->richDocument().noteKeptGroups();
    // The empty document's new text takes these attributes.
    RichEdit1->setCharFormat(format);
    // A new document has no past: an undo must not bring the old one back.
    RichEdit1->clearHistory();
    RichEdit1->setUpdatesEnabled(true);
    SaveDialog1.fileName.clear();
    RichEdit1SelectionChange();
    RichEdit1->setFocus();
}

void TPenForm1::OpenFile(const QString &path)
{
    // The file is read before anything changes: a file that cannot be opened or read leaves
    // the open document as it was, text, formats, name, title and modified flag alike.
    std::vector<QByteArray> data = DocumentFile::readPieces(path);
    ClearDocument();
    RichEdit1->load(std::move(data));
    setWindowTitle(DocumentName::windowTitle(path));
    CurrentFileName = path;
    RichEdit1SelectionChange();
    RichEdit1->setModified(false);
    rememberRecentFile(path);
}

void TPenForm1::FileNewExecute()
{
    if (!changesMayBeReplaced())
        return;
    ClearDocument();
    CurrentFileName.clear();
    setWindowTitle(DocumentName::windowTitle(QString()));
    RichEdit1->setModified(false);
}

void TPenForm1::FileOpenExecute()
{
    if (!changesMayBeReplaced())
        return;
    const std::optional<FileDialogs::Choice> choice
        = runFileDialog(this, FileDialogs::Request::Mode::Open, Messages::OpenFilter, OpenDialog1, CurrentFileName);
    if (choice)
        OpenFile(choice->fileName);
}

void TPenForm1::FileSaveExecute()
{
    saveDocument();
}

bool TPenForm1::saveDocument()
{
    const QString extension = DocumentName::extension(CurrentFileName).toLower();
    if (extension.isEmpty())
        return saveDocumentAs();
    if (!mayReplaceRestoredFile())
        return false;
    RichEdit1->setPlainTextMode(extension != QStringLiteral(".rtf"));
    const std::optional<QString> written = writeDocument(CurrentFileName);
    if (!written)
        return false;
    if (*written != CurrentFileName) {
        CurrentFileName = *written;
        setWindowTitle(DocumentName::windowTitle(CurrentFileName));
    }
    RichEdit1->setModified(false);
    rememberRecentFile(CurrentFileName);
    return true;
}

void TPenForm1::FileSaveAsExecute()
{
    saveDocumentAs();
}

bool TPenForm1::saveDocumentAs()
{
    const std::optional<FileDialogs::Choice> choice
        = runFileDialog(this, FileDialogs::Request::Mode::Save, Messages::SaveFilter, SaveDialog1, CurrentFileName);
    if (!choice)
        return false;
    // The new default extension counts from the next Save As on; the format follows the
    // filter chosen, never the extension typed.
    SaveDialog1.defaultExtension = defaultExtensionAfter(choice->filterIndex);
    RichEdit1->setPlainTextMode(choice->filterIndex != 1);
    const std::optional<QString> written = writeDocument(choice->fileName);
    if (!written)
        return false;
    CurrentFileName = *written;
    SaveDialog1.fileName = *written;
    RichEdit1->setModified(false);
    setWindowTitle(DocumentName::windowTitle(CurrentFileName));
    rememberRecentFile(CurrentFileName);
    return true;
}

std::optional<QString> TPenForm1::writeDocument(const QString &path)
{
    Unsaveable unsaveable;
    const QByteArray data = RichEdit1->save(&unsaveable);
    const DroppedGroups &dropped = unsaveable.dropped;
    if (dropped.total() > 0) {
        // Cancel first: nothing is lost by a key pressed in haste.
        QApplication::beep();
        const QString question = Messages::droppedWithText(dropped.footnotes, dropped.fields, dropped.bookmarks,
                                                           dropped.annotations, dropped.others)
            + u"\n\n" + Messages::text(Messages::DroppedQuestion);
        if (MessageBox::ask(this, question,
                            { { QMessageBox::Cancel, Messages::text(Messages::ButtonCancel) },
                              { QMessageBox::Save, Messages::text(Messages::ButtonSave) } },
                            QMessageBox::Warning)
            != QMessageBox::Save)
            return std::nullopt;
    }
    const std::optional<QString> written = writeDocumentData(path, data, unsaveable);
    if (written)
        RichEdit1->richDocument().noteKeptGroups();
    return written;
}

std::optional<QString> TPenForm1::writeDocumentData(const QString &path, const QByteArray &data,
                                                    const Unsaveable &unsaveable)
{
    if (unsaveable.count == 0 && !unsaveable.losesContent()) {
        DocumentFile::write(path, data);
        return path;
    }
    QApplication::beep();
    QString question;
    if (unsaveable.count > 0)
        question = Messages::unsaveableCharacters(unsaveable.count, unsaveable.first, unsaveable.line);
    if (unsaveable.losesContent()) {
        question += (question.isEmpty() ? u"" : u"\n")
            + Messages::lostInText(unsaveable.pictures, unsaveable.tables, unsaveable.keptGroups);
    }
    question += u"\n\n" + Messages::text(Messages::UnsaveableQuestion);
    const char16_t *const textButton
        = unsaveable.count > 0 ? Messages::ButtonReplaceAndSave : Messages::ButtonSaveTextOnly;
    switch (MessageBox::ask(this, question,
                            { { QMessageBox::Yes, Messages::text(Messages::ButtonSaveAsRtf) },
                              { QMessageBox::No, Messages::text(textButton) },
                              { QMessageBox::Cancel, Messages::text(Messages::ButtonCancel) } })) {
    case QMessageBox::Yes: {
        // The same name as RTF, which holds every character; another file of that name is
        // replaced only when the user says so.
        const QString rtfPath = DocumentName::withExtension(path, QStringLiteral("rtf"));
        if (rtfPath != path && QFileInfo::exists(rtfPath)) {
            // No first: nothing is replaced by a key pressed in haste.
            if (MessageBox::ask(this, Messages::replaceFileQuestion(rtfPath),
                                { { QMessageBox::No, Messages::text(Messages::ButtonNo) },
                                  { QMessageBox::Yes, Messages::text(Messages::ButtonYes) } },
                                QMessageBox::Warning)
                != QMessageBox::Yes)
                return std::nullopt;
        }
        RichEdit1->setPlainTextMode(false);
        DocumentFile::write(rtfPath, RichEdit1->save());
        return rtfPath;
    }
    case QMessageBox::No:
        DocumentFile::write(path, data);
        return path;
    default: {
        // Nothing written; the caret on the first such character (or else the first thing lost),
        // for the user to see.
        const int position = unsaveable.count > 0 ? unsaveable.documentPosition : unsaveable.firstLostPosition;
        const qint64 at = RichEdit1->richDocument().bytePosition(position);
        RichEdit1->setSelection(at, at + 1);
        RichEdit1->setFocus();
        return std::nullopt;
    }
    }
}

bool TPenForm1::changesMayBeReplaced()
{
    if (!RichEdit1->isModified())
        return true;
    QApplication::beep();
    switch (MessageBox::ask(this, DocumentName::unsavedQuestionForDisplay(CurrentFileName),
                            { { QMessageBox::Yes, Messages::text(Messages::ButtonYes) },
                              { QMessageBox::No, Messages::text(Messages::ButtonNo) },
                              { QMessageBox::Cancel, Messages::text(Messages::ButtonCancel) } })) {
    case QMessageBox::Yes:
        // Yes means the work is kept: go on only when it really was saved.
        try {
            return saveDocument();
        } catch (const AppError &e) {
            MessageBox::showAppError(this, e.text());
            return false;
        }
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void TPenForm1::FormCloseQuery(bool &canClose)
{
    canClose = changesMayBeReplaced();
}

void TPenForm1::WMDropFiles(const QList<QUrl> &urls)
{
    raise();
    activateWindow();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        // Only the first file; the others are ignored.
        const QString path = url.toLocalFile();
        if (changesMayBeReplaced())
            OpenFile(path);
        return;
    }
}

void TPenForm1::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TPenForm1::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    runCommand([&] { WMDropFiles(urls); });
}
