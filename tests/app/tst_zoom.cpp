#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "editing/ruler.h"

#include <QAction>
#include <QFile>
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

QTEST_MAIN(tst_Zoom)
#include "tst_zoom.moc"
