// Find and replace as a user meets them: the real dialog's buttons, the real message boxes,
// real key events, and what the editor then shows.

#include "app/japaneseui.h"
#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "editing/statusdisplay.h"
#include "tools/replacedialog.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "realdialogs.h"

using namespace Qt::StringLiterals;

namespace {

// Dark pixels within a rectangle of a picture: how much text is drawn there.
int ink(const QImage &image, const QRect &area)
{
    int count = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x)
            count += qGray(image.pixel(x, y)) < 128;
    }
    return count;
}

} // namespace

class tst_FindReal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void typingAfterReplaceAllIsPainted();
    void replaceAllInALongDocumentShowsTheCaretLineOnceLaidOut();
    void messageTextsAreNeverMarkup_data();
    void messageTextsAreNeverMarkup();
    void findMessagesStandOverTheFindDialog();
    void findComparesShiftJisCharacters();
    void aLineBreakNeverMatchesACellEnd();
    void aLineBreakMatchesWithinACell();
    void replaceAllCountsWithTables();
    void replaceAllWithAMatchSelectedReplacesEveryOccurrence_data();
    void replaceAllWithAMatchSelectedReplacesEveryOccurrence();

private:
    // Opens the dialog and fills in its two boxes as a user types them.
    void openDialog(const QString &find, const QString &replace);
    QPushButton *button(const QString &caption) const;
    // Replace All through the dialog; the count box's text starts with `counted`. Closes the dialog.
    void replaceAll(const QString &find, const QString &replace, const QString &counted);
    // Pastes text into the find box with Ctrl+V, as a user does, line breaks and all.
    void pasteFindText(const QString &text);
    // Opens an RTF document from a file of the temporary folder.
    QString openRtf(const QByteArray &rtf);
    // Saves the document (Ctrl+S's command) and returns its text as read back from disk: CR LF
    // between paragraphs and rows, a tab between cells.
    QString savedText();
    QLineEdit *findBox() const;

    QTemporaryDir m_dir;

    TPenForm1 *m_window = nullptr;
};

void tst_FindReal::initTestCase()
{
    installJapaneseUi();
}

void tst_FindReal::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QApplication::setActiveWindow(m_window);
    m_window->RichEdit1->setFocus();
}

void tst_FindReal::cleanup()
{
    RealDialogs::cancelPending();
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

QLineEdit *tst_FindReal::findBox() const
{
    const QList<QLineEdit *> boxes = m_window->ReplaceDialog1->findChildren<QLineEdit *>();
    if (boxes.size() != 2)
        return nullptr;
    return boxes.at(0)->y() < boxes.at(1)->y() ? boxes.at(0) : boxes.at(1);
}

void tst_FindReal::pasteFindText(const QString &text)
{
    QLineEdit *box = findBox();
    QVERIFY(box);
    QGuiApplication::clipboard()->setText(text);
    box->clear();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), text);
}

QString tst_FindReal::openRtf(const QByteArray &rtf)
{
    const QString path = m_dir.filePath(u"table.rtf"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(rtf);
    file.close();
    m_window->OpenFile(path);
    return path;
}

QString tst_FindReal::savedText()
{
    m_window->command(u"FileSave"_s)->trigger();
    TPenForm1 reader;
    reader.OpenFile(m_window->CurrentFileName);
    return reader.RichEdit1->richDocument().plainText();
}

QPushButton *tst_FindReal::button(const QString &caption) const
{
    for (QPushButton *b : m_window->ReplaceDialog1->findChildren<QPushButton *>()) {
        if (b->text() == caption)
            return b;
    }
    return nullptr;
}

void tst_FindReal::openDialog(const QString &find, const QString &replace)
{
    m_window->command(u"OptionReplace"_s)->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(m_window->ReplaceDialog1));
    const QList<QLineEdit *> boxes = m_window->ReplaceDialog1->findChildren<QLineEdit *>();
    QCOMPARE(boxes.size(), 2);
    // The boxes in their order on screen: what to find first.
    QLineEdit *first = boxes.at(0)->y() < boxes.at(1)->y() ? boxes.at(0) : boxes.at(1);
    QLineEdit *second = first == boxes.at(0) ? boxes.at(1) : boxes.at(0);
    first->clear();
    RealDialogs::type(first, find);
    second->clear();
    RealDialogs::type(second, replace);
}

void tst_FindReal::replaceAll(const QString &find, const QString &replace, const QString &counted)
{
    openDialog(find, replace);
    RealDialogs::Box count;
    RealDialogs::answerBox(&count);
    QTest::mouseClick(button(u"すべて置換(&A)"_s), Qt::LeftButton);
    QTRY_VERIFY(!count.text.isEmpty());
    QVERIFY2(count.text.startsWith(counted), qPrintable(count.text));
    QTest::mouseClick(button(u"キャンセル"_s), Qt::LeftButton);
}

void tst_FindReal::typingAfterReplaceAllIsPainted()
{
    QGuiApplication::clipboard()->setText(u"りんごとみかん。\nりんごが好き。"_s);
    m_window->command(u"EditPaste"_s)->trigger();
    replaceAll(u"りんご"_s, u"バナナ"_s, u"2  箇所の  『 りんご 』"_s);
    QTRY_COMPARE(m_window->RichEdit1->toPlainText(), u"バナナとみかん。\nバナナが好き。"_s);

    QWidget *viewport = m_window->RichEdit1->viewport();
    QApplication::setActiveWindow(m_window);
    m_window->RichEdit1->setFocus();
    QTest::qWait(50);
    const QImage before = viewport->grab().toImage();
    const QRect caretLine(0, m_window->RichEdit1->cursorRect().top(), viewport->width(),
                          m_window->RichEdit1->cursorRect().height());
    const QRect firstLine(0, 0, viewport->width(), caretLine.top());
    QTest::keyClicks(m_window->RichEdit1, u"ABC"_s);
    QTest::qWait(50);
    const QImage after = viewport->grab().toImage();
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"バナナとみかん。\nバナナABCが好き。"_s);
    // The line typed in shows the new letters; nothing else vanished.
    QVERIFY2(ink(after, caretLine) > ink(before, caretLine) + 30, "the typed text never reached the screen");
    QCOMPARE(ink(after, firstLine), ink(before, firstLine));
}

// A Replace All all over a long document: the editor paints at once and the line panel shows
// the caret's line once the paragraphs before it are laid out again, a slice at a time.
void tst_FindReal::replaceAllInALongDocumentShowsTheCaretLineOnceLaidOut()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"long.txt"_s);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray text;
        for (int line = 0; line < 40000; ++line)
            text += QByteArray::number(line).rightJustified(5, '0') + ' ' + "\x82\xe8\x82\xf1\x82\xb2\x82\xcc\x96\xd8\r\n";
        text.chop(2);
        file.write(text);
    }
    m_window->OpenFile(path);
    m_window->RichEdit1->lineCount(); // every paragraph laid out: the replacements undo that
    replaceAll(u"りんご"_s, u"バナナ"_s, u"40000  箇所の"_s);
    // The caret stands behind the last replacement: the last line, 12 bytes in.
    QTRY_COMPARE_WITH_TIMEOUT(m_window->StatusPanels[2]->text(), StatusDisplay::lineAndColumn(39999, 12), 20000);
    QCOMPARE(m_window->StatusPanels[1]->text(), StatusDisplay::position(true, 39999 * 13 + 9));
    QVERIFY(ink(m_window->RichEdit1->viewport()->grab().toImage(), m_window->RichEdit1->viewport()->rect()) > 500);
}

void tst_FindReal::messageTextsAreNeverMarkup_data()
{
    QTest::addColumn<QString>("find");
    QTest::newRow("bold tag") << u"<b>"_s;
    QTest::newRow("line break tag") << u"<br>"_s;
    QTest::newRow("entity") << u"&lt;"_s;
    QTest::newRow("paragraph") << u"<p>abc"_s;
}

void tst_FindReal::messageTextsAreNeverMarkup()
{
    QFETCH(QString, find);
    QTest::keyClicks(m_window->RichEdit1, u"plain text"_s);
    openDialog(find, u"x"_s);
    RealDialogs::Box box;
    RealDialogs::answerBox(&box);
    QTest::mouseClick(button(u"すべて置換(&A)"_s), Qt::LeftButton);
    QTRY_VERIFY(!box.text.isEmpty());
    QCOMPARE(box.format, Qt::PlainText);
    QCOMPARE(box.caption, u"Penloft"_s);
    QCOMPARE(box.text, u"この文書から　\n\n『 "_s + find + u" 』\n\nは、発見されませんでした！"_s);
}

void tst_FindReal::findMessagesStandOverTheFindDialog()
{
    // A window manager gives the focus back to the window a box stands over; offscreen there is
    // none, so what is checked here is that the find dialog is that window (the desktop suite
    // checks where the focus goes).
    QTest::keyClicks(m_window->RichEdit1, u"abc"_s);
    openDialog(u"zzz"_s, u"y"_s);
    QWidget *owner = nullptr;
    RealDialogs::whenModal([&owner](QWidget *box) {
        owner = box->parentWidget();
        box->close();
    });
    QTest::mouseClick(button(u"次を検索(&F)"_s), Qt::LeftButton);
    QTRY_COMPARE(owner, m_window->ReplaceDialog1);

    owner = nullptr;
    openDialog(u"b"_s, u"B"_s);
    RealDialogs::whenModal([&owner](QWidget *box) {
        owner = box->parentWidget();
        box->close();
    });
    QTest::mouseClick(button(u"すべて置換(&A)"_s), Qt::LeftButton);
    QTRY_COMPARE(owner, m_window->ReplaceDialog1);
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"aBc"_s);
}

void tst_FindReal::findComparesShiftJisCharacters()
{
    // A Shift-JIS file's 0x81 0x60 reads as ～ (U+FF5E); input methods and web pages give 〜.
    QTemporaryDir dir;
    const QString file = dir.filePath(u"range.txt"_s);
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("10\x81\x60" "20 \x81\x7C" "5");
    out.close();
    m_window->OpenFile(file);
    openDialog(u"〜"_s, u"から"_s);
    QTest::mouseClick(button(u"次を検索(&F)"_s), Qt::LeftButton);
    QCOMPARE(m_window->RichEdit1->selection().start, 2);
    QCOMPARE(m_window->RichEdit1->selection().end, 4);
    QCOMPARE(QApplication::activeModalWidget(), nullptr); // no 見つかりません

    RealDialogs::Box count;
    RealDialogs::answerBox(&count);
    openDialog(u"−5"_s, u"-5"_s);
    QTest::mouseClick(button(u"すべて置換(&A)"_s), Qt::LeftButton);
    QTRY_VERIFY(count.text.startsWith(u"1  箇所の"_s));
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"10～20 -5"_s);
}

namespace {

// A row of two cells, "A1" and "いB", between two paragraphs.
const QByteArray TableRtf = "{\\rtf1\\ansi\\ansicpg932 before\\par \\trowd\\cellx2000\\cellx4000"
                            "\\intbl A1\\cell \\intbl \\'82\\'a2B\\cell\\row after\\par}";

} // namespace

// A pasted line break matches a paragraph break, but the end of a cell is none: a hit across it
// would select whole cells, and replacing it would empty them.
void tst_FindReal::aLineBreakNeverMatchesACellEnd()
{
    openRtf(TableRtf);
    const QString before = m_window->RichEdit1->richDocument().plainText();
    QCOMPARE(before, u"before\r\nA1\tいB\r\n\r\nafter\r\n"_s);
    openDialog(u"x"_s, u"Z"_s);
    for (const QString &across : { u"1\nい"_s, u"A1\nいB"_s, u"before\nA1"_s, u"B\nafter"_s }) {
        pasteFindText(across);
        RealDialogs::Box box;
        RealDialogs::answerBox(&box);
        QTest::mouseClick(button(u"次を検索(&F)"_s), Qt::LeftButton);
        QTRY_VERIFY(!box.text.isEmpty());
        QCOMPARE(box.text, u"ここから後の文書には、\n\n『 "_s + across + u" 』\n\nは、見つかりません！"_s);
        QCOMPARE(m_window->RichEdit1->selection().length(), 0);

        box = {};
        RealDialogs::answerBox(&box);
        QTest::mouseClick(button(u"すべて置換(&A)"_s), Qt::LeftButton);
        QTRY_VERIFY(!box.text.isEmpty());
        QCOMPARE(box.text, u"この文書から　\n\n『 "_s + across + u" 』\n\nは、発見されませんでした！"_s);
        QCOMPARE(m_window->RichEdit1->richDocument().plainText(), before);
    }
    QTest::mouseClick(button(u"キャンセル"_s), Qt::LeftButton);
    m_window->RichEdit1->setModified(true);
    QCOMPARE(savedText(), before);
}

// Within a cell a line break matches as in any paragraph, and the hit is selected over exactly
// its bytes: CR LF counts two, however the pasted text wrote its line break.
void tst_FindReal::aLineBreakMatchesWithinACell()
{
    openRtf("{\\rtf1\\ansi\\ansicpg932 \\trowd\\cellx2000\\cellx4000"
            "\\intbl x1\\par \\'82\\'a2y\\cell \\intbl 1\\cell\\row \\'82\\'a2\\par}");
    openDialog(u"x"_s, u"Z"_s);
    pasteFindText(u"1\nい"_s);
    QTest::mouseClick(button(u"次を検索(&F)"_s), Qt::LeftButton);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    // The paragraph a document keeps before a table comes first (CR LF), then "x".
    QCOMPARE(m_window->RichEdit1->selection().start, 3);
    QCOMPARE(m_window->RichEdit1->selection().end, 8);
    QCOMPARE(m_window->RichEdit1->textCursor().selectedText(), u"1\u2029い"_s);

    RealDialogs::Box count;
    RealDialogs::answerBox(&count);
    QTest::mouseClick(button(u"すべて置換(&A)"_s), Qt::LeftButton);
    QTRY_VERIFY(!count.text.isEmpty());
    QVERIFY2(count.text.startsWith(u"1  箇所の"_s), qPrintable(count.text));
    QTest::mouseClick(button(u"キャンセル"_s), Qt::LeftButton);
    QCOMPARE(savedText(), u"\r\nxZy\t1\r\n\r\nい\r\n"_s);
}

void tst_FindReal::replaceAllCountsWithTables()
{
    openRtf(TableRtf);
    replaceAll(u"B"_s, u"bb"_s, u"1  箇所の"_s);
    replaceAll(u"い"_s, u"う"_s, u"1  箇所の"_s);
    replaceAll(u"e"_s, u"E"_s, u"3  箇所の"_s);
    QCOMPARE(savedText(), u"bEforE\r\nA1\tうbb\r\n\r\naftEr\r\n"_s);
}

void tst_FindReal::replaceAllWithAMatchSelectedReplacesEveryOccurrence_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replace");
    QTest::addColumn<int>("findNext"); // presses of Find Next before Replace All
    QTest::addColumn<QString>("replaced");
    QTest::addColumn<int>("count");
    QTest::newRow("first of three selected") << u"cat cat cat"_s << u"cat"_s << u"dog"_s << 1 << u"dog dog dog"_s << 3;
    QTest::newRow("second of three selected") << u"cat cat cat"_s << u"cat"_s << u"dog"_s << 2 << u"dog dog dog"_s << 3;
    QTest::newRow("last of three selected") << u"cat cat cat"_s << u"cat"_s << u"dog"_s << 3 << u"dog dog dog"_s << 3;
    QTest::newRow("the only one selected") << u"a cat"_s << u"cat"_s << u"dog"_s << 1 << u"a dog"_s << 1;
    QTest::newRow("replacement holding the text") << u"a b a b a"_s << u"a"_s << u"aa"_s << 2 << u"aa b aa b aa"_s << 3;
    QTest::newRow("Japanese across lines") << u"猫と\n猫の猫"_s << u"猫"_s << u"犬"_s << 2 << u"犬と\n犬の犬"_s << 3;
}

// After Find Next a match is selected; Replace All still replaces every occurrence in the
// document, those before the selection too, and says how many it replaced.
void tst_FindReal::replaceAllWithAMatchSelectedReplacesEveryOccurrence()
{
    QFETCH(QString, text);
    QFETCH(QString, find);
    QFETCH(QString, replace);
    QFETCH(int, findNext);
    QFETCH(QString, replaced);
    QFETCH(int, count);
    const QString path = m_dir.filePath(u"text.txt"_s);
    QFile::remove(path);
    m_window->command(u"FileNew"_s)->trigger();
    RealDialogs::type(m_window->RichEdit1, text);
    m_window->CurrentFileName = path; // saved as text by Save
    openDialog(find, replace);
    for (int press = 0; press < findNext; ++press)
        QTest::mouseClick(button(u"次を検索(&F)"_s), Qt::LeftButton);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(m_window->RichEdit1->textCursor().selectedText(), find);

    RealDialogs::Box box;
    RealDialogs::answerBox(&box);
    QTest::mouseClick(button(u"すべて置換(&A)"_s), Qt::LeftButton);
    QTRY_VERIFY(!box.text.isEmpty());
    QCOMPARE(box.text, QString::number(count) + u"  箇所の  『 "_s + find + u" 』 を、\n\n 『 "_s + replace
                 + u" 』 に、置き換えました。"_s);
    QCOMPARE(m_window->RichEdit1->toPlainText(), replaced);
    QTest::mouseClick(button(u"キャンセル"_s), Qt::LeftButton);
    m_window->command(u"FileSave"_s)->trigger();
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(saved.readAll()).isEmpty(), false);
    TPenForm1 reader;
    reader.OpenFile(path);
    QCOMPARE(reader.RichEdit1->toPlainText(), replaced);
}

QTEST_MAIN(tst_FindReal)
#include "tst_findreal.moc"
