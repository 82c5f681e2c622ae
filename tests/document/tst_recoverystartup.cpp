// What the program's start-up reads from the recovery folders, which are input like any other:
// links, pipes, other users' files and folders, huge files, stale temporaries and headers that
// name processes that are not the writer. Through the real start-up and its real message boxes.

#include "app/messages.h"
#include "app/settingsfile.h"
#include "document/recoveryfile.h"
#include "document/recoverykeeper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "recoverystart.h"
#include "testfiles.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace RecoveryStart;

namespace {

const QString Later = QString::fromUtf16(Messages::ButtonLater);
const QString Discard = QString::fromUtf16(Messages::ButtonDiscard);
const QString Offer = u"前回、保存されずに終了した文書があります。"_s;

// Each box answered 後で.
QString later(const RealDialogs::Box &)
{
    return Later;
}

} // namespace

class tst_RecoveryStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void linksAndOtherFilesAreNotRead_data();
    void linksAndOtherFilesAreNotRead();
    void foldersOthersMayWriteAreNotUsed_data();
    void foldersOthersMayWriteAreNotUsed();
    void aSpareFolderOthersMayWriteIsPassedOver();
    void onlyTheHeaderIsReadToOffer();
    void aFileTooLargeIsRefused();
    void staleTemporariesAreRemoved();
    void aProcessIsTheWriterOnlyByItsStart_data();
    void aProcessIsTheWriterOnlyByItsStart();

private:
    // What a start offers, each box answered 後で: the texts of the boxes, and the bytes read
    // from files until the first showed.
    QStringList startAndAnswerLater(qint64 *readToFirstBox = nullptr);

    QTemporaryDir m_state;
    QTemporaryDir m_temp;
    QTemporaryDir m_elsewhere;
};

void tst_RecoveryStartup::initTestCase()
{
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
    qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    Startup::setUpApplication();
}

void tst_RecoveryStartup::init()
{
    QDir(RecoveryFile::folder()).removeRecursively();
    QDir(RecoveryFile::spareFolder()).removeRecursively();
    QVERIFY(QDir().mkpath(RecoveryFile::folder()));
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

QStringList tst_RecoveryStartup::startAndAnswerLater(qint64 *readToFirstBox)
{
    const qint64 before = bytesRead();
    qint64 atBox = -1;
    ModalLog log([&](const RealDialogs::Box &box) {
        if (atBox < 0)
            atBox = bytesRead();
        return later(box);
    });
    Program program;
    program.start();
    if (readToFirstBox)
        *readToFirstBox = atBox - before;
    QStringList texts;
    for (const RealDialogs::Box &box : log.boxes)
        texts += box.text;
    return texts;
}

void tst_RecoveryStartup::linksAndOtherFilesAreNotRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("link to a recovery file elsewhere") << u"link"_s;
    QTest::newRow("link to a missing file") << u"dangling"_s;
    QTest::newRow("pipe") << u"fifo"_s;
    QTest::newRow("folder") << u"folder"_s;
    QTest::newRow("another user's file") << u"foreign"_s;
}

void tst_RecoveryStartup::linksAndOtherFilesAreNotRead()
{
    QFETCH(QString, kind);
    // A recovery file of its own elsewhere, as the link's target.
    const RecoveryFile::Header header = endedHeader(m_elsewhere.filePath(u"secret.txt"_s));
    const QString target = leave(header, "{\\rtf1 secret}", m_elsewhere.path());
    const QByteArray before = TestFiles::read(target);
    const QString planted = RecoveryFile::fileOf(header);
    const QByteArray native = QFile::encodeName(planted);
    if (kind == u"link")
        QVERIFY(QFile::link(target, planted));
    else if (kind == u"dangling")
        QVERIFY(QFile::link(m_elsewhere.filePath(u"missing"_s), planted));
    else if (kind == u"fifo")
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    else if (kind == u"folder")
        QVERIFY(QDir().mkdir(planted));
    else {
        leave(header, "{\\rtf1 planted}");
        QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
    }

    QCOMPARE(startAndAnswerLater(), QStringList());
    // Nothing was taken or changed: the link, the file behind it, the planted entry.
    QCOMPARE(TestFiles::read(target), before);
    struct stat st {};
    QCOMPARE(::lstat(native.constData(), &st), 0);
}

void tst_RecoveryStartup::foldersOthersMayWriteAreNotUsed_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("foreign");
    QTest::newRow("writable by everyone") << 0777 << false;
    QTest::newRow("writable by its group") << 0770 << false;
    QTest::newRow("another user's") << 0700 << true;
}

void tst_RecoveryStartup::foldersOthersMayWriteAreNotUsed()
{
    QFETCH(int, mode);
    QFETCH(bool, foreign);
    const QString folder = RecoveryFile::folder();
    const QString planted = leave(endedHeader(), "{\\rtf1 planted by another}");
    const QByteArray native = QFile::encodeName(folder);
    QCOMPARE(::chmod(native.constData(), mode_t(mode)), 0);
    if (foreign)
        QCOMPARE(::chown(native.constData(), 65534, 65534), 0);

    // Said once, in the program's words; nothing offered from there.
    QCOMPARE(startAndAnswerLater(), QStringList { Messages::recoveryFolderUnsafe(folder) });
    QVERIFY(QFile::exists(planted));

    // Typing then keeps nothing there, and says nothing more.
    ModalLog log;
    Program program;
    program.start();
    QCOMPARE(log.boxes.size(), 1);
    RecoveryKeeper *keeper = program.window()->recovery();
    keeper->setIdleInterval(50);
    QSignalSpy failed(keeper, &RecoveryKeeper::writeFailed);
    RealDialogs::type(program.window()->RichEdit1, u"unsaved"_s);
    QVERIFY(failed.wait(5000));
    runPosted();
    QCOMPARE(log.boxes.size(), 1);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList { QFileInfo(planted).fileName() });
    // The folder stays as it was: the program does not take another's folder for its own.
    struct stat st {};
    QCOMPARE(::stat(native.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), mode);
    ::chown(native.constData(), ::geteuid(), ::getegid());
}

void tst_RecoveryStartup::aSpareFolderOthersMayWriteIsPassedOver()
{
    // Another user may make the spare folder first, under the shared temporary folder.
    const QString spare = RecoveryFile::spareFolder();
    const QString planted = leave(endedHeader(), "{\\rtf1 planted by another}", spare);
    QCOMPARE(::chmod(QFile::encodeName(spare).constData(), 0777), 0);

    // Nothing offered from there, and nothing said: the recovery folder still keeps the work.
    ModalLog log;
    Program program;
    program.start();
    QCOMPARE(log.boxes.size(), 0);
    QVERIFY(QFile::exists(planted));
    RecoveryKeeper *keeper = program.window()->recovery();
    keeper->setIdleInterval(50);
    QSignalSpy written(keeper, &RecoveryKeeper::written);
    RealDialogs::type(program.window()->RichEdit1, u"unsaved"_s);
    QVERIFY(written.wait(5000));
    runPosted();
    QCOMPARE(log.boxes.size(), 0);
}

void tst_RecoveryStartup::onlyTheHeaderIsReadToOffer()
{
    // The same file at two sizes (sparse: the disk holds neither); reading it whole before asking
    // would read 504 MB more for the large one.
    auto readToOffer = [this](qint64 bytes) {
        const QString file = leave(endedHeader(), "{\\rtf1 x}");
        QFile(file).resize(bytes);
        qint64 read = -1;
        const QStringList texts = startAndAnswerLater(&read);
        QFile::remove(file);
        return texts.size() == 1 && texts.first().startsWith(Offer) ? read : -1;
    };
    const qint64 small = readToOffer(qint64(8) << 20);
    const qint64 large = readToOffer(qint64(512) << 20);
    QVERIFY(small >= 0);
    QVERIFY(large >= 0);
    QVERIFY2(
        large - small < (qint64(8) << 20), qPrintable(u"read %1 bytes, %2 at the small size"_s.arg(large).arg(small)));
}

void tst_RecoveryStartup::aFileTooLargeIsRefused()
{
    // Larger than any document's recovery file can be: offered only to be thrown away or kept.
    const RecoveryFile::Header header = endedHeader(m_elsewhere.filePath(u"huge.rtf"_s));
    const QString file = leave(header, "{\\rtf1 x}");
    QVERIFY(QFile(file).resize(RecoveryFile::MaxBytes + 1));
    const qint64 before = bytesRead();
    ModalLog log([](const RealDialogs::Box &) { return Discard; });
    Program program;
    program.start();
    QCOMPARE(log.boxes.size(), 1);
    QCOMPARE(log.boxes.first().text, Messages::recoveredTooLarge(header.documentPath, u"2026/12/01 09:30:00"_s));
    QCOMPARE(log.boxes.first().buttons, (QStringList { Later, Discard }));
    QVERIFY(!QFile::exists(file));
    QVERIFY(bytesRead() - before < (qint64(64) << 20));
    QCOMPARE(program.window()->RichEdit1->toPlainText(), QString());
}

void tst_RecoveryStartup::staleTemporariesAreRemoved()
{
    const QString folder = RecoveryFile::folder();
    const RecoveryFile::Header own = RecoveryFile::ownProcess();
    const QString stale = u".penloft-%1-77.recovery.AbC123"_s.arg(endedProcessId());
    const QString running = u".penloft-%1-%2.recovery.XyZ789"_s.arg(own.pid).arg(own.processStart);
    const QString notOurs = u".penloft-notes.recovery.keep12"_s;
    for (const QString &name : { stale, running, notOurs })
        TestFiles::write(folder + u'/' + name, "{\\rtf1 half writ");
    // In the spare folder too.
    QVERIFY(QDir().mkpath(RecoveryFile::spareFolder()));
    QFile::setPermissions(RecoveryFile::spareFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TestFiles::write(RecoveryFile::spareFolder() + u'/' + stale, "{\\rtf1 half");

    QCOMPARE(startAndAnswerLater(), QStringList());
    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QStringList expected { running, notOurs };
    expected.sort();
    QCOMPARE(left, expected);
    QVERIFY(!QFile::exists(RecoveryFile::spareFolder() + u'/' + stale));
}

void tst_RecoveryStartup::aProcessIsTheWriterOnlyByItsStart_data()
{
    const RecoveryFile::Header own = RecoveryFile::ownProcess();
    QTest::addColumn<qint64>("pid");
    QTest::addColumn<quint64>("start");
    QTest::addColumn<QByteArray>("boot");
    QTest::addColumn<bool>("offered");
    QTest::newRow("the first process, no start time") << qint64(1) << quint64(0) << QByteArray() << true;
    QTest::newRow("an impossible id, no start time") << qint64(4294967295) << quint64(0) << QByteArray() << true;
    QTest::newRow("a negative id") << qint64(-1) << quint64(5) << QByteArray() << true;
    QTest::newRow("this program's id, no start time") << own.pid << quint64(0) << QByteArray() << true;
    QTest::newRow("this program's id, another start") << own.pid << own.processStart + 1 << own.bootId << true;
    QTest::newRow("this program, an earlier boot") << own.pid << own.processStart << "0-earlier-boot"_ba << true;
    QTest::newRow("this program itself") << own.pid << own.processStart << own.bootId << false;
}

void tst_RecoveryStartup::aProcessIsTheWriterOnlyByItsStart()
{
    QFETCH(qint64, pid);
    QFETCH(quint64, start);
    QFETCH(QByteArray, boot);
    QFETCH(bool, offered);
    RecoveryFile::Header header = endedHeader();
    header.pid = pid;
    header.processStart = start;
    header.bootId = boot;
    // Under a name of its own: this program's own file is its to remove.
    const QString file = RecoveryFile::folder() + u"/penloft-planted.recovery"_s;
    QVERIFY(QFile::rename(leave(header, "{\\rtf1 kept}"), file));
    const QStringList texts = startAndAnswerLater();
    QCOMPARE(texts.size(), offered ? 1 : 0);
    if (offered)
        QVERIFY(texts.first().startsWith(Offer));
    QVERIFY(QFile::exists(file));
}

QTEST_MAIN(tst_RecoveryStartup)
#include "tst_recoverystartup.moc"
