// Numbered lists and character shading from a word processor's RTF, through the main window: a
// file opened, a character typed at its start, Ctrl+S; the screen shows the numbers and the saved
// file keeps the lists, their levels and the shading, each number written once.

#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "document/rtf/rtflists.h"
#include "document/rtf/rtfreader.h"
#include "document/textformats.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include "rtfwindow.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

// As a word processor writes them: list 1 numbers its first level and letters its second, list 2
// has bullets; the last paragraph is shaded yellow.
const QByteArray WordProcessorLists =
    "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 IPAMincho;}{\\f1\\fcharset2 Symbol;}}"
    "{\\colortbl;\\red255\\green255\\blue0;}"
    "{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc0\\levelnfcn0\\leveljc0\\levelfollow0"
    "\\levelstartat1{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}\\fi-360\\li720}{\\listlevel\\levelnfc4"
    "\\levelnfcn4\\leveljc0\\levelfollow0\\levelstartat1{\\leveltext\\'02\\'01.;}{\\levelnumbers\\'01;}"
    "\\fi-360\\li1080}\\listid1}{\\list\\listtemplateid2{\\listlevel\\levelnfc23\\levelnfcn23\\leveljc0"
    "\\levelfollow0\\levelstartat1{\\leveltext\\'01\\u8226 ?;}{\\levelnumbers;}\\fi-360\\li720}\\listid2}}"
    "{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount0\\ls1}"
    "{\\listoverride\\listid2\\listoverridecount0\\ls2}}"
    "\\pard\\plain\\ls1\\ilvl0\\li720\\fi-360\\f0\\fs24{\\listtext\\pard\\plain 1.\\tab}one\\par"
    "\\pard\\plain\\ls1\\ilvl1\\li1080\\fi-360\\f0\\fs24{\\listtext\\pard\\plain a.\\tab}sub one\\par"
    "\\pard\\plain\\ls1\\ilvl1\\li1080\\fi-360\\f0\\fs24{\\listtext\\pard\\plain b.\\tab}sub two\\par"
    "\\pard\\plain\\ls1\\ilvl0\\li720\\fi-360\\f0\\fs24{\\listtext\\pard\\plain 2.\\tab}two\\par"
    "\\pard\\plain\\ls2\\ilvl0\\li720\\fi-360\\f0\\fs24{\\listtext\\pard\\plain\\f1 \\u8226 ?\\tab}dot\\par"
    "\\pard\\plain\\f0\\fs24{\\chcbpat1\\chshdng0 lit}\\par}"_ba;

struct Item {
    QString text;
    QString marker; // the list's number for it; "" in none, "*" for a bullet
    int level = 0;
};

QList<Item> itemsOf(const QTextDocument &doc)
{
    QList<Item> items;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextList *list = b.textList();
        Item item { b.text(), {}, 0 };
        if (list && list->format().style() == QTextListFormat::ListDisc)
            item.marker = u"*"_s;
        else if (list)
            item.marker = list->itemText(b);
        if (list)
            item.level = list->format().intProperty(RtfLists::LevelProperty);
        items += item;
    }
    return items;
}

QString describe(const QList<Item> &items)
{
    QStringList out;
    for (const Item &i : items)
        out += u"%1|%2|%3"_s.arg(i.marker).arg(i.level).arg(i.text);
    return out.join(u'\n');
}

const QString Expected = u"1.|0|xone\na.|1|sub one\nb.|1|sub two\n2.|0|two\n*|0|dot\n|0|lit"_s;

} // namespace

class tst_RtfLists : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void numberedListsAndShadingSurviveTheEditor();
    void markersWithoutTableBecomeLists_data();
    void markersWithoutTableBecomeLists();
    void hostileListNumbersStayBounded();

private:
    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

void tst_RtfLists::init()
{
    QVERIFY(RtfWindow::open(m_window));
}

void tst_RtfLists::cleanup()
{
    RtfWindow::close(m_window);
}

void tst_RtfLists::numberedListsAndShadingSurviveTheEditor()
{
    const QString path = m_dir.filePath(u"in.rtf"_s);
    TestFiles::write(path, WordProcessorLists);
    m_window->OpenFile(path);
    RichEdit *edit = m_window->RichEdit1;
    edit->setFocus();
    edit->setSelection(0, 0);
    QTest::keyClick(edit, Qt::Key_X);
    QCOMPARE(describe(itemsOf(*edit->document())), Expected);

    // The number is drawn left of the item's text, where the text itself has no ink.
    QTextCursor at(edit->document());
    const QRect caret = edit->cursorRect(at);
    const QImage shown = edit->viewport()->grab().toImage();
    int ink = 0;
    for (int y = caret.top(); y <= caret.bottom(); ++y) {
        for (int x = qMax(0, caret.left() - 40); x < caret.left() - 2; ++x)
            ink += qGray(shown.pixel(x, y)) < 128;
    }
    QVERIFY2(ink > 4, "no number drawn before the first item");

    QApplication::setActiveWindow(m_window);
    QTRY_VERIFY(m_window->isActiveWindow());
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    QTRY_VERIFY(!edit->isModified());
    const QByteArray saved = TestFiles::read(path);

    // Each number once, as text for readers that draw none; none in the items' text.
    QCOMPARE(saved.count("{\\listtext 1.\\tab}"), 1);
    QCOMPARE(saved.count("{\\listtext a.\\tab}"), 1);
    QCOMPARE(saved.count("\\ilvl1"), 1);
    QVERIFY(saved.contains("\\highlight"));
    QTextDocument back;
    QVERIFY(RtfReader::read(saved, back, CharFormat()));
    QCOMPARE(describe(itemsOf(back)), Expected);
    QTextCursor lit(&back);
    lit.setPosition(back.lastBlock().position() + 1);
    QCOMPARE(lit.charFormat().background().color(), QColor(255, 255, 0));
}

void tst_RtfLists::markersWithoutTableBecomeLists_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("items");
    QTest::newRow("pn decimal")
        << "{\\rtf1 {\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pntxta.}one\\par{\\pntext 2.\\tab}two\\par}"_ba
        << u"1.|0|one\n2.|0|two"_s;
    QTest::newRow("listtext roman")
        << "{\\rtf1 {\\listtext i)\\tab}one\\par{\\listtext ii)\\tab}two\\par\\pard x\\par}"_ba
        << u"i.|0|one\nii.|0|two\n|0|x"_s;
    QTest::newRow("upper letters") << "{\\rtf1 {\\listtext A.\\tab}one\\par}"_ba << u"A.|0|one"_s;
    QTest::newRow("no number kept as text") << "{\\rtf1 {\\listtext Step\\tab}one\\par}"_ba
                                            << u"|0|Step\tone"_s;
}

void tst_RtfLists::markersWithoutTableBecomeLists()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, items);
    QTextDocument doc;
    QVERIFY(RtfReader::read(rtf, doc, CharFormat()));
    QCOMPARE(describe(itemsOf(doc)), items);
}

void tst_RtfLists::hostileListNumbersStayBounded()
{
    // Levels far past the table's, negative and huge list numbers, and one list longer than a
    // list may hold: read, with levels clamped and the long list cut into lists of its cap.
    QByteArray rtf = WordProcessorLists;
    rtf.chop(1);
    rtf += "\\pard\\ls-7\\ilvl99999{\\listtext 1.\\tab}a\\par\\pard\\ls2147483647\\ilvl-3{\\listtext 1.\\tab}b\\par";
    for (int i = 0; i < RtfLists::MaxItems + 5; ++i)
        rtf += "\\pard\\ls1\\ilvl0{\\listtext 9.\\tab}n\\par";
    rtf += '}';
    QTextDocument doc;
    QVERIFY(RtfReader::read(rtf, doc, CharFormat()));
    const QList<Item> items = itemsOf(doc);
    for (const Item &item : items)
        QVERIFY(item.level >= 0 && item.level <= RtfLists::MaxLevel);
    // The list already held two items: it fills up and the last seven start a list of their own.
    QCOMPARE(items.last().marker, u"7."_s);
    QCOMPARE(items.at(items.size() - 8).marker, QString::number(RtfLists::MaxItems) + u'.');
}

QTEST_MAIN(tst_RtfLists)
#include "tst_rtflists.moc"
