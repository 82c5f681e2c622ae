#include "document/apperror.h"
#include "document/documentmessages.h"
#include "printing/tpreparedpages.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "testfiles.h"

#include <atomic>
#include <bit>
#include <functional>
#include <thread>

#include <csignal>
#include <sys/resource.h>

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

// Every file write past limitBytes fails, as on a full disk, until this goes out of scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limitBytes)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = limitBytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }
    Q_DISABLE_COPY_MOVE(FileSizeLimit)

private:
    rlimit m_saved {};
};

quint16 u16At(const QByteArray &bytes, qsizetype pos)
{
    return qFromLittleEndian<quint16>(bytes.constData() + pos);
}
quint32 u32At(const QByteArray &bytes, qsizetype pos)
{
    return qFromLittleEndian<quint32>(bytes.constData() + pos);
}
double doubleAt(const QByteArray &bytes, qsizetype pos)
{
    return std::bit_cast<double>(qFromLittleEndian<quint64>(bytes.constData() + pos));
}

QByteArray bytesOf(const QPicture &picture)
{
    return QByteArray(picture.data(), picture.size());
}

// A "recording" of arbitrary bytes: the store keeps recordings as they are, so sizes can be exact.
QPicture pictureOf(const QByteArray &bytes)
{
    QPicture picture;
    picture.setData(bytes.constData(), uint(bytes.size()));
    return picture;
}

QByteArray filler(int pageNumber, qsizetype size)
{
    QByteArray bytes(size, char('a' + pageNumber % 26));
    if (size >= 4)
        qToLittleEndian(quint32(pageNumber), bytes.data());
    return bytes;
}

// A page as the report draws one: frames, a page number, and Japanese text when asked.
QPicture recording(int pageNumber, int lines = 3)
{
    QPicture picture;
    QPainter painter(&picture);
    painter.setFont(QFont(u"IPAGothic"_s, 10));
    painter.drawRect(10, 10, 380, 280);
    painter.fillRect(20 + pageNumber % 50, 20, 40, 15, Qt::darkBlue);
    painter.drawText(70, 32, u"Page %1"_s.arg(pageNumber));
    for (int line = 0; line < lines; ++line)
        painter.drawText(20, 50 + (line % 24) * 10, u"第%1頁 の本文、ABC 漢字かなカナ %2"_s.arg(pageNumber).arg(line));
    return picture;
}

QImage replayed(const QPicture &picture)
{
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawPicture(0, 0, picture);
    return image;
}

} // namespace

class tst_PreparedPages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    // The stream's layout, byte for byte.
    void onePageLayout();
    void headerCountWaitsForFinish();
    void recordsChainThroughTheStream();
    void oleAutomationDate_data();
    void oleAutomationDate();

    // Fetching.
    void pagesOutsideTheStore_data();
    void pagesOutsideTheStore();
    void fetchInAnyOrder_data();
    void fetchInAnyOrder();
    void manyPagesForwardAndBackward_data();
    void manyPagesForwardAndBackward();
    void fetchWhileAnotherThreadAdds();

    // Moving to the temporary file.
    void spillThreshold_data();
    void spillThreshold();
    void spillKeepsPagesAndRemovesTheFile();
    void fullDiskDuringSpillKeepsTheStore();
    void fullDiskInTheFileDropsOnlyThatPage();
    void unusableTemporaryFolder_data();
    void unusableTemporaryFolder();

private:
    QTemporaryDir m_tempFolder;
};

void tst_PreparedPages::initTestCase()
{
    // A temporary folder of our own, so leftover files can be counted while other tests run.
    QVERIFY(m_tempFolder.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_tempFolder.path()));
    QCOMPARE(QDir::tempPath(), m_tempFolder.path());
}

void tst_PreparedPages::onePageLayout()
{
    const QByteArray data = bytesOf(recording(1));
    TPreparedPages pages;
    pages.addPage(recording(1));
    const double before = TPreparedPages::oleAutomationDate(QDateTime::currentDateTime());
    pages.finish();
    const double after = TPreparedPages::oleAutomationDate(QDateTime::currentDateTime());

    const QByteArray raw = pages.rawBytes();
    QCOMPARE(raw.size(), 128 + 4 + 4 + data.size() + 4);
    QCOMPARE(u16At(raw, 0), quint16(3));
    QCOMPARE(u16At(raw, 2), quint16(309));
    QCOMPARE(u32At(raw, 8), 1u);
    const double written = doubleAt(raw, 16);
    const double oneMinute = 1.0 / (24 * 60);
    QVERIFY2(
        written >= before - oneMinute && written <= after + oneMinute, qPrintable(QString::number(written, 'f', 6)));
    QCOMPARE(raw.at(25), '\0');
    QByteArray rest = raw.left(128);
    rest.replace(0, 4, QByteArray(4, '\0')).replace(8, 4, QByteArray(4, '\0')).replace(16, 8, QByteArray(8, '\0'));
    QCOMPARE(rest, QByteArray(128, '\0'));

    QCOMPARE(u32At(raw, 128), 1u);
    QCOMPARE(u32At(raw, 132), quint32(raw.size()));
    QCOMPARE(raw.mid(136, data.size()), data);
    QCOMPARE(u32At(raw, raw.size() - 4), 128u);
}

void tst_PreparedPages::headerCountWaitsForFinish()
{
    TPreparedPages pages;
    for (int n = 1; n <= 3; ++n)
        pages.addPage(recording(n));
    const QByteArray unfinished = pages.rawBytes();
    QCOMPARE(u32At(unfinished, 8), 1u);
    pages.finish();
    const QByteArray finished = pages.rawBytes();
    QCOMPARE(u32At(finished, 8), 3u);
    QCOMPARE(finished.mid(128), unfinished.mid(128));
    // Rewriting the header must leave the stream where fetching expects it.
    QCOMPARE(bytesOf(*pages.page(2)), bytesOf(recording(2)));
    pages.addPage(recording(4));
    QCOMPARE(bytesOf(*pages.page(4)), bytesOf(recording(4)));
    QCOMPARE(bytesOf(*pages.page(3)), bytesOf(recording(3)));
}

void tst_PreparedPages::recordsChainThroughTheStream()
{
    // A blank page (no bytes at all) between two others: its length comes out as zero, not
    // negative, and its neighbours' positions still line up.
    const QList<QByteArray> data { filler(1, 7), QByteArray(), filler(3, 1000) };
    TPreparedPages pages;
    for (const QByteArray &bytes : data)
        pages.addPage(pictureOf(bytes));
    const QByteArray raw = pages.rawBytes();

    const QList<quint32> starts { 128, 128 + 12 + 7, 128 + 12 + 7 + 12 };
    QCOMPARE(raw.size(), qsizetype(starts.at(2) + 12 + 1000));
    for (int i = 0; i < 3; ++i) {
        const quint32 start = starts.at(i);
        const quint32 next = start + 12 + quint32(data.at(i).size());
        QCOMPARE(u32At(raw, start), quint32(i + 1));
        QCOMPARE(u32At(raw, start + 4), next);
        QCOMPARE(raw.mid(start + 8, data.at(i).size()), data.at(i));
        QCOMPARE(u32At(raw, next - 4), start);
    }
    QCOMPARE(bytesOf(*pages.page(2)), QByteArray());
    QCOMPARE(bytesOf(*pages.page(3)), data.at(2));
    QCOMPARE(bytesOf(*pages.page(2)), QByteArray());
    QCOMPARE(bytesOf(*pages.page(1)), data.at(0));
}

void tst_PreparedPages::oleAutomationDate_data()
{
    QTest::addColumn<QDateTime>("local");
    QTest::addColumn<double>("expected");
    QTest::newRow("the day the count starts") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("1 January 1900") << QDateTime(QDate(1900, 1, 1), QTime(0, 0)) << 2.0;
    QTest::newRow("1 March 1900, no leap day that year") << QDateTime(QDate(1900, 3, 1), QTime(0, 0)) << 61.0;
    QTest::newRow("8 December 2026 noon") << QDateTime(QDate(2026, 12, 8), QTime(12, 0)) << 46364.5;
    QTest::newRow("a quarter before midnight") << QDateTime(QDate(2000, 1, 1), QTime(18, 0)) << 36526.75;
}

void tst_PreparedPages::oleAutomationDate()
{
    QFETCH(QDateTime, local);
    QFETCH(double, expected);
    QCOMPARE(TPreparedPages::oleAutomationDate(local), expected);
}

void tst_PreparedPages::pagesOutsideTheStore_data()
{
    QTest::addColumn<int>("pageCount");
    QTest::addColumn<int>("number");
    QTest::newRow("empty store, page 1") << 0 << 1;
    QTest::newRow("page 0") << 1 << 0;
    QTest::newRow("negative page") << 1 << -1;
    QTest::newRow("page 2 of one") << 1 << 2;
    QTest::newRow("one past the last of three") << 3 << 4;
}

void tst_PreparedPages::pagesOutsideTheStore()
{
    QFETCH(int, pageCount);
    QFETCH(int, number);
    TPreparedPages pages;
    for (int n = 1; n <= pageCount; ++n)
        pages.addPage(recording(n));
    pages.finish();
    QVERIFY(!pages.page(number).has_value());
    if (pageCount > 0)
        QCOMPARE(bytesOf(*pages.page(pageCount)), bytesOf(recording(pageCount)));
}

void tst_PreparedPages::fetchInAnyOrder_data()
{
    QTest::addColumn<bool>("spilled");
    QTest::newRow("in memory") << false;
    QTest::newRow("in a temporary file") << true;
}

void tst_PreparedPages::fetchInAnyOrder()
{
    QFETCH(bool, spilled);
    QList<QPicture> originals;
    for (int n = 1; n <= 5; ++n)
        originals.append(recording(n, spilled ? 100 : 3));
    originals[2] = QPicture();
    {
        QPainter painter(&originals[2]);
        painter.drawText(30, 60, u"途中の頁：日本語テキスト"_s);
    }
    TPreparedPages pages;
    for (const QPicture &picture : originals)
        pages.addPage(picture);
    pages.finish();
    QCOMPARE(pages.isSpilled(), spilled);

    const QImage blank = replayed(QPicture());
    for (int number : { 1, 5, 3, 5, 1, 3, 2, 4, 4, 1, 5, 3, 2 }) {
        const std::optional<QPicture> fetched = pages.page(number);
        QVERIFY2(fetched.has_value(), qPrintable(QString::number(number)));
        const QPicture &original = originals.at(number - 1);
        QCOMPARE(bytesOf(*fetched), bytesOf(original));
        const QImage expected = replayed(original);
        QVERIFY(expected != blank);
        QCOMPARE(replayed(*fetched), expected);
    }
}

void tst_PreparedPages::manyPagesForwardAndBackward_data()
{
    QTest::addColumn<bool>("spilled");
    QTest::newRow("in memory") << false;
    QTest::newRow("in a temporary file") << true;
}

void tst_PreparedPages::manyPagesForwardAndBackward()
{
    QFETCH(bool, spilled);
    const int count = 300;
    // Sizes vary from page to page, so a step that assumed a fixed record length would land wrong.
    auto page = [spilled](int n) { return filler(n, (spilled ? 400 : 50) + n % 37); };
    TPreparedPages pages;
    for (int n = 1; n <= count; ++n)
        pages.addPage(pictureOf(page(n)));
    QCOMPARE(pages.pageCount(), count);
    QCOMPARE(pages.isSpilled(), spilled);

    QList<int> order;
    for (int n = 1; n <= count; ++n)
        order.append(n);
    for (int n = count; n >= 1; --n)
        order.append(n);
    order += { 150, 2, 299, 151, 149, 1, 298, 300, 3, 297, 150 };
    for (int n : order)
        QCOMPARE(bytesOf(*pages.page(n)), page(n));
}

void tst_PreparedPages::fetchWhileAnotherThreadAdds()
{
    // Adding and fetching both move the one stream position; without the lock a fetch could
    // read from where the writer had just sought. The pages pass the spill point on the way.
    const int count = 3000;
    auto page = [](int n) { return filler(n, 100 + n % 200); };
    TPreparedPages pages;
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int n = 1; n <= count; ++n)
            pages.addPage(pictureOf(page(n)));
        done = true;
    });
    int fetches = 0;
    int wrong = 0;
    while (!done || fetches < 2000) {
        const int available = pages.pageCount();
        if (available == 0)
            continue;
        const int n = 1 + (fetches * 7919) % available;
        try {
            const std::optional<QPicture> fetched = pages.page(n);
            if (!fetched || bytesOf(*fetched) != page(n))
                ++wrong;
        } catch (const AppError &) {
            ++wrong;
        }
        ++fetches;
    }
    writer.join();
    QCOMPARE(wrong, 0);
    QVERIFY(pages.isSpilled());
}

void tst_PreparedPages::spillThreshold_data()
{
    QTest::addColumn<qsizetype>("recordingBytes");
    QTest::addColumn<bool>("spilled");
    // Header 128 bytes plus 12 bytes around the recording.
    QTest::newRow("exactly 100,000 bytes stays in memory") << qsizetype(100000 - 140) << false;
    QTest::newRow("100,001 bytes moves to a file") << qsizetype(100001 - 140) << true;
}

void tst_PreparedPages::spillThreshold()
{
    QFETCH(qsizetype, recordingBytes);
    QFETCH(bool, spilled);
    TPreparedPages pages;
    pages.addPage(pictureOf(filler(1, recordingBytes)));
    QCOMPARE(pages.isSpilled(), spilled);
    QCOMPARE(pages.temporaryFilePath().isEmpty(), !spilled);
    pages.addPage(pictureOf(QByteArray()));
    QVERIFY(pages.isSpilled());
    QCOMPARE(bytesOf(*pages.page(1)), filler(1, recordingBytes));
    QCOMPARE(bytesOf(*pages.page(2)), QByteArray());
}

void tst_PreparedPages::spillKeepsPagesAndRemovesTheFile()
{
    QString path;
    {
        TPreparedPages pages;
        QList<QByteArray> written;
        while (!pages.isSpilled() && written.size() < 50) {
            written.append(bytesOf(recording(written.size() + 1, 24)));
            pages.addPage(recording(written.size(), 24));
            QCOMPARE(pages.rawBytes().size() > 100000, pages.isSpilled());
        }
        QVERIFY(pages.isSpilled());
        QVERIFY2(written.size() > 1, "the test needs pages from before the spill");
        for (int i = 0; i < 3; ++i) {
            written.append(bytesOf(recording(written.size() + 1, 24)));
            pages.addPage(recording(written.size(), 24));
        }
        pages.finish();

        path = pages.temporaryFilePath();
        QCOMPARE(QFileInfo(path).absolutePath(), QDir::tempPath());
        QVERIFY(QFileInfo::exists(path));
        const QByteArray raw = pages.rawBytes();
        QCOMPARE(TestFiles::read(path), raw);
        QCOMPARE(u32At(raw, 8), quint32(written.size()));

        for (int n : { 1, int(written.size()), 2, int(written.size()) - 1, 1 })
            QCOMPARE(bytesOf(*pages.page(n)), written.at(n - 1));
        for (int n = written.size(); n >= 1; --n)
            QCOMPARE(bytesOf(*pages.page(n)), written.at(n - 1));
    }
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(QDir(QDir::tempPath()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void tst_PreparedPages::fullDiskDuringSpillKeepsTheStore()
{
    TPreparedPages pages;
    pages.addPage(pictureOf(filler(1, 60000)));
    const QByteArray before = pages.rawBytes();
    {
        FileSizeLimit limit(50000);
        const QString text = failureOf([&] { pages.addPage(pictureOf(filler(2, 60000))); });
        QCOMPARE(text, QString::fromUtf16(Messages::WriteStreamFailed));
    }
    QCOMPARE(pages.pageCount(), 1);
    QVERIFY(!pages.isSpilled());
    QCOMPARE(pages.rawBytes(), before);
    QCOMPARE(QDir(QDir::tempPath()).entryList(QDir::Files | QDir::Hidden), QStringList());

    // With room again the same page goes in as page 2 and the stream moves.
    pages.addPage(pictureOf(filler(2, 60000)));
    QVERIFY(pages.isSpilled());
    QCOMPARE(bytesOf(*pages.page(2)), filler(2, 60000));
    QCOMPARE(bytesOf(*pages.page(1)), filler(1, 60000));
}

void tst_PreparedPages::fullDiskInTheFileDropsOnlyThatPage()
{
    TPreparedPages pages;
    for (int n = 1; n <= 3; ++n)
        pages.addPage(pictureOf(filler(n, 40000)));
    QVERIFY(pages.isSpilled());
    QCOMPARE(bytesOf(*pages.page(2)), filler(2, 40000));
    const QByteArray before = pages.rawBytes();
    {
        // Room for the page number and part of the recording, not for the rest.
        FileSizeLimit limit(rlim_t(before.size() + 1000));
        const QString text = failureOf([&] { pages.addPage(pictureOf(filler(4, 5000))); });
        QCOMPARE(text, QString::fromUtf16(Messages::WriteStreamFailed));
    }
    QCOMPARE(pages.pageCount(), 3);
    QCOMPARE(pages.rawBytes(), before);
    QCOMPARE(TestFiles::read(pages.temporaryFilePath()), before);
    QCOMPARE(bytesOf(*pages.page(3)), filler(3, 40000));

    pages.addPage(pictureOf(filler(4, 5000)));
    pages.finish();
    QCOMPARE(u32At(pages.rawBytes(), 8), 4u);
    for (int n : { 4, 2, 3, 1, 4 })
        QCOMPARE(bytesOf(*pages.page(n)), filler(n, n == 4 ? 5000 : 40000));
}

void tst_PreparedPages::unusableTemporaryFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing folder") << u"missing"_s
                                    << Messages::cannotCreateFile(u"penloft-pages-XXXXXX.tmp"_s,
                                                                  Messages::FileProblem::FolderNotFound);
    QTest::newRow("a file, not a folder") << u"plain.txt"_s << QString();
}

void tst_PreparedPages::unusableTemporaryFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    TestFiles::write(m_tempFolder.filePath(u"plain.txt"_s), "not a folder");
    qputenv("TMPDIR", QFile::encodeName(m_tempFolder.filePath(folder)));
    TPreparedPages pages;
    const QString text = failureOf([&] { pages.addPage(pictureOf(filler(1, 120000))); });
    qputenv("TMPDIR", QFile::encodeName(m_tempFolder.path()));
    QFile::remove(m_tempFolder.filePath(u"plain.txt"_s));

    if (!expected.isEmpty())
        QCOMPARE(text, expected);
    QVERIFY2(text.startsWith(u"ファイル \""_s)
                 && (text.endsWith(u" を作成できません"_s) || text.endsWith(u"フォルダーが見つかりません"_s)),
             qPrintable(text));
    QCOMPARE(pages.pageCount(), 0);
    QVERIFY(!pages.isSpilled());
    QCOMPARE(pages.rawBytes(), QByteArray());
    // Never in the working folder instead.
    QCOMPARE(QDir::current().entryList({ u"penloft-pages-*"_s }, QDir::Files | QDir::Hidden), QStringList());

    pages.addPage(pictureOf(filler(1, 120000)));
    QVERIFY(pages.isSpilled());
    QCOMPARE(bytesOf(*pages.page(1)), filler(1, 120000));
}

QTEST_MAIN(tst_PreparedPages)
#include "tst_preparedpages.moc"
