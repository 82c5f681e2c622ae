#include "app/apperror.h"
#include "app/messages.h"
#include "document/documentfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"

#include <functional>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
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
    TestFiles::write(path, {});
    QCOMPARE(DocumentFile::read(path), QByteArray());
}

void tst_DocumentFile::openFailuresNameTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing file") << u"missing.txt"_s << QString::fromUtf16(Messages::ReasonNotFound);
    QTest::newRow("missing folder") << u"nowhere/missing.txt"_s << QString::fromUtf16(Messages::ReasonFolderNotFound);
    QTest::newRow("a folder") << u"folder"_s << QString::fromUtf16(Messages::ReasonIsFolder);
    QTest::newRow("a named pipe") << u"pipe"_s << QString::fromUtf16(Messages::ReasonNotRegularFile);
}

void tst_DocumentFile::openFailuresNameTheFile()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QDir(m_dir.path()).mkdir(u"folder"_s);
    const QString pipe = m_dir.filePath(u"pipe"_s);
    ::mkfifo(QFile::encodeName(pipe).constData(), 0600);
    const QString path = m_dir.filePath(name);
    // Opening a pipe must not wait for a writer: this would hang if it did.
    const QString text = failureOf([&] { DocumentFile::read(path); });
    QCOMPARE(text, u"ファイル \"%1\". %2 は開けません"_s.arg(path, reason));
}

void tst_DocumentFile::unreadableFile()
{
    if (::geteuid() == 0)
        QSKIP("permissions do not stop root");
    const QString path = m_dir.filePath(u"secret.txt"_s);
    TestFiles::write(path, "x");
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    QCOMPARE(failureOf([&] { DocumentFile::read(path); }),
             Messages::cannotOpenFile(path, QString::fromUtf16(Messages::ReasonAccessDenied)));
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
             u"ファイル \"%1\". %2 を作成できません"_s.arg(missingFolder, QString::fromUtf16(Messages::ReasonFolderNotFound)));
    QDir(m_dir.path()).mkdir(u"dirtarget"_s);
    const QString folder = m_dir.filePath(u"dirtarget"_s);
    QCOMPARE(failureOf([&] { DocumentFile::write(folder, "x"); }),
             Messages::cannotCreateFile(folder, QString::fromUtf16(Messages::ReasonIsFolder)));
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
    QVERIFY(text.endsWith(u" を作成できません"_s));
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
    QCOMPARE(error, refused ? Messages::cannotOpenFile(path, Messages::text(Messages::ReasonNotEnoughMemory)) : QString());
}

#include "tst_documentfile.moc"
