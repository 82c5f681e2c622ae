#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/formatrange.h"
#include "document/richedit.h"
#include "editing/ruler.h"

#include <QAction>
#include <QFile>
#include <QFontInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace {

// The columns of the image that hold dark (text) pixels: from the first to the last.
int inkWidth(const QImage &image)
{
    int first = image.width();
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 96) {
                first = qMin(first, x);
                last = qMax(last, x);
            }
        }
    }
    return last - first + 1;
}

// The rectangle of the image's dark (text) pixels.
QRect inkBounds(const QImage &image)
{
    QRect ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 96)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

// The pixel size the editor lays the caret's text out at.
int shownPixelSize(RichEdit *edit)
{
    return QFontInfo(edit->textCursor().charFormat().font()).pixelSize();
}

// The same expected from the text's size in points, the screen and the zoom.
int expectedPixelSize(RichEdit *edit)
{
    const qreal points = edit->textCursor().charFormat().font().pointSizeF();
    return qRound(points * edit->viewport()->logicalDpiY() / 72 * edit->zoomPercent() / 100);
}

// The whole text printed at 600 dpi on a page of 4 x 2 inches.
QImage printed(RichEdit *edit)
{
    QImage page(2400, 1200, QImage::Format_RGB32);
    page.setDotsPerMeterX(qRound(600 / 0.0254));
    page.setDotsPerMeterY(qRound(600 / 0.0254));
    page.fill(Qt::white);
    QPainter painter(&page);
    FormatRange request;
    request.painter = &painter;
    request.rectTwips = QRect(0, 0, 1440 * 4, 1440 * 2);
    request.pageTwips = request.rectTwips;
    edit->formatRange(request);
    painter.end();
    edit->releaseFormatRange();
    return page;
}

void zoomTo(TPenForm1 &window, int percent)
{
    window.command(u"ViewZoomReset"_s)->trigger();
    while (window.RichEdit1->zoomPercent() < percent)
        window.command(u"ViewZoomIn"_s)->trigger();
    QCOMPARE(window.RichEdit1->zoomPercent(), percent);
}

void turnWheel(QWidget *viewport, int delta, Qt::KeyboardModifiers modifiers)
{
    const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
    QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &event);
}

} // namespace

// The editor's zoom through the real window: its commands, keys and wheel, what it shows, and
// what it leaves alone.
class tst_Zoom : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void commandsKeysAndWheel();
    void showsLargerAndChangesNothing();
    void caretStaysInView();
    void rulerFollows();
    void typedTextShowsAtTheCaret_data();
    void typedTextShowsAtTheCaret();
    void fontsFollowTheZoom();
    void printsTheSamePagesWhenZoomed();

private:
    std::unique_ptr<TPenForm1> m_window;
};

void tst_Zoom::init()
{
    // Zooming asks the screen for its metrics: none of them may be one a widget lacks.
    QTest::failOnWarning(QRegularExpression(u"QPaintDevice"_s));
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    MessageBox::setSink([](QWidget *, const MessageBox::Request &) { return QMessageBox::Ok; });
    m_window = std::make_unique<TPenForm1>();
    m_window->resize(800, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->RichEdit1->setFocus();
}

void tst_Zoom::cleanup()
{
    m_window.reset();
    MessageBox::setSink({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_Zoom::commandsKeysAndWheel()
{
    RichEdit *edit = m_window->RichEdit1;
    QCOMPARE(edit->zoomPercent(), 100);
    QTest::keyClick(edit, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(edit->zoomPercent(), 125);
    QTest::keyClick(edit, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(edit->zoomPercent(), 150);
    QTest::keyClick(edit, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(edit->zoomPercent(), 75);
    QTest::keyClick(edit, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(edit->zoomPercent(), 100);
    QVERIFY(edit->toPlainText().isEmpty()); // no key reached the text

    for (int i = 0; i < 20; ++i)
        m_window->command(u"ViewZoomIn"_s)->trigger();
    QCOMPARE(edit->zoomPercent(), 500);
    for (int i = 0; i < 20; ++i)
        m_window->command(u"ViewZoomOut"_s)->trigger();
    QCOMPARE(edit->zoomPercent(), 10);
    m_window->command(u"ViewZoomReset"_s)->trigger();
    QCOMPARE(edit->zoomPercent(), 100);

    // A notch a step; half notches add up; the wheel alone scrolls, never zooms.
    turnWheel(edit->viewport(), 120, Qt::ControlModifier);
    QCOMPARE(edit->zoomPercent(), 125);
    turnWheel(edit->viewport(), -60, Qt::ControlModifier);
    QCOMPARE(edit->zoomPercent(), 125);
    turnWheel(edit->viewport(), -60, Qt::ControlModifier);
    QCOMPARE(edit->zoomPercent(), 100);
    turnWheel(edit->viewport(), 120 * 40, Qt::ControlModifier);
    QCOMPARE(edit->zoomPercent(), 500);
    turnWheel(edit->viewport(), -120, Qt::NoModifier);
    QCOMPARE(edit->zoomPercent(), 500);
}

void tst_Zoom::showsLargerAndChangesNothing()
{
    RichEdit *edit = m_window->RichEdit1;
    QTest::keyClicks(edit, u"MMMMMMMM"_s);
    const QByteArray before = edit->save();
    const int stepsBefore = edit->document()->availableUndoSteps();
    const int sizeBefore = edit->charFormat().sizeTwips;
    const int width100 = inkWidth(edit->viewport()->grab().toImage());
    QVERIFY(width100 > 20);
    m_window->command(u"ViewZoomIn"_s)->trigger();
    m_window->command(u"ViewZoomIn"_s)->trigger();
    m_window->command(u"ViewZoomIn"_s)->trigger();
    QCOMPARE(edit->zoomPercent(), 200);
    const int width200 = inkWidth(edit->viewport()->grab().toImage());
    QVERIFY2(width200 > width100 * 18 / 10 && width200 < width100 * 22 / 10,
             qPrintable(u"%1 at 100 %, %2 at 200 %"_s.arg(width100).arg(width200)));
    QCOMPARE(edit->save(), before);
    QCOMPARE(edit->charFormat().sizeTwips, sizeBefore);
    QCOMPARE(edit->document()->availableUndoSteps(), stepsBefore);
    // What is typed while zoomed is the same text, at the same size.
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, u"x"_s);
    QCOMPARE(edit->toPlainText(), u"MMMMMMMMx"_s);
    edit->setSelection(8, 9);
    QCOMPARE(edit->charFormat().sizeTwips, sizeBefore);
}

void tst_Zoom::caretStaysInView()
{
    RichEdit *edit = m_window->RichEdit1;
    QString text;
    for (int i = 0; i < 200; ++i)
        text += u"line %1\r\n"_s.arg(i);
    edit->replaceSelection(text);
    edit->setSelection(-1, -1);
    QTest::qWait(0);
    for (int i = 0; i < 4; ++i) {
        m_window->command(i % 2 ? u"ViewZoomOut"_s : u"ViewZoomIn"_s)->trigger();
        m_window->command(u"ViewZoomIn"_s)->trigger();
        QVERIFY(edit->viewport()->rect().contains(edit->cursorRect()));
    }
    edit->setSelection(0, 0);
    m_window->command(u"ViewZoomReset"_s)->trigger();
    QVERIFY(edit->viewport()->rect().contains(edit->cursorRect()));
}

void tst_Zoom::rulerFollows()
{
    RichEdit *edit = m_window->RichEdit1;
    QTest::keyClicks(edit, u"abc"_s);
    ParaFormat indent;
    indent.mask = ParaFormat::LeftIndent;
    indent.leftIndentTwips = 30 * 20;
    edit->setParaFormat(indent);
    m_window->RichEdit1SelectionChange();
    const int at100 = m_window->LeftInd->x();
    m_window->command(u"ViewZoomIn"_s)->trigger();
    m_window->command(u"ViewZoomIn"_s)->trigger();
    m_window->command(u"ViewZoomIn"_s)->trigger();
    const int at200 = m_window->LeftInd->x();
    QCOMPARE(at200 - 2, 2 * (at100 - 2));
    const QImage ruler200 = m_window->Ruler->grab().toImage();
    m_window->command(u"ViewZoomReset"_s)->trigger();
    QVERIFY(m_window->Ruler->grab().toImage() != ruler200);
    m_window->command(u"ViewZoomIn"_s)->trigger();
    m_window->command(u"ViewZoomIn"_s)->trigger();
    m_window->command(u"ViewZoomIn"_s)->trigger();

    // The marker pressed and let go where it is, zoomed, leaves the indent as it was (within the
    // point the scale's truncation costs at 100 % too); dragged 40 pixels right, at 200 % it adds
    // 15 points (40 pixels are 30 points at 100 %).
    const QPoint middle(m_window->LeftInd->width() / 2, m_window->LeftInd->height() / 2);
    QTest::mousePress(m_window->LeftInd, Qt::LeftButton, {}, middle);
    QTest::mouseRelease(m_window->LeftInd, Qt::LeftButton, {}, middle);
    const int inPlace = edit->paraFormat().leftIndentTwips;
    QVERIFY2(qAbs(inPlace - 30 * 20) <= 20, qPrintable(QString::number(inPlace)));
    QTest::mousePress(m_window->LeftInd, Qt::LeftButton, {}, middle);
    QTest::mouseMove(m_window->LeftInd, middle + QPoint(40, 0));
    QTest::mouseRelease(m_window->LeftInd, Qt::LeftButton, {}, middle + QPoint(40, 0));
    const int dragged = edit->paraFormat().leftIndentTwips - inPlace;
    QVERIFY2(qAbs(dragged - 15 * 20) <= 20, qPrintable(QString::number(dragged)));
}

void tst_Zoom::typedTextShowsAtTheCaret_data()
{
    QTest::addColumn<int>("percent");
    QTest::newRow("100 %") << 100;
    QTest::newRow("200 %") << 200;
    QTest::newRow("300 %") << 300;
}

// Keys typed while zoomed show between where the caret was and where it is, on its line, at the
// zoomed size.
void tst_Zoom::typedTextShowsAtTheCaret()
{
    QFETCH(int, percent);
    RichEdit *edit = m_window->RichEdit1;
    zoomTo(*m_window, percent);
    QTest::keyClicks(edit, u"MMMM"_s);
    QTest::keyClick(edit, Qt::Key_Return);
    const QRect start = edit->cursorRect();
    QTest::keyClicks(edit, u"MMMM"_s);
    // Keys that bring Japanese text (QTest types ASCII only).
    QKeyEvent japanese(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, u"あい"_s);
    QApplication::sendEvent(edit, &japanese);
    const QRect end = edit->cursorRect();
    QTest::keyClick(edit, Qt::Key_Home);
    QTRY_COMPARE(edit->cursorRect(), start);
    QCOMPARE(edit->toPlainText(), u"MMMM\nMMMMあい"_s);
    const QImage shown = edit->viewport()->grab().toImage();
    const QRect ink = inkBounds(shown.copy(0, start.top(), shown.width(), shown.height() - start.top()));
    QVERIFY(!ink.isEmpty());
    const QString where = u"ink %1,%2 %3x%4; caret from %5 to %6, line %7 to %8"_s.arg(ink.x())
                              .arg(ink.y() + start.top())
                              .arg(ink.width())
                              .arg(ink.height())
                              .arg(start.left())
                              .arg(end.left())
                              .arg(start.top())
                              .arg(start.bottom());
    QVERIFY2(ink.left() >= start.left() - 1 && ink.right() <= end.left() + 1, qPrintable(where));
    QVERIFY2(ink.width() >= (end.left() - start.left()) * 8 / 10, qPrintable(where));
    QVERIFY2(ink.top() >= 0 && ink.bottom() + start.top() <= start.bottom(), qPrintable(where));
    QVERIFY2(ink.height() >= start.height() * percent / 100 / 4, qPrintable(where));
}

// While zoomed, the document's fonts are resolved at the zoomed resolution (Qt's text engine
// then reuses them instead of resolving them again at every run of text), through a change of
// the editor's font and a load; their sizes in points stay as they are.
void tst_Zoom::fontsFollowTheZoom()
{
    RichEdit *edit = m_window->RichEdit1;
    QTest::keyClicks(edit, u"abc"_s);
    const qreal points = edit->textCursor().charFormat().font().pointSizeF();
    QCOMPARE(shownPixelSize(edit), expectedPixelSize(edit));
    zoomTo(*m_window, 200);
    QCOMPARE(shownPixelSize(edit), expectedPixelSize(edit));
    QCOMPARE(edit->textCursor().charFormat().font().pointSizeF(), points);
    QFont larger = edit->font();
    larger.setPointSize(larger.pointSize() + 4);
    edit->setFont(larger);
    QCOMPARE(shownPixelSize(edit), expectedPixelSize(edit));
    edit->load(QByteArray("{\\rtf1\\ansi\\ansicpg932 plain {\\fs40 large}\\par}"));
    QCOMPARE(edit->toPlainText(), u"plain large"_s);
    QCOMPARE(shownPixelSize(edit), expectedPixelSize(edit));
    edit->setSelection(7, 7);
    QCOMPARE(edit->textCursor().charFormat().font().pointSizeF(), 20.0);
    QCOMPARE(shownPixelSize(edit), expectedPixelSize(edit));
    QVERIFY(shownPixelSize(edit) >= 50);
    m_window->command(u"ViewZoomReset"_s)->trigger();
    QCOMPARE(shownPixelSize(edit), expectedPixelSize(edit));
    QVERIFY(shownPixelSize(edit) < 30);
}

// The printed pages do not depend on the zoom.
void tst_Zoom::printsTheSamePagesWhenZoomed()
{
    RichEdit *edit = m_window->RichEdit1;
    edit->load(QByteArray("{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset128 IPAGothic;}}\\f0 "
                          "Penloft \\'93\\'fa\\'96\\'7b\\'8c\\'ea {\\b bold} {\\fs36 large}\\par second "
                          "paragraph\\par}"));
    const QImage atNormal = printed(edit);
    QVERIFY(inkBounds(atNormal).width() > 600);
    zoomTo(*m_window, 200);
    QCOMPARE(printed(edit), atNormal);
    zoomTo(*m_window, 300);
    QTest::keyClick(edit, Qt::Key_End);
    QCOMPARE(printed(edit), atNormal);
}

QTEST_MAIN(tst_Zoom)
#include "tst_zoom.moc"
