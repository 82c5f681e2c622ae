// Unsaved work kept across a crash: the recovery file while the program runs, what ends it by a
// signal, and the offer of what programs no longer running left behind.

#include "app/tpenform1.h"

#include "app/messagebox.h"
#include "app/messages.h"
#include "document/documentname.h"
#include "document/recoverykeeper.h"
#include "document/richedit.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QSocketNotifier>

#include <csignal>
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

} // namespace

void TPenForm1::handleEndSignals()
{
    if (endSignalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, endSignalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(endSignalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(endSignalPipe[1], &byte, 1);
        // The work stays in the recovery file, for the next start to offer; no questions.
        m_recovery->writeNow();
        m_keepRecovery = true;
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = noteEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

void TPenForm1::offerRecovery()
{
    for (const RecoveryFile::Entry &orphan : RecoveryFile::orphans()) {
        // Held while the user decides: a second program starting now passes it by.
        RecoveryFile::Claim claim(orphan.file);
        if (!claim.isHeld())
            continue;
        QByteArray rtf;
        const std::optional<RecoveryFile::Entry> entry = RecoveryFile::read(orphan.file, &rtf);
        if (!entry)
            continue;
        const QString &path = entry->header.documentPath;
        const QString name = path.isEmpty() ? Messages::text(Messages::NewDocumentName) : path;
        const QString when = QLocale().toString(entry->header.written, QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        switch (MessageBox::ask(this, Messages::recoveredDocument(name, when),
                                { { QMessageBox::Yes, Messages::text(Messages::ButtonRestore) },
                                  { QMessageBox::Discard, Messages::text(Messages::ButtonDiscard) },
                                  { QMessageBox::Cancel, Messages::text(Messages::ButtonLater) } })) {
        case QMessageBox::Yes:
            if (!changesMayBeReplaced())
                return;
            ClearDocument();
            RichEdit1->load(rtf);
            CurrentFileName = path;
            setWindowTitle(DocumentName::windowTitle(path));
            RichEdit1SelectionChange();
            // Unsaved, as it was: Save writes it under its own name.
            RichEdit1->setModified(true);
            // Kept in this program's own file before the old one goes.
            m_recovery->writeNow();
            QFile::remove(orphan.file);
            return; // one document at a time; the others wait for the next start
        case QMessageBox::Discard:
            QFile::remove(orphan.file);
            break;
        default:
            break;
        }
    }
}
