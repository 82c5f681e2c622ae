#include "document/picturecost.h"
#include "document/pictures.h"
#include "document/richdocument.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "peakmemory.h"
#include "picturebombs.h"
#include "scaling.h"

using namespace Qt::StringLiterals;
using PictureCost::DecodeCost;

namespace {

QByteArray encoded(const QImage &image, const char *format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QImage gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, 128));
    }
    return image;
}

// A black-and-white page of `width` x `height` with every fourth row black, as a scanner
// writes it: one bit a pixel.
QByteArray stripedPage(int width, int height)
{
    QImage page(width, height, QImage::Format_Mono);
    page.fill(1);
    page.setColor(0, qRgb(0, 0, 0));
    page.setColor(1, qRgb(255, 255, 255));
    for (int y = 0; y < height; y += 4)
        std::fill_n(page.scanLine(y), page.bytesPerLine(), uchar(0));
    return encoded(page, "PNG");
}

struct Loaded {
    QTextDocument doc;
    RichDocument rich { &doc };
    explicit Loaded(const QByteArray &rtf) { rich.load(rtf, StreamFormat::Rtf, QTextCharFormat()); }

    QList<Picture> pictures() const
    {
        QList<Picture> found;
        for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
            for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
                if (Pictures::isPicture(it.fragment().charFormat())) {
                    for (int i = 0; i < it.fragment().length(); ++i)
                        found += Pictures::pictureOf(it.fragment().charFormat());
                }
            }
        }
        return found;
    }
};

// Loads `rtf` and draws each of its pictures at the size it is shown on a 96 dpi screen;
// the last picture drawn.
QImage loadAndDraw(const QByteArray &rtf)
{
    const Loaded loaded(rtf);
    QImage canvas;
    for (const Picture &picture : loaded.pictures()) {
        const QSizeF shown = picture.sizeTwips() / 15;
        canvas = QImage(qCeil(shown.width()), qCeil(shown.height()), QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        Pictures::draw(&painter, QRectF(QPointF(0, 0), shown), picture);
    }
    return canvas;
}

bool isBox(const QImage &drawn)
{
    return !drawn.isNull() && QColor(drawn.pixel(drawn.width() / 2, drawn.height() / 2)) == QColor(0xE0, 0xE0, 0xE0);
}

double meanGrey(const QImage &image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
    }
    return sum / (qint64(image.width()) * image.height());
}

// A picture small in the file and costly to decode, how it is shown, and how many copies a
// document of it holds at each of two sizes.
struct Bomb {
    QByteArray kind;
    QByteArray bytes;
    int twips = 1440;
    int copies[2] = { 1, 2 };
};

// The RTF of `copies` copies of `bomb`, and of as many honest pictures of at least its size.
std::pair<QByteArray, QByteArray> bombAndHonest(const Bomb &bomb, int copies)
{
    const QByteArray honest
        = PictureBombs::noisePictureOfAtLeast(bomb.kind == "pngblip" ? "png" : "jpeg", bomb.bytes.size());
    return { PictureBombs::rtfWithPictures(bomb.kind, bomb.bytes, copies, bomb.twips),
        PictureBombs::rtfWithPictures(bomb.kind, honest, copies, bomb.twips) };
}

} // namespace

Q_DECLARE_METATYPE(Bomb)

class tst_PictureCost : public QObject {
    Q_OBJECT
private slots:
    void costIsReadFromTheHeader_data();
    void costIsReadFromTheHeader();
    void documentSharesOneAllowance();
    void bombsAreBoxesAndCostLittle_data();
    void bombsAreBoxesAndCostLittle();
    void pageIsDecodedAtTheSizeShown();
    void largeDrawingFitsThePicturesMemory();
};

void tst_PictureCost::costIsReadFromTheHeader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("jpeg");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<qint64>("leastFixed");
    QTest::addColumn<qint64>("mostFixed");
    QTest::addColumn<qint64>("leastWork");
    QTest::addColumn<qint64>("mostWork");
    const qint64 mb = 1024 * 1024;
    // 500 x 500 blocks, read by the first scan and each of the ten after it; 128 bytes a block.
    const QByteArray scans = PictureBombs::progressiveJpeg(4000, 10);
    QTest::newRow("progressive, repeated scans")
        << scans << true << QSize(4000, 4000) << qint64(250000 * 128) << qint64(250000 * 128 + 2 * mb)
        << qint64(250000 * 11) << qint64(250000 * 11);
    QTest::newRow("progressive, cut short")
        << scans.left(scans.size() / 2) << true << QSize(4000, 4000) << qint64(250000 * 128)
        << qint64(250000 * 128 + 2 * mb) << qint64(250000) << qint64(250000 * 11);
    // A baseline JPEG streams: no coefficients are kept. A progressive one keeps them all.
    const QImage photo = gradient(400, 300);
    QTest::newRow("baseline JPEG") << encoded(photo, "JPEG") << true << QSize(400, 300) << qint64(0) << qint64(mb)
                                   << qint64(400 * 300 / 64) << qint64(400 * 300 / 32);
    QTest::newRow("progressive JPEG") << encoded(photo, "JPEG", true) << true << QSize(400, 300)
                                      << qint64(400 * 300 / 64 * 128) << qint64(2 * mb) << qint64(400 * 300 / 64)
                                      << qint64(400 * 300);
    // A black-and-white PNG is read whole, a bit a pixel; a colour one is scaled as it is read.
    QTest::newRow("1-bit PNG") << PictureBombs::flatPng(4000) << false << QSize(4000, 4000) << qint64(2000000)
                               << qint64(2000000 + 2 * mb) << qint64(4000 * 4000 / 2) << qint64(4000 * 4000 / 2);
    QTest::newRow("colour PNG") << encoded(gradient(1000, 800), "PNG") << false << QSize(1000, 800) << qint64(0)
                                << qint64(mb) << qint64(800000) << qint64(800000);
    QTest::newRow("grey PNG") << encoded(gradient(1000, 800).convertToFormat(QImage::Format_Grayscale8), "PNG") << false
                              << QSize(1000, 800) << qint64(800000) << qint64(800000 + mb) << qint64(800000)
                              << qint64(800000);
    QTest::newRow("not a picture") << QByteArray("GIF89a not one") << true << QSize() << qint64(0) << qint64(0)
                                   << qint64(0) << qint64(0);
    QTest::newRow("PNG header cut short")
        << PictureBombs::flatPng(40).left(20) << false << QSize() << qint64(0) << qint64(0) << qint64(0) << qint64(0);
}

// The memory and time a decode takes are known from the header and the markers before any
// pixel is decoded.
void tst_PictureCost::costIsReadFromTheHeader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, jpeg);
    QFETCH(QSize, pixels);
    QFETCH(qint64, leastFixed);
    QFETCH(qint64, mostFixed);
    const DecodeCost cost = jpeg ? PictureCost::jpegCost(bytes) : PictureCost::pngCost(bytes);
    QCOMPARE(cost.pixels, pixels);
    QVERIFY2(
        cost.fixedBytes >= leastFixed && cost.fixedBytes <= mostFixed, qPrintable(QString::number(cost.fixedBytes)));
    QFETCH(qint64, leastWork);
    QFETCH(qint64, mostWork);
    QVERIFY2(cost.work >= leastWork && cost.work <= mostWork, qPrintable(QString::number(cost.work)));
}

// The pictures of one document share one allowance, spent in the order they are read: the
// first costly ones are drawn, the rest show as boxes; a picture its own bytes pay for is
// drawn wherever it stands, and a costly picture alone in a document is drawn.
void tst_PictureCost::documentSharesOneAllowance()
{
    const QByteArray bomb = PictureBombs::flatPng(4000);
    const QByteArray honest = PictureBombs::noisePicture("png", 24);
    const QByteArray rtf = PictureBombs::rtfWithPictures("pngblip", bomb, 10, 288).chopped(5) + "{\\pict\\pngblip "
        + honest.toHex() + "}\\par}";
    const Loaded loaded(rtf);
    const QList<Picture> pictures = loaded.pictures();
    QCOMPARE(pictures.size(), 11);
    QVERIFY(pictures.first().isDrawable());
    QVERIFY(!pictures[9].isDrawable());
    for (int i = 1; i < 10; ++i)
        QVERIFY(pictures[i].isDrawable() <= pictures[i - 1].isDrawable());
    QVERIFY(pictures.last().isDrawable());
    QVERIFY(loadAndDraw(PictureBombs::rtfWithPictures("pngblip", bomb, 1, 288)).pixel(5, 5) == qRgb(0, 0, 0));
}

void tst_PictureCost::bombsAreBoxesAndCostLittle_data()
{
    QTest::addColumn<Bomb>("bomb");
    // Every block's coefficients kept: 128 MB.
    QTest::newRow("progressive JPEG 8000 x 8000")
        << Bomb { "jpegblip", PictureBombs::progressiveJpeg(8000, 1), 1440, { 1, 2 } };
    // 62,500 blocks walked 400 times.
    QTest::newRow("JPEG of 400 scans") << Bomb { "jpegblip", PictureBombs::progressiveJpeg(2000, 400), 1440, { 2, 4 } };
    // 2 KB each, 16 million pixels each, shown at a fifth of an inch. The document's allowance
    // pays for the first few, the same at both sizes.
    QTest::newRow("PNGs of 4000 x 4000") << Bomb { "pngblip", PictureBombs::flatPng(4000), 288, { 40, 400 } };
}

// Loading and drawing a document of pictures that are small in the file and costly to decode
// takes no more memory than such a file may, and what more copies of them add costs no more
// than as many honest pictures of the same size add: compared at two sizes of the document.
void tst_PictureCost::bombsAreBoxesAndCostLittle()
{
    QFETCH(Bomb, bomb);
    if (!PeakMemory::reset())
        QSKIP("the peak memory cannot be reset here");
    double bombSeconds[2] = {};
    double honestSeconds[2] = {};
    bool boxes = true;
    for (int scale = 0; scale < 2; ++scale) {
        const auto [rtf, honest] = bombAndHonest(bomb, bomb.copies[scale]);
        const QString at = u"%1 copies"_s.arg(bomb.copies[scale]);
        QImage drawn;
        PeakMemory::reset();
        const qint64 before = PeakMemory::residentKb();
        bombSeconds[scale] = Scaling::cpuSeconds([&] { drawn = loadAndDraw(rtf); });
        const qint64 growth = PeakMemory::growthSince(before);
        const qint64 allowed = 100 * 1024 * 1024 + 12 * qint64(rtf.size());
        QVERIFY2(growth <= allowed, qPrintable(u"%1: %2 MB"_s.arg(at).arg(growth >> 20)));
        boxes = boxes && isBox(drawn);
        honestSeconds[scale] = Scaling::cpuSeconds([&] { drawn = loadAndDraw(honest); });
        QVERIFY2(!isBox(drawn), qPrintable(at));
    }
    const double bombAdded = bombSeconds[1] - bombSeconds[0];
    const double honestAdded = honestSeconds[1] - honestSeconds[0];
    QVERIFY2(bombAdded <= 3 * qMax(honestAdded, 0.0) + 0.2 * honestSeconds[1],
        qPrintable(u"the copies added %1 s, honest ones %2 s"_s.arg(bombAdded).arg(honestAdded)));
    QVERIFY(boxes);
}

// A scanned page (one bit a pixel) shown small is decoded in its own format and scaled a few
// rows at a time: its memory is a fraction of the 32-bit image, at two sizes of the page.
void tst_PictureCost::pageIsDecodedAtTheSizeShown()
{
    if (!PeakMemory::reset())
        QSKIP("the peak memory cannot be reset here");
    for (int scale = 1; scale <= 2; ++scale) {
        const QSize page(1240 * scale, 1754 * scale);
        const QByteArray png = stripedPage(page.width(), page.height());
        const Picture picture = Picture::fromPng(png);
        QVERIFY(picture.isDrawable());
        PeakMemory::reset();
        const qint64 before = PeakMemory::residentKb();
        const QImage shown = picture.image(page / 20);
        const qint64 growth = PeakMemory::growthSince(before);
        QCOMPARE(shown.size(), page / 20);
        // A quarter of the rows black: grey at three quarters of white.
        QVERIFY2(qAbs(meanGrey(shown) - 191) < 8, qPrintable(QString::number(meanGrey(shown))));
        const qint64 ownFormat = qint64(page.width()) * page.height() / 8;
        QVERIFY2(growth < ownFormat + 4 * 1024 * 1024, qPrintable(u"scale %1: %2 KB"_s.arg(scale).arg(growth >> 10)));
    }
}

// Drawn larger than its memory allows (a progressive JPEG of 2000 x 2000 keeps 8 MB of
// coefficients; at full size the image takes 16 MB, and as much again while it is scaled), a
// picture is decoded smaller and still drawn.
void tst_PictureCost::largeDrawingFitsThePicturesMemory()
{
    if (!PeakMemory::reset())
        QSKIP("the peak memory cannot be reset here");
    const QByteArray jpeg = PictureBombs::progressiveJpeg(2000, 1);
    const Picture picture = Loaded(PictureBombs::rtfWithPictures("jpegblip", jpeg, 1, 1440)).pictures().value(0);
    QVERIFY(picture.isDrawable());
    const qint64 before = PeakMemory::residentKb();
    const QImage image = picture.image(QSize(2000, 2000));
    const qint64 growth = PeakMemory::growthSince(before);
    QVERIFY(!image.isNull());
    QVERIFY2(image.width() < 2000 && image.width() >= 1000, qPrintable(QString::number(image.width())));
    QCOMPARE(image.height(), image.width());
    QCOMPARE(QColor(image.pixel(10, 10)), QColor(128, 128, 128));
    QVERIFY2(growth <= PictureCost::memoryLimit(jpeg.size()), qPrintable(QString::number(growth >> 20)));
}

QTEST_MAIN(tst_PictureCost)
#include "tst_picturecost.moc"
