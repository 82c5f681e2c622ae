// Editing as a user meets it: real key presses and shortcuts, the real font dialog and font
// box, and what the editor then shows.

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

class tst_EditingReal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void undoOfAFormatKeepsTheCaretWhereTheChangeWas();

private:
    TPenForm1 *m_window = nullptr;
};

void tst_EditingReal::initTestCase()
{
    installJapaneseUi();
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

QTEST_MAIN(tst_EditingReal)
#include "tst_editingreal.moc"
