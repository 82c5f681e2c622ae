// Editing as a user meets it: real key presses and shortcuts, the real font dialog and font
// box, and what the editor then shows.

#include "app/fontsubstitutes.h"
#include "app/japaneseui.h"
#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/editordocumentlayout.h"
#include "document/richedit.h"

#include <QAction>
#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QRegularExpression>
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
    void longestPositionsShowInFull();
    void fontListNamesEachFamilyOnce();
    void fontListEntriesAreDrawnWhole();
    void fontDialogLabelsTakeTheirKeys();
    void altChordsNeverType();
    void selectionHiddenWhileAnotherControlHasTheFocus();

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
    RealDialogs::cancelPending();
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
    // The line is exact once every paragraph before the caret is laid out, a slice at a time
    // between the program's events: seconds, more on a busy machine.
    const EditorDocumentLayout &layout = *m_window->RichEdit1->richDocument().layout();
    QTRY_VERIFY_WITH_TIMEOUT(layout.estimatedCount() == 0, 120000);
    QTRY_COMPARE(m_window->StatusPanels[2]->text(), u"400001 行　3 列   "_s);
    QCOMPARE(m_window->StatusPanels[1]->text(), u" 1200003 文字目です。"_s);
    QTRY_VERIFY(showsWhole(m_window->StatusPanels[2]));
    QVERIFY(showsWhole(m_window->StatusPanels[1]));
    QVERIFY(m_window->width() <= 637);
}

void tst_EditingReal::longestPositionsShowInFull()
{
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

void tst_EditingReal::fontListNamesEachFamilyOnce()
{
    QComboBox *box = m_window->ComboBox1;
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries += box->itemText(i);
    const QRegularExpression maker(u"\\s*\\[[^\\]]*\\]$"_s);
    QStringList folded;
    for (const QString &entry : entries) {
        QVERIFY2(!maker.match(entry).hasMatch(), qPrintable(entry));
        folded += entry.toLower();
    }
    folded.removeDuplicates();
    QCOMPARE(folded.size(), entries.size());
    QString twoMakers;
    for (QString family : QFontDatabase::families()) {
        if (maker.match(family).hasMatch())
            twoMakers = family.remove(maker);
        QVERIFY2(entries.contains(family.remove(maker)), qPrintable(family));
    }
    if (twoMakers.isEmpty())
        return; // this machine has no family from two makers
    // Chosen from the list, the plain name is what the document keeps.
    RealDialogs::type(m_window->RichEdit1, u"text"_s);
    m_window->RichEdit1->setSelection(0, 4);
    box->setCurrentIndex(box->findText(twoMakers));
    const QByteArray rtf = m_window->RichEdit1->save();
    QVERIFY2(rtf.contains(QByteArray(twoMakers.toLatin1() + ';')), rtf.constData());
    QVERIFY(!rtf.contains('['));
}

void tst_EditingReal::fontListEntriesAreDrawnWhole()
{
    // Each entry drawn in its own face into a picture with room around its row: whatever lands
    // outside the row would be cut off in the list.
    QComboBox *box = m_window->ComboBox1;
    QAbstractItemView *view = box->view();
    const int margin = 20;
    QStringList cut;
    // At the list's own size, and at a larger one where every face's lines are taller than
    // the entry.
    for (const int pixels : { view->font().pixelSize(), 21 })
    for (int i = 0; i < box->count(); ++i) {
        const QModelIndex index = box->model()->index(i, 0);
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.font = view->font();
        option.font.setPixelSize(pixels);
        const QSize row = view->itemDelegateForIndex(index)->sizeHint(option, index);
        option.rect = QRect(margin, margin, 300, row.height());
        QImage picture(340, row.height() + 2 * margin, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        painter.fillRect(option.rect, Qt::white);
        view->itemDelegateForIndex(index)->paint(&painter, option, index);
        painter.end();
        for (int y = 0; y < picture.height(); ++y) {
            if (y >= margin && y < margin + row.height())
                continue;
            for (int x = 0; x < picture.width(); ++x) {
                if (qGray(picture.pixel(x, y)) < 224) {
                    cut += box->itemText(i) + u' ' + QString::number(pixels);
                    y = picture.height();
                    break;
                }
            }
        }
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", "_s)));
}

void tst_EditingReal::fontDialogLabelsTakeTheirKeys()
{
    QStringList labels;
    QStringList unnamed;
    bool sizeBoxReached = false;
    int swatches = 0;
    RealDialogs::whenModal([&](QWidget *dialog) {
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (!label->text().contains(u'&'))
                continue;
            labels += label->text();
            if (!label->buddy())
                unnamed += label->text();
        }
        if (auto *colours = dialog->findChildren<QComboBox *>().value(0)) {
            for (int i = 0; i < colours->count(); ++i)
                swatches += !colours->itemIcon(i).isNull();
        }
        QApplication::setActiveWindow(dialog);
        QTest::keyClick(dialog, Qt::Key_S, Qt::AltModifier);
        const QWidget *focus = QApplication::focusWidget();
        sizeBoxReached = focus && focus != dialog && labels.size() == 5;
        dialog->close();
    });
    m_window->command(u"EditFont"_s)->trigger();
    QCOMPARE(labels.size(), 5);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u", "_s)));
    QVERIFY(sizeBoxReached);
    QVERIFY(swatches >= 16);
}

void tst_EditingReal::altChordsNeverType()
{
    RealDialogs::type(m_window->RichEdit1, u"ab"_s);
    for (const Qt::Key key : { Qt::Key_F, Qt::Key_E, Qt::Key_A, Qt::Key_1 })
        QTest::keyClick(m_window->RichEdit1, key, Qt::AltModifier);
    QTest::keyClick(m_window->RichEdit1, Qt::Key_F, Qt::AltModifier | Qt::ShiftModifier);
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"ab"_s);
    // AltGr types its own characters.
    QTest::sendKeyEvent(QTest::Click, m_window->RichEdit1, Qt::Key_unknown, u"€"_s, Qt::GroupSwitchModifier);
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"ab€"_s);
}

void tst_EditingReal::selectionHiddenWhileAnotherControlHasTheFocus()
{
    RealDialogs::type(m_window->RichEdit1, u"selected text here"_s);
    m_window->RichEdit1->setSelection(0, 8);
    QWidget *viewport = m_window->RichEdit1->viewport();
    const QColor highlight = m_window->RichEdit1->palette().color(QPalette::Active, QPalette::Highlight);
    const auto highlighted = [&] {
        const QImage image = viewport->grab().toImage();
        int count = 0;
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 200; ++x)
                count += image.pixelColor(x, y) == highlight;
        }
        return count;
    };
    QVERIFY(highlighted() > 50);
    // The focus to the font name box, by a click as a user gives it.
    QTest::mouseClick(m_window->ComboBox1, Qt::LeftButton);
    QTest::keyClick(m_window->ComboBox1->view(), Qt::Key_Escape);
    QTRY_VERIFY(!m_window->RichEdit1->hasFocus());
    const QColor inactive = m_window->RichEdit1->palette().color(QPalette::Inactive, QPalette::Highlight);
    Q_UNUSED(inactive);
    QTRY_COMPARE(highlighted(), 0);
    QCOMPARE(m_window->RichEdit1->selection().end, 8); // hidden, not lost
    m_window->RichEdit1->setFocus();
    QTRY_VERIFY(highlighted() > 50);
}

QTEST_MAIN(tst_EditingReal)
#include "tst_editingreal.moc"
