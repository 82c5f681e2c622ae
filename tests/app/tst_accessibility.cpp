// What a screen reader gets from the real main window, its date dialog and the print preview:
// every control a user reads or operates has a name, without the keys a menu shows beside it;
// the hand-painted status panels and the counter read as their text as the caret moves and the
// document grows. (That they announce each change is seen over AT-SPI by the desktop suite:
// Qt sends nothing while no screen reader is on.)

#include "app/controls.h"
#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "printing/tpreviewwindow.h"
#include "tools/tform4.h"

#include <QAccessible>
#include <QApplication>
#include <QInputMethodEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "realdialogs.h"

using namespace Qt::StringLiterals;

namespace {

QAccessibleInterface *accessible(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

// The text a reader reads through the text interface; "(none)" without one.
QString textOf(QObject *object)
{
    QAccessibleTextInterface *text = accessible(object)->textInterface();
    return text ? text->text(0, text->characterCount()) : u"(none)"_s;
}

// Typed as users type: Latin letters as keys, Japanese committed by the input method.
void typeInto(QWidget *editor, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClicks(editor, QString(c));
            continue;
        }
        QInputMethodEvent commit;
        commit.setCommitString(QString(c));
        QApplication::sendEvent(editor, &commit);
    }
}

QString nameOf(QObject *object)
{
    return accessible(object)->text(QAccessible::Name);
}

// The controls under `top` a user operates or reads that have no name, or a name with a tab
// (a menu's keys), each as "role 'name' (class objectName)".
QStringList badlyNamed(QAccessibleInterface *top, int depth = 0)
{
    static const QList<QAccessible::Role> operated
        = { QAccessible::PushButton, QAccessible::CheckBox, QAccessible::RadioButton, QAccessible::ComboBox,
              QAccessible::EditableText, QAccessible::SpinBox, QAccessible::Slider, QAccessible::ButtonMenu,
              QAccessible::ButtonDropDown, QAccessible::PageTab, QAccessible::MenuItem, QAccessible::StaticText };
    QStringList found;
    if (!top || depth > 30)
        return found;
    const QString name = top->text(QAccessible::Name);
    const bool separator = top->role() == QAccessible::MenuItem && top->object() == nullptr && name.isEmpty();
    // A label showing nothing (the hint panel between hints) has nothing to read.
    const bool blank = top->role() == QAccessible::StaticText && name.isEmpty();
    if (operated.contains(top->role()) && !top->state().invisible && !separator && !blank
        && (name.trimmed().isEmpty() || name.contains(u'\t'))) {
        QObject *object = top->object();
        found << u"%1 '%2' (%3 %4 in %5)"_s.arg(int(top->role()))
                     .arg(name, object ? QString::fromLatin1(object->metaObject()->className()) : u"-"_s,
                         object ? object->objectName() : QString(),
                         object && object->parent() ? object->parent()->objectName() : QString());
    }
    for (int i = 0; i < top->childCount(); ++i)
        found += badlyNamed(top->child(i), depth + 1);
    return found;
}

} // namespace

class tst_Accessibility : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void panelsReadTheCaretAndTheCount_data();
    void panelsReadTheCaretAndTheCount();
    void unitAndCounterReadAfterSwitching();
    void everyControlOfTheMainWindowIsNamed();
    void everyControlOfTheDateDialogIsNamed();
    void everyControlOfThePreviewIsNamed();

private:
    TPenForm1 *m_window = nullptr;
};

void tst_Accessibility::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_window->RichEdit1->setFocus();
}

void tst_Accessibility::cleanup()
{
    RealDialogs::cancelPending();
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_Accessibility::panelsReadTheCaretAndTheCount_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("lineAndColumn");
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("count");

    QTest::newRow("ascii") << u"abc"_s << QList<int>() << u"1 行　3 列"_s << u"3   文字目です。"_s << u"3"_s;
    QTest::newRow("back one") << u"abc"_s << QList<int> { Qt::Key_Left } << u"1 行　2 列"_s << u"2   文字目です。"_s
                              << u"3"_s;
    QTest::newRow("home") << u"abc"_s << QList<int> { Qt::Key_Home } << u"1 行　0 列"_s << u"0   文字目です。"_s
                          << u"3"_s;
    // Columns count bytes: a kanji is two.
    QTest::newRow("kanji") << u"日本語"_s << QList<int>() << u"1 行　6 列"_s << u"3   文字目です。"_s << u"3"_s;
    // A line break counts as two, as the unit's hint says.
    QTest::newRow("second line") << u"abc"_s << QList<int> { Qt::Key_Return, Qt::Key_D, Qt::Key_E, Qt::Key_Left }
                                 << u"2 行　1 列"_s << u"6   文字目です。"_s << u"7"_s;
}

void tst_Accessibility::panelsReadTheCaretAndTheCount()
{
    QFETCH(QString, typed);
    QFETCH(QList<int>, keys);
    QFETCH(QString, lineAndColumn);
    QFETCH(QString, position);
    QFETCH(QString, count);
    RichEdit *editor = m_window->RichEdit1;
    typeInto(editor, typed);
    for (int key : keys)
        QTest::keyClick(editor, Qt::Key(key));

    StatusText *column = m_window->StatusPanels[2];
    StatusText *place = m_window->StatusPanels[1];
    QCOMPARE(accessible(column)->role(), QAccessible::StaticText);
    QCOMPARE(nameOf(column), lineAndColumn);
    QCOMPARE(textOf(column), lineAndColumn);
    QCOMPARE(nameOf(place), position);
    QCOMPARE(textOf(place), position);
    // The counter is named by its hint and reads as the number it shows.
    QCOMPARE(nameOf(m_window->Memo1), u"文字数 "_s + count);
    QCOMPARE(textOf(m_window->Memo1), count);
    QCOMPARE(accessible(m_window->Memo1)->text(QAccessible::Value), count);
    // The status bar holds the panels, as a reader walks it.
    QAccessibleInterface *bar = accessible(m_window->statusBar());
    QVERIFY(bar->indexOfChild(accessible(column)) >= 0);
}

void tst_Accessibility::unitAndCounterReadAfterSwitching()
{
    typeInto(m_window->RichEdit1, u"日本"_s);
    QCOMPARE(textOf(m_window->Memo2), u"文字"_s);
    QTest::mouseClick(m_window->Memo2, Qt::LeftButton);
    QCOMPARE(textOf(m_window->Memo2), u"バイト"_s);
    QCOMPARE(nameOf(m_window->Memo2), u"表示切替 バイト"_s);
    QCOMPARE(textOf(m_window->Memo1), u"4"_s);
    QCOMPARE(textOf(m_window->StatusPanels[1]), u"4   バイト目です。"_s);
}

void tst_Accessibility::everyControlOfTheMainWindowIsNamed()
{
    const QStringList bad = badlyNamed(accessible(m_window));
    QVERIFY2(bad.isEmpty(), qPrintable(bad.join(u"\n"_s)));
    // Each menu, opened or not, and its items without their keys.
    const QList<QAction *> menus = m_window->menuBar()->actions();
    for (QAction *menu : menus) {
        if (!menu->menu())
            continue;
        const QStringList items = badlyNamed(accessible(menu->menu()));
        QVERIFY2(items.isEmpty(), qPrintable(menu->text() + u": "_s + items.join(u"\n"_s)));
    }
    QCOMPARE(nameOf(m_window->Edit1), u"文字サイズ"_s);
    QCOMPARE(nameOf(m_window->Edit4), u"文字色"_s);
    QCOMPARE(nameOf(m_window->Edit2), u"背景色"_s);
}

void tst_Accessibility::everyControlOfTheDateDialogIsNamed()
{
    m_window->Button3->click();
    QTRY_VERIFY(m_window->Form4 && m_window->Form4->isVisible());
    const QStringList bad = badlyNamed(accessible(m_window->Form4));
    m_window->Form4->close();
    QVERIFY2(bad.isEmpty(), qPrintable(bad.join(u"\n"_s)));
}

void tst_Accessibility::everyControlOfThePreviewIsNamed()
{
    // The window as the preview command opens it, before its pages come.
    auto *preview = new TPreviewWindow(nullptr);
    preview->show();
    QVERIFY(QTest::qWaitForWindowExposed(preview));
    const QStringList bad = badlyNamed(accessible(preview));
    delete preview;
    QVERIFY2(bad.isEmpty(), qPrintable(bad.join(u"\n"_s)));
}

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
