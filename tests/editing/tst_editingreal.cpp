// Editing as a user meets it: real key presses and shortcuts, the real font dialog and font
// box, and what the editor then shows.

#include "app/fontsubstitutes.h"
#include "app/japaneseui.h"
#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/richedit.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTextBlock>
#include <QTest>
#include <QToolButton>

#include "realdialogs.h"

using namespace Qt::StringLiterals;

namespace {

// The first and last columns of a display's picture that hold text (dark or bright on its
// background), or -1.
std::pair<int, int> inkColumns(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    const QRect inside = widget->contentsRect();
    const QRgb background = image.pixel(inside.center().x(), inside.bottom());
    int first = -1;
    int last = -1;
    for (int x = inside.left(); x <= inside.right(); ++x) {
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            if (qAbs(qGray(image.pixel(x, y)) - qGray(background)) > 96) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    }
    return { first, last };
}

// Whether a display shows its whole text: room to spare on both sides of what it draws.
bool showsWhole(StatusText *display)
{
    const auto [first, last] = inkColumns(display);
    const QRect inside = display->contentsRect();
    return first > inside.left() && last < inside.right();
}

} // namespace

class tst_EditingReal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void undoOfAFormatKeepsTheCaretWhereTheChangeWas();
    void longPositionsShowInFull();

private:
    TPenForm1 *m_window = nullptr;
};

void tst_EditingReal::initTestCase()
{
    installJapaneseUi();
    installFontSubstitutes();
}

void tst_EditingReal::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QApplication::setActiveWindow(m_window);
    m_window->RichEdit1->setFocus();
    QTRY_VERIFY(m_window->RichEdit1->hasFocus());
}

void tst_EditingReal::cleanup()
{
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_EditingReal::undoOfAFormatKeepsTheCaretWhereTheChangeWas()
{
    for (int i = 1; i <= 8; ++i)
        RealDialogs::type(m_window->RichEdit1, u"paragraph %1\n"_s.arg(i));
    // The caret into paragraph 6, then 右寄せ from the tool bar.
    QTextCursor cursor = m_window->RichEdit1->textCursor();
    cursor.setPosition(m_window->RichEdit1->document()->findBlockByNumber(5).position() + 4);
    m_window->RichEdit1->setTextCursor(cursor);
    const int caret = m_window->RichEdit1->textCursor().position();
    auto *right = m_window->findChild<QToolButton *>(u"AlinR"_s);
    QVERIFY(right);
    QTest::mouseClick(right, Qt::LeftButton);
    QCOMPARE(m_window->RichEdit1->document()->findBlockByNumber(5).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignRight);
    m_window->RichEdit1->setFocus();
    QTest::keyClick(m_window, Qt::Key_U, Qt::ControlModifier); // レスキュー
    QCOMPARE(m_window->RichEdit1->document()->findBlockByNumber(5).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignLeft);
    QCOMPARE(m_window->RichEdit1->textCursor().position(), caret);
    QVERIFY(m_window->StatusPanels[2]->text().startsWith(u"6 行"_s));

    // A character format over a selection: undone, the selection stays.
    m_window->RichEdit1->setSelection(11, 16);
    m_window->command(u"EditBold"_s)->trigger();
    m_window->RichEdit1->setSelection(0, 0);
    QTest::keyClick(m_window, Qt::Key_U, Qt::ControlModifier);
    QVERIFY(!m_window->RichEdit1->charFormat().bold);
    QCOMPARE(m_window->RichEdit1->selection().start, 11);
    QCOMPARE(m_window->RichEdit1->selection().end, 16);
}

void tst_EditingReal::longPositionsShowInFull()
{
    // 400,001 lines: the caret on the last one.
    QByteArray text;
    for (int i = 0; i < 400000; ++i)
        text += "x\r\n";
    text += "abc";
    m_window->RichEdit1->load(text);
    QTest::keyClick(m_window->RichEdit1, Qt::Key_End, Qt::ControlModifier);
    QTRY_COMPARE(m_window->StatusPanels[2]->text(), u"400001 行　3 列   "_s);
    QCOMPARE(m_window->StatusPanels[1]->text(), u" 1200003 文字目です。"_s);
    QTRY_VERIFY(showsWhole(m_window->StatusPanels[2]));
    QVERIFY(showsWhole(m_window->StatusPanels[1]));
    QVERIFY(m_window->width() <= 637);

    // The longest any can show: ten digits everywhere, in both units.
    m_window->StatusPanels[2]->setText(u"2147483632 行　2147483632 列   "_s);
    m_window->StatusPanels[1]->setText(u" 2147483632 バイト目です。"_s);
    m_window->Memo1->setText(u"2147483632"_s);
    QTRY_VERIFY(showsWhole(m_window->StatusPanels[2]));
    QVERIFY(showsWhole(m_window->StatusPanels[1]));
    QVERIFY(showsWhole(m_window->Memo1));
    QVERIFY(m_window->width() <= 637);
    // Back to short texts, back to the designed widths.
    m_window->StatusPanels[2]->setText(u"1 行　0 列   "_s);
    QTRY_COMPARE(m_window->StatusPanels[2]->width(), 100);
}

QTEST_MAIN(tst_EditingReal)
#include "tst_editingreal.moc"
