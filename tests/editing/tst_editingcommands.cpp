#include "app/controls.h"
#include "app/messagebox.h"
#include "app/pickers.h"
#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/cp932.h"
#include "document/richedit.h"
#include "document/sjistext.h"
#include "editing/fontdialog.h"
#include "editing/ruler.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// Types text as key presses, one character each (QTest::keyClicks knows only ASCII).
void typeText(QWidget *widget, const QString &text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QString panel(TPenForm1 &w, int i)
{
    return w.StatusPanels[i]->text();
}

} // namespace

class tst_EditingCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void emptyDocumentAtStartUp();
    void threeDoubleByteCharacters();
    void lettersBreakAndLetter();
    void selectionReportedFromItsLowerEnd();
    void unitClicksReturnFocus();
    void controlsFollowTheSelection();
    void countsMatchARecountAfterRandomEdits();
    void boldOnAPartlyItalicSelection();
    void alignmentButtonsDecide();
    void bulletsSetTheirIndents();
    void sizeBoxBounds();
    void fontBoxChoice();
    void colourDisplays();
    void fontDialogWritesAndApplyTargets();
    void fontDialogRoundTrip();
    void rulerMarkersFollowAndDrag();
    void widerWindowMovesOnlyTheRightMarker();
    void keystrokeRepaintsOnlyWhatChanged();
    void rulerIsNavyWithAYellowScale();

private:
    TPenForm1 *m_window = nullptr;
    std::optional<QColor> m_nextColor;
};

void tst_EditingCommands::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    MessageBox::setSink([](QWidget *, const MessageBox::Request &) { return QMessageBox::Ok; });
    Pickers::setColorRunner([this](QWidget *, const QColor &) { return m_nextColor; });
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_window->RichEdit1->setFocus();
}

void tst_EditingCommands::cleanup()
{
    delete m_window;
    MessageBox::setSink({});
    Pickers::setColorRunner({});
    Pickers::setFontRunner({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_EditingCommands::emptyDocumentAtStartUp()
{
    QCOMPARE(panel(*m_window, 2), u"1 行　0 列   "_s);
    QCOMPARE(panel(*m_window, 1), u" 0   文字目です。"_s);
    QCOMPARE(m_window->Memo1->text(), u"0"_s);
    QCOMPARE(m_window->Memo1->palette().color(QPalette::Text), QColor(255, 255, 0));
    QCOMPARE(m_window->Memo2->text(), u" 文字"_s);
    QVERIFY(!m_window->Cut->isEnabled());
    QVERIFY(!m_window->Copy->isEnabled());
    QApplication::clipboard()->setText(u"x"_s);
    m_window->RichEdit1SelectionChange();
    QVERIFY(m_window->Paste->isEnabled());
    QApplication::clipboard()->clear();
    m_window->RichEdit1SelectionChange();
    QVERIFY(!m_window->Paste->isEnabled());
}

void tst_EditingCommands::threeDoubleByteCharacters()
{
    typeText(m_window->RichEdit1, u"あいう"_s);
    QCOMPARE(panel(*m_window, 2), u"1 行　6 列   "_s);
    QCOMPARE(panel(*m_window, 1), u" 3   文字目です。"_s);
    QCOMPARE(m_window->Memo1->text(), u"3"_s);
    m_window->Memo1Click();
    QCOMPARE(panel(*m_window, 1), u" 6   バイト目です。"_s);
    QCOMPARE(m_window->Memo1->text(), u"6"_s);
    QCOMPARE(m_window->Memo1->palette().color(QPalette::Text), QColor(0, 255, 255));
    QCOMPARE(m_window->Memo2->text(), u" バイト"_s);
}

void tst_EditingCommands::lettersBreakAndLetter()
{
    QTest::keyClicks(m_window->RichEdit1, u"ab"_s);
    QTest::keyClick(m_window->RichEdit1, Qt::Key_Return);
    QTest::keyClicks(m_window->RichEdit1, u"c"_s);
    QCOMPARE(panel(*m_window, 2), u"2 行　1 列   "_s);
    QCOMPARE(panel(*m_window, 1), u" 5   文字目です。"_s);
    QCOMPARE(m_window->Memo1->text(), u"5"_s);
    m_window->Memo2Click();
    QCOMPARE(panel(*m_window, 1), u" 5   バイト目です。"_s);
    QCOMPARE(m_window->Memo1->text(), u"5"_s);
}

void tst_EditingCommands::selectionReportedFromItsLowerEnd()
{
    m_window->RichEdit1->replaceSelection(u"漢字かな"_s);
    m_window->RichEdit1->setSelection(8, 2); // right to left
    QCOMPARE(panel(*m_window, 2), u"1 行　2 列   "_s);
    QCOMPARE(panel(*m_window, 1), u" 1   文字目です。"_s);
    QVERIFY(m_window->Cut->isEnabled());
    QVERIFY(m_window->Copy->isEnabled());
}

void tst_EditingCommands::unitClicksReturnFocus()
{
    QTest::mouseClick(m_window->Memo1, Qt::LeftButton);
    QVERIFY(!m_window->CountInChars);
    QVERIFY(m_window->RichEdit1->hasFocus());
    QTest::mouseClick(m_window->Memo2, Qt::LeftButton);
    QVERIFY(m_window->CountInChars);
    QVERIFY(m_window->RichEdit1->hasFocus());
    QCOMPARE(m_window->Memo2->text(), u" 文字"_s);
}

void tst_EditingCommands::controlsFollowTheSelection()
{
    RichEdit *edit = m_window->RichEdit1;
    edit->replaceSelection(u"abc"_s);
    edit->setSelection(0, 2);
    CharFormat f;
    f.mask = CharFormat::Face | CharFormat::Size | CharFormat::Bold | CharFormat::Underline;
    f.faceName = u"ＭＳ 明朝"_s;
    f.sizeTwips = 360;
    f.bold = true;
    f.underline = true;
    edit->setCharFormat(f);
    m_window->RichEdit1SelectionChange();
    QCOMPARE(m_window->ComboBox1->currentText(), u"ＭＳ 明朝"_s);
    QCOMPARE(m_window->Edit1->text(), u"18"_s);
    QVERIFY(m_window->command(u"EditBold"_s)->isChecked());
    QVERIFY(!m_window->command(u"EditItaric"_s)->isChecked());
    QVERIFY(m_window->command(u"EditUnderline"_s)->isChecked());
    // A face outside the list leaves the box with no entry.
    f.mask = CharFormat::Face;
    f.faceName = u"No Such Face"_s;
    edit->setCharFormat(f);
    m_window->RichEdit1SelectionChange();
    QCOMPARE(m_window->ComboBox1->currentIndex(), -1);
    // The bullet button keeps the state of its last click.
    m_window->command(u"EditBullet"_s)->setChecked(true);
    edit->setSelection(3, 3);
    QVERIFY(m_window->command(u"EditBullet"_s)->isChecked());
}

void tst_EditingCommands::countsMatchARecountAfterRandomEdits()
{
    RichEdit *edit = m_window->RichEdit1;
    QRandomGenerator random(81226);
    const QStringList pieces { u"a"_s, u"漢"_s, u"\r\n"_s, u"ｱ"_s, u"\u00E9"_s, u"\U0001F600"_s, u"ab\r\nc"_s };
    for (int step = 0; step < 150; ++step) {
        const qint64 length = edit->textLength();
        const qint64 at = random.bounded(int(length) + 1);
        if (random.bounded(3) == 0 && length > 0)
            edit->setSelection(at, qMin(length, at + random.bounded(4)));
        else
            edit->setSelection(at, at);
        if (random.bounded(4) == 0)
            edit->deleteSelection();
        else
            edit->replaceSelection(pieces.at(random.bounded(int(pieces.size()))));
        m_window->RichEdit1SelectionChange();
        const QByteArray bytes = edit->textBytes();
        const qint64 caret = edit->selection().start;
        const QString expectedCount = QString::number(SjisText::countCharacters(bytes));
        const QString expectedPosition = u' ' + QString::number(SjisText::countCharacters(bytes, caret)).leftJustified(3)
            + u" 文字目です。"_s;
        if (m_window->Memo1->text() != expectedCount || panel(*m_window, 1) != expectedPosition)
            QFAIL(qPrintable(u"after step %1: %2 / %3"_s.arg(step).arg(m_window->Memo1->text(), panel(*m_window, 1))));
    }
}

void tst_EditingCommands::boldOnAPartlyItalicSelection()
{
    RichEdit *edit = m_window->RichEdit1;
    edit->replaceSelection(u"abcd"_s);
    edit->setSelection(2, 4);
    CharFormat italic;
    italic.mask = CharFormat::Italic;
    italic.italic = true;
    edit->setCharFormat(italic);
    edit->setSelection(0, 4); // starts on upright text
    m_window->command(u"EditBold"_s)->trigger();
    for (int i = 0; i < 4; ++i) {
        edit->setSelection(i, i + 1);
        QVERIFY(edit->charFormat().bold);
        QVERIFY(!edit->charFormat().italic); // the italic state read from the selection's start
    }
}

void tst_EditingCommands::alignmentButtonsDecide()
{
    RichEdit *edit = m_window->RichEdit1;
    edit->replaceSelection(u"text"_s);
    m_window->command(u"EditAlineCenter"_s)->trigger();
    QCOMPARE(edit->paraFormat().alignment, ParaFormat::AlignCenter);
    m_window->command(u"EditAlineCenter"_s)->trigger(); // clicking the pressed one keeps it
    QVERIFY(m_window->command(u"EditAlineCenter"_s)->isChecked());
    QCOMPARE(edit->paraFormat().alignment, ParaFormat::AlignCenter);
    m_window->command(u"EditAlineRight"_s)->trigger();
    QCOMPARE(edit->paraFormat().alignment, ParaFormat::AlignRight);
    QVERIFY(!m_window->command(u"EditAlineCenter"_s)->isChecked());
    // Justified text releases all three.
    ParaFormat justified;
    justified.mask = ParaFormat::Alignment;
    justified.alignment = ParaFormat::AlignJustify;
    edit->setParaFormat(justified);
    m_window->RichEdit1SelectionChange();
    for (const QString &name : { u"EditAlineLeft"_s, u"EditAlineCenter"_s, u"EditAlineRight"_s })
        QVERIFY(!m_window->command(name)->isChecked());
}

void tst_EditingCommands::bulletsSetTheirIndents()
{
    RichEdit *edit = m_window->RichEdit1;
    edit->replaceSelection(u"item"_s);
    ParaFormat left;
    left.mask = ParaFormat::LeftIndent;
    left.leftIndentTwips = 80; // 4 pt
    edit->setParaFormat(left);
    m_window->command(u"EditBullet"_s)->trigger();
    QCOMPARE(edit->paraFormat().numbering, ParaFormat::NumberingBullet);
    QCOMPARE(edit->paraFormat().leftIndentTwips, 200);
    m_window->command(u"EditBullet"_s)->trigger();
    QCOMPARE(edit->paraFormat().numbering, ParaFormat::NumberingNone);
    QCOMPARE(edit->paraFormat().leftIndentTwips, 0);
    left.leftIndentTwips = 400; // 20 pt stays
    edit->setParaFormat(left);
    m_window->command(u"EditBullet"_s)->trigger();
    QCOMPARE(edit->paraFormat().leftIndentTwips, 400);
}

void tst_EditingCommands::sizeBoxBounds()
{
    RichEdit *edit = m_window->RichEdit1;
    edit->replaceSelection(u"ab"_s);
    edit->setSelection(0, 2);
    m_window->Edit1->setText(u"100"_s);
    m_window->UpDown1->step(+1);
    QCOMPARE(m_window->Edit1->text(), u"100"_s);
    m_window->UpDown1->step(-1);
    QCOMPARE(edit->charFormat().sizeTwips, 99 * 20);
    m_window->Edit1->setText(u"1"_s);
    m_window->UpDown1->step(-1);
    QCOMPARE(edit->charFormat().sizeTwips, 0); // a size of 0 is written
    m_window->UpDown1->step(-1);
    QCOMPARE(m_window->Edit1->text(), u"0"_s);
    QVERIFY(m_window->Edit1->isReadOnly());
    // The Up key in the box steps too.
    m_window->Edit1->setFocus();
    QTest::keyClick(m_window->Edit1, Qt::Key_Up);
    QCOMPARE(edit->charFormat().sizeTwips, 20);
}

void tst_EditingCommands::fontBoxChoice()
{
    RichEdit *edit = m_window->RichEdit1;
    edit->replaceSelection(u"ab"_s);
    edit->setSelection(0, 2);
    QComboBox *box = m_window->ComboBox1;
    box->setCurrentIndex(box->findText(u"Default"_s));
    QCOMPARE(edit->charFormat().faceName, u"Default"_s);
    QVERIFY(edit->hasFocus());
}

void tst_EditingCommands::colourDisplays()
{
    RichEdit *edit = m_window->RichEdit1;
    edit->replaceSelection(u"ab"_s);
    edit->setSelection(0, 1);
    const QColor edit2Before = m_window->Edit2->palette().color(QPalette::Base);
    m_nextColor = QColor(200, 0, 0);
    m_window->command(u"OptionCharColor"_s)->trigger();
    QCOMPARE(edit->charFormat().color, QColor(200, 0, 0));
    QCOMPARE(m_window->Edit4->palette().color(QPalette::Text), QColor(200, 0, 0)); // at once
    // The window-text colour is written as the automatic colour.
    m_nextColor = edit->richDocument().windowTextColor();
    m_window->OptionCharColorExecute();
    QVERIFY(edit->charFormat().autoColor);
    m_nextColor = std::nullopt; // cancel changes nothing
    m_window->OptionCharColorExecute();
    QVERIFY(edit->charFormat().autoColor);

    m_nextColor = QColor(0, 0, 255);
    m_window->OptionBackColorExecute();
    QCOMPARE(edit->backgroundColor(), QColor(0, 0, 255));
    QCOMPARE(m_window->Edit4->palette().color(QPalette::Base), QColor(0, 0, 255));
    QCOMPARE(m_window->Panel4->palette().color(QPalette::Window), QColor(0, 0, 255));
    QCOMPARE(m_window->Edit2->palette().color(QPalette::Base), edit2Before);
}

void tst_EditingCommands::fontDialogWritesAndApplyTargets()
{
    RichEdit *edit = m_window->RichEdit1;
    edit->replaceSelection(u"abcd"_s);
    edit->setSelection(0, 2);
    CharFormat chosen;
    chosen.mask = CharFormat::AllFields;
    chosen.faceName = u"ＭＳ Ｐ明朝"_s;
    chosen.sizeTwips = 280;
    chosen.italic = true;
    chosen.strikeOut = true;
    chosen.color = QColor(0, 128, 0);
    chosen.autoColor = false;
    chosen.charSet = 128;
    CharFormat preset;
    int applied = 0;
    Pickers::setFontRunner([&](QWidget *, const QStringList &, const CharFormat &p,
                               const std::function<void(const CharFormat &)> &apply) {
        preset = p;
        // Apply while the editor has the focus, then with the size box focused, then elsewhere.
        apply(chosen);
        m_window->Edit1->setFocus();
        apply(chosen);
        m_window->ComboBox1->setFocus();
        apply(chosen);
        ++applied;
        return std::optional<CharFormat>(); // cancelled: what Apply wrote stays
    });
    m_window->EditFontExecute();
    QCOMPARE(applied, 1);
    QCOMPARE(preset.faceName, edit->charFormat(RichEdit::FormatTarget::Default).faceName);
    QCOMPARE(edit->charFormat().faceName, u"ＭＳ Ｐ明朝"_s);
    QCOMPARE(edit->charFormat().sizeTwips, 280);
    QVERIFY(edit->charFormat().italic && edit->charFormat().strikeOut);
    QCOMPARE(edit->charFormat().color, QColor(0, 128, 0));
    QCOMPARE(m_window->Edit1->font().families().value(0), u"ＭＳ Ｐ明朝"_s);
    QCOMPARE(m_window->Edit1->palette().color(QPalette::Text), QColor(0, 128, 0));
    QVERIFY(m_window->ComboBox1->font().families().value(0) != u"ＭＳ Ｐ明朝"_s);

    // OK writes the dialog's font to the selection.
    chosen.faceName = u"ＭＳ ゴシック"_s;
    chosen.bold = true;
    Pickers::setFontRunner([&](QWidget *, const QStringList &, const CharFormat &,
                               const std::function<void(const CharFormat &)> &) { return std::optional(chosen); });
    edit->setFocus();
    edit->setSelection(2, 4);
    m_window->EditFontExecute();
    QCOMPARE(edit->charFormat().faceName, u"ＭＳ ゴシック"_s);
    QVERIFY(edit->charFormat().bold);
}

void tst_EditingCommands::fontDialogRoundTrip()
{
    FontDialog dialog({ u"ＭＳ 明朝"_s, u"ＭＳ ゴシック"_s });
    CharFormat f;
    f.mask = CharFormat::AllFields;
    f.faceName = u"ＭＳ 明朝"_s;
    f.sizeTwips = 210; // 10.5 pt
    f.bold = true;
    f.underline = true;
    f.autoColor = false;
    f.color = QColor(255, 0, 0);
    f.charSet = 128;
    dialog.setFont(f);
    const CharFormat read = dialog.font();
    QCOMPARE(read.faceName, f.faceName);
    QCOMPARE(read.sizeTwips, 210);
    QVERIFY(read.bold && !read.italic && read.underline && !read.strikeOut);
    QCOMPARE(read.color, QColor(255, 0, 0));
    QCOMPARE(read.charSet, 128);
    CharFormat seen;
    connect(&dialog, &FontDialog::applied, this, [&](const CharFormat &c) { seen = c; });
    auto *apply = dialog.findChild<QPushButton *>();
    for (QPushButton *b : dialog.findChildren<QPushButton *>()) {
        if (b->text().startsWith(u"適用"_s))
            apply = b;
    }
    apply->click();
    QCOMPARE(seen.faceName, f.faceName);
}

void tst_EditingCommands::rulerMarkersFollowAndDrag()
{
    const int width = m_window->Ruler->contentsRect().width();
    QCOMPARE(m_window->FirstInd->x(), 2);
    QCOMPARE(m_window->LeftInd->x(), 2);
    QCOMPARE(m_window->RightInd->x(), width - 14);
    m_window->RichEdit1->replaceSelection(u"paragraph"_s);

    // Drag the first-line marker so that its left edge is 42, and release it.
    m_window->RulerItemMouseDown(m_window->FirstInd, 6); // pressed in its middle: no jump
    QCOMPARE(m_window->FirstInd->x(), 2);
    m_window->RulerItemMouseMove(m_window->FirstInd, 46);
    QCOMPARE(m_window->FirstInd->x(), 42);
    m_window->FirstIndMouseUp();
    QVERIFY(!m_window->MarkerDragging);
    const ParaFormat p = m_window->RichEdit1->paraFormat();
    QCOMPARE(p.firstIndentTwips, 31 * 20);
    QCOMPARE(p.leftIndentTwips, -30 * 20);
    QCOMPARE(m_window->FirstInd->x(), 43);
    QCOMPARE(m_window->LeftInd->x(), 3);

    // Releasing a marker pressed in its middle writes the value read back from its place, not
    // the one shown: a right indent of 0 becomes 1.
    m_window->RulerItemMouseDown(m_window->RightInd, 6);
    m_window->RightIndMouseUp();
    QCOMPARE(m_window->RichEdit1->paraFormat().rightIndentTwips, 20);
    // Pressed away from its middle, a marker jumps so that its middle is under the pointer.
    const int right = m_window->RightInd->x();
    m_window->RulerItemMouseDown(m_window->RightInd, 0);
    QCOMPARE(m_window->RightInd->x(), right - 6);
    m_window->RightIndMouseUp();

    // Moves without a press do nothing.
    const int before = m_window->LeftInd->x();
    m_window->RulerItemMouseMove(m_window->LeftInd, 30);
    QCOMPARE(m_window->LeftInd->x(), before);
}

void tst_EditingCommands::widerWindowMovesOnlyTheRightMarker()
{
    const int first = m_window->FirstInd->x();
    const int left = m_window->LeftInd->x();
    const int right = m_window->RightInd->x();
    m_window->resize(m_window->width() + 100, m_window->height());
    QCoreApplication::processEvents();
    QCOMPARE(m_window->RightInd->x(), right + 100);
    QCOMPARE(m_window->FirstInd->x(), first);
    QCOMPARE(m_window->LeftInd->x(), left);
}

namespace {

// The widgets that paint while it watches, by object name (or class).
class PaintLog : public QObject {
public:
    QStringList painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            const QString name = watched->objectName();
            painted << (name.isEmpty() ? QString::fromLatin1(watched->metaObject()->className()) : name);
        }
        return false;
    }
};

} // namespace

void tst_EditingCommands::keystrokeRepaintsOnlyWhatChanged()
{
    QString text;
    for (int i = 0; i < 200; ++i)
        text += u"試験の文章です。abc\n"_s;
    m_window->RichEdit1->replaceSelection(text);
    QTest::qWait(50);
    PaintLog log;
    qApp->installEventFilter(&log);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(m_window->RichEdit1->viewport(), Qt::Key_A);
        QTest::qWait(20);
    }
    qApp->removeEventFilter(&log);
    // The text, the counter and the two position panels: not the window, its bars, the
    // editor's frame and scroll bars, or the alignment buttons.
    log.painted.removeDuplicates();
    log.painted.sort();
    QCOMPARE(log.painted, (QStringList { u"Memo1"_s, u"StatusPanel1"_s, u"StatusPanel2"_s, u"qt_scrollarea_viewport"_s }));
}

void tst_EditingCommands::rulerIsNavyWithAYellowScale()
{
    QWidget *ruler = m_window->findChild<QWidget *>(u"Ruler"_s);
    const QImage shot = m_window->grab().toImage();
    const QPoint origin = ruler->mapTo(m_window, QPoint(0, 0));
    int navy = 0;
    int yellow = 0;
    for (int x = 2; x < 200; ++x) {
        const QColor c = shot.pixelColor(origin + QPoint(x, ruler->height() / 2));
        navy += c == QColor(0, 0, 128);
        yellow += c.red() > 200 && c.green() > 200 && c.blue() < 100;
    }
    QVERIFY2(navy > 100, "the strip is navy");
    QVERIFY2(yellow > 0, "the scale is drawn in yellow");
}

QTEST_MAIN(tst_EditingCommands)
#include "tst_editingcommands.moc"
