// Unsaved work kept across a crash: the recovery file while the program runs, what ends it by a
// signal, and the offer of what programs no longer running left behind.

#include "app/tpenform1.h"

#include "app/messagebox.h"
#include "app/messages.h"
#include "document/apperror.h"
#include "document/documentfile.h"
#include "document/documentname.h"
#include "document/recoverykeeper.h"
#include "document/richedit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTextDocument>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal handler may only write to a descriptor; the loop reads the other end.
int endSignalPipe[2] = { -1, -1 };

void noteEndSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(endSignalPipe[0], &byte, 1);
}

// The program is ending by a signal: the work goes where it can, and only the error output says
// where when it is not the recovery folder.
void keepWorkAtEnd(RecoveryKeeper &keeper, const QString &documentPath)
{
    const QString beside = documentPath.isEmpty()
        ? QString()
        : Messages::unsavedCopyPath(QFileInfo(documentPath).absoluteFilePath(),
                                   QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")));
    const RecoveryKeeper::Kept kept = keeper.keepAtEnd(beside);
    QTextStream errors(stderr);
    switch (kept.where) {
    case RecoveryKeeper::Kept::Where::BesideDocument:
    case RecoveryKeeper::Kept::Where::SpareFolder:
        errors << Messages::unsavedWorkKeptIn(kept.file) << '\n';
        break;
    case RecoveryKeeper::Kept::Where::Nowhere:
        errors << Messages::text(Messages::UnsavedWorkLost) << '\n';
        break;
    default:
        break;
    }
}

QString offerText(const RecoveryFile::Entry &entry)
{
    // The name as the header has it, on one line: a line break in it could pass for the box's own.
    const QString name = RecoveryFile::oneLine(
        entry.header.documentPath.isEmpty() ? Messages::text(Messages::NewDocumentName) : entry.header.documentPath);
    const QString when = QLocale().toString(entry.header.written, QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    if (entry.isTooLarge())
        return Messages::recoveredTooLarge(name, when);
    QString text = Messages::recoveredDocument(name, when);
    if (!entry.complete)
        text += QStringLiteral("\n\n") + Messages::text(Messages::RecoveredIncomplete);
    return text;
}

QMessageBox::StandardButton askAboutRecovery(QWidget *parent, const RecoveryFile::Entry &entry)
{
    const MessageBox::Choice later { QMessageBox::Cancel, Messages::text(Messages::ButtonLater) };
    const MessageBox::Choice discard { QMessageBox::Discard, Messages::text(Messages::ButtonDiscard) };
    // A file too large to read can only go, or wait; waiting is the default.
    if (entry.isTooLarge())
        return MessageBox::ask(parent, offerText(entry), { later, discard });
    return MessageBox::ask(parent, offerText(entry),
                           { { QMessageBox::Yes, Messages::text(Messages::ButtonRestore) }, discard, later });
}

} // namespace

void TPenForm1::handleEndSignals()
{
    // One pair for the program, made at the first call; the window that asks reads it. Neither
    // end waits: a second signal before the first is read adds nothing.
    if (endSignalPipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, endSignalPipe) != 0)
            return;
        struct sigaction action {};
        action.sa_handler = noteEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
    }
    auto *notifier = new QSocketNotifier(endSignalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(endSignalPipe[1], &byte, 1);
        // The work stays for the next start to offer; no questions.
        keepWorkAtEnd(*m_recovery, CurrentFileName);
        m_keepRecovery = true;
        QCoreApplication::exit(0);
    });
}

void TPenForm1::watchRecovery()
{
    connect(m_recovery, &RecoveryKeeper::writeFailed, this, [this](const RecoveryFile::WriteResult &result) {
        if (result.problem == RecoveryFile::WriteResult::Problem::UnsafeFolder)
            tellCannotKeepWork(Messages::recoveryFolderUnsafe(result.folder));
        else
            tellCannotKeepWork(
                Messages::recoveryNotWritable(result.folder, QString::fromLocal8Bit(std::strerror(result.error))));
    });
}

void TPenForm1::tellCannotKeepWork(const QString &text)
{
    if (m_toldCannotKeepWork)
        return;
    m_toldCannotKeepWork = true;
    // Shown after the work that found it, never inside it.
    QTimer::singleShot(0, this, [this, text] {
        MessageBox::Request request;
        request.icon = QMessageBox::Warning;
        request.caption = Messages::text(Messages::ProductName);
        request.text = text;
        MessageBox::show(this, request);
    });
}

void TPenForm1::offerRecovery()
{
    RecoveryFile::removeStaleTemporaries();
    QStringList unsafeFolders;
    const QList<RecoveryFile::Entry> orphans = RecoveryFile::orphans(&unsafeFolders);
    // The spare folder is only a last resort at the end by a signal: one of another user's under
    // the temporary folder is passed over, and the work is still kept in the recovery folder.
    if (unsafeFolders.contains(RecoveryFile::folder()))
        tellCannotKeepWork(Messages::recoveryFolderUnsafe(RecoveryFile::folder()));
    for (const RecoveryFile::Entry &orphan : orphans) {
        // Held while the user decides: a second program starting now passes it by. What is
        // offered is what is held, read again.
        RecoveryFile::Claim claim(orphan.file);
        const std::optional<RecoveryFile::Entry> entry = claim.entry();
        if (!entry || RecoveryFile::isRunning(entry->header))
            continue;
        switch (askAboutRecovery(this, *entry)) {
        case QMessageBox::Yes:
            restoreRecovery(claim, *entry);
            return; // one document at a time; the others wait for the next start
        case QMessageBox::Discard:
            claim.remove();
            break;
        default:
            break;
        }
    }
}

void TPenForm1::restoreRecovery(RecoveryFile::Claim &claim, const RecoveryFile::Entry &entry)
{
    if (!changesMayBeReplaced())
        return;
    // Refused before anything is read, as a file too large for the memory left is.
    const qint64 bytes = entry.fileBytes - qMax<qint64>(entry.headerBytes, 0);
    const qint64 available = DocumentFile::availableMemory();
    if (available >= 0 && DocumentFile::openingCost(bytes, true) > available)
        throw AppError(Messages::cannotOpenFile(entry.file, Messages::FileProblem::NotEnoughMemory));
    const RecoveryFile::Body body = claim.body(entry);
    // Only a document that is all there goes back under its name, and only a name it may take;
    // otherwise it is a new document, which Save never writes over a file unasked.
    const QString path
        = entry.complete && body.complete ? RecoveryFile::restorablePath(entry.header.documentPath) : QString();
    ClearDocument();
    RichEdit1->load(body.rtf);
    CurrentFileName = path;
    setWindowTitle(DocumentName::windowTitle(path));
    RichEdit1SelectionChange();
    // Unsaved, as it was: Save writes it under its own name.
    RichEdit1->setModified(true);
    m_restoredPath = path;
    m_restoredStamp = entry.header.originalStamp;
    connect(
        RichEdit1->document(), &QTextDocument::modificationChanged, this,
        [this](bool modified) {
            if (!modified)
                m_restoredPath.clear();
        },
        Qt::SingleShotConnection);
    // Kept in this program's own file before the old one goes; when it cannot be, the old one
    // stays.
    if (m_recovery->writeNow())
        claim.remove();
    if (entry.complete && !body.complete)
        MessageBox::showPlain(this, Messages::text(Messages::RecoveredDamaged));
}

bool TPenForm1::mayReplaceRestoredFile()
{
    if (m_restoredPath.isEmpty() || m_restoredPath != CurrentFileName)
        return true;
    // No file there, or the file as the user's document left it: Save writes it as it would have.
    const QByteArray stamp = RecoveryFile::stampOf(CurrentFileName);
    if (stamp.isEmpty() || stamp == m_restoredStamp)
        return true;
    // Changed since (or never recorded): replaced only when the user says so; No first.
    if (MessageBox::ask(this, Messages::restoredFileChanged(CurrentFileName),
                        { { QMessageBox::No, Messages::text(Messages::ButtonNo) },
                          { QMessageBox::Yes, Messages::text(Messages::ButtonYes) } },
                        QMessageBox::Warning)
        != QMessageBox::Yes)
        return false;
    m_restoredPath.clear();
    return true;
}
