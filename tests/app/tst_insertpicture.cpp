#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/apperror.h"
#include "document/documentmessages.h"
#include "document/richedit.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "realdialogs.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, format == QByteArray("JPEG") ? 100 : -1);
    return bytes;
}

QImage redImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image;
}

// A GIF of `width` x `height` red pixels. Qt writes no GIF: the codes are packed here, a clear
// code before every two pixels so that every code keeps 3 bits.
QByteArray redGif(int width, int height)
{
    QByteArray gif("GIF89a");
    const auto le16 = [&](int v) { gif += char(v & 0xFF); gif += char(v >> 8); };
    le16(width);
    le16(height);
    gif += char(0x81); // a global colour table of 4 entries
    gif += QByteArray("\x00\x00", 2);
    gif += QByteArray("\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00", 12);
    gif += ',';
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    gif += char(0);
    gif += char(2); // the smallest code size
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](int code) {
        bits |= quint32(code) << count;
        count += 3;
        while (count >= 8) {
            data += char(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    };
    for (int i = 0; i < width * height; ++i) {
        if (i % 2 == 0)
            put(4);
        put(0);
    }
    put(5);
    if (count > 0)
        data += char(bits & 0xFF);
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif += char(block.size());
        gif += block;
    }
    gif += char(0);
    gif += ';';
    return gif;
}

// A BMP header announcing `side` x `side` pixels of 24 bits, with no pixels after it.
QByteArray hugeBmpHeader(int side)
{
    QByteArray bytes(54, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    qToLittleEndian<quint32>(54 + quint32(side) * side * 3, bytes.data() + 2);
    qToLittleEndian<quint32>(54, bytes.data() + 10);
    qToLittleEndian<quint32>(40, bytes.data() + 14);
    qToLittleEndian<qint32>(side, bytes.data() + 18);
    qToLittleEndian<qint32>(side, bytes.data() + 22);
    qToLittleEndian<quint16>(1, bytes.data() + 26);
    qToLittleEndian<quint16>(24, bytes.data() + 28);
    return bytes;
}

int redPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 200 && c.green() < 60 && c.blue() < 60;
        }
    }
    return count;
}

// The number a control word of the RTF carries, or -1.
int wordValue(const QByteArray &rtf, const char *word)
{
    const QRegularExpression re(u"\\\\%1(-?\\d+)"_s.arg(QLatin1StringView(word)));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(rtf));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

// Edit > Insert picture through the real window, its open dialog and its message boxes.
class tst_InsertPicture : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void insertsAtTheCaret_data();
    void insertsAtTheCaret();
    void refusesWhatIsNoPicture_data();
    void refusesWhatIsNoPicture();

private:
    // Chooses `path` in the dialog the command opens.
    void insertThroughDialog(TPenForm1 &window, const QString &path);
    QTemporaryDir m_dir;
};

void tst_InsertPicture::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    MessageBox::setSink({});
}

void tst_InsertPicture::cleanup()
{
    RealDialogs::cancelPending();
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_InsertPicture::insertThroughDialog(TPenForm1 &window, const QString &path)
{
    RealDialogs::whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        RealDialogs::typeFileName(dialog, path);
    });
    window.command(u"EditInsertPicture"_s)->trigger();
}

void tst_InsertPicture::insertsAtTheCaret_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("blip");
    QTest::addColumn<bool>("keptAsItCame");
    QTest::addColumn<int>("goalWidth");
    QTest::addColumn<int>("goalHeight");
    const QImage small = redImage(40, 30);
    QTest::newRow("PNG kept") << u"a.png"_s << encoded(small, "PNG") << QByteArray("pngblip") << true << 600 << 450;
    QTest::newRow("JPEG kept") << u"a.jpg"_s << encoded(small, "JPEG") << QByteArray("jpegblip") << true << 600 << 450;
    QTest::newRow("GIF as PNG") << u"a.gif"_s << redGif(40, 30) << QByteArray("pngblip") << false << 600 << 450;
    QTest::newRow("BMP as PNG") << u"a.bmp"_s << encoded(small, "BMP") << QByteArray("pngblip") << false << 600 << 450;
    // 1200 pixels are 18000 twips: shown across the A4 page's 10770, in proportion.
    QTest::newRow("wider than the page") << u"wide.png"_s << encoded(redImage(1200, 300), "PNG") << QByteArray("pngblip")
                                         << true << 10770 << 2692;
}

void tst_InsertPicture::insertsAtTheCaret()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, blip);
    QFETCH(bool, keptAsItCame);
    QFETCH(int, goalWidth);
    QFETCH(int, goalHeight);
    const QString path = m_dir.filePath(name);
    TestFiles::write(path, bytes);

    TPenForm1 window;
    window.resize(900, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.RichEdit1->setFocus();
    QTest::keyClicks(window.RichEdit1, u"ab"_s);
    QTest::keyClick(window.RichEdit1, Qt::Key_Left);
    QVERIFY(redPixels(window.RichEdit1->viewport()->grab().toImage()) == 0);
    insertThroughDialog(window, path);
    QCOMPARE(window.RichEdit1->toPlainText(), u"a\uFFFCb"_s);
    QTRY_VERIFY(redPixels(window.RichEdit1->viewport()->grab().toImage()) > 100);

    const QString saved = m_dir.filePath(u"saved.rtf"_s);
    window.RichEdit1->saveFile(saved);
    QByteArray rtf = TestFiles::read(saved);
    QVERIFY2(rtf.contains(QByteArray(QByteArray("\\") + blip)), rtf.left(400).constData());
    QCOMPARE(wordValue(rtf, "picwgoal"), goalWidth);
    QCOMPARE(wordValue(rtf, "pichgoal"), goalHeight);
    rtf.replace("\r\n", "").replace("\n", "");
    QCOMPARE(rtf.contains(bytes.toHex()), keptAsItCame);

    // One step: a single undo takes the picture away, a redo puts it back.
    window.command(u"EditUndo"_s)->trigger();
    QCOMPARE(window.RichEdit1->toPlainText(), u"ab"_s);
    window.command(u"EditRedo"_s)->trigger();
    QCOMPARE(window.RichEdit1->toPlainText(), u"a\uFFFCb"_s);
}

void tst_InsertPicture::refusesWhatIsNoPicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QString text = m_dir.filePath(u"notes.png"_s);
    const QString broken = m_dir.filePath(u"broken.png"_s);
    const QString huge = m_dir.filePath(u"huge.bmp"_s);
    QTest::newRow("text named .png") << text << QByteArray("just some text\r\n") << Messages::notAPictureFile(text);
    QTest::newRow("PNG cut short") << broken << encoded(redImage(40, 30), "PNG").left(60)
                                   << Messages::notAPictureFile(broken);
    QTest::newRow("BMP of 16000 x 16000") << huge << hugeBmpHeader(16000)
                                          << Messages::pictureFileTooLarge(huge, 16000, 16000);
}

void tst_InsertPicture::refusesWhatIsNoPicture()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    TestFiles::write(name, bytes);
    TPenForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.RichEdit1->setFocus();
    QTest::keyClicks(window.RichEdit1, u"ab"_s);
    RealDialogs::Box box;
    RealDialogs::whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        RealDialogs::answerBox(&box, QString(), dialog);
        RealDialogs::typeFileName(dialog, name);
    });
    window.command(u"EditInsertPicture"_s)->trigger();
    QCOMPARE(box.text, errorBoxText(message));
    QCOMPARE(window.RichEdit1->toPlainText(), u"ab"_s);
}

QTEST_MAIN(tst_InsertPicture)
#include "tst_insertpicture.moc"
