// Numbered lists and character shading from a word processor's RTF, through the main window: a
// file opened, a character typed at its start, Ctrl+S; the screen shows the numbers and the saved
// file keeps the lists, their levels and the shading, each number written once.

#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "document/rtf/rtflists.h"
#include "document/rtf/rtfreader.h"
#include "document/rtf/rtfwriter.h"
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

// Bullets of three levels as a word processor writes them (the disc in Symbol, the circle an "o"
// in Courier New, the square in Wingdings), a fourth level numbered, whose paragraph gives no
// indent of its own and stands at the level's.
const QByteArray NestedBullets =
    "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 IPAMincho;}{\\f1\\fcharset2 Symbol;}"
    "{\\f2 Courier New;}{\\f3\\fcharset2 Wingdings;}}"
    "{\\*\\listtable{\\list\\listtemplateid7{\\listlevel\\levelnfc23\\leveljc0\\levelstartat1{\\leveltext"
    "\\'01\\u-3913 ?;}{\\levelnumbers;}\\f1\\fi-360\\li720}{\\listlevel\\levelnfc23\\levelstartat1{\\leveltext"
    "\\'01o;}{\\levelnumbers;}\\f2\\fi-360\\li1440}{\\listlevel\\levelnfc23\\levelstartat1{\\leveltext"
    "\\'01\\u-3929 ?;}{\\levelnumbers;}\\f3\\fi-360\\li2160}{\\listlevel\\levelnfc0\\levelstartat1{\\leveltext"
    "\\'02\\'03.;}{\\levelnumbers\\'01;}\\fi-360\\li2880}\\listid70}}"
    "{\\*\\listoverridetable{\\listoverride\\listid70\\listoverridecount0\\ls3}}"
    "\\pard\\ls3\\ilvl0\\li720\\fi-360\\f0\\fs24{\\listtext\\f1 \\'b7\\tab}top\\par"
    "\\pard\\ls3\\ilvl1\\li1440\\fi-360{\\listtext\\f2 o\\tab}inner\\par"
    "\\pard\\ls3\\ilvl2\\li2160\\fi-360{\\listtext\\f3 \\'a7\\tab}deepest\\par"
    "\\pard\\ls3\\ilvl3{\\listtext 1.\\tab}numbered\\par"
    "\\pard\\ls3\\ilvl1\\li1440\\fi-360{\\listtext\\f2 o\\tab}inner again\\par"
    "\\pard\\ls3\\ilvl0\\li720\\fi-360{\\listtext\\f1 \\'b7\\tab}top again\\par"
    "\\pard after\\par}"_ba;

const QString NestedExpected
    = u"*|0|xtop\no|1|inner\n#|2|deepest\n1.|3|numbered\no|1|inner again\n*|0|top again\n|0|after"_s;

struct Item {
    QString text;
    QString marker; // the list's number for it; "" in none, "*", "o", "#" for a disc, circle, square
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
        else if (list && list->format().style() == QTextListFormat::ListCircle)
            item.marker = u"o"_s;
        else if (list && list->format().style() == QTextListFormat::ListSquare)
            item.marker = u"#"_s;
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

// Ink (dark pixels) in the `width` pixels left of the start of block `number`'s text, and
// whether the middle of that ink is itself dark (a disc or square, not a circle).
struct Marker {
    int ink = 0;
    bool filled = false;
    int textLeft = 0;
};

Marker markerOf(RichEdit *edit, const QImage &shown, int number, int width = 40)
{
    QTextCursor at(edit->document()->findBlockByNumber(number));
    const QRect caret = edit->cursorRect(at);
    Marker m;
    m.textLeft = caret.left();
    QRect box;
    for (int y = caret.top(); y <= caret.bottom(); ++y) {
        for (int x = qMax(0, caret.left() - width); x < caret.left() - 1; ++x) {
            if (qGray(shown.pixel(x, y)) < 160) {
                ++m.ink;
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    m.filled = m.ink > 0 && qGray(shown.pixel(box.center())) < 160;
    return m;
}

int leftIndentTwips(const QTextBlock &block)
{
    const ParaFormat p = TextFormats::fromBlockFormat(block.blockFormat(), false);
    return p.firstIndentTwips + p.leftIndentTwips;
}

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
    void nestedBulletsKeepTheirLevelsAndMarkers();
    void bulletMarkers_data();
    void bulletMarkers();
    void hostileListTablesStayBounded();

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

void tst_RtfLists::nestedBulletsKeepTheirLevelsAndMarkers()
{
    const QString path = m_dir.filePath(u"nested.rtf"_s);
    const QByteArray saved = RtfWindow::openTypeAndSave(m_window, path, NestedBullets);
    QVERIFY(!saved.isEmpty());
    RichEdit *edit = m_window->RichEdit1;
    QCOMPARE(describe(itemsOf(*edit->document())), NestedExpected);
    // The numbered paragraph gave no indent: it stands at its level's (\\li2880).
    QCOMPARE(leftIndentTwips(edit->document()->findBlockByNumber(3)), 2880);

    // Each level's marker is drawn before its text, further right level by level: a filled
    // disc, a hollow circle, a filled square.
    const QImage shown = edit->viewport()->grab().toImage();
    const Marker top = markerOf(edit, shown, 0);
    const Marker inner = markerOf(edit, shown, 1);
    const Marker deepest = markerOf(edit, shown, 2);
    QVERIFY2(top.ink > 4 && inner.ink > 4 && deepest.ink > 4, "a level without its marker");
    QVERIFY(top.textLeft < inner.textLeft && inner.textLeft < deepest.textLeft);
    QVERIFY(top.filled);
    QVERIFY(!inner.filled);
    QVERIFY(deepest.filled);

    // Written with its level and its own bullet; read back the same.
    QCOMPARE(saved.count("\\ls1 \\ilvl1 "), 2);
    QCOMPARE(saved.count("\\ls1 \\ilvl2 "), 1);
    QCOMPARE(saved.count("{\\pntext\\uc1\\u9702?\\tab}"), 2);
    QCOMPARE(saved.count("{\\pntext\\uc1\\u9642?\\tab}"), 1);
    QVERIFY(saved.contains("\\ilvl3"));
    QTextDocument back;
    QVERIFY(RtfReader::read(saved, back, CharFormat()));
    QCOMPARE(describe(itemsOf(back)), NestedExpected);
    for (int block = 0; block < back.blockCount(); ++block)
        QCOMPARE(leftIndentTwips(back.findBlockByNumber(block)), leftIndentTwips(edit->document()->findBlockByNumber(block)));
}

void tst_RtfLists::bulletMarkers_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("items");
    const QByteArray table = "{\\*\\listtable{\\list{\\listlevel\\levelnfc23}{\\listlevel\\levelnfc23}"
                             "{\\listlevel\\levelnfc23}{\\listlevel\\levelnfc23}\\listid1}}"
                             "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}"_ba;
    QTest::newRow("levels without markers") << "{\\rtf1 "_ba + table
            + "\\pard\\ls1\\ilvl3 d\\par\\pard\\ls1\\ilvl2 c\\par\\pard\\ls1\\ilvl1 b\\par"
              "\\pard\\ls1 a\\par}"
        << u"*|3|d\n#|2|c\no|1|b\n*|0|a"_s;
    QTest::newRow("unicode markers") << "{\\rtf1 "_ba + table
            + "{\\listtext \\u9642?\\tab}\\ls1 a\\par{\\listtext \\u9675?\\tab}\\ls1\\ilvl1 b\\par}"
        << u"#|0|a\no|1|b"_s;
    QTest::newRow("a level's marker changes") << "{\\rtf1 "_ba + table
            + "{\\listtext \\u8226?\\tab}\\ls1 a\\par{\\listtext \\u9702?\\tab}\\ls1 b\\par}"
        << u"*|0|a\no|0|b"_s;
    QTest::newRow("bullet of the old style") << "{\\rtf1 {\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}{\\pntext -\\tab}a\\par}"_ba
                                             << u"*|0|a"_s;
}

void tst_RtfLists::bulletMarkers()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, items);
    QTextDocument doc;
    QVERIFY(RtfReader::read(rtf, doc, CharFormat()));
    QCOMPARE(describe(itemsOf(doc)), items);
    // And the same once written and read again.
    QTextDocument back;
    QVERIFY(RtfReader::read(RtfWriter::write(doc, CharFormat(), Qt::black), back, CharFormat()));
    QCOMPARE(describe(itemsOf(back)), items);
}

void tst_RtfLists::hostileListTablesStayBounded()
{
    // 100,000 levels in one list and as many lists, levels past any table and far past the
    // range of a number: read in linear time, at most nine levels kept; a level past them is
    // none the table gives, so no bullet of it.
    QByteArray rtf = "{\\rtf1{\\*\\listtable{\\list"_ba;
    for (int i = 0; i < 100000; ++i)
        rtf += "{\\listlevel\\levelnfc23\\li999999999\\fi-999999999}";
    rtf += "\\listid1}";
    for (int i = 0; i < 100000; ++i)
        rtf += "{\\list{\\listlevel\\levelnfc0}\\listid" + QByteArray::number(i + 2) + '}';
    rtf += "}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}";
    rtf += "\\pard\\ls1\\ilvl1000000000 deep\\par\\pard\\ls1\\ilvl-5 top\\par"
           "\\pard\\ls1\\ilvl4 four\\par}";
    QTextDocument doc;
    QVERIFY(RtfReader::read(rtf, doc, CharFormat()));
    const QList<Item> items = itemsOf(doc);
    QCOMPARE(items.size(), 3);
    for (const Item &item : items)
        QVERIFY(item.level >= 0 && item.level <= RtfLists::MaxLevel);
    QCOMPARE(describe(items), u"|0|deep\n*|0|top\no|4|four"_s);
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        QVERIFY(qAbs(leftIndentTwips(b)) <= ParaFormat::MaxIndentTwips);
}

QTEST_MAIN(tst_RtfLists)
#include "tst_rtflists.moc"
