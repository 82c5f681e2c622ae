#include "document/pictures.h"
#include "document/richdocument.h"
#include "document/rtf/rtfpicture.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

using TestFiles::fixture;

QByteArray png()
{
    return fixture(u"pictures/small.png"_s);
}
QByteArray jpeg()
{
    return fixture(u"pictures/small.jpg"_s);
}
QByteArray wmf()
{
    return fixture(u"pictures/tiny.wmf"_s);
}

struct Found {
    Picture picture;
    int position = -1;
};

QList<Found> picturesOf(const QTextDocument &document)
{
    QList<Found> found;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment part = it.fragment();
            if (!Pictures::isPicture(part.charFormat()))
                continue;
            for (int i = 0; i < part.length(); ++i)
                found.append({ Pictures::pictureOf(part.charFormat()), part.position() + i });
        }
    }
    return found;
}

struct Loaded {
    QTextDocument doc;
    RichDocument rich { &doc };
    explicit Loaded(const QByteArray &data) { rich.load(data, StreamFormat::Rtf, QTextCharFormat()); }
};

QByteArray hex(const QByteArray &bytes)
{
    return bytes.toHex();
}

using Kinds = QList<Picture::Kind>;

} // namespace

class tst_Pictures : public QObject {
    Q_OBJECT
private slots:
    void readsPicturesAsOtherProgramsWriteThem_data();
    void readsPicturesAsOtherProgramsWriteThem();
    void roundTripKeepsEveryByte_data();
    void roundTripKeepsEveryByte();
    void shapePictureWinsOverItsCopy_data();
    void shapePictureWinsOverItsCopy();
    void badDataIsKeptAsABox_data();
    void badDataIsKeptAsABox();
    void sizes_data();
    void sizes();
    void pictureIsOnePositionAndNoText();
    void drawsImageOrGreyBox();
    void hugeImageIsABox();
    void manyPicturesReadInLinearMemory();
};

void tst_Pictures::readsPicturesAsOtherProgramsWriteThem_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kinds>("kinds");
    QTest::addColumn<QList<QByteArray>>("bytes");
    QTest::addColumn<QList<QSizeF>>("twips");
    using K = Picture::Kind;
    // The PNG of a shape wins over its WMF copy; a WMF on its own is kept, goal size 480 x 360.
    QTest::newRow("shppict with WMF copy")
        << u"rtf/pictures-shppict-wmf.rtf"_s << u"before\uFFFC after\u2029second \uFFFC"_s << Kinds { K::Png, K::Wmf }
        << QList<QByteArray> { png(), wmf() } << QList<QSizeF> { { 480, 360 }, { 480, 360 } };
    // \nonshppict first, the JPEG after it at 50 %; then a JPEG without goal: 16 x 12 px at 96 dpi.
    QTest::newRow("nonshppict first, jpeg")
        << u"rtf/pictures-jpeg-nonshppict-first.rtf"_s << u"Logo: \uFFFC\u2029\uFFFC"_s << Kinds { K::Jpeg, K::Jpeg }
        << QList<QByteArray> { jpeg(), jpeg() } << QList<QSizeF> { { 240, 180 }, { 240, 180 } };
    QTest::newRow("bin data") << u"rtf/pictures-bin.rtf"_s << u"A\uFFFCB"_s << Kinds { K::Png }
                              << QList<QByteArray> { png() } << QList<QSizeF> { { 240, 180 } };
}

void tst_Pictures::readsPicturesAsOtherProgramsWriteThem()
{
    QFETCH(QString, file);
    QFETCH(QString, text);
    QFETCH(Kinds, kinds);
    QFETCH(QList<QByteArray>, bytes);
    QFETCH(QList<QSizeF>, twips);
    Loaded loaded(fixture(file));
    QCOMPARE(loaded.doc.toPlainText(), QString(text).replace(u'\u2029', u'\n'));
    const QList<Found> found = picturesOf(loaded.doc);
    QCOMPARE(found.size(), kinds.size());
    for (qsizetype i = 0; i < found.size(); ++i) {
        const Picture &p = found[i].picture;
        QCOMPARE(p.kind(), kinds[i]);
        QCOMPARE(hex(p.bytes()), hex(bytes[i]));
        QCOMPARE(p.sizeTwips(), twips[i]);
        QCOMPARE(p.isDrawable(), kinds[i] == Picture::Kind::Png || kinds[i] == Picture::Kind::Jpeg);
    }
}

void tst_Pictures::roundTripKeepsEveryByte_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("png and wmf") << u"rtf/pictures-shppict-wmf.rtf"_s;
    QTest::newRow("jpeg") << u"rtf/pictures-jpeg-nonshppict-first.rtf"_s;
    QTest::newRow("bin") << u"rtf/pictures-bin.rtf"_s;
}

void tst_Pictures::roundTripKeepsEveryByte()
{
    QFETCH(QString, file);
    Loaded first(fixture(file));
    const QByteArray written = first.rich.save(StreamFormat::Rtf);
    QVERIFY(written.contains("{\\pict"));
    Loaded second(written);
    const QList<Found> before = picturesOf(first.doc);
    const QList<Found> after = picturesOf(second.doc);
    QCOMPARE(after.size(), before.size());
    QCOMPARE(second.doc.toPlainText(), first.doc.toPlainText());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const Picture &a = before[i].picture;
        const Picture &b = after[i].picture;
        QCOMPARE(b.kind(), a.kind());
        QCOMPARE(hex(b.bytes()), hex(a.bytes()));
        QCOMPARE(b.sizeTwips(), a.sizeTwips());
        QCOMPARE(b.words().size(), a.words().size());
        for (size_t w = 0; w < a.words().size(); ++w) {
            QCOMPARE(b.words()[w].name, a.words()[w].name);
            QCOMPARE(b.words()[w].value, a.words()[w].value);
        }
        QCOMPARE(after[i].position, before[i].position);
    }
    // Written again, nothing changes.
    QCOMPARE(second.rich.save(StreamFormat::Rtf), written);
}

void tst_Pictures::shapePictureWinsOverItsCopy_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("kinds"); // p: PNG, w: WMF
    const QByteArray p = "{\\pict\\pngblip " + hex(png()) + "}";
    const QByteArray w = "{\\pict\\wmetafile8 " + hex(wmf()) + "}";
    const QByteArray shp = "{\\*\\shppict" + p + "}";
    const QByteArray non = "{\\nonshppict" + w + "}";
    QTest::newRow("shppict, nonshppict") << shp + non << u"p"_s;
    QTest::newRow("nonshppict, shppict") << non + shp << u"p"_s;
    QTest::newRow("nonshppict alone") << non << u"w"_s;
    QTest::newRow("shppict alone") << shp << u"p"_s;
    QTest::newRow("two pairs") << shp + non + shp + non << u"pp"_s;
    QTest::newRow("two pairs, copies first") << non + shp + non + shp << u"pp"_s;
    QTest::newRow("plain pict twice") << p + w << u"pw"_s;
    QTest::newRow("text between") << shp + "x" + non << u"pw"_s;
    QTest::newRow("paragraph between") << shp + "\\par " + non << u"pw"_s;
    // Pictures where no text goes are not read.
    QTest::newRow("in a skipped group") << "{\\*\\unknownthing " + p + "}" << u""_s;
    QTest::newRow("list picture") << "{\\*\\listpicture " + p + "}" << u""_s;
    QTest::newRow("hidden") << "{\\v " + p + "}" << u""_s;
    QTest::newRow("pict twice in one group") << "{\\pict\\pngblip\\pict " + hex(png()) + "}" + w << u"pw"_s;
    QTest::newRow("pict outside any group") << "\\pict\\pngblip " + hex(png()) << u"p"_s;
    QTest::newRow("pict inside pict") << "{\\pict\\pngblip " + hex(png()) + w + "}" << u"p"_s;
}

void tst_Pictures::shapePictureWinsOverItsCopy()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, kinds);
    Loaded loaded("{\\rtf1\\ansi " + body + "\\par}");
    QString got;
    for (const Found &f : picturesOf(loaded.doc))
        got += f.picture.kind() == Picture::Kind::Png ? u'p' : f.picture.kind() == Picture::Kind::Wmf ? u'w' : u'?';
    QCOMPARE(got, kinds);
    QCOMPARE(loaded.doc.toPlainText().count(QChar::ObjectReplacementCharacter), kinds.size());
}

void tst_Pictures::badDataIsKeptAsABox_data()
{
    QTest::addColumn<QByteArray>("pict");
    QTest::addColumn<QByteArray>("bytesHex");
    QTest::addColumn<int>("oddNibble");
    // Each row is the rest of the file after "a"; those that end the file early end there.
    const QByteArray rest = "b\\par}";
    QTest::newRow("odd hex count") << QByteArray("{\\pict\\pngblip\\picwgoal300\\pichgoal300 " + hex(png()) + "a}"
        + rest) << hex(png()) << 0xa;
    QTest::newRow("png that is not one") << QByteArray("{\\pict\\pngblip\\picwgoal300\\pichgoal300 0011223344}" + rest)
                                         << QByteArray("0011223344") << -1;
    QTest::newRow("jpeg that is not one")
        << QByteArray("{\\pict\\jpegblip 89504e47}" + rest) << QByteArray("89504e47") << -1;
    QTest::newRow("no kind") << QByteArray("{\\pict\\picw10\\pich10 abcd}" + rest) << QByteArray("abcd") << -1;
    QTest::newRow("emf") << QByteArray("{\\pict\\emfblip\\picwgoal100\\pichgoal100 0100}" + rest) << QByteArray("0100")
                         << -1;
    QTest::newRow("dib") << QByteArray("{\\pict\\dibitmap0\\picw2\\pich2 28000000}" + rest) << QByteArray("28000000")
                         << -1;
    QTest::newRow("wbitmap") << QByteArray("{\\pict\\wbitmap0\\wbmbitspixel1\\wbmplanes1 ff}" + rest)
                             << QByteArray("ff") << -1;
    QTest::newRow("macpict") << QByteArray("{\\pict\\macpict\\picw10\\pich10 0a0b}" + rest) << QByteArray("0a0b") << -1;
    QTest::newRow("bin past the end") << QByteArray("{\\pict\\wmetafile8\\bin999 \x01\x02") << QByteArray("0102") << -1;
    QTest::newRow("file cut off in the hex") << QByteArray("{\\pict\\emfblip 01023") << QByteArray("0102") << 3;
    QTest::newRow("empty data") << QByteArray("{\\pict\\pngblip}" + rest) << QByteArray() << -1;
}

void tst_Pictures::badDataIsKeptAsABox()
{
    QFETCH(QByteArray, pict);
    QFETCH(QByteArray, bytesHex);
    QFETCH(int, oddNibble);
    Loaded loaded("{\\rtf1\\ansi a" + pict);
    const QList<Found> found = picturesOf(loaded.doc);
    QCOMPARE(found.size(), 1);
    const Picture &picture = found.first().picture;
    QVERIFY(!picture.isDrawable() || picture.image(QSize(8, 8)).isNull());
    QVERIFY(!picture.isDrawable()); // a failed decode marks it
    QCOMPARE(hex(picture.bytes()), bytesHex);
    QCOMPARE(picture.oddNibble(), oddNibble);
    // Written back as it came, the odd digit included.
    Loaded again(loaded.rich.save(StreamFormat::Rtf));
    const QList<Found> back = picturesOf(again.doc);
    QCOMPARE(back.size(), 1);
    QCOMPARE(hex(back.first().picture.bytes()), bytesHex);
    QCOMPARE(back.first().picture.oddNibble(), oddNibble);
    QCOMPARE(back.first().picture.kind(), picture.kind());
}

void tst_Pictures::sizes_data()
{
    QTest::addColumn<QByteArray>("words");
    QTest::addColumn<QSizeF>("twips");
    // The PNG is 16 x 12 pixels: 240 x 180 twips at 96 dpi.
    QTest::newRow("goal") << QByteArray("\\picwgoal1000\\pichgoal500") << QSizeF(1000, 500);
    QTest::newRow("goal scaled") << QByteArray("\\picwgoal1000\\pichgoal500\\picscalex50\\picscaley200")
                                 << QSizeF(500, 1000);
    QTest::newRow("no goal") << QByteArray("\\picw5000\\pich5000") << QSizeF(240, 180);
    QTest::newRow("no goal, scaled") << QByteArray("\\picscalex200\\picscaley100") << QSizeF(480, 180);
    QTest::newRow("goal 0") << QByteArray("\\picwgoal0\\pichgoal0") << QSizeF(240, 180);
    QTest::newRow("goal 2^31") << QByteArray("\\picwgoal2147483648\\pichgoal-2147483648") << QSizeF(240, 180);
    QTest::newRow("scale 0") << QByteArray("\\picwgoal1000\\pichgoal500\\picscalex0\\picscaley0") << QSizeF(1000, 500);
    QTest::newRow("huge scale") << QByteArray("\\picwgoal30000\\pichgoal30000\\picscalex9999\\picscaley9999")
                                << QSizeF(Picture::MaxTwips, Picture::MaxTwips);
    // Larger than the largest size: smaller, in its proportions.
    QTest::newRow("wider than the largest") << QByteArray("\\picwgoal31680\\pichgoal9000\\picscalex200")
                                            << QSizeF(Picture::MaxTwips, 4500);
    QTest::newRow("scaled taller than the largest") << QByteArray("\\picwgoal1000\\pichgoal2000\\picscaley3168")
                                                    << QSizeF(500, Picture::MaxTwips);
    QTest::newRow("tiny") << QByteArray("\\picwgoal1\\pichgoal1\\picscalex1\\picscaley1")
                          << QSizeF(Picture::MinTwips, Picture::MinTwips);
}

void tst_Pictures::sizes()
{
    QFETCH(QByteArray, words);
    QFETCH(QSizeF, twips);
    Loaded loaded("{\\rtf1\\ansi {\\pict\\pngblip" + words + " " + hex(png()) + "}\\par}");
    const QList<Found> found = picturesOf(loaded.doc);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().picture.sizeTwips(), twips);
    QVERIFY(found.first().picture.isDrawable());
}

void tst_Pictures::pictureIsOnePositionAndNoText()
{
    Loaded loaded(
        "{\\rtf1\\ansi\\ansicpg932 a{\\pict\\pngblip " + hex(png()) + "}\\'82\\'a0{\\pict\\emfblip 00}\\par b\\par}");
    QCOMPARE(loaded.doc.toPlainText(), u"a\uFFFC\u3042\uFFFC\nb"_s);
    // a, picture, あ (2 bytes), picture, CR LF (2), b.
    QCOMPARE(loaded.rich.textLength(), 8);
    QCOMPARE(loaded.rich.characterCount(), 7);
    QCOMPARE(loaded.rich.bytePosition(2), 2);
    QCOMPARE(loaded.rich.bytePosition(3), 4);
    QCOMPARE(loaded.rich.documentPosition(4), 3);
    Unsaveable unsaveable;
    QCOMPARE(loaded.rich.save(StreamFormat::PlainText, &unsaveable), QByteArray("a\x82\xa0\r\nb"));
    QCOMPARE(unsaveable.count, 0);
    // A character CP932 cannot hold is still reported, where it stands.
    QTextCursor(&loaded.doc).insertText(u"\u00e9"_s);
    loaded.rich.save(StreamFormat::PlainText, &unsaveable);
    QCOMPARE(unsaveable.count, 1);
    QCOMPARE(unsaveable.first, U'\u00e9');
}

void tst_Pictures::drawsImageOrGreyBox()
{
    Loaded loaded("{\\rtf1\\ansi {\\pict\\pngblip " + hex(png()) + "}{\\pict\\wmetafile8 " + hex(wmf()) + "}\\par}");
    const QList<Found> found = picturesOf(loaded.doc);
    QCOMPARE(found.size(), 2);
    QImage canvas(200, 100, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        Pictures::draw(&painter, QRectF(0, 0, 80, 60), found[0].picture);
        Pictures::draw(&painter, QRectF(100, 0, 80, 60), found[1].picture);
    }
    // The PNG's left half is red, its right half blue, scaled to 80 x 60.
    QCOMPARE(QColor(canvas.pixel(20, 30)), QColor(Qt::red));
    QCOMPARE(QColor(canvas.pixel(60, 30)), QColor(Qt::blue));
    // The box: light grey inside, a darker border, nothing outside.
    const QColor inside(canvas.pixel(140, 30));
    QVERIFY2(inside.lightness() > 200 && inside != QColor(Qt::white), qPrintable(inside.name()));
    QVERIFY(QColor(canvas.pixel(100, 30)).lightness() < inside.lightness());
    QCOMPARE(QColor(canvas.pixel(190, 30)), QColor(Qt::white));
}

// An image whose decoding would cost more than its bytes and a document's allowance pay for
// (here 81 million pixels in 10 KB) is a box from the start, at the size it is shown.
void tst_Pictures::hugeImageIsABox()
{
    QImage big(9000, 9000, QImage::Format_Mono);
    big.fill(0);
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(big.save(&buffer, "PNG"));
    }
    big = QImage();
    const Picture picture = Picture::fromPng(bytes);
    QCOMPARE(picture.sizeTwips().width(), qreal(Picture::MaxTwips));
    QVERIFY(!picture.isDrawable());
    QImage canvas(40, 40, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        Pictures::draw(&painter, QRectF(0, 0, 40, 40), picture);
    }
    QCOMPARE(QColor(canvas.pixel(20, 20)), QColor(0xE0, 0xE0, 0xE0));
}

void tst_Pictures::manyPicturesReadInLinearMemory()
{
    // Thousands of pictures, each its own format: read and written back without trouble.
    QByteArray body;
    const QByteArray one = "{\\pict\\pngblip " + hex(png()) + "}";
    for (int i = 0; i < 5000; ++i)
        body += one;
    Loaded loaded("{\\rtf1\\ansi " + body + "\\par}");
    QCOMPARE(loaded.doc.characterCount(), 5001);
    const QByteArray written = loaded.rich.save(StreamFormat::Rtf);
    QCOMPARE(written.count("\\pngblip"), 5000);
}

QTEST_MAIN(tst_Pictures)
#include "tst_pictures.moc"
