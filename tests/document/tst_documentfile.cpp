#include "document/apperror.h"
#include "document/documentmessages.h"
#include "document/documentfile.h"
#include "document/filereplacement.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"

#include <functional>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString failureOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &e) {
        return e.text();
    }
    return {};
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

// What lies beside the files of a folder: every name starting with a dot.
QStringList hiddenEntries(const QString &folder)
{
    return QDir(folder).entryList({ u".?*"_s }, QDir::Files | QDir::Hidden | QDir::System);
}

// Makes a file's modification time lie `seconds` in the past.
void age(const QString &path, int seconds)
{
    timespec times[2] {};
    times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - seconds;
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

class tst_DocumentFile : public QObject {
    Q_OBJECT
private slots:
    void readsWholeFile();
    void openFailuresNameTheFile_data();
    void openFailuresNameTheFile();
    void unreadableFile();
    void writeReplacesAndCreates();
    void createFailuresNameTheFile();
    void failedWriteKeepsTheOldFile();
    void writeKeepsPermissions();
    void fullDiskKeepsTheOldFile();
    void writingThroughALinkKeepsTheLink();
    void fileLargerThanMemoryLeftIsRefused_data();
    void fileLargerThanMemoryLeftIsRefused();
    void messagesNameTheFullPath();
    void writeProtectedFileIsRefused();
    void nonRegularTargetsAreRefused_data();
    void nonRegularTargetsAreRefused();
    void hardLinksModeOwnerAndGroupAreKept();
    void failedInPlaceWritePutsTheOldContentBack();
    void temporaryNamesCarryTheirCheck();
    void staleTemporariesAreRemovedByTheNextSave();

private:
    QTemporaryDir m_dir;
};

void tst_DocumentFile::readsWholeFile()
{
    const QString path = m_dir.filePath(u"read.txt"_s);
    QByteArray data(300000, 'a');
    data[12345] = '\0';
    TestFiles::write(path, data);
    QCOMPARE(DocumentFile::read(path), data);
    // Text comes in pieces; RTF, which its reader takes whole, in one.
    const std::vector<QByteArray> pieces = DocumentFile::readPieces(path, 100000);
    QCOMPARE(pieces.size(), size_t(3));
    QCOMPARE(pieces[0] + pieces[1] + pieces[2], data);
    data.prepend("{\\rtf1 ");
    TestFiles::write(path, data);
    QCOMPARE(DocumentFile::readPieces(path, 100000), std::vector<QByteArray> { data });
    TestFiles::write(path, {});
    QCOMPARE(DocumentFile::read(path), QByteArray());
    QVERIFY(DocumentFile::readPieces(path).empty());
}

void tst_DocumentFile::openFailuresNameTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // %1: the path
    QTest::newRow("missing file") << u"missing.txt"_s << u"ファイル \"%1\" が見つかりません"_s;
    QTest::newRow("missing folder") << u"nowhere/missing.txt"_s << u"ファイル \"%1\" のあるフォルダーが見つかりません"_s;
    QTest::newRow("a folder") << u"folder"_s << u"\"%1\" はフォルダーなので、ファイルとして開けません"_s;
    QTest::newRow("a named pipe") << u"pipe"_s << u"\"%1\" は通常のファイルではないので、開けません"_s;
}

void tst_DocumentFile::openFailuresNameTheFile()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QDir(m_dir.path()).mkdir(u"folder"_s);
    const QString pipe = m_dir.filePath(u"pipe"_s);
    ::mkfifo(QFile::encodeName(pipe).constData(), 0600);
    const QString path = m_dir.filePath(name);
    // Opening a pipe must not wait for a writer: this would hang if it did.
    const QString text = failureOf([&] { DocumentFile::read(path); });
    QCOMPARE(text, expected.arg(path));
}

void tst_DocumentFile::unreadableFile()
{
    if (::geteuid() == 0)
        QSKIP("permissions do not stop root");
    const QString path = m_dir.filePath(u"secret.txt"_s);
    TestFiles::write(path, "x");
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    QCOMPARE(failureOf([&] { DocumentFile::read(path); }),
             Messages::cannotOpenFile(path, Messages::FileProblem::AccessDenied));
}

void tst_DocumentFile::writeReplacesAndCreates()
{
    const QString path = m_dir.filePath(u"out.txt"_s);
    DocumentFile::write(path, "first version, longer");
    QCOMPARE(TestFiles::read(path), "first version, longer"_ba);
    DocumentFile::write(path, "second");
    QCOMPARE(TestFiles::read(path), "second"_ba);
    DocumentFile::write(path, {});
    QCOMPARE(TestFiles::read(path), QByteArray());
    // No temporary files are left beside it.
    QCOMPARE(QDir(m_dir.path()).entryList({ u"out.txt*"_s }, QDir::Files | QDir::Hidden).size(), 1);
}

void tst_DocumentFile::createFailuresNameTheFile()
{
    const QString missingFolder = m_dir.filePath(u"nowhere/out.txt"_s);
    QCOMPARE(failureOf([&] { DocumentFile::write(missingFolder, "x"); }),
             u"ファイル \"%1\" を作るフォルダーが見つかりません"_s.arg(missingFolder));
    QDir(m_dir.path()).mkdir(u"dirtarget"_s);
    const QString folder = m_dir.filePath(u"dirtarget"_s);
    QCOMPARE(failureOf([&] { DocumentFile::write(folder, "x"); }),
             u"\"%1\" はフォルダーなので、ファイルを作成できません"_s.arg(folder));
}

void tst_DocumentFile::failedWriteKeepsTheOldFile()
{
    if (::geteuid() == 0)
        QSKIP("permissions do not stop root");
    QDir(m_dir.path()).mkdir(u"locked"_s);
    const QString folder = m_dir.filePath(u"locked"_s);
    const QString path = folder + u"/doc.txt"_s;
    TestFiles::write(path, "precious");
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString text = failureOf([&] { DocumentFile::write(path, "replacement"); });
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(text, Messages::cannotCreateFile(path, Messages::FileProblem::AccessDenied));
    QCOMPARE(TestFiles::read(path), "precious"_ba);
}

void tst_DocumentFile::writeKeepsPermissions()
{
    const QString path = m_dir.filePath(u"private.txt"_s);
    TestFiles::write(path, "x");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    DocumentFile::write(path, "y");
    QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
}

void tst_DocumentFile::fullDiskKeepsTheOldFile()
{
    // A file size limit makes every write past it fail as a full disk does.
    const QString path = m_dir.filePath(u"full.txt"_s);
    TestFiles::write(path, "the old content");
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const QString text = failureOf([&] { DocumentFile::write(path, QByteArray(5000, 'x')); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    QCOMPARE(text, u"ストリームへの書き込みに失敗しました"_s);
    QCOMPARE(TestFiles::read(path), "the old content"_ba);
    QCOMPARE(QDir(m_dir.path()).entryList({ u"full.txt*"_s }, QDir::Files | QDir::Hidden).size(), 1);
}

void tst_DocumentFile::writingThroughALinkKeepsTheLink()
{
    const QString target = m_dir.filePath(u"target.txt"_s);
    const QString link = m_dir.filePath(u"link.txt"_s);
    TestFiles::write(target, "before");
    QVERIFY(QFile::link(target, link));
    DocumentFile::write(link, "after");
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(TestFiles::read(target), "after"_ba);
}

void tst_DocumentFile::messagesNameTheFullPath()
{
    const QString before = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    const QString open = failureOf([] { DocumentFile::read(u"missing.txt"_s); });
    const QString create = failureOf([] { DocumentFile::write(u"nowhere/x.txt"_s, "x"); });
    QDir::setCurrent(before);
    QCOMPARE(open, Messages::cannotOpenFile(m_dir.filePath(u"missing.txt"_s), Messages::FileProblem::NotFound));
    QCOMPARE(create, Messages::cannotCreateFile(m_dir.filePath(u"nowhere/x.txt"_s),
                                                Messages::FileProblem::FolderNotFound));
}

void tst_DocumentFile::writeProtectedFileIsRefused()
{
    // Refused whoever saves, root included: the rename would replace it all the same.
    QDir(m_dir.path()).mkdir(u"protected"_s);
    const QString path = m_dir.filePath(u"protected/readonly.txt"_s);
    TestFiles::write(path, "keep me");
    ::chmod(QFile::encodeName(path).constData(), 0444);
    const ino_t inode = statOf(path).st_ino;
    QCOMPARE(failureOf([&] { DocumentFile::write(path, "replaced"); }), Messages::cannotWrite(path));
    QCOMPARE(u"%1 に書き込めません"_s.arg(path), Messages::cannotWrite(path));
    QCOMPARE(TestFiles::read(path), "keep me"_ba);
    QCOMPARE(statOf(path).st_ino, inode);
    QCOMPARE(statOf(path).st_mode & 07777, mode_t(0444));
    QVERIFY(hiddenEntries(m_dir.filePath(u"protected"_s)).isEmpty());
}

void tst_DocumentFile::nonRegularTargetsAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // %1: the path
    QTest::newRow("a named pipe") << u"pipe"_s << u"\"%1\" は通常のファイルではないので、上書きしません"_s;
    QTest::newRow("a link to a named pipe") << u"pipe-link"_s << u"\"%1\" は通常のファイルではないので、上書きしません"_s;
    QTest::newRow("a link to a folder") << u"folder-link"_s << u"\"%1\" はフォルダーなので、ファイルを作成できません"_s;
}

void tst_DocumentFile::nonRegularTargetsAreRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString pipe = dir.filePath(u"pipe"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QVERIFY(QFile::link(pipe, dir.filePath(u"pipe-link"_s)));
    QDir(dir.path()).mkdir(u"folder"_s);
    QVERIFY(QFile::link(dir.filePath(u"folder"_s), dir.filePath(u"folder-link"_s)));
    const QString path = dir.filePath(name);
    // Writing into the pipe would wait for a reader: refused before anything is opened.
    QCOMPARE(failureOf([&] { DocumentFile::write(path, "x"); }), expected.arg(path));
    QVERIFY(S_ISFIFO(statOf(pipe).st_mode));
    QVERIFY(QFileInfo(path).isSymLink() || name == u"pipe"_s);
    QVERIFY(hiddenEntries(dir.path()).isEmpty());
}

void tst_DocumentFile::hardLinksModeOwnerAndGroupAreKept()
{
    const QString path = m_dir.filePath(u"linked.txt"_s);
    const QString other = m_dir.filePath(u"other-name.txt"_s);
    TestFiles::write(path, "old content");
    ::chmod(QFile::encodeName(path).constData(), 0640);
    QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
    const ino_t inode = statOf(path).st_ino;
    DocumentFile::write(path, "the new content, longer than the old");
    QCOMPARE(statOf(path).st_ino, inode);
    QCOMPARE(TestFiles::read(other), "the new content, longer than the old"_ba);
    DocumentFile::write(path, "short");
    QCOMPARE(TestFiles::read(other), "short"_ba);
    QCOMPARE(statOf(path).st_mode & 07777, mode_t(0640));
    QCOMPARE(statOf(path).st_nlink, nlink_t(2));
    // Neither the new content's temporary nor the old content's copy stays.
    QVERIFY2(hiddenEntries(m_dir.path()).filter(u"linked"_s).isEmpty(), qPrintable(hiddenEntries(m_dir.path()).join(u' ')));

    if (::geteuid() != 0)
        return; // only root can give a file to another user
    const QString foreign = m_dir.filePath(u"foreign.txt"_s);
    TestFiles::write(foreign, "theirs");
    QCOMPARE(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    ::chmod(QFile::encodeName(foreign).constData(), 0664);
    DocumentFile::write(foreign, "edited by root");
    QCOMPARE(TestFiles::read(foreign), "edited by root"_ba);
    QCOMPARE(statOf(foreign).st_uid, uid_t(65534));
    QCOMPARE(statOf(foreign).st_gid, gid_t(65534));
    QCOMPARE(statOf(foreign).st_mode & 07777, mode_t(0664));
}

void tst_DocumentFile::failedInPlaceWritePutsTheOldContentBack()
{
    const QString path = m_dir.filePath(u"inplace.txt"_s);
    const QString other = m_dir.filePath(u"inplace-link.txt"_s);
    TestFiles::write(path, "the old content of the file");
    QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
    FileReplacement::failInPlaceWritesAfter(10); // the disk fills up after 10 bytes
    const QString text = failureOf([&] { DocumentFile::write(path, QByteArray(5000, 'x')); });
    FileReplacement::failInPlaceWritesAfter(-1);
    QCOMPARE(text, Messages::text(Messages::WriteStreamFailed));
    QCOMPARE(TestFiles::read(path), "the old content of the file"_ba);
    QCOMPARE(statOf(path).st_nlink, nlink_t(2));
    QVERIFY(hiddenEntries(m_dir.path()).filter(u"inplace"_s).isEmpty());
}

void tst_DocumentFile::temporaryNamesCarryTheirCheck()
{
    for (const QString &name : { u"doc.txt"_s, u"日本語.rtf"_s, u"a"_s }) {
        const QString temporary = FileReplacement::temporaryName(name);
        QVERIFY(temporary.startsWith(u'.' + name + u'.'));
        QCOMPARE(temporary.size(), name.size() + 8);
        QVERIFY2(FileReplacement::isTemporaryName(temporary), qPrintable(temporary));
        QString other = temporary;
        other[other.size() - 1] = other.at(other.size() - 1) == u'a' ? u'b' : u'a';
        QVERIFY(!FileReplacement::isTemporaryName(other));
    }
    // The user's own files that look alike.
    QVERIFY(!FileReplacement::isTemporaryName(u".emacs.backup"_s));
    QVERIFY(!FileReplacement::isTemporaryName(u".bashrc"_s));
    QVERIFY(!FileReplacement::isTemporaryName(u"..abcdef"_s));
}

void tst_DocumentFile::staleTemporariesAreRemovedByTheNextSave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"doc.txt"_s);
    TestFiles::write(path, "v1");
    // One a save under way holds (locked), one younger than a minute, and a file of the user's.
    // (Named before the fork: the child draws the same random names as this process after it.)
    const QString held = dir.filePath(FileReplacement::temporaryName(u"doc.txt"_s));
    TestFiles::write(held, "being written");
    age(held, 120);
    const int heldFd = ::open(QFile::encodeName(held).constData(), O_RDONLY);
    QCOMPARE(::flock(heldFd, LOCK_EX), 0);
    const QString young = dir.filePath(FileReplacement::temporaryName(u"other.rtf"_s));
    TestFiles::write(young, "just now");
    const QString users = dir.filePath(u".emacs.backup"_s);
    TestFiles::write(users, "mine");
    age(users, 120);
    const QStringList before = hiddenEntries(dir.path());

    // A save killed midway: a child process starts one and dies without tidying up.
    const pid_t child = ::fork();
    if (child == 0) {
        FileReplacement killed(path);
        killed.device().write("half of v2");
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    QStringList left = hiddenEntries(dir.path());
    for (const QString &name : before)
        left.removeOne(name);
    QCOMPARE(left.size(), 1);
    const QString stale = dir.filePath(left.first());
    age(stale, 120);

    DocumentFile::write(dir.filePath(u"another.txt"_s), "a save in the same folder");
    ::close(heldFd);
    QVERIFY(!QFile::exists(stale));
    QVERIFY(QFile::exists(held));
    QVERIFY(QFile::exists(young));
    QVERIFY(QFile::exists(users));
    QCOMPARE(TestFiles::read(path), "v1"_ba);
}

QTEST_GUILESS_MAIN(tst_DocumentFile)
void tst_DocumentFile::fileLargerThanMemoryLeftIsRefused_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qint64>("available");
    QTest::addColumn<bool>("refused");
    const QByteArray text(100000, 'a');
    const QByteArray rtf = "{\\rtf1 " + QByteArray(100000, 'b') + "}";
    QTest::newRow("text that fits") << text << DocumentFile::openingCost(text.size(), false) << false;
    QTest::newRow("text one byte short") << text << DocumentFile::openingCost(text.size(), false) - 1 << true;
    QTest::newRow("RTF costs more than text") << rtf << DocumentFile::openingCost(rtf.size(), false) << true;
    QTest::newRow("RTF that fits") << rtf << DocumentFile::openingCost(rtf.size(), true) << false;
    QTest::newRow("memory unknown") << text << qint64(-1) << false;
}

void tst_DocumentFile::fileLargerThanMemoryLeftIsRefused()
{
    QFETCH(QByteArray, data);
    QFETCH(qint64, available);
    QFETCH(bool, refused);
    const QString path = m_dir.filePath(u"memory.txt"_s);
    TestFiles::write(path, data);
    DocumentFile::setMemoryProbe([available] { return available; });
    QString error;
    try {
        QCOMPARE(DocumentFile::read(path), data);
    } catch (const AppError &e) {
        error = e.text();
    }
    DocumentFile::setMemoryProbe({});
    QCOMPARE(error, refused ? Messages::cannotOpenFile(path, Messages::FileProblem::NotEnoughMemory) : QString());
}

#include "tst_documentfile.moc"
