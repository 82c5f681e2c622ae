#pragma once

// What the recovery suites share: recovery files as a program that has ended would have left
// them, the program's real start-up, and a log of every modal window it shows, each answered as
// a user would.

#include "app/startup.h"
#include "app/tpenform1.h"
#include "document/recoveryfile.h"
#include "document/richedit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "realdialogs.h"

#include <functional>
#include <memory>

namespace RecoveryStart {

// A process id that names no running process: one that has ended.
inline qint64 endedProcessId()
{
    QProcess process;
    process.start(QStringLiteral("true"), {});
    process.waitForFinished();
    return process.processId() > 0 ? process.processId() : 999999;
}

// The header a program that has ended would have written for `documentPath`, its file as it is
// now on disk recorded.
inline RecoveryFile::Header endedHeader(const QString &documentPath = {})
{
    RecoveryFile::Header header;
    header.pid = endedProcessId();
    header.processStart = 12345;
    header.documentPath = documentPath;
    header.originalStamp = RecoveryFile::stampOf(documentPath);
    header.written = QDateTime(QDate(2026, 12, 1), QTime(9, 30));
    return header;
}

// Leaves a recovery file for `header` in `folder`; returns its path.
inline QString leave(
    const RecoveryFile::Header &header, const QByteArray &rtf, const QString &folder = RecoveryFile::folder())
{
    const QString file = RecoveryFile::fileIn(folder, header);
    if (!RecoveryFile::write(file, header, rtf))
        qWarning("could not leave %s", qPrintable(file));
    return file;
}

// The bytes this process has read from files so far (/proc/self/io), all threads together.
inline qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

// Runs the events posted so far to their end: the start-up's offer among them, with any box it
// shows answered by a log set up before.
inline void runPosted()
{
    bool done = false;
    QTimer::singleShot(0, qApp, [&done] { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
}

// Ctrl+S on the editor, as the user presses it in the window.
inline void pressSave(TPenForm1 *window)
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window->RichEdit1, Qt::Key_S, Qt::ControlModifier);
    runPosted();
}

// Every modal window that shows while it lives: message boxes are recorded and answered with the
// button `answer` names for them (none: closed as Esc closes them), file dialogs are counted and
// cancelled.
class ModalLog {
public:
    using Answer = std::function<QString(const RealDialogs::Box &)>;
    explicit ModalLog(Answer answer = {})
        : m_answer(std::move(answer))
    {
        QObject::connect(&m_watch, &QTimer::timeout, [this] { look(); });
        m_watch.start(10);
    }
    QList<RealDialogs::Box> boxes;
    int fileDialogs = 0;

private:
    void look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == m_handled)
            return;
        m_handled = modal;
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            ++fileDialogs;
            dialog->reject();
            return;
        }
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            modal->close();
            return;
        }
        boxes += RealDialogs::describe(box);
        const QString choice = m_answer ? m_answer(boxes.last()) : QString();
        for (QAbstractButton *button : box->buttons()) {
            if (!choice.isEmpty() && button->text() == choice) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        box->reject();
    }

    Answer m_answer;
    QTimer m_watch;
    QPointer<QWidget> m_handled;
};

// The program as its entry starts it: the windows made and shown, and the events that follow run.
class Program {
public:
    Program()
        : m_windows(Startup::createWindows())
    {
    }
    ~Program()
    {
        // Nothing unsaved holds the recovery file any longer.
        if (m_windows)
            window()->RichEdit1->setModified(false);
    }
    TPenForm1 *window() const { return m_windows->window.get(); }
    void start()
    {
        Startup::showWindows(*m_windows, {});
        runPosted();
    }

private:
    std::unique_ptr<Startup::Windows> m_windows;
};

} // namespace RecoveryStart
