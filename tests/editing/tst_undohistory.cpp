// Undo and redo as a user meets them: each action through its real control, undone with
// Ctrl+Z and redone with Ctrl+Y, judged by what the displays show and what a save writes.

#include "app/controls.h"
#include "app/japaneseui.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include "realdialogs.h"

using namespace Qt::StringLiterals;

class tst_UndoHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void redoKeysAndMenuItems_data();
    void redoKeysAndMenuItems();

private:
    void pressUndo() { QTest::keyClick(m_window->RichEdit1, Qt::Key_Z, Qt::ControlModifier); }
    QAction *redo() const { return m_window->command(u"EditRedo"_s); }

    TPenForm1 *m_window = nullptr;
};

void tst_UndoHistory::initTestCase()
{
    installJapaneseUi();
}

void tst_UndoHistory::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_window->RichEdit1->setFocus();
    QTRY_VERIFY(m_window->RichEdit1->hasFocus());
}

void tst_UndoHistory::cleanup()
{
    RealDialogs::cancelPending();
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_UndoHistory::redoKeysAndMenuItems_data()
{
    QTest::addColumn<QKeyCombination>("key");
    QTest::addColumn<bool>("fromSizeBox");
    QTest::newRow("Ctrl+Y in the editor") << QKeyCombination(Qt::ControlModifier, Qt::Key_Y) << false;
    QTest::newRow("Ctrl+Shift+Z in the editor")
        << QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z) << false;
    QTest::newRow("Ctrl+Y in the size box") << QKeyCombination(Qt::ControlModifier, Qt::Key_Y) << true;
    QTest::newRow("Ctrl+Shift+Z in the size box")
        << QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z) << true;
}

void tst_UndoHistory::redoKeysAndMenuItems()
{
    QFETCH(QKeyCombination, key);
    QFETCH(bool, fromSizeBox);
    RichEdit *edit = m_window->RichEdit1;
    QTest::keyClicks(edit, u"abc"_s);
    QTest::keyClick(edit, Qt::Key_U, Qt::ControlModifier); // レスキュー
    QCOMPARE(edit->toPlainText(), QString());
    QWidget *target = edit;
    if (fromSizeBox) {
        m_window->Edit1->setFocus();
        QTRY_VERIFY(m_window->Edit1->hasFocus());
        target = m_window->Edit1;
    }
    QTest::keyClick(target, key.key(), key.keyboardModifiers());
    QCOMPARE(edit->toPlainText(), u"abc"_s);
    // Nothing more to redo: the key changes nothing.
    QTest::keyClick(target, key.key(), key.keyboardModifiers());
    QCOMPARE(edit->toPlainText(), u"abc"_s);

    // Right after the undo item, in the Edit menu and in the editor's menu.
    QAction *undo = m_window->command(u"EditUndo"_s);
    QVERIFY(redo());
    for (QMenu *menu : { m_window->Edit3, m_window->PopupMenu1 }) {
        const QList<QAction *> items = menu->actions();
        QCOMPARE(items.indexOf(redo()), items.indexOf(undo) + 1);
    }
    QCOMPARE(redo()->text(), u"やり直し"_s);
    QCOMPARE(redo()->toolTip(), u"やり直し"_s);
    QCOMPARE(redo()->statusTip(), u"レスキューで戻した操作をやり直します。"_s);
    QCOMPARE(undo->shortcut(), QKeySequence(u"Ctrl+U"_s));

    // Enabled only with something to redo; the undo item always. The menu item redoes as well,
    // and new typing ends what could be redone.
    QVERIFY(!redo()->isEnabled());
    QVERIFY(undo->isEnabled());
    pressUndo();
    QVERIFY(redo()->isEnabled());
    QVERIFY(undo->isEnabled());
    redo()->trigger();
    QCOMPARE(edit->toPlainText(), u"abc"_s);
    QVERIFY(!redo()->isEnabled());
    pressUndo();
    QVERIFY(redo()->isEnabled());
    QTest::keyClicks(edit, u"x"_s);
    QVERIFY(!redo()->isEnabled());
    QVERIFY(undo->isEnabled());
}

QTEST_MAIN(tst_UndoHistory)
#include "tst_undohistory.moc"
