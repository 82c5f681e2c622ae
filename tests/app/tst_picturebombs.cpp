#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include "converterrun.h"
#include "peakmemory.h"
#include "picturebombs.h"
#include "testfiles.h"

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

// A document of copies of a picture small in the file and costly to decode, as it is shown.
struct Bomb {
    QByteArray kind;
    QByteArray bytes;
    int twips = 1440;
    int copies = 1;
};

// The files of a row at one size: the bomb's, and one of as many honest pictures of at least
// its size.
struct Files {
    QString bomb;
    QString honest;
    qint64 bombSize = 0;
};

Files writeFiles(const QString &folder, const Bomb &bomb, int scale)
{
    const QByteArray honest
        = PictureBombs::noisePictureOfAtLeast(bomb.kind == "pngblip" ? "png" : "jpeg", bomb.bytes.size());
    const QByteArray rtf = PictureBombs::rtfWithPictures(bomb.kind, bomb.bytes, bomb.copies, bomb.twips);
    Files files { QDir(folder).filePath(u"bomb%1.rtf"_s.arg(scale)),
        QDir(folder).filePath(u"honest%1.rtf"_s.arg(scale)), rtf.size() };
    TestFiles::write(files.bomb, rtf);
    TestFiles::write(files.honest, PictureBombs::rtfWithPictures(bomb.kind, honest, bomb.copies, bomb.twips));
    return files;
}

// The most memory opening and converting a file may take.
qint64 allowedBytes(qint64 fileSize)
{
    return 100 * 1024 * 1024 + 12 * fileSize;
}

double processSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Box pixels (the light grey of a picture that is not drawn) in the image.
int boxPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == qRgb(0xE0, 0xE0, 0xE0);
    }
    return count;
}

// Keeps the least of the times measured (-1: none yet): the run other processes disturbed least.
void keepLeast(double &kept, double seconds)
{
    kept = kept < 0 ? seconds : qMin(kept, seconds);
}

// What the larger document adds to the smaller's cost, against what the larger honest one adds
// to its smaller one: the program's own start and the decoding every document may spend cancel
// out, what grows with the file stays. A part of the larger honest cost covers the noise.
bool addsNoMore(const double bomb[2], const double honest[2], QString *why)
{
    const double bombAdded = bomb[1] - bomb[0];
    const double honestAdded = honest[1] - honest[0];
    *why = u"the larger added %1 s, the larger honest one %2 s"_s.arg(bombAdded).arg(honestAdded);
    // A tenth of a second for a busy machine's noise: the costs this catches are seconds.
    return bombAdded <= 3 * qMax(honestAdded, 0.0) + 0.2 * honest[1] + 0.1;
}

void addRows()
{
    using namespace PictureBombs;
    QTest::addColumn<Bomb>("smaller");
    QTest::addColumn<Bomb>("larger");
    // Every block's coefficients kept: 512 MB and 2 GB, from 0.5 MB and 2 MB of data.
    QTest::newRow("progressive JPEG, 16000 and 32000 a side")
        << Bomb { "jpegblip", progressiveJpeg(16000, 1) } << Bomb { "jpegblip", progressiveJpeg(32000, 1) };
    // 250,000 blocks walked 2500 and 5000 times.
    QTest::newRow("JPEG of 2500 and 5000 scans")
        << Bomb { "jpegblip", progressiveJpeg(4000, 2500) } << Bomb { "jpegblip", progressiveJpeg(4000, 5000) };
    // 2 KB each, 16 million pixels each, shown at a fifth of an inch.
    const QByteArray png = flatPng(4000);
    QTest::newRow("PNGs of 4000 x 4000, more of them")
        << Bomb { "pngblip", png, 288, 100 } << Bomb { "pngblip", png, 288, 200 };
}

} // namespace

Q_DECLARE_METATYPE(Bomb)

// Documents of pictures that are small in the file and costly to decode, converted to PDF by
// the converter and opened in the window: each takes no more memory than a file of its size
// may, and from the smaller to the larger its cost grows no more than that of documents of
// honest pictures of the same sizes.
class tst_PictureBombs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void convertingCostsAsHonestPicturesDo_data() { addRows(); }
    void convertingCostsAsHonestPicturesDo();
    void openingCostsAsHonestPicturesDo_data() { addRows(); }
    void openingCostsAsHonestPicturesDo();
};

void tst_PictureBombs::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_PictureBombs::cleanup()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_PictureBombs::convertingCostsAsHonestPicturesDo()
{
    if (!PeakMemory::measurable())
        QSKIP("memory is not measured under the address sanitizer");
    QFETCH(Bomb, smaller);
    QFETCH(Bomb, larger);
    QTemporaryDir dir;
    const QStringList arguments { u"--convert-to"_s, u"pdf"_s, u"--outdir"_s, u"out"_s };
    double bombSeconds[2] = { -1, -1 };
    double honestSeconds[2] = { -1, -1 };
    int scale = 0;
    for (const Bomb &bomb : { smaller, larger }) {
        const Files files = writeFiles(dir.path(), bomb, scale);
        for (int run = 0; run < 3; ++run) {
            const auto bombRun = ConverterRun::convertMeasured(arguments + QStringList { files.bomb }, dir.path());
            const auto honestRun = ConverterRun::convertMeasured(arguments + QStringList { files.honest }, dir.path());
            QCOMPARE(bombRun.status, 0);
            QCOMPARE(honestRun.status, 0);
            QVERIFY2(bombRun.peakBytes <= allowedBytes(files.bombSize),
                qPrintable(u"%1 bytes: %2 MB"_s.arg(files.bombSize).arg(bombRun.peakBytes >> 20)));
            keepLeast(bombSeconds[scale], bombRun.cpuSeconds);
            keepLeast(honestSeconds[scale], honestRun.cpuSeconds);
        }
        QVERIFY(
            QFileInfo(QDir(dir.filePath(u"out"_s)).filePath(QFileInfo(files.bomb).baseName() + u".pdf"_s)).size() > 0);
        ++scale;
    }
    QString why;
    QVERIFY2(addsNoMore(bombSeconds, honestSeconds, &why), qPrintable(why));
}

// The window opens the document and shows its first screen, within the memory a file of its
// size may take; the pictures not drawn are boxes.
void tst_PictureBombs::openingCostsAsHonestPicturesDo()
{
    if (!PeakMemory::measurable())
        QSKIP("memory is not measured under the address sanitizer");
    QFETCH(Bomb, smaller);
    QFETCH(Bomb, larger);
    if (!PeakMemory::reset())
        QSKIP("the peak memory cannot be reset here");
    QTemporaryDir dir;
    TPenForm1 window;
    window.resize(800, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    RichEdit &editor = *window.RichEdit1;
    QImage shown;
    const auto open = [&](const QString &path) {
        const double start = processSeconds();
        window.OpenFile(path);
        static_cast<void>(QTest::qWaitFor([&] { return !editor.isLoading(); }, 60000));
        shown = editor.viewport()->grab().toImage();
        return processSeconds() - start;
    };
    double bombSeconds[2] = { -1, -1 };
    double honestSeconds[2] = { -1, -1 };
    int scale = 0;
    for (const Bomb &bomb : { smaller, larger }) {
        const Files files = writeFiles(dir.path(), bomb, scale);
        const QString at = u"%1 bytes"_s.arg(files.bombSize);
        for (int run = 0; run < 3; ++run) {
            PeakMemory::reset();
            const qint64 before = PeakMemory::residentKb();
            keepLeast(bombSeconds[scale], open(files.bomb));
            const qint64 growth = PeakMemory::growthSince(before);
            QVERIFY2(growth <= allowedBytes(files.bombSize), qPrintable(u"%1: %2 MB"_s.arg(at).arg(growth >> 20)));
            QVERIFY2(boxPixels(shown) > 100, qPrintable(at));
            keepLeast(honestSeconds[scale], open(files.honest));
            QCOMPARE(boxPixels(shown), 0);
        }
        ++scale;
    }
    QString why;
    QVERIFY2(addsNoMore(bombSeconds, honestSeconds, &why), qPrintable(why));
}

QTEST_MAIN(tst_PictureBombs)
#include "tst_picturebombs.moc"
