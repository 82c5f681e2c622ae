// The recovery file: what it holds, which files are left over, and the window's offer of them
// through the real message box.

#include "app/japaneseui.h"
#include "app/messages.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/recoveryfile.h"
#include "document/recoverykeeper.h"
#include "document/richedit.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include "realdialogs.h"
#include "recoverystart.h"
#include "testfiles.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Sets an environment variable for as long as it lives.
class Variable {
public:
    Variable(const char *name, const QString &value)
        : m_name(name)
        , m_wasSet(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~Variable()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_wasSet;
    QByteArray m_old;
};

// Files this process writes are cut short at `bytes` for as long as it lives, as on a full disk
// (EFBIG instead of the signal that would end the program).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old {};
};

mode_t modeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}

} // namespace

class tst_Recovery : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fileHoldsHeaderAndDocument();
    void damagedFilesGiveWhatTheyHold_data();
    void damagedFilesGiveWhatTheyHold();
    void onlyFilesOfEndedProgramsAreLeftOver();
    void aFileIsOfferedByOneProgramAtATime();
    void writtenAfterIdleTimeAndRemovedBySave();
    void theDocumentsPathIsKeptAbsolute();
    void changesDuringWritingStartItAgain();
    void offerRestoresDiscardsOrKeeps_data();
    void offerRestoresDiscardsOrKeeps();
    void workLeftInTheSpareFolderIsOffered();
    void aRestoredFileStaysUntilItsWorkIsKeptAgain();
    void aFolderThatCannotTakeTheWorkIsSaidOnce_data();
    void aFolderThatCannotTakeTheWorkIsSaidOnce();
    void anEndBySignalKeepsTheWorkWhereItCan_data();
    void anEndBySignalKeepsTheWorkWhereItCan();

private:
    QTemporaryDir m_state;
    TPenForm1 *m_window = nullptr;
};

void tst_Recovery::initTestCase()
{
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
    installJapaneseUi();
}

void tst_Recovery::init()
{
    QDir(RecoveryFile::folder()).removeRecursively();
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
}

void tst_Recovery::cleanup()
{
    RealDialogs::cancelPending();
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_Recovery::fileHoldsHeaderAndDocument()
{
    QCOMPARE(RecoveryFile::folder(), m_state.path() + u"/penloft/recovery"_s);
    RecoveryFile::Header header = RecoveryFile::ownProcess();
    QVERIFY(header.processStart > 0);
    header.documentPath = u"/tmp/日本語 メモ.txt"_s;
    header.written = QDateTime(QDate(2026, 12, 9), QTime(12, 0, 5));
    const QString file = RecoveryFile::fileOf(header);
    QVERIFY(RecoveryFile::write(file, header, "{\\rtf1 text}"));
    QCOMPARE(modeOf(file), mode_t(0600));
    QCOMPARE(modeOf(RecoveryFile::folder()), mode_t(0700));
    QVERIFY(TestFiles::read(file).contains("\nname: /tmp/日本語 メモ.txt\n"));
    QByteArray rtf;
    const std::optional<RecoveryFile::Entry> entry = RecoveryFile::read(file, &rtf);
    QVERIFY(entry);
    QCOMPARE(entry->header.documentPath, header.documentPath);
    QCOMPARE(entry->header.written, header.written);
    QCOMPARE(entry->header.pid, header.pid);
    QCOMPARE(entry->header.processStart, header.processStart);
    QCOMPARE(rtf, "{\\rtf1 text}"_ba);
    // What tells a whole file from a cut one.
    QVERIFY(entry->complete);
    QCOMPARE(entry->header.bodyBytes, 12);
    QCOMPARE(entry->header.bodyDigest, QCryptographicHash::hash("{\\rtf1 text}", QCryptographicHash::Sha256).toHex());
    QCOMPARE(entry->header.bootId, RecoveryFile::ownProcess().bootId);
    // A new document is named as the window names it.
    header.documentPath.clear();
    QVERIFY(RecoveryFile::write(file, header, "{\\rtf1 x}"));
    QVERIFY(TestFiles::read(file).contains("\nname: 新規文書\npath: \n"));
    // No temporary file is left beside it.
    QCOMPARE(QDir(RecoveryFile::folder()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void tst_Recovery::damagedFilesGiveWhatTheyHold_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("isRecovery");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("rtf");
    QTest::newRow("cut in the header") << "Penloft recovery 1\nname: x\npath: /a%20b"_ba << true << u"/a b"_s << QByteArray();
    QTest::newRow("cut in the document") << "Penloft recovery 1\npath: /m.rtf\npid: 7\n\n{\\rtf1 {\\b bo"_ba << true
                                         << u"/m.rtf"_s << "{\\rtf1 {\\b bo"_ba;
    QTest::newRow("nonsense numbers") << "Penloft recovery 1\npid: -x\nstarted: 99999999999999999999999\nwritten: no\n\nz"_ba
                                      << true << QString() << "z"_ba;
    QTest::newRow("not ours") << "{\\rtf1 hello}"_ba << false << QString() << QByteArray();
    QTest::newRow("empty") << QByteArray() << false << QString() << QByteArray();
}

void tst_Recovery::damagedFilesGiveWhatTheyHold()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, isRecovery);
    QFETCH(QString, path);
    QFETCH(QByteArray, rtf);
    QTemporaryDir dir;
    const QString file = dir.filePath(u"penloft-1-1.recovery"_s);
    TestFiles::write(file, content);
    QByteArray read;
    const std::optional<RecoveryFile::Entry> entry = RecoveryFile::read(file, &read);
    QCOMPARE(bool(entry), isRecovery);
    if (!entry)
        return;
    QCOMPARE(entry->header.documentPath, path);
    QCOMPARE(read, rtf);
    // And the window restores what can be read, without a fault.
    m_window->RichEdit1->load(read);
}

void tst_Recovery::onlyFilesOfEndedProgramsAreLeftOver()
{
    const QString ended = RecoveryStart::leave(RecoveryStart::endedHeader(u"/ended.txt"_s), "{\\rtf1 a}");
    // This program runs: its file is its own.
    RecoveryFile::Header own = RecoveryFile::ownProcess();
    QVERIFY(RecoveryFile::write(RecoveryFile::fileOf(own), own, "{\\rtf1 b}"));
    // The same id, but a process that started at another time: an earlier program's file.
    RecoveryFile::Header reused = own;
    reused.processStart = own.processStart + 1;
    QVERIFY(RecoveryFile::write(RecoveryFile::fileOf(reused), reused, "{\\rtf1 c}"));
    // Not a recovery file at all.
    TestFiles::write(RecoveryFile::folder() + u"/penloft-1-2.recovery"_s, "garbage");
    QStringList files;
    for (const RecoveryFile::Entry &entry : RecoveryFile::orphans())
        files += entry.file;
    files.sort();
    QStringList expected { ended, RecoveryFile::fileOf(reused) };
    expected.sort();
    QCOMPARE(files, expected);
}

void tst_Recovery::aFileIsOfferedByOneProgramAtATime()
{
    const QString file = RecoveryStart::leave(RecoveryStart::endedHeader(), "{\\rtf1 a}");
    RecoveryFile::Claim first(file);
    QVERIFY(first.isHeld());
    // Another program, started at the same time, asks for the same file.
    QProcess other;
    other.start(u"flock"_s, { u"-n"_s, file, u"true"_s });
    QVERIFY(other.waitForFinished());
    QVERIFY(other.exitCode() != 0);
}

void tst_Recovery::writtenAfterIdleTimeAndRemovedBySave()
{
    RecoveryKeeper *keeper = m_window->recovery();
    keeper->setIdleInterval(100);
    QSignalSpy written(keeper, &RecoveryKeeper::written);
    m_window->RichEdit1->setFocus();
    RealDialogs::type(m_window->RichEdit1, u"unsaved words"_s);
    m_window->RichEdit1->setSelection(0, 8);
    m_window->command(u"EditBold"_s)->trigger();
    QVERIFY(written.wait(3000));
    QByteArray rtf;
    const std::optional<RecoveryFile::Entry> entry = RecoveryFile::read(keeper->file(), &rtf);
    QVERIFY(entry);
    QCOMPARE(entry->header.pid, RecoveryFile::ownProcess().pid);
    QVERIFY(rtf.contains("\\b"));
    QVERIFY(rtf.contains("words"));
    QCOMPARE(modeOf(keeper->file()), mode_t(0600));

    // Saved: nothing left to recover.
    QTemporaryDir dir;
    m_window->CurrentFileName = dir.filePath(u"saved.rtf"_s);
    m_window->command(u"FileSave"_s)->trigger();
    QVERIFY(!QFile::exists(keeper->file()));
    // Changed again, then New: gone again.
    RealDialogs::type(m_window->RichEdit1, u"more"_s);
    QVERIFY(written.wait(3000));
    QVERIFY(QFile::exists(keeper->file()));
    m_window->RichEdit1->setModified(false);
    QVERIFY(!QFile::exists(keeper->file()));
}

void tst_Recovery::theDocumentsPathIsKeptAbsolute()
{
    // A name given on the command line, relative to the program's folder, and its file on disk.
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(u"memo.txt"_s), "memo");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    m_window->OpenFile(u"memo.txt"_s);
    RecoveryKeeper *keeper = m_window->recovery();
    keeper->setIdleInterval(50);
    QSignalSpy written(keeper, &RecoveryKeeper::written);
    RealDialogs::type(m_window->RichEdit1, u"more "_s);
    QVERIFY(written.wait(3000));
    QDir::setCurrent(previous);
    const std::optional<RecoveryFile::Entry> entry = RecoveryFile::read(keeper->file());
    QVERIFY(entry);
    QCOMPARE(entry->header.documentPath, dir.filePath(u"memo.txt"_s));
    QCOMPARE(entry->header.originalStamp, RecoveryFile::stampOf(dir.filePath(u"memo.txt"_s)));
    QVERIFY(!entry->header.originalStamp.isEmpty());
}

void tst_Recovery::changesDuringWritingStartItAgain()
{
    RecoveryKeeper *keeper = m_window->recovery();
    keeper->setIdleInterval(50);
    QByteArray text;
    for (int i = 0; i < 20000; ++i)
        text += "line of the long document\r\n";
    m_window->RichEdit1->load(text);
    QSignalSpy written(keeper, &RecoveryKeeper::written);
    RealDialogs::type(m_window->RichEdit1, u"A"_s);
    // Typing while the file is being made: what is written in the end has the last key.
    QTest::qWait(60);
    RealDialogs::type(m_window->RichEdit1, u"Z"_s);
    QVERIFY(written.wait(10000));
    QByteArray rtf;
    QVERIFY(RecoveryFile::read(keeper->file(), &rtf));
    QVERIFY(rtf.contains("AZline of the long document"));
}

void tst_Recovery::offerRestoresDiscardsOrKeeps_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("restore") << u"復元(&R)"_s;
    QTest::newRow("discard") << u"破棄(&D)"_s;
    QTest::newRow("later") << u"後で(&L)"_s;
}

void tst_Recovery::offerRestoresDiscardsOrKeeps()
{
    QFETCH(QString, button);
    QTemporaryDir dir;
    const QString document = dir.filePath(u"letter.rtf"_s);
    const QString orphan
        = RecoveryStart::leave(RecoveryStart::endedHeader(document), "{\\rtf1\\ansi {\\b bold} plain\\par}");
    RealDialogs::Box box;
    RealDialogs::answerBox(&box, button);
    m_window->FormShow();
    QTRY_VERIFY(!box.text.isEmpty());
    QCOMPARE(box.caption, u"確認"_s);
    QCOMPARE(box.text, u"前回、保存されずに終了した文書があります。\n\n『 "_s + document + u" 』\n2026/12/01 09:30:00"_s);
    if (button.startsWith(u"復元")) {
        QTRY_COMPARE(m_window->RichEdit1->toPlainText(), u"bold plain"_s);
        QVERIFY(m_window->RichEdit1->document()->begin().begin().fragment().charFormat().fontWeight() > 400);
        QCOMPARE(m_window->CurrentFileName, document);
        QCOMPARE(m_window->windowTitle(), u"　Penloft          letter.rtf"_s);
        QVERIFY(m_window->RichEdit1->isModified());
        QVERIFY(!QFile::exists(orphan));
        QVERIFY(QFile::exists(m_window->recovery()->file()));
        // Save writes it under its own name.
        m_window->command(u"FileSave"_s)->trigger();
        QVERIFY(TestFiles::read(document).contains("bold"));
    } else if (button.startsWith(u"破棄")) {
        QTRY_VERIFY(!QFile::exists(orphan));
        QCOMPARE(m_window->RichEdit1->toPlainText(), QString());
    } else {
        QTest::qWait(50);
        QVERIFY(QFile::exists(orphan));
        QCOMPARE(m_window->RichEdit1->toPlainText(), QString());
        QVERIFY(!m_window->RichEdit1->isModified());
    }
}

void tst_Recovery::workLeftInTheSpareFolderIsOffered()
{
    QTemporaryDir temp;
    const Variable tmpdir("TMPDIR", temp.path());
    const QString orphan = RecoveryStart::leave(RecoveryStart::endedHeader(), "{\\rtf1 kept in the spare folder}",
                                                RecoveryFile::spareFolder());
    QVERIFY(QFile::exists(orphan));
    RecoveryStart::ModalLog log([](const RealDialogs::Box &) { return QString::fromUtf16(Messages::ButtonRestore); });
    RecoveryStart::Program program;
    program.start();
    QCOMPARE(log.boxes.size(), 1);
    QVERIFY(log.boxes.first().text.contains(u"『 新規文書 』"_s));
    QTRY_COMPARE(program.window()->RichEdit1->toPlainText(), u"kept in the spare folder"_s);
    QVERIFY(!QFile::exists(orphan));
}

void tst_Recovery::aRestoredFileStaysUntilItsWorkIsKeptAgain()
{
    const QString orphan = RecoveryStart::leave(RecoveryStart::endedHeader(), "{\\rtf1 only copy}");
    RecoveryStart::ModalLog log([](const RealDialogs::Box &box) {
        return box.text.startsWith(u"前回"_s) ? QString::fromUtf16(Messages::ButtonRestore) : QString();
    });
    RecoveryStart::Program program;
    {
        // The restored work cannot be written to this program's own file (a full disk).
        FileSizeLimit limit(64);
        program.start();
    }
    QCOMPARE(program.window()->RichEdit1->toPlainText(), u"only copy"_s);
    RecoveryStart::runPosted();
    QCOMPARE(log.boxes.size(), 2);
    QCOMPARE(log.boxes.last().text,
             Messages::recoveryNotWritable(RecoveryFile::folder(), QString::fromLocal8Bit(std::strerror(EFBIG))));
    QCOMPARE(TestFiles::read(orphan).right(16), "{\\rtf1 only copy}"_ba.right(16));
}

void tst_Recovery::aFolderThatCannotTakeTheWorkIsSaidOnce_data()
{
    QTest::addColumn<bool>("full");
    QTest::newRow("the state folder is below a file") << false;
    QTest::newRow("writes cut short, as on a full disk") << true;
}

void tst_Recovery::aFolderThatCannotTakeTheWorkIsSaidOnce()
{
    QFETCH(bool, full);
    QTemporaryDir state;
    TestFiles::write(state.filePath(u"file"_s), "x");
    const Variable home("XDG_STATE_HOME", full ? state.path() : state.filePath(u"file"_s));
    const QString folder = RecoveryFile::folder();
    RecoveryStart::ModalLog log;
    RecoveryStart::Program program;
    program.start();
    QCOMPARE(log.boxes.size(), 0);
    RecoveryKeeper *keeper = program.window()->recovery();
    keeper->setIdleInterval(50);
    QSignalSpy failed(keeper, &RecoveryKeeper::writeFailed);
    {
        std::optional<FileSizeLimit> limit;
        if (full)
            limit.emplace(64);
        RealDialogs::type(program.window()->RichEdit1, u"first"_s);
        QVERIFY(failed.wait(5000));
    }
    RecoveryStart::runPosted();
    QCOMPARE(log.boxes.size(), 1);
    QCOMPARE(log.boxes.first().caption, u"Penloft"_s);
    QCOMPARE(log.boxes.first().text,
             Messages::recoveryNotWritable(folder, QString::fromLocal8Bit(std::strerror(full ? EFBIG : ENOTDIR))));
    // Nothing half written is left behind.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
    // Once a run.
    {
        std::optional<FileSizeLimit> limit;
        if (full)
            limit.emplace(64);
        RealDialogs::type(program.window()->RichEdit1, u"second"_s);
        QVERIFY(failed.wait(5000));
    }
    RecoveryStart::runPosted();
    QCOMPARE(log.boxes.size(), 1);
}

void tst_Recovery::anEndBySignalKeepsTheWorkWhereItCan_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("where");
    QTest::newRow("SIGTERM: the recovery folder") << SIGTERM << u"recovery"_s;
    QTest::newRow("SIGHUP, the folder unusable: beside the document") << SIGHUP << u"beside"_s;
    QTest::newRow("SIGTERM, the folder unusable, a new document: the spare folder") << SIGTERM << u"spare"_s;
    QTest::newRow("SIGTERM, the document's folder gone: the spare folder") << SIGTERM << u"gone"_s;
}

void tst_Recovery::anEndBySignalKeepsTheWorkWhereItCan()
{
    QFETCH(int, signal);
    QFETCH(QString, where);
    QTemporaryDir state;
    QTemporaryDir temp;
    QTemporaryDir files;
    TestFiles::write(state.filePath(u"file"_s), "x");
    const Variable home("XDG_STATE_HOME", where == u"recovery" ? state.path() : state.filePath(u"file"_s));
    const Variable tmpdir("TMPDIR", temp.path());
    const QString letter = files.filePath(u"letter.rtf"_s);
    TestFiles::write(letter, "{\\rtf1 the letter}");

    RecoveryStart::Program program;
    program.start();
    TPenForm1 *window = program.window();
    window->handleEndSignals();
    if (where != u"spare")
        window->OpenFile(letter);
    RealDialogs::type(window->RichEdit1, u"unsaved "_s);
    if (where == u"gone")
        QVERIFY(files.remove());
    QCOMPARE(::kill(::getpid(), signal), 0);

    QString kept;
    if (where == u"recovery") {
        kept = window->recovery()->file();
    } else if (where == u"beside") {
        const QString prefix = u"letter.rtf (保存していない変更 "_s;
        QTRY_COMPARE(QDir(files.path()).entryList({ prefix + u"*).rtf"_s }).size(), 1);
        kept = files.filePath(QDir(files.path()).entryList({ prefix + u"*).rtf"_s }).first());
        QCOMPARE(TestFiles::read(letter), "{\\rtf1 the letter}"_ba);
    } else {
        kept = RecoveryFile::fileIn(RecoveryFile::spareFolder(), RecoveryFile::ownProcess());
    }
    QTRY_VERIFY(TestFiles::read(kept).contains("unsaved"));
    QVERIFY(TestFiles::read(kept).contains("{\\rtf1"));
    if (where == u"beside")
        QVERIFY(TestFiles::read(kept).startsWith("{\\rtf1"));
}

QTEST_MAIN(tst_Recovery)
#include "tst_recovery.moc"
