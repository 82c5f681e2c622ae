// Unsaved work across the ends a program can meet on a desktop: killed, ended by the system,
// several programs at once, and a recovery file damaged meanwhile.

#include "desktop.h"

#include "document/recoveryfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using Desktop::Window;

namespace {

const QString Confirm = QString::fromUtf16(u"確認");

QStringList recoveryFiles(const QString &settings)
{
    const QDir dir(settings + u"/state/penloft/recovery"_s);
    QStringList files;
    for (const QString &name : dir.entryList({ u"penloft-*.recovery"_s }, QDir::Files))
        files += dir.filePath(name);
    return files;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The question a program asks at its start about work left behind, if it asks one.
std::optional<Window> offer(qint64 pid, int timeoutMs = Desktop::Patience)
{
    return Desktop::waitForWindow([pid](const Window &w) { return w.pid == pid && w.name == Confirm; }, timeoutMs);
}

// Paragraph ends in a document's RTF.
int paragraphs(const QByteArray &rtf)
{
    return int(rtf.count("\\par"));
}

// Starts a program on a document, adds paragraphs to it with real keys (line breaks change the
// document whatever state the input method is in) and waits until its recovery file holds
// them: `lines` more paragraph ends than `before`.
bool startAndChange(Desktop::Program &program, const QString &settings, const QString &document, int before, int lines)
{
    if (!program.start({ document }))
        return false;
    const std::optional<Window> main = program.mainWindow();
    if (!main || !Desktop::activate(main->id))
        return false;
    Desktop::key(u"ctrl+End"_s);
    for (int i = 0; i < lines; ++i)
        Desktop::key(u"Return"_s);
    return Desktop::waitFor(
        [&] {
            for (const QString &file : recoveryFiles(settings)) {
                if (file.contains(u"-%1-"_s.arg(program.pid())) && paragraphs(contentOf(file)) >= before + lines)
                    return true;
            }
            return false;
        });
}

} // namespace

class tst_DesktopRecovery : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The work is kept a moment after typing stops, not a minute.
        qputenv("PENLOFT_RECOVERY_IDLE_MS", "300");
    }
    void cleanupTestCase() { qunsetenv("PENLOFT_RECOVERY_IDLE_MS"); }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            Desktop::recordFailure();
    }
    void killedProgramsWorkIsRestoredWithItsFormatting();
    void endedBySignalThenOfferedToOneProgramOnly();
    void aDamagedFileIsOfferedAsFarAsItReads();
};

void tst_DesktopRecovery::killedProgramsWorkIsRestoredWithItsFormatting()
{
    const auto settings = Desktop::settingsFolder();
    QTemporaryDir files;
    const QString letter = files.filePath(u"letter.rtf"_s);
    {
        QFile file(letter);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\\rtf1\\ansi {\\b Dear} friend,\\par}");
    }
    {
        Desktop::Program killed(settings->path());
        QVERIFY(startAndChange(killed, settings->path(), letter, 1, 3));
        // Killed: no chance to write anything more.
        ::kill(pid_t(killed.pid()), SIGKILL);
        QVERIFY(killed.waitForExit());
    }
    QCOMPARE(contentOf(letter), "{\\rtf1\\ansi {\\b Dear} friend,\\par}"_ba);

    Desktop::Program next(settings->path());
    QVERIFY(next.start());
    const std::optional<Window> asked = offer(next.pid());
    QVERIFY2(asked, "the next start offered nothing");
    QVERIFY(asked->transient);
    QVERIFY(Desktop::activate(asked->id));
    Desktop::key(u"alt+r"_s); // 復元
    const std::optional<Window> main = Desktop::waitForWindow(
        [&](const Window &w) { return w.pid == next.pid() && w.name == QString::fromUtf16(u"　Penloft          letter.rtf"); });
    QVERIFY(main);
    // Unsaved, under its own name: 保存 writes it there, formatting and all.
    QVERIFY(Desktop::activate(main->id));
    Desktop::key(u"ctrl+s"_s);
    QVERIFY(Desktop::waitFor([&] { return paragraphs(contentOf(letter)) >= 4; }));
    const QByteArray saved = contentOf(letter);
    QVERIFY2(saved.contains("\\b") && saved.contains("Dear") && saved.contains("friend"), saved.constData());
    Desktop::key(u"alt+F4"_s);
    QVERIFY(next.waitForExit());
    QCOMPARE(next.exitCode(), 0);
    QVERIFY(recoveryFiles(settings->path()).isEmpty());
}

void tst_DesktopRecovery::endedBySignalThenOfferedToOneProgramOnly()
{
    const auto settings = Desktop::settingsFolder();
    QTemporaryDir files;
    const QString memo = files.filePath(u"memo.txt"_s);
    QFile(memo).open(QIODevice::WriteOnly);

    Desktop::Program first(settings->path());
    QVERIFY(startAndChange(first, settings->path(), memo, 1, 2));
    // A second program beside it: the first's file is its own, nothing is offered. It asks at
    // its start, before it takes any key, and a question would keep it from closing: closed by
    // one Alt+F4, it asked nothing.
    {
        Desktop::Program beside(settings->path());
        QVERIFY(beside.start());
        const std::optional<Window> main = beside.mainWindow();
        QVERIFY(main);
        QVERIFY(Desktop::activate(main->id));
        Desktop::key(u"alt+F4"_s);
        QVERIFY(beside.waitForExit());
        QCOMPARE(beside.exitCode(), 0);
    }
    // The system ends the first (a logout): it keeps the work and asks nothing.
    Desktop::run(u"kill"_s, { u"-TERM"_s, QString::number(first.pid()) });
    QVERIFY(first.waitForExit());
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(recoveryFiles(settings->path()).size(), 1);
    QVERIFY(paragraphs(contentOf(recoveryFiles(settings->path()).first())) >= 3);
    QCOMPARE(contentOf(memo), QByteArray());

    // Two programs starting at once: only one offers it.
    Desktop::Program one(settings->path());
    Desktop::Program two(settings->path());
    QVERIFY(one.start());
    QVERIFY(two.start());
    QVERIFY(one.mainWindow());
    QVERIFY(two.mainWindow());
    const std::optional<Window> asked = Desktop::waitForWindow(
        [&](const Window &w) { return (w.pid == one.pid() || w.pid == two.pid()) && w.name == Confirm; });
    QVERIFY(asked);
    Desktop::Program &asking = asked->pid == one.pid() ? one : two;
    Desktop::Program &other = asked->pid == one.pid() ? two : one;
    // The other asks nothing: closed by one Alt+F4 while the question is still up.
    QVERIFY(Desktop::activate(other.mainWindow()->id));
    Desktop::key(u"alt+F4"_s);
    QVERIFY(other.waitForExit());
    QCOMPARE(other.exitCode(), 0);
    QVERIFY(Desktop::window(asked->id));
    // 後で keeps it; 破棄 at a later start removes it.
    QVERIFY(Desktop::activate(asked->id));
    Desktop::key(u"alt+l"_s);
    QVERIFY(Desktop::waitForNoWindow([&](const Window &w) { return w.id == asked->id; }));
    QCOMPARE(recoveryFiles(settings->path()).size(), 1);
    QVERIFY(Desktop::activate(asking.mainWindow()->id));
    Desktop::key(u"alt+F4"_s);
    QVERIFY(asking.waitForExit());
    Desktop::Program last(settings->path());
    QVERIFY(last.start());
    const std::optional<Window> again = offer(last.pid());
    QVERIFY(again);
    QVERIFY(Desktop::activate(again->id));
    Desktop::key(u"alt+d"_s);
    QVERIFY(Desktop::waitFor([&] { return recoveryFiles(settings->path()).isEmpty(); }));
    QVERIFY(Desktop::activate(last.mainWindow()->id));
    Desktop::key(u"alt+F4"_s);
    QVERIFY(last.waitForExit());
}

void tst_DesktopRecovery::aDamagedFileIsOfferedAsFarAsItReads()
{
    const auto settings = Desktop::settingsFolder();
    QTemporaryDir files;
    const QString target = files.filePath(u"partial.rtf"_s);
    // Cut off in the middle of the document, as a power cut might leave it.
    const QString folder = settings->path() + u"/state/penloft/recovery"_s;
    QVERIFY(QDir().mkpath(folder));
    QFile damaged(folder + u"/penloft-999999-1.recovery"_s);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("Penloft recovery 1\nname: x\npath: " + QFile::encodeName(target) +
                  "\nwritten: 2026-12-09T10:00:00\npid: 999999\nstarted: 1\n\n{\\rtf1\\ansi {\\b kept words} and cut");
    damaged.close();

    Desktop::Program program(settings->path());
    QVERIFY(program.start());
    const std::optional<Window> asked = offer(program.pid());
    QVERIFY(asked);
    QVERIFY(Desktop::activate(asked->id));
    Desktop::key(u"alt+r"_s);
    // What is not all there comes back as a new document: Save never writes it over the old name.
    const std::optional<Window> main = Desktop::waitForWindow(
        [&](const Window &w) { return w.pid == program.pid() && w.name == QString::fromUtf16(u"　Penloft          新規文書"); });
    QVERIFY(main);
    // Kept at once in this program's own file, as far as it read; the damaged one is gone.
    QVERIFY(Desktop::waitFor([&] {
        const QStringList kept = recoveryFiles(settings->path());
        return kept.size() == 1 && kept.first().contains(u"-%1-"_s.arg(program.pid()))
            && contentOf(kept.first()).contains("kept words") && contentOf(kept.first()).contains("and cut");
    }));
    // 保存 asks for a name; cancelled, nothing is written anywhere.
    QVERIFY(Desktop::activate(main->id));
    Desktop::key(u"ctrl+s"_s);
    const auto saveAs = [&](const Window &w) { return w.pid == program.pid() && w.name == QString::fromUtf16(u"名前を付けて保存"); };
    const std::optional<Window> dialog = Desktop::waitForWindow(saveAs);
    QVERIFY(dialog);
    QVERIFY(Desktop::activate(dialog->id));
    Desktop::key(u"Escape"_s);
    QVERIFY(Desktop::waitForNoWindow(saveAs));
    QVERIFY(!QFile::exists(target));
    // Closing asks; いいえ lets the work go.
    QVERIFY(Desktop::activate(main->id));
    Desktop::key(u"alt+F4"_s);
    const std::optional<Window> closing = Desktop::waitForWindow(
        [&](const Window &w) { return w.pid == program.pid() && w.name == Confirm; });
    QVERIFY(closing);
    QVERIFY(Desktop::activate(closing->id));
    Desktop::key(u"alt+n"_s);
    QVERIFY(program.waitForExit());
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(recoveryFiles(settings->path()).isEmpty());
    QVERIFY(!QFile::exists(target));
}

QObject *newDesktopRecoveryTest()
{
    return new tst_DesktopRecovery;
}

#include "tst_recovery.moc"
