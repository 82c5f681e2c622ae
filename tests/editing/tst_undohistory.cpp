// Undo and redo as a user meets them: each action through its real control (tool buttons, the
// font box, the size box's key, the real font and colour dialogs, the ruler's markers, the
// clipboard keys), undone with Ctrl+Z and redone with Ctrl+Y, judged by what the displays show
// and what a save writes to disk.

#include "app/fontsubstitutes.h"
#include "app/japaneseui.h"
#include "app/controls.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "editing/ruler.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "realdialogs.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

// Two paragraphs in one face at 11 points, the first word of the first in 10.5 points.
const QByteArray Letter = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 "
                          "\\'82\\'6c\\'82\\'72 \\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}}\r\n"
                          "\\pard\\f0\\fs21 first\\fs22  paragraph\\par second paragraph\\par}";

// What the user sees of the document: what a save writes, and the displays at the selection.
struct Seen {
    QByteArray rtf;
    QString face;
    QString size;
    QString styles; // "B", "I", "U" for each button pressed
    QString alignment; // the name of the pressed alignment button
    QColor textColor;
    QList<int> markers; // the three markers' left edges
};

Seen seenIn(TPenForm1 &w)
{
    Seen seen;
    seen.rtf = w.RichEdit1->save();
    seen.face = w.ComboBox1->currentText();
    seen.size = w.Edit1->text();
    const std::pair<QString, QChar> styles[] = { { u"EditBold"_s, u'B' }, { u"EditItaric"_s, u'I' },
                                                 { u"EditUnderline"_s, u'U' } };
    for (const auto &[name, letter] : styles) {
        if (w.command(name)->isChecked())
            seen.styles += letter;
    }
    for (const QString &name : { u"EditAlineLeft"_s, u"EditAlineCenter"_s, u"EditAlineRight"_s }) {
        if (w.command(name)->isChecked())
            seen.alignment = name;
    }
    seen.textColor = w.Edit4->palette().color(QPalette::Text);
    seen.markers = { w.FirstInd->x(), w.LeftInd->x(), w.RightInd->x() };
    return seen;
}

void compareSeen(const Seen &actual, const Seen &expected)
{
    QCOMPARE(actual.rtf, expected.rtf);
    QCOMPARE(actual.face, expected.face);
    QCOMPARE(actual.size, expected.size);
    QCOMPARE(actual.styles, expected.styles);
    QCOMPARE(actual.alignment, expected.alignment);
    QCOMPARE(actual.textColor, expected.textColor);
    QCOMPARE(actual.markers, expected.markers);
}

QPushButton *buttonNamed(QWidget *dialog, const QString &prefix)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text().startsWith(prefix))
            return button;
    }
    return nullptr;
}

// The list of the font dialog that offers `entry`.
QListWidget *listOffering(QWidget *dialog, const QString &entry)
{
    for (QListWidget *list : dialog->findChildren<QListWidget *>()) {
        if (!list->findItems(entry, Qt::MatchExactly).isEmpty())
            return list;
    }
    return nullptr;
}

void clickEntry(QListWidget *list, const QString &entry)
{
    QListWidgetItem *item = list->findItems(entry, Qt::MatchExactly).value(0);
    QVERIFY(item);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

// The font dialog's size box: the box its "サイズ(&S):" label names.
QLineEdit *sizeBoxOf(QWidget *dialog)
{
    for (QLabel *label : dialog->findChildren<QLabel *>()) {
        if (label->text().startsWith(u"サイズ"_s))
            return qobject_cast<QLineEdit *>(label->buddy());
    }
    return nullptr;
}

void dragMarker(RulerMarker *marker, int by)
{
    // Pressed in its middle, moved, released where it went.
    QTest::mousePress(marker, Qt::LeftButton, {}, QPoint(6, 6));
    QTest::mouseMove(marker, QPoint(6 + by, 6));
    QTest::mouseRelease(marker, Qt::LeftButton, {}, QPoint(6, 6));
}

} // namespace

class tst_UndoHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void eachActionIsOneStep_data();
    void eachActionIsOneStep();
    void actionsThatChangeNothingLeaveNoStep_data();
    void actionsThatChangeNothingLeaveNoStep();
    void typingAfterAPasteIsAStepOfItsOwn();
    void redoKeysAndMenuItems_data();
    void redoKeysAndMenuItems();
    void newDocumentHasNoPast();
    void fontDialogWritesWholePoints_data();
    void fontDialogWritesWholePoints();
    void fontDialogKeepsSizesItIsNotGiven_data();
    void fontDialogKeepsSizesItIsNotGiven();

private:
    // The letter opened from disk, history empty, with the first word selected.
    void openLetter();
    void pressUndo() { QTest::keyClick(m_window->RichEdit1, Qt::Key_Z, Qt::ControlModifier); }
    void pressRedo()
    {
        activate();
        QTest::keyClick(m_window->RichEdit1, Qt::Key_Y, Qt::ControlModifier);
    }
    void activate();
    QByteArray saved();
    QAction *redo() const { return m_window->command(u"EditRedo"_s); }

    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

void tst_UndoHistory::initTestCase()
{
    installJapaneseUi();
    installFontSubstitutes();
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

void tst_UndoHistory::openLetter()
{
    const QString path = m_dir.filePath(u"letter.rtf"_s);
    TestFiles::write(path, Letter);
    m_window->OpenFile(path);
    m_window->RichEdit1->setSelection(0, 5);
}

void tst_UndoHistory::activate()
{
    // A closing dialog gives the window back its activation only where a window manager does it.
    QApplication::setActiveWindow(m_window);
    QTRY_VERIFY(m_window->isActiveWindow());
}

QByteArray tst_UndoHistory::saved()
{
    activate();
    QTest::keyClick(m_window->RichEdit1, Qt::Key_S, Qt::ControlModifier);
    return TestFiles::read(m_window->CurrentFileName);
}

// An action of the user's, done through its control.
using Action = std::function<void(TPenForm1 &)>;
Q_DECLARE_METATYPE(Action)

namespace {

void clickTool(TPenForm1 &w, const QString &name)
{
    auto *button = w.findChild<QToolButton *>(name);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

void chooseColor(TPenForm1 &w, const QColor &color)
{
    RealDialogs::whenModal([color](QWidget *modal) {
        auto *dialog = qobject_cast<QColorDialog *>(modal);
        QVERIFY(dialog);
        dialog->setCurrentColor(color);
        QPushButton *ok = buttonNamed(dialog, u"OK"_s);
        QVERIFY(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    QTest::mouseClick(w.Edit4, Qt::LeftButton);
}

// The font dialog from its command; `operate` works it and closes it.
void runFontDialog(TPenForm1 &w, const std::function<void(QWidget *)> &operate)
{
    bool operated = false;
    RealDialogs::whenModal([&](QWidget *dialog) {
        operate(dialog);
        operated = true;
    });
    w.command(u"EditFont"_s)->trigger();
    QVERIFY(operated);
}

// The font box's next entry, chosen with the arrow key in its open list.
void nextFace(TPenForm1 &w)
{
    QTest::mouseClick(w.ComboBox1, Qt::LeftButton);
    QTRY_VERIFY(w.ComboBox1->view()->isVisible());
    QTest::keyClick(w.ComboBox1->view(), Qt::Key_Down);
    QTest::keyClick(w.ComboBox1->view(), Qt::Key_Return);
}

} // namespace

void tst_UndoHistory::eachActionIsOneStep_data()
{
    QTest::addColumn<Action>("action");
    QTest::newRow("font box") << Action(nextFace);
    QTest::newRow("size up") << Action([](TPenForm1 &w) {
        w.Edit1->setFocus();
        QTest::keyClick(w.Edit1, Qt::Key_Up);
    });
    QTest::newRow("bold") << Action([](TPenForm1 &w) { clickTool(w, u"bold"_s); });
    QTest::newRow("italic") << Action([](TPenForm1 &w) { clickTool(w, u"Itaric"_s); });
    QTest::newRow("underline") << Action([](TPenForm1 &w) { clickTool(w, u"Underline"_s); });
    QTest::newRow("centre") << Action([](TPenForm1 &w) { clickTool(w, u"AlinC"_s); });
    QTest::newRow("right") << Action([](TPenForm1 &w) { clickTool(w, u"AlinR"_s); });
    QTest::newRow("bullet, with its indent") << Action([](TPenForm1 &w) { clickTool(w, u"Bullet"_s); });
    QTest::newRow("text colour") << Action([](TPenForm1 &w) { chooseColor(w, Qt::red); });
    QTest::newRow("font dialog OK") << Action([](TPenForm1 &w) {
        runFontDialog(w, [](QWidget *dialog) {
            clickEntry(listOffering(dialog, u"太字"_s), u"太字"_s);
            clickEntry(listOffering(dialog, u"14"_s), u"14"_s);
            QTest::mouseClick(dialog->findChild<QCheckBox *>(), Qt::LeftButton);
            QTest::mouseClick(buttonNamed(dialog, u"OK"_s), Qt::LeftButton);
        });
    });
    QTest::newRow("font dialog Apply, then Cancel") << Action([](TPenForm1 &w) {
        runFontDialog(w, [](QWidget *dialog) {
            clickEntry(listOffering(dialog, u"斜体"_s), u"斜体"_s);
            clickEntry(listOffering(dialog, u"20"_s), u"20"_s);
            QTest::mouseClick(buttonNamed(dialog, u"適用"_s), Qt::LeftButton);
            QTest::mouseClick(buttonNamed(dialog, u"キャンセル"_s), Qt::LeftButton);
        });
    });
    QTest::newRow("first-line marker") << Action([](TPenForm1 &w) { dragMarker(w.FirstInd, 40); });
    QTest::newRow("left marker") << Action([](TPenForm1 &w) { dragMarker(w.LeftInd, 30); });
    QTest::newRow("right marker") << Action([](TPenForm1 &w) { dragMarker(w.RightInd, -50); });
    QTest::newRow("paste") << Action([](TPenForm1 &w) {
        QApplication::clipboard()->setText(u"pasted"_s);
        QTest::keyClick(w.RichEdit1, Qt::Key_V, Qt::ControlModifier);
    });
    QTest::newRow("cut") << Action([](TPenForm1 &w) { QTest::keyClick(w.RichEdit1, Qt::Key_X, Qt::ControlModifier); });
}

void tst_UndoHistory::eachActionIsOneStep()
{
    QFETCH(Action, action);
    openLetter();
    const Seen before = seenIn(*m_window);
    action(*m_window);
    QVERIFY(!QApplication::activeModalWidget());
    // As the displays show it from the next caret move on (the commands leave them to it).
    m_window->RichEdit1SelectionChange();
    const Seen after = seenIn(*m_window);
    QVERIFY(after.rtf != before.rtf);
    QVERIFY(!redo()->isEnabled());

    // One Ctrl+Z takes the whole action back, and the displays show it.
    pressUndo();
    compareSeen(seenIn(*m_window), before);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(saved(), before.rtf);
    QVERIFY(redo()->isEnabled());
    // Nothing was left behind in the history.
    pressUndo();
    compareSeen(seenIn(*m_window), before);
    if (QTest::currentTestFailed())
        return;

    // One Ctrl+Y puts all of it back.
    pressRedo();
    compareSeen(seenIn(*m_window), after);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!redo()->isEnabled());
    QCOMPARE(saved(), after.rtf);
}

void tst_UndoHistory::actionsThatChangeNothingLeaveNoStep_data()
{
    QTest::addColumn<Action>("action");
    QTest::newRow("the pressed alignment button") << Action([](TPenForm1 &w) { clickTool(w, u"AlinL"_s); });
    QTest::newRow("the face the font box shows") << Action([](TPenForm1 &w) {
        QTest::mouseClick(w.ComboBox1, Qt::LeftButton);
        QTRY_VERIFY(w.ComboBox1->view()->isVisible());
        QTest::keyClick(w.ComboBox1->view(), Qt::Key_Return);
    });
    QTest::newRow("font dialog OK, nothing changed") << Action([](TPenForm1 &w) {
        runFontDialog(w, [](QWidget *dialog) { QTest::mouseClick(buttonNamed(dialog, u"OK"_s), Qt::LeftButton); });
    });
    QTest::newRow("the text's own colour") << Action([](TPenForm1 &w) { chooseColor(w, Qt::black); });
    QTest::newRow("bold at a caret") << Action([](TPenForm1 &w) {
        w.RichEdit1->setSelection(3, 3);
        clickTool(w, u"bold"_s);
    });
}

void tst_UndoHistory::actionsThatChangeNothingLeaveNoStep()
{
    QFETCH(Action, action);
    openLetter();
    const Seen opened = seenIn(*m_window);
    // Something to undo first: a letter typed at the end of the first paragraph.
    m_window->RichEdit1->setSelection(15, 15);
    QTest::keyClick(m_window->RichEdit1, Qt::Key_X);
    m_window->RichEdit1->setSelection(0, 5);
    const QByteArray typed = m_window->RichEdit1->save();
    action(*m_window);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(m_window->RichEdit1->save(), typed);
    // The first Ctrl+Z undoes the typing: the action left no step of its own before it.
    pressUndo();
    QCOMPARE(m_window->RichEdit1->save(), opened.rtf);
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"first paragraph\nsecond paragraph"_s);
}

void tst_UndoHistory::typingAfterAPasteIsAStepOfItsOwn()
{
    RichEdit *edit = m_window->RichEdit1;
    QTest::keyClicks(edit, u"ab"_s);
    QApplication::clipboard()->setText(u"XY"_s);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClicks(edit, u"cd"_s);
    QCOMPARE(edit->toPlainText(), u"abXYcd"_s);
    const QStringList undone { u"abXY"_s, u"ab"_s, QString() };
    for (const QString &text : undone) {
        pressUndo();
        QCOMPARE(edit->toPlainText(), text);
    }
    const QStringList redone { u"ab"_s, u"abXY"_s, u"abXYcd"_s };
    for (const QString &text : redone) {
        QVERIFY(redo()->isEnabled());
        pressRedo();
        QCOMPARE(edit->toPlainText(), text);
    }
    QVERIFY(!redo()->isEnabled());
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

void tst_UndoHistory::newDocumentHasNoPast()
{
    RichEdit *edit = m_window->RichEdit1;
    QTest::keyClicks(edit, u"old text"_s);
    RealDialogs::Box prompt;
    RealDialogs::answerBox(&prompt, u"いいえ(&N)"_s);
    QTest::keyClick(edit, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(prompt.caption, u"確認"_s);
    QCOMPARE(edit->toPlainText(), QString());
    pressUndo();
    QTest::keyClick(edit, Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(edit->toPlainText(), QString());
    QVERIFY(!redo()->isEnabled());
    QVERIFY(!edit->isModified());
}

void tst_UndoHistory::fontDialogWritesWholePoints_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("sizeTwips");
    QTest::addColumn<QByteArray>("word");
    QTest::newRow("half a point up") << u"10.5"_s << 220 << "\\fs22 "_ba;
    QTest::newRow("below the half") << u"13.4"_s << 260 << "\\fs26 "_ba;
    QTest::newRow("whole") << u"9"_s << 180 << "\\fs18 "_ba;
}

void tst_UndoHistory::fontDialogWritesWholePoints()
{
    QFETCH(QString, typed);
    QFETCH(int, sizeTwips);
    QFETCH(QByteArray, word);
    openLetter();
    m_window->RichEdit1->setSelection(0, -1);
    QString shown;
    runFontDialog(*m_window, [&](QWidget *dialog) {
        QLineEdit *size = sizeBoxOf(dialog);
        QVERIFY(size);
        shown = size->text();
        size->setFocus();
        size->selectAll();
        QTest::keyClicks(size, typed);
        QTest::mouseClick(buttonNamed(dialog, u"OK"_s), Qt::LeftButton);
    });
    QCOMPARE(m_window->RichEdit1->charFormat().sizeTwips, sizeTwips);
    QCOMPARE(shown, u"10"_s); // 10.5 points, shown as the size box shows them
    m_window->RichEdit1SelectionChange();
    QCOMPARE(m_window->Edit1->text(), QString::number(sizeTwips / 20));
    const QByteArray file = saved();
    QVERIFY2(file.contains(word), file.constData());
    QVERIFY2(!file.contains("\\fs21"), file.constData());
}

void tst_UndoHistory::fontDialogKeepsSizesItIsNotGiven_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("color"); // index in the colour list, -1: left
    QTest::addColumn<QByteArray>("word");
    QTest::newRow("bold only") << u"太字"_s << -1 << "\\b "_ba;
    QTest::newRow("colour only") << QString() << 9 << "\\cf1 "_ba;
}

void tst_UndoHistory::fontDialogKeepsSizesItIsNotGiven()
{
    QFETCH(QString, style);
    QFETCH(int, color);
    QFETCH(QByteArray, word);
    openLetter();
    m_window->RichEdit1->setSelection(0, -1);
    runFontDialog(*m_window, [&](QWidget *dialog) {
        if (!style.isEmpty())
            clickEntry(listOffering(dialog, style), style);
        if (color >= 0) {
            auto *colors = dialog->findChildren<QComboBox *>().value(0);
            QVERIFY(colors);
            colors->setFocus();
            colors->setCurrentIndex(color);
        }
        QTest::mouseClick(buttonNamed(dialog, u"OK"_s), Qt::LeftButton);
    });
    // The half-point word and the rest keep their sizes; what was chosen is written.
    const QByteArray file = saved();
    QVERIFY2(file.contains(word), file.constData());
    QVERIFY2(file.contains("\\fs21 "), file.constData());
    QVERIFY2(file.contains("\\fs22 "), file.constData());
    // One step takes it back.
    pressUndo();
    QVERIFY(!m_window->RichEdit1->save().contains(word));
}

QTEST_MAIN(tst_UndoHistory)
#include "tst_undohistory.moc"
