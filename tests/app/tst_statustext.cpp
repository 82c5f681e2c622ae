#include "app/controls.h"
#include "app/fontsubstitutes.h"
#include "app/statustext.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

// A display repaints only the stretch a new text changes. What the window then shows must be
// exactly what a display painted afresh with that text shows.
class TestStatusText : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutes(); }
    void partialRepaintsMatchFreshPaint_data();
    void partialRepaintsMatchFreshPaint();
    void textsThatNeedShapingAreDrawn();
    void clicks();

private:
    static QImage onScreen(QWidget &window, const QWidget &display);
    static QImage fresh(const StatusText &display);
};

QImage TestStatusText::onScreen(QWidget &window, const QWidget &display)
{
    // The window's backing store, as the last paints left it: no new paint of the display.
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    return shot.toImage().copy(QRect(display.mapTo(&window, QPoint(0, 0)), display.size()))
        .convertToFormat(QImage::Format_RGB32);
}

QImage TestStatusText::fresh(const StatusText &display)
{
    StatusText copy(display.text());
    copy.setFont(display.font());
    copy.setPalette(display.palette());
    copy.setFrameStyle(display.frameStyle());
    copy.setAlignment(display.alignment());
    copy.setIndent(display.indent());
    copy.resize(display.size());
    return copy.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void TestStatusText::partialRepaintsMatchFreshPaint_data()
{
    QTest::addColumn<bool>("right");
    QTest::addColumn<bool>("framed");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("bold");
    QTest::newRow("right, framed, status font") << true << true << u"MS UI Gothic"_s << 12 << false;
    QTest::newRow("right, counter font") << true << false << u"ＭＳ ゴシック"_s << 15 << true;
    QTest::newRow("left, framed") << false << true << u"MS UI Gothic"_s << 12 << false;
}

void TestStatusText::partialRepaintsMatchFreshPaint()
{
    QFETCH(bool, right);
    QFETCH(bool, framed);
    QFETCH(QString, family);
    QFETCH(int, pixels);
    QFETCH(bool, bold);

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *display = new StatusText(QString(), &window);
    display->setFixedSize(150, 18);
    display->setFont(pixelFont(reinterpret_cast<const char16_t *>(family.utf16()), pixels, bold));
    display->setAlignment(right ? Qt::AlignRight : Qt::AlignLeft);
    if (framed)
        display->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    layout->addWidget(display);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Growing, shrinking, equal widths, shared ends on either side, an empty text, a text too
    // wide for the display, and texts that must be shaped between simple ones.
    const QStringList texts {
        u"  1 行　  0 列"_s, u"  1 行　  1 列"_s, u"  1 行　  9 列"_s, u"  1 行　 10 列"_s,
        u"  1 行　 11 列"_s, u"  2 行　  0 列"_s, u" 99 文字目です。"_s, u"100 文字目です。"_s,
        u"101 文字目です。"_s, u"99"_s, u"9"_s, QString(), u"0"_s, u"ページ 1 / 206"_s,
        u"ページ 12 / 206"_s, u"5%"_s, u"12345678901234567890123456789012345678901234567890"_s,
        u"12345"_s, u"e\u0301 1"_s, u"e 1"_s, u"\u0627\u0644\u0639\u0631\u0628\u064a\u0629 2"_s,
        u"3 列"_s,
    };
    for (const QString &text : texts) {
        display->setText(text);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        const QImage shown = onScreen(window, *display);
        const QImage expected = fresh(*display);
        if (shown != expected) {
            shown.save(QDir::temp().filePath(u"statustext-shown.png"_s));
            expected.save(QDir::temp().filePath(u"statustext-expected.png"_s));
            QFAIL(qPrintable(u"after \"%1\" the display differs from a fresh paint"_s.arg(text)));
        }
    }
}

void TestStatusText::textsThatNeedShapingAreDrawn()
{
    // Combining marks and right-to-left text go to the painter whole; they must still show.
    for (const QString &text : { u"e\u0301e\u0301e\u0301"_s, u"\u0627\u0644\u0639\u0631\u0628\u064a\u0629"_s, u"😀😀"_s }) {
        StatusText display(text);
        display.resize(120, 18);
        QPalette palette = display.palette();
        palette.setColor(QPalette::Window, Qt::white);
        palette.setColor(QPalette::WindowText, Qt::black);
        display.setPalette(palette);
        const QImage image = display.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int dark = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 128;
        }
        QVERIFY2(dark > 0, qPrintable(text));
    }
}

void TestStatusText::clicks()
{
    StatusText display(u"12"_s);
    display.resize(80, 18);
    display.show();
    QVERIFY(QTest::qWaitForWindowExposed(&display));
    QSignalSpy downs(&display, &StatusText::mouseDown);
    QSignalSpy clicks(&display, &StatusText::clicked);

    QTest::mouseClick(&display, Qt::LeftButton, {}, QPoint(10, 9));
    QCOMPARE(downs.size(), 1);
    QCOMPARE(downs.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    QCOMPARE(clicks.size(), 1);

    // Any button presses; only the left one clicks, and only when released inside.
    QTest::mouseClick(&display, Qt::RightButton, {}, QPoint(10, 9));
    QCOMPARE(downs.size(), 2);
    QCOMPARE(clicks.size(), 1);
    QTest::mousePress(&display, Qt::LeftButton, {}, QPoint(10, 9));
    QTest::mouseRelease(&display, Qt::LeftButton, {}, QPoint(200, 9));
    QCOMPARE(clicks.size(), 1);
    QCOMPARE(display.focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(TestStatusText)
#include "tst_statustext.moc"
