#include "document/richedit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <QVBoxLayout>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// Three rows of three cells of text, the second column's cells of two paragraphs.
QByteArray threeByThree()
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 IPAGothic;}}\\pard\\f0\\fs24 before\\par";
    for (int row = 0; row < 3; ++row) {
        rtf += "\\trowd\\trgaph108\\clbrdrl\\brdrs\\brdrw10\\cellx2400\\clbrdrl\\brdrs\\brdrw10\\cellx4800"
               "\\clbrdrl\\brdrs\\brdrw10\\cellx7200\\pard\\intbl ";
        for (int column = 0; column < 3; ++column) {
            const QByteArray name = QByteArray(1, char('a' + column)) + QByteArray::number(row + 1);
            rtf += "cell " + name + " text" + (column == 1 ? "\\par more " + name : QByteArray()) + "\\cell ";
        }
        rtf += "\\row";
    }
    return rtf + "\\pard after\\par}";
}

// Paints itself and counts it: the window's dirty regions are painted together, so once this
// has been painted after an update, so has everything else that was waiting.
class PaintProbe : public QWidget {
public:
    using QWidget::QWidget;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        ++paints;
        QPainter(this).fillRect(rect(), Qt::gray);
    }
};

} // namespace

// What the editor's view shows of tables after a change of selection or caret, made with the
// keys, the mouse or setSelection (as a search's hit is shown): the pixels the editor updates are
// those a repaint of everything gives, in every column and row, with no highlight or caret left
// behind where they were.
class tst_TableRepaint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void updatesMatchAFullRepaint_data();
    void updatesMatchAFullRepaint();
    void caretRectangleHoldsTheCaret_data();
    void caretRectangleHoldsTheCaret();

private:
    QTextTable *table() const
    {
        return qobject_cast<QTextTable *>(m_edit->document()->rootFrame()->childFrames().value(0));
    }
    int cellPosition(int row, int column, int offset = 0) const
    {
        return table()->cellAt(row, column).firstPosition() + offset;
    }
    qint64 cellByte(int row, int column, int offset = 0) const
    {
        return m_edit->richDocument().bytePosition(cellPosition(row, column, offset));
    }
    // Where a position's character stands in the view, from its paragraph's lines.
    QPoint pointIn(int row, int column, int offset) const
    {
        const int position = cellPosition(row, column, offset);
        const QTextBlock block = m_edit->document()->findBlock(position);
        m_edit->document()->documentLayout()->blockBoundingRect(block); // laid out and placed
        const QTextLayout *layout = block.layout();
        const QTextLine line = layout->lineForTextPosition(position - block.position());
        const QPointF at = layout->position()
            + QPointF(line.cursorToX(position - block.position()) + 1, line.y() + line.height() / 2);
        return at.toPoint() - QPoint(m_edit->horizontalScrollBar()->value(), m_edit->verticalScrollBar()->value());
    }
    // The view as the window's backing store holds it: what the screen shows.
    QImage shown() const
    {
        QWidget *window = m_edit->window();
        const QPoint at = m_edit->viewport()->mapTo(window, QPoint(0, 0));
        const QSize size = m_edit->viewport()->size();
        return window->screen()->grabWindow(window->winId(), at.x(), at.y(), size.width(), size.height()).toImage();
    }
    void waitForPaint()
    {
        const int before = m_probe->paints;
        m_probe->update();
        QTRY_VERIFY(m_probe->paints > before);
    }
    void act(const QString &action);

    QWidget *m_window = nullptr;
    RichEdit *m_edit = nullptr;
    PaintProbe *m_probe = nullptr;
};

void tst_TableRepaint::initTestCase()
{
    // A caret that does not blink: each picture of the view shows it the same.
    QApplication::setCursorFlashTime(0);
}

void tst_TableRepaint::init()
{
    m_window = new QWidget;
    auto *layout = new QVBoxLayout(m_window);
    m_edit = new RichEdit(m_window);
    m_probe = new PaintProbe(m_window);
    m_probe->setFixedHeight(4);
    layout->addWidget(m_edit);
    layout->addWidget(m_probe);
    m_window->resize(640, 420);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QApplication::setActiveWindow(m_window);
    m_edit->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_edit->load(threeByThree());
    QVERIFY(table());
}

void tst_TableRepaint::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_TableRepaint::act(const QString &action)
{
    QWidget *view = m_edit->viewport();
    if (action == u"select with the keys in the middle column") {
        m_edit->setSelection(cellByte(1, 1, 2), cellByte(1, 1, 2));
        waitForPaint();
        QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        waitForPaint();
        QTest::keyClick(view, Qt::Key_Left, Qt::ShiftModifier); // a selection that shrinks
    } else if (action == u"select with the keys over a cell's paragraphs") {
        m_edit->setSelection(cellByte(2, 1, 1), cellByte(2, 1, 1));
        waitForPaint();
        QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
    } else if (action == u"select with the keys into the next cell") {
        m_edit->setSelection(cellByte(0, 1, 3), cellByte(0, 1, 3));
        waitForPaint();
        for (int i = 0; i < 16; ++i)
            QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        waitForPaint();
        QTest::keyClick(view, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(view, Qt::Key_Left, Qt::ShiftModifier); // back into one cell
    } else if (action == u"move the caret in the last column") {
        m_edit->setSelection(cellByte(2, 2, 1), cellByte(2, 2, 1));
        waitForPaint();
        QTest::keyClick(view, Qt::Key_Right);
        QTest::keyClick(view, Qt::Key_Right);
        waitForPaint();
        QTest::keyClick(view, Qt::Key_Up); // to the row above
    } else if (action == u"type in a cell") {
        m_edit->setSelection(cellByte(1, 2, 4), cellByte(1, 2, 4));
        waitForPaint();
        QTest::keyClicks(view, u"xyz"_s);
        QTest::keyClick(view, Qt::Key_Backspace);
    } else if (action == u"drag with the mouse in a cell") {
        const QPoint from = pointIn(1, 2, 1);
        const QPoint to = pointIn(1, 2, 8);
        waitForPaint();
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
    } else if (action == u"drag with the mouse over cells") {
        const QPoint from = pointIn(0, 1, 2);
        const QPoint to = pointIn(1, 2, 3);
        waitForPaint();
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        waitForPaint();
        QTest::mouseClick(view, Qt::LeftButton, {}, pointIn(2, 0, 2)); // and a click elsewhere
    } else if (action == u"show one hit, then the next") {
        // As Find Next does: the hit's bytes selected, one after another.
        m_edit->setSelection(cellByte(0, 2, 5), cellByte(0, 2, 7));
        waitForPaint();
        m_edit->setSelection(cellByte(1, 1, 5), cellByte(1, 1, 7));
        waitForPaint();
        m_edit->setSelection(cellByte(2, 2, 5), cellByte(2, 2, 7));
    } else {
        QFAIL(qPrintable(u"no action " + action));
    }
}

void tst_TableRepaint::updatesMatchAFullRepaint_data()
{
    QTest::addColumn<QString>("action");
    for (const char *action :
         { "select with the keys in the middle column", "select with the keys over a cell's paragraphs",
           "select with the keys into the next cell", "move the caret in the last column", "type in a cell",
           "drag with the mouse in a cell", "drag with the mouse over cells", "show one hit, then the next" })
        QTest::newRow(action) << QString::fromLatin1(action);
}

void tst_TableRepaint::updatesMatchAFullRepaint()
{
    QFETCH(QString, action);
    m_edit->viewport()->repaint();
    act(action);
    waitForPaint();
    const QImage updated = shown();
    m_edit->viewport()->repaint();
    const QImage full = shown();
    QCOMPARE(updated.size(), full.size());
    int stale = 0;
    QRect where;
    for (int y = 0; y < full.height(); ++y) {
        for (int x = 0; x < full.width(); ++x) {
            if (updated.pixel(x, y) != full.pixel(x, y)) {
                ++stale;
                where |= QRect(x, y, 1, 1);
            }
        }
    }
    QVERIFY2(stale == 0, qPrintable(u"%1 pixels not repainted in x %2..%3, y %4..%5"_s.arg(stale)
                                        .arg(where.left())
                                        .arg(where.right())
                                        .arg(where.top())
                                        .arg(where.bottom())));
}

void tst_TableRepaint::caretRectangleHoldsTheCaret_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("offset");
    QTest::newRow("first column") << 0 << 0 << 3;
    QTest::newRow("middle column, second paragraph") << 1 << 1 << 14;
    QTest::newRow("last column, last row") << 2 << 2 << 6;
}

// The caret blinks by repainting the rectangle the editor gives for it (which input methods are
// given too): the caret's pixels lie in it.
void tst_TableRepaint::caretRectangleHoldsTheCaret()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, offset);
    m_edit->setSelection(cellByte(row, column, offset), cellByte(row, column, offset));
    m_edit->setCursorWidth(2);
    const QImage withCaret = m_edit->viewport()->grab().toImage();
    m_edit->setCursorWidth(0);
    const QImage without = m_edit->viewport()->grab().toImage();
    QRect caret;
    for (int y = 0; y < without.height(); ++y) {
        for (int x = 0; x < without.width(); ++x) {
            if (withCaret.pixel(x, y) != without.pixel(x, y))
                caret |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(!caret.isEmpty());
    m_edit->setCursorWidth(2);
    const QRect rect = m_edit->cursorRect();
    QVERIFY2(rect.contains(caret), qPrintable(u"caret at x %1..%2, y %3..%4; its rectangle x %5..%6, y %7..%8"_s
                                                  .arg(caret.left())
                                                  .arg(caret.right())
                                                  .arg(caret.top())
                                                  .arg(caret.bottom())
                                                  .arg(rect.left())
                                                  .arg(rect.right())
                                                  .arg(rect.top())
                                                  .arg(rect.bottom())));
}

QTEST_MAIN(tst_TableRepaint)
#include "tst_tablerepaint.moc"
