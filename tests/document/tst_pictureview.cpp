#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/documentmessages.h"
#include "document/formatrange.h"
#include "document/pictures.h"
#include "document/richedit.h"
#include "printing/tprintreport2.h"
#include "printing/treportoutput.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QMimeData>
#include <QPainter>
#include <QPicture>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <memory>

#include "converterrun.h"

#include "realdialogs.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

using TestFiles::fixture;

QByteArray pngRtf(const QByteArray &words = "\\picwgoal960\\pichgoal720")
{
    return "{\\pict\\pngblip" + words + " " + fixture(u"pictures/small.png"_s).toHex() + "}";
}

QByteArray wmfRtf()
{
    return "{\\pict\\wmetafile8\\picwgoal960\\pichgoal720 " + fixture(u"pictures/tiny.wmf"_s).toHex() + "}";
}

// Pixels of the image whose colour is near `color`.
int countNear(const QImage &image, const QColor &color, int tolerance = 24)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c(image.pixel(x, y));
            if (qAbs(c.red() - color.red()) <= tolerance && qAbs(c.green() - color.green()) <= tolerance
                && qAbs(c.blue() - color.blue()) <= tolerance)
                ++count;
        }
    }
    return count;
}

QRect boundsOf(const QImage &image, const QColor &color)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (QColor(image.pixel(x, y)) == color)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

Picture pictureAt(const QTextDocument *document, int position)
{
    QTextCursor c(const_cast<QTextDocument *>(document));
    c.setPosition(position + 1);
    return Pictures::pictureOf(c.charFormat());
}

// The image as another program would write it: with a word of its own in the file, so that the
// bytes differ from those this program would write for the same pixels.
QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setText(u"Software"_s, u"another program"_s);
    writer.write(image);
    return bytes;
}

// The headers of a 24-bit BMP of the given size, without its pixels.
QByteArray bmpHeader(int width, int height)
{
    QByteArray header(54, '\0');
    auto put = [&](int at, quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            header[at + i] = char((value >> (8 * i)) & 0xFF);
    };
    header[0] = 'B';
    header[1] = 'M';
    put(2, 54 + quint32(width) * 3 * quint32(height), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, quint32(width), 4);
    put(22, quint32(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    return header;
}

} // namespace

class tst_PictureView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void viewportShowsPictureAndBox();
    void drawsAsQtDoes();
    void caretAndHitTestAroundAPicture();
    void pasteImageFromClipboard_data();
    void pasteImageFromClipboard();
    void pasteHugeImageWithCtrlV_data();
    void pasteHugeImageWithCtrlV();
    void pasteHugeImageInTheWindow_data();
    void pasteHugeImageInTheWindow();
    void copyOffersRtfHtmlAndImage();
    void printedAtTheSameSize();
    void previewPageShowsThePicture();
    void pdfHoldsTheImages();

private:
    RichEdit *m_edit = nullptr;
};

void tst_PictureView::init()
{
    QApplication::setCursorFlashTime(0);
    m_edit = new RichEdit;
    m_edit->resize(420, 300);
    m_edit->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_edit));
}

void tst_PictureView::cleanup()
{
    delete m_edit;
    m_edit = nullptr;
}

// A PNG 960 x 720 twips (64 x 48 pixels at 96 dpi) and a WMF box of the same size.
void tst_PictureView::viewportShowsPictureAndBox()
{
    m_edit->load(QByteArray("{\\rtf1\\ansi text " + pngRtf() + " and " + wmfRtf() + "\\par}"));
    m_edit->setSelection(0, 0);
    const QImage shown = m_edit->viewport()->grab().toImage();
    const QRect red = boundsOf(shown, QColor(255, 0, 0));
    const QRect blue = boundsOf(shown, QColor(0, 0, 255));
    // Left half red, right half blue: 32 x 48 each, side by side.
    QCOMPARE(red.size(), QSize(32, 48));
    QCOMPARE(blue.size(), QSize(32, 48));
    QCOMPARE(blue.left(), red.right() + 1);
    QCOMPARE(blue.top(), red.top());
    // The box: a light grey area of about 64 x 48 with a border, on the same line.
    const QRect grey = boundsOf(shown, QColor(0xE0, 0xE0, 0xE0));
    QVERIFY2(qAbs(grey.width() - 62) <= 1 && qAbs(grey.height() - 46) <= 1,
        qPrintable(u"%1x%2"_s.arg(grey.width()).arg(grey.height())));
    QVERIFY(grey.left() > blue.right());
    QCOMPARE(grey.bottom() + 1, red.bottom());
    QVERIFY(countNear(shown, QColor(0x90, 0x90, 0x90), 8) >= 2 * (62 + 46));
}

// Pictures with text, wrapped lines and a selection across a picture: the viewport's pixels
// equal those of a QTextEdit with Qt's own layout.
void tst_PictureView::drawsAsQtDoes()
{
    QByteArray body;
    for (int i = 0; i < 6; ++i)
        body += "word " + QByteArray::number(i) + " " + (i % 2 ? pngRtf() : wmfRtf()) + " more text here ";
    m_edit->load(
        QByteArray("{\\rtf1\\ansi " + body + "\\par second " + pngRtf("\\picwgoal300\\pichgoal1800") + "\\par}"));
    auto bare = std::make_unique<QTextEdit>();
    bare->setFont(m_edit->font());
    bare->setLineWrapMode(QTextEdit::WidgetWidth);
    bare->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    bare->setTabStopDistance(48);
    bare->setDocument(m_edit->document()->clone(bare.get()));
    Pictures::registerHandler(bare->document()->documentLayout());
    bare->setPalette(m_edit->palette());
    bare->resize(m_edit->size());
    bare->show();
    QVERIFY(QTest::qWaitForWindowExposed(bare.get()));
    for (QTextEdit *editor : { static_cast<QTextEdit *>(m_edit), bare.get() }) {
        QTextCursor c(editor->document());
        c.setPosition(3);
        c.setPosition(40, QTextCursor::KeepAnchor);
        editor->setTextCursor(c);
    }
    QCOMPARE(m_edit->verticalScrollBar()->maximum(), bare->verticalScrollBar()->maximum());
    const QImage ours = m_edit->viewport()->grab().toImage();
    const QImage theirs = bare->viewport()->grab().toImage();
    QVERIFY(ours == theirs);
    QCOMPARE(m_edit->cursorRect(), bare->cursorRect());
}

void tst_PictureView::caretAndHitTestAroundAPicture()
{
    // "ab", a picture 64 x 48, "cd": the line is as tall as the picture and the text under it.
    m_edit->load(QByteArray("{\\rtf1\\ansi ab" + pngRtf() + "cd\\par}"));
    m_edit->setSelection(2, 2); // before the picture
    const QRect before = m_edit->cursorRect();
    m_edit->setSelection(3, 3); // after it
    const QRect after = m_edit->cursorRect();
    QCOMPARE(after.left() - before.left(), 64);
    QVERIFY2(before.height() >= 48, qPrintable(QString::number(before.height())));
    QCOMPARE(after.height(), before.height());
    // A click on the picture's right half puts the caret after it, on its left half before.
    QTest::mouseClick(m_edit->viewport(), Qt::LeftButton, {}, QPoint(before.left() + 50, before.center().y()));
    QCOMPARE(m_edit->selection().start, 3);
    QTest::mouseClick(m_edit->viewport(), Qt::LeftButton, {}, QPoint(before.left() + 10, before.center().y()));
    QCOMPARE(m_edit->selection().start, 2);
    // Shift+Right selects the picture, one position.
    QTest::keyClick(m_edit, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(m_edit->selection().start, 2);
    QCOMPARE(m_edit->selection().end, 3);
    // A selected picture shows the selection over it: no longer pure red.
    const QImage selected = m_edit->viewport()->grab().toImage();
    QCOMPARE(countNear(selected, QColor(255, 0, 0), 0), 0);
    m_edit->setSelection(0, 0);
    QVERIFY(countNear(m_edit->viewport()->grab().toImage(), QColor(255, 0, 0), 0) > 0);
    // Text typed right after the picture is text: it carries no part of the picture.
    m_edit->setSelection(3, 3);
    QTest::keyClicks(m_edit, u"xy"_s);
    QTextCursor typed(m_edit->document());
    typed.setPosition(4);
    QTextCharFormat format = typed.charFormat();
    QVERIFY(!Pictures::withoutPicture(format));
    QCOMPARE(m_edit->document()->toPlainText(), u"ab\uFFFCxycd"_s);
}

void tst_PictureView::pasteImageFromClipboard_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("image") << u"image"_s;
    QTest::newRow("image/png bytes") << u"png"_s;
}

void tst_PictureView::pasteImageFromClipboard()
{
    QFETCH(QString, how);
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(QColor(0, 200, 0));
    image.setPixel(0, 0, qRgb(255, 0, 0));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    if (how == u"image") {
        QApplication::clipboard()->setImage(image);
    } else {
        auto *mime = new QMimeData;
        mime->setData(u"image/png"_s, png);
        QApplication::clipboard()->setMimeData(mime);
    }
    m_edit->replaceSelection(u"xy"_s);
    m_edit->setSelection(1, 1);
    m_edit->paste();
    QCOMPARE(m_edit->toPlainText(), u"x\uFFFCy"_s);
    QCOMPARE(m_edit->textLength(), 3);
    QCOMPARE(m_edit->selection().start, 2);
    const Picture picture = pictureAt(m_edit->document(), 1);
    QCOMPARE(picture.kind(), Picture::Kind::Png);
    QCOMPARE(picture.sizeTwips(), QSizeF(450, 300));
    QCOMPARE(picture.fullImage().convertToFormat(QImage::Format_RGB32), image);
    if (how == u"png")
        QCOMPARE(picture.bytes(), png); // kept as it came
    // Shown, and saved as RTF with the PNG; as text, nothing for it.
    QVERIFY(countNear(m_edit->viewport()->grab().toImage(), QColor(0, 200, 0), 0) >= 30 * 20 - 1);
    QVERIFY(m_edit->save().contains("\\pngblip"));
    m_edit->setPlainTextMode(true);
    QCOMPARE(m_edit->save(), "xy"_ba);
    // Undone, it is gone.
    m_edit->undo();
    QCOMPARE(m_edit->toPlainText(), u"xy"_s);
}

void tst_PictureView::pasteHugeImageWithCtrlV_data()
{
    QTest::addColumn<QString>("offer");
    // What the document gains: a PNG or JPEG picture, or (Unknown) nothing and a message.
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("bytesKept"); // the picture's bytes are those offered
    const auto png = int(Picture::Kind::Png);
    const auto none = int(Picture::Kind::Unknown);
    QTest::newRow("PNG bytes") << u"png"_s << png << true;
    QTest::newRow("JPEG bytes") << u"jpeg"_s << int(Picture::Kind::Jpeg) << true;
    QTest::newRow("PNG bytes and pixels") << u"png+pixels"_s << png << true;
    QTest::newRow("pixels") << u"pixels"_s << png << false;
    QTest::newRow("pixels too large to convert") << u"huge pixels"_s << none << false;
    QTest::newRow("BMP larger than the limit") << u"bmp"_s << none << false;
}

// An image whose pixels are over the decoding limit (4200 x 4200, 70 MB) is pasted as a file's
// picture is read: kept as its bytes, shown as that picture read from RTF is, saved as it came.
// Only an image that cannot be taken without decoding or converting too much is refused, with
// a message.
void tst_PictureView::pasteHugeImageWithCtrlV()
{
    QFETCH(QString, offer);
    QFETCH(int, kind);
    QFETCH(bool, bytesKept);
    auto *mime = new QMimeData;
    QByteArray offered;
    QSize refused;
    const QColor green(0, 200, 0);
    {
        QImage image(4200, 4200, QImage::Format_RGB32);
        image.fill(green);
        QVERIFY(image.sizeInBytes() > Picture::DecodeLimitBytes);
        if (offer.startsWith(u"png"_s) || offer == u"jpeg"_s) {
            offered = encoded(image, offer == u"jpeg"_s ? "JPEG" : "PNG");
            mime->setData(offer == u"jpeg"_s ? u"image/jpeg"_s : u"image/png"_s, offered);
        }
        if (offer.endsWith(u"pixels"_s))
            mime->setImageData(image);
    }
    if (offer == u"huge pixels"_s) {
        refused = QSize(8200, 8200);
        QImage huge(refused, QImage::Format_Mono); // 8 MB held, 270 MB as 32-bit pixels
        huge.fill(0);
        mime->setImageData(huge);
    } else if (offer == u"bmp"_s) {
        refused = QSize(9000, 9000);
        mime->setData(u"image/bmp"_s, bmpHeader(9000, 9000));
    }
    QApplication::clipboard()->setMimeData(mime);
    m_edit->replaceSelection(u"xy"_s);
    m_edit->setSelection(1, 1);
    m_edit->setFocus();
    RealDialogs::Box seen;
    if (refused.isValid())
        RealDialogs::answerBox(&seen);
    QTest::keyClick(m_edit, Qt::Key_V, Qt::ControlModifier);

    if (kind == int(Picture::Kind::Unknown)) {
        QTRY_COMPARE(seen.text, Messages::pictureTooLargeToPaste(refused.width(), refused.height()) + u'.');
        QCOMPARE(seen.caption, u"Penloft"_s);
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(m_edit->toPlainText(), u"xy"_s);
        return;
    }
    RealDialogs::cancelPending();
    QCOMPARE(m_edit->toPlainText(), u"x\uFFFCy"_s);
    const Picture picture = pictureAt(m_edit->document(), 1);
    QCOMPARE(int(picture.kind()), kind);
    QCOMPARE(picture.pixels(), QSize(4200, 4200));
    if (bytesKept)
        QCOMPARE(picture.bytes(), offered);
    // On screen: the caret after the picture, and the picture's lower part filling the view,
    // drawn from its pixels as the decoding limit allows.
    QVERIFY(m_edit->viewport()->rect().contains(m_edit->cursorRect()));
    m_edit->clearFocus();
    const QImage pasted = m_edit->viewport()->grab().toImage();
    const int painted = countNear(pasted, green) + countNear(pasted, QColor(0xE0, 0xE0, 0xE0), 0);
    QVERIFY2(painted > pasted.width() * pasted.height() / 2, qPrintable(u"%1"_s.arg(painted)));
    // Saved as RTF and read back: the same bytes, shown the same.
    m_edit->load(m_edit->save());
    QCOMPARE(m_edit->toPlainText(), u"x\uFFFCy"_s);
    QCOMPARE(pictureAt(m_edit->document(), 1).bytes(), picture.bytes());
    QCOMPARE(pictureAt(m_edit->document(), 1).kind(), picture.kind());
    m_edit->setSelection(2, 2);
    QCOMPARE(m_edit->viewport()->grab().toImage(), pasted);
}

void tst_PictureView::pasteHugeImageInTheWindow_data()
{
    QTest::addColumn<bool>("taken");
    QTest::newRow("PNG bytes") << true;
    QTest::newRow("pixels too large to convert") << false;
}

// The same through the main window, as a user does it: Ctrl+V (the window's paste command) in
// an open document, then Ctrl+S; the file on disk holds the picture's bytes as they came, or
// the message box says why there is none and the file is left as it was.
void tst_PictureView::pasteHugeImageInTheWindow()
{
    QFETCH(bool, taken);
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    QTemporaryDir dir;
    const QString path = dir.filePath(u"paste.rtf"_s);
    const QByteArray before = "{\\rtf1\\ansi xy\\par}";
    TestFiles::write(path, before);
    auto window = std::make_unique<TPenForm1>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->OpenFile(path);
    RichEdit *editor = window->RichEdit1;
    editor->setSelection(1, 1);
    editor->setFocus();
    QTRY_VERIFY(editor->hasFocus());

    auto *mime = new QMimeData;
    QByteArray offered;
    if (taken) {
        QImage image(4200, 4200, QImage::Format_RGB32);
        image.fill(QColor(0, 200, 0));
        offered = encoded(image, "PNG");
        mime->setData(u"image/png"_s, offered);
    } else {
        QImage huge(8200, 8200, QImage::Format_Mono);
        huge.fill(0);
        mime->setImageData(huge);
    }
    QApplication::clipboard()->setMimeData(mime);
    RealDialogs::Box seen;
    if (!taken)
        RealDialogs::answerBox(&seen);
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    if (!taken) {
        QTRY_COMPARE(seen.text, Messages::pictureTooLargeToPaste(8200, 8200) + u'.');
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(editor->toPlainText(), u"xy"_s);
        QVERIFY(!editor->isModified());
        QCOMPARE(TestFiles::read(path), before);
        return;
    }
    RealDialogs::cancelPending();
    QCOMPARE(editor->toPlainText(), u"x\uFFFCy"_s);
    QVERIFY(editor->viewport()->rect().contains(editor->cursorRect()));
    QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
    QTRY_VERIFY(!editor->isModified());
    m_edit->load(TestFiles::read(path));
    QCOMPARE(m_edit->toPlainText(), u"x\uFFFCy"_s);
    const Picture saved = pictureAt(m_edit->document(), 1);
    QCOMPARE(saved.kind(), Picture::Kind::Png);
    QCOMPARE(saved.pixels(), QSize(4200, 4200));
    QCOMPARE(saved.bytes(), offered);
    editor->setModified(false);
}

void tst_PictureView::copyOffersRtfHtmlAndImage()
{
    m_edit->load(QByteArray("{\\rtf1\\ansi a" + pngRtf() + wmfRtf() + "b\\par}"));
    m_edit->setSelection(0, -1);
    m_edit->copy();
    const QMimeData *data = QApplication::clipboard()->mimeData();
    QCOMPARE(data->text(), u"ab"_s);
    const QByteArray rtf = data->data(u"text/rtf"_s);
    QVERIFY(rtf.contains("\\pngblip"));
    QVERIFY(rtf.contains("\\wmetafile8"));
    QVERIFY(rtf.contains(fixture(u"pictures/small.png"_s).toHex().left(64)));
    QCOMPARE(data->data(u"image/png"_s), fixture(u"pictures/small.png"_s));
    const QString html = data->html();
    QVERIFY(html.contains(
        u"<img src=\"data:image/png;base64,"_s + QString::fromLatin1(fixture(u"pictures/small.png"_s).toBase64())));
    QVERIFY(html.contains(u"width=\"64\" height=\"48\""_s));
    // Pasted back, the RTF brings both pictures with their bytes.
    m_edit->setSelection(m_edit->textLength(), m_edit->textLength());
    m_edit->paste();
    QCOMPARE(m_edit->toPlainText(), u"a\uFFFC\uFFFCba\uFFFC\uFFFCb"_s);
    QCOMPARE(pictureAt(m_edit->document(), 5).bytes(), fixture(u"pictures/small.png"_s));
    QCOMPARE(pictureAt(m_edit->document(), 6).bytes(), fixture(u"pictures/tiny.wmf"_s));

    // A selection without pictures offers no image.
    m_edit->setSelection(0, 1);
    m_edit->copy();
    QVERIFY(!QApplication::clipboard()->mimeData()->hasFormat(u"image/png"_s));
    QVERIFY(!QApplication::clipboard()->mimeData()->hasHtml());
}

// Printed at 600 dpi, the picture of 960 x 720 twips covers 400 x 300 device pixels.
void tst_PictureView::printedAtTheSameSize()
{
    m_edit->load(QByteArray("{\\rtf1\\ansi " + pngRtf() + wmfRtf() + "\\par}"));
    QImage page(1200, 600, QImage::Format_RGB32);
    page.setDotsPerMeterX(qRound(600 / 0.0254));
    page.setDotsPerMeterY(qRound(600 / 0.0254));
    page.fill(Qt::white);
    QPainter painter(&page);
    FormatRange request;
    request.painter = &painter;
    request.rectTwips = QRect(0, 0, 1440 * 2, 1440);
    request.pageTwips = request.rectTwips;
    QCOMPARE(m_edit->formatRange(request), m_edit->textLength());
    painter.end();
    m_edit->releaseFormatRange();
    const QRect red = boundsOf(page, QColor(255, 0, 0));
    const QRect blue = boundsOf(page, QColor(0, 0, 255));
    QCOMPARE(red.united(blue).size(), QSize(400, 300));
    const QRect grey = boundsOf(page, QColor(0xE0, 0xE0, 0xE0));
    QVERIFY2(grey.width() >= 396 && grey.width() <= 400, qPrintable(QString::number(grey.width())));
}

// The print preview's recorded page replays the picture at its size: 64 x 48 pixels at 96 dpi,
// and the box beside it.
void tst_PictureView::previewPageShowsThePicture()
{
    m_edit->load(QByteArray("{\\rtf1\\ansi " + pngRtf() + wmfRtf() + "\\par}"));
    TPrintReport2 report;
    report.setParentRichEdit(&m_edit->richDocument());
    report.ReportTitle = u"pictures"_s;
    TReportOutput *shown = nullptr;
    report.OnPreview = [&](TReportOutput *o) { shown = o; };
    report.preview();
    QVERIFY(shown);
    const std::optional<QPicture> page = shown->page(1);
    QVERIFY(page);
    QImage image(794, 1123, QImage::Format_RGB32); // A4 at 96 dpi
    image.setDotsPerMeterX(qRound(96 / 0.0254));
    image.setDotsPerMeterY(qRound(96 / 0.0254));
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.drawPicture(0, 0, *page);
    }
    const QRect red = boundsOf(image, QColor(255, 0, 0));
    const QRect blue = boundsOf(image, QColor(0, 0, 255));
    QCOMPARE(red.united(blue).size(), QSize(64, 48));
    const QRect grey = boundsOf(image, QColor(0xE0, 0xE0, 0xE0));
    QVERIFY2(grey.width() >= 60 && grey.width() <= 64 && grey.left() > blue.right(),
        qPrintable(u"%1 at %2"_s.arg(grey.width()).arg(grey.left())));
}

// The converter's PDF holds the PNG and the JPEG as images of their own pixel size.
void tst_PictureView::pdfHoldsTheImages()
{
    const QString pdfimages = QStandardPaths::findExecutable(u"pdfimages"_s);
    if (pdfimages.isEmpty())
        QSKIP("pdfimages is not installed");
    QTemporaryDir dir;
    QFile::copy(QStringLiteral(PENLOFT_FIXTURES "/rtf/pictures-shppict-wmf.rtf"), dir.filePath(u"word.rtf"_s));
    QFile::copy(
        QStringLiteral(PENLOFT_FIXTURES "/rtf/pictures-jpeg-nonshppict-first.rtf"), dir.filePath(u"office.rtf"_s));
    const ConverterRun::Run run
        = ConverterRun::convert({ u"--convert-to"_s, u"pdf"_s, u"word.rtf"_s, u"office.rtf"_s }, dir.path());
    QCOMPARE(run.status, 0);
    auto list = [&](const QString &pdf) {
        QStringList rows;
        // page num type width height color ...: the type, width and height of each image.
        const QStringList lines = ConverterRun::output(pdfimages, { u"-list"_s, dir.filePath(pdf) }).split(u'\n');
        for (qsizetype i = 2; i < lines.size(); ++i) {
            const QStringList f = lines[i].simplified().split(u' ');
            if (f.size() > 5)
                rows += f[2] + u' ' + f[3] + u'x' + f[4];
        }
        return rows;
    };
    // One PNG (the WMF is a grey box, no image); two JPEGs, 16 x 12 pixels each.
    const QStringList word = list(u"word.pdf"_s);
    QCOMPARE(word.size(), 1);
    QVERIFY2(word.first().endsWith(u"16x12"_s), qPrintable(word.join(u", ")));
    const QStringList office = list(u"office.pdf"_s);
    QCOMPARE(office.size(), 2);
    QVERIFY2(office.first().endsWith(u"16x12"_s) && office.last().endsWith(u"16x12"_s), qPrintable(office.join(u", ")));
}

QTEST_MAIN(tst_PictureView)
#include "tst_pictureview.moc"
