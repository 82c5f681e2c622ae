// Crafted RTF: what a file can make the reader do must grow with the file, not faster, and
// whatever it nests or declares, the text around it reads as it should.

#include "document/richdocument.h"
#include "document/rtf/codepages.h"
#include "document/rtf/rtfgroupstack.h"
#include "document/rtf/rtfreader.h"
#include "document/rtf/rtftables.h"

#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include "scaling.h"

#include "documentprobes.h"

using namespace Qt::StringLiterals;

namespace {

struct Loaded {
    QTextDocument doc;
    RichDocument rich { &doc };
    explicit Loaded(const QByteArray &data) { rich.load(data, StreamFormat::Rtf, QTextCharFormat()); }
};

using DocumentProbes::formatAt;
using DocumentProbes::paragraphFormat;

// n lists and n overrides, all overrides numbered 1, the first naming the last list (the only
// bulleted one), then n paragraphs of list 1: a scan of overrides against lists for each
// paragraph costs up to n^3.
QByteArray listTables(int n)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\*\\listtable";
    for (int i = 1; i <= n; ++i)
        rtf += "{\\list\\listid" + QByteArray::number(i) + "{\\listlevel\\levelnfc" + (i == n ? "23" : "0") + "}}";
    rtf += "}{\\*\\listoverridetable";
    for (int i = 1; i <= n; ++i)
        rtf += "{\\listoverride\\listid" + QByteArray::number(i == 1 ? n : n + i) + "\\ls1}";
    rtf += "}";
    for (int i = 0; i < n; ++i)
        rtf += "\\pard\\ls1 x\\par\n";
    return rtf + "}";
}

QByteArray bullets(int n)
{
    QByteArray rtf = "{\\rtf1\\ansi";
    for (int i = 0; i < n; ++i)
        rtf += "{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt}item\\par\n";
    return rtf + "}";
}

// n fonts used one character each: as many faces as the table allows.
QByteArray manyFonts(int n)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl";
    for (int i = 0; i < n; ++i)
        rtf += "{\\f" + QByteArray::number(i) + " Face" + QByteArray::number(i) + ";}";
    rtf += "}";
    for (int i = 0; i < n; ++i)
        rtf += "\\f" + QByteArray::number(i) + " x";
    return rtf + "}";
}

// n runs, each in a format of its own (colour and size).
QByteArray manyFormats(int n)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\colortbl;";
    for (int i = 0; i < n; ++i)
        rtf += "\\red" + QByteArray::number(i & 255) + "\\green" + QByteArray::number((i >> 8) & 255) + "\\blue3;";
    rtf += "}";
    for (int i = 0; i < n; ++i)
        rtf += "\\cf" + QByteArray::number(i + 1) + "\\fs" + QByteArray::number(2 + i % 300) + " x";
    return rtf + "}";
}

} // namespace

class tst_RtfHostile : public QObject {
    Q_OBJECT
private slots:
    void listTablesAreLookedUpNotScanned();
    void listTablesAreCapped();
    void bulletRunsUseSmallLists();
    void eachParagraphKeepsItsOwnFormat();
    void codePagesShareConverters();
    void colourTableIsCappedAndCompact();
    void fontTableIsCapped();
    void manyFacesAndFormatsGrowLinearly();
    void longParagraphLoadsInLinearMemory_data();
    void longParagraphLoadsInLinearMemory();
    void groupStateIsRestoredAtAnyDepth_data();
    void groupStateIsRestoredAtAnyDepth();
    void plainNestingStoresNothing();
    void numbersAreClampedBeforeArithmetic_data();
    void numbersAreClampedBeforeArithmetic();
    void hugeLengthsFromOtherProgramsAreClamped();
};

void tst_RtfHostile::listTablesAreLookedUpNotScanned()
{
    Loaded l(listTables(50));
    QCOMPARE(l.doc.blockCount(), 50);
    for (int b = 0; b < 50; ++b)
        QCOMPARE(paragraphFormat(l.rich, b).numbering, ParaFormat::NumberingBullet);
    const double growth = Scaling::growthOverFourfold([](int n) { Loaded l(listTables(n)); }, 400);
    QVERIFY2(growth < Scaling::LinearLimit, qPrintable(u"4x the tables cost %1x"_s.arg(growth)));
}

void tst_RtfHostile::listTablesAreCapped()
{
    RtfTables::ListTables tables;
    for (size_t i = 0; i < RtfTables::ListTables::MaxLists + 10; ++i) {
        tables.beginList();
        for (size_t level = 0; level < RtfTables::ListTables::MaxLevels + 3; ++level) {
            tables.beginLevel();
            tables.setLevelFormat(level == 1 ? 23 : 0);
        }
        tables.setListId(int(i) + 1);
    }
    tables.beginOverride();
    tables.setOverrideListId(1);
    tables.setOverrideNumber(7);
    tables.beginOverride();
    tables.setOverrideListId(int(RtfTables::ListTables::MaxLists) + 5); // a list past the cap
    tables.setOverrideNumber(8);
    bool known = false;
    QVERIFY(tables.isBullet(7, 1, &known));
    QVERIFY(known);
    QVERIFY(!tables.isBullet(7, 0, &known));
    QVERIFY(known);
    QVERIFY(!tables.isBullet(7, int(RtfTables::ListTables::MaxLevels), &known));
    QVERIFY(!known);
    QVERIFY(!tables.isBullet(8, 1, &known));
    QVERIFY(!known);
    QVERIFY(!tables.isBullet(9, 1, &known));
    QVERIFY(!known);
}

void tst_RtfHostile::bulletRunsUseSmallLists()
{
    const int items = 3 * RtfReader::MaxListItems + 5;
    Loaded l(bullets(items));
    QCOMPARE(l.doc.blockCount(), items);
    QSet<QTextList *> lists;
    for (QTextBlock b = l.doc.begin(); b.isValid(); b = b.next()) {
        QVERIFY(b.textList());
        QVERIFY(b.textList()->count() <= RtfReader::MaxListItems);
        lists.insert(b.textList());
    }
    QCOMPARE(lists.size(), 4);
    // Where the lists meet changes nothing written.
    const QByteArray rtf = l.rich.save(StreamFormat::Rtf);
    QCOMPARE(rtf.count("{\\pntext"), items);
    Loaded again(rtf);
    for (int b = 0; b < items; ++b)
        QCOMPARE(paragraphFormat(again.rich, b).numbering, ParaFormat::NumberingBullet);
    const double growth = Scaling::growthOverFourfold([](int n) { Loaded l(bullets(n)); }, 2000);
    QVERIFY2(growth < Scaling::LinearLimit, qPrintable(u"4x the items cost %1x"_s.arg(growth)));
}

// A paragraph starts in the format of the one before (most share it): one that differs must
// still get its own, bullets and lists included.
void tst_RtfHostile::eachParagraphKeepsItsOwnFormat()
{
    const QByteArray bullet = "{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt}";
    Loaded l("{\\rtf1\\pard\\qc a\\par b\\par\\pard\\qr " + bullet + "c\\par " + bullet + "d\\par\\pard e\\par "
             + bullet + "f\\par\\pard\\li400\\fi-200 g\\par h\\par}");
    struct Expected {
        int alignment;
        int numbering;
        int first;
        int left;
    };
    const Expected expected[] = {
        { ParaFormat::AlignCenter, 0, 0, 0 }, { ParaFormat::AlignCenter, 0, 0, 0 }, { ParaFormat::AlignRight, 1, 0, 0 },
        { ParaFormat::AlignRight, 1, 0, 0 },  { ParaFormat::AlignLeft, 0, 0, 0 },   { ParaFormat::AlignLeft, 1, 0, 0 },
        { ParaFormat::AlignLeft, 0, 200, 200 }, { ParaFormat::AlignLeft, 0, 200, 200 },
    };
    QCOMPARE(l.doc.blockCount(), 8);
    for (int b = 0; b < 8; ++b) {
        const ParaFormat p = paragraphFormat(l.rich, b);
        QCOMPARE(p.alignment, expected[b].alignment);
        QCOMPARE(p.numbering, expected[b].numbering);
        QCOMPARE(p.firstIndentTwips, expected[b].first);
        QCOMPARE(p.leftIndentTwips, expected[b].left);
    }
    // c and d share a list; f, after a paragraph without a bullet, has one of its own.
    QCOMPARE(l.doc.findBlockByNumber(2).textList(), l.doc.findBlockByNumber(3).textList());
    QVERIFY(l.doc.findBlockByNumber(5).textList() != l.doc.findBlockByNumber(3).textList());
    QVERIFY(!l.doc.findBlockByNumber(4).textList());
    QVERIFY(!l.doc.findBlockByNumber(6).textList());
}

void tst_RtfHostile::codePagesShareConverters()
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl";
    for (int i = 0; i < 500; ++i)
        rtf += "{\\f" + QByteArray::number(i) + "\\cpg" + QByteArray::number(100000 + i) + " F;}";
    rtf += "}";
    for (int i = 0; i < 500; ++i)
        rtf += "\\f" + QByteArray::number(i) + " \\'e9";
    Loaded l(rtf + "}");
    // Unknown code pages read as Windows-1252.
    QCOMPARE(l.doc.toPlainText(), QString(500, u'é'));
    QVERIFY2(CodePages::convertersOpen() <= 20, qPrintable(QString::number(CodePages::convertersOpen())));
}

void tst_RtfHostile::colourTableIsCappedAndCompact()
{
    RtfTables::ColorTable colors;
    colors.finish(); // ;  the automatic colour
    colors.setRed(300);
    colors.setGreen(-4);
    colors.finish();
    for (size_t i = 0; i < RtfTables::ColorTable::MaxColors + 100; ++i)
        colors.finish();
    QCOMPARE(colors.size(), RtfTables::ColorTable::MaxColors);
    QRgb rgb = 0;
    QVERIFY(colors.colorAt(1, &rgb));
    QCOMPARE(rgb, qRgb(255, 0, 0));
    QVERIFY(!colors.colorAt(0, &rgb));
    QVERIFY(!colors.colorAt(2, &rgb));
    QVERIFY(!colors.colorAt(int(RtfTables::ColorTable::MaxColors) + 1, &rgb));

    // A million entries read as the capped table; colours within it keep working.
    Loaded l("{\\rtf1{\\colortbl;\\red10\\green20\\blue30;" + QByteArray(1000000, ';') + "}\\cf1 a\\cf999999 b}");
    QCOMPARE(l.doc.toPlainText(), u"ab"_s);
    QCOMPARE(formatAt(l.rich, 0).color, QColor(10, 20, 30));
    QVERIFY(formatAt(l.rich, 1).autoColor);
}

void tst_RtfHostile::fontTableIsCapped()
{
    const int fonts = RtfTables::FontTable::MaxFaces + 200;
    Loaded l(manyFonts(fonts));
    QSet<QString> faces;
    for (int i = 0; i < fonts; ++i)
        faces.insert(formatAt(l.rich, i).faceName);
    // Text in faces past the cap reads in the default face.
    QCOMPARE(faces.size(), RtfTables::FontTable::MaxFaces + 1);
    QCOMPARE(formatAt(l.rich, 0).faceName, u"Face0"_s);
    QCOMPARE(formatAt(l.rich, fonts - 1).faceName, l.rich.defaultCharFormat().faceName);

    const int entries = int(RtfTables::FontTable::MaxFonts) + 200;
    RtfTables::FontTable table;
    for (int i = 0; i < entries; ++i)
        table.begin(i);
    QCOMPARE(table.size(), RtfTables::FontTable::MaxFonts);
    QVERIFY(table.begin(3)); // an entry already there may be given again
    QVERIFY(!table.begin(entries + 1));
}

void tst_RtfHostile::manyFacesAndFormatsGrowLinearly()
{
    // Qt finds each new format among the document's by a hash; faces must change that hash.
    double growth = Scaling::growthOverFourfold([](int n) { Loaded l(manyFonts(n)); }, 250);
    QVERIFY2(growth < Scaling::LinearLimit, qPrintable(u"4x the faces cost %1x"_s.arg(growth)));
    growth = Scaling::growthOverFourfold([](int n) { Loaded l(manyFormats(n)); }, 4000);
    QVERIFY2(growth < Scaling::LinearLimit, qPrintable(u"4x the formats cost %1x"_s.arg(growth)));
}

void tst_RtfHostile::longParagraphLoadsInLinearMemory_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("characters");
    const QByteArray text = QByteArray("\x82\xa0" "abcdefgh ").repeated(400000); // 4.4 MB, one line
    QTest::newRow("text") << text << 10 * 400000;
    QTest::newRow("rtf") << "{\\rtf1\\ansi\\ansicpg932 " + text + "}" << 10 * 400000;
}

// A document of one paragraph takes the memory of its text, and no analysis of that text that a
// layout would make.
void tst_RtfHostile::longParagraphLoadsInLinearMemory()
{
    QFETCH(QByteArray, data);
    QFETCH(int, characters);
    QTextDocument doc;
    // The load alone, as the converter makes it: laying the paragraph out is the editor's part.
    doc.setLayoutEnabled(false);
    RichDocument rich(&doc);
    const size_t before = Scaling::heapInUse();
    rich.load(data, StreamFormat::Rtf, QTextCharFormat());
    const size_t held = Scaling::heapInUse() - before;
    QCOMPARE(doc.characterCount(), characters + 1);
    // The text itself takes 2 bytes a character, 4 while its buffer grows.
    QVERIFY2(held < size_t(characters) * 5, qPrintable(u"%1 bytes a character"_s.arg(double(held) / characters)));
}

void tst_RtfHostile::groupStateIsRestoredAtAnyDepth_data()
{
    QTest::addColumn<QByteArray>("open");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");
    const int depth = 20000;
    QTest::newRow("bold") << "{\\b"_ba.repeated(depth) << u"inside after"_s << false;
    QTest::newRow("hidden") << "{\\v"_ba.repeated(depth) << u" after"_s << false;
    QTest::newRow("field instructions") << "{\\field{\\*\\fldinst"_ba.repeated(depth) << u"\uFFFC after"_s << false;
    QTest::newRow("unknown destinations") << "{\\*\\unknown"_ba.repeated(depth) << u" after"_s << false;
    QTest::newRow("plain groups") << "{"_ba.repeated(depth) << u" inside after"_s << false;
    QTest::newRow("bold around it") << "\\b" + "{\\b0"_ba.repeated(depth) << u"inside after"_s << true;
}

void tst_RtfHostile::groupStateIsRestoredAtAnyDepth()
{
    QFETCH(QByteArray, open);
    QFETCH(QString, text);
    QFETCH(bool, bold);
    const qsizetype groups = open.count('{');
    Loaded l("{\\rtf1 " + open + " inside" + QByteArray(groups, '}') + " after}");
    QCOMPARE(l.doc.toPlainText(), text);
    QCOMPARE(formatAt(l.rich, int(text.size()) - 1).bold, bold);
}

void tst_RtfHostile::plainNestingStoresNothing()
{
    RtfGroups::GroupStack stack;
    for (int i = 0; i < 100000; ++i)
        stack.push();
    QCOMPARE(stack.depth(), size_t(100000));
    QCOMPARE(stack.storedEntries(), size_t(1));
    RtfGroups::Group bold = stack.top();
    bold.chars.bold = true;
    stack.set(bold);
    QCOMPARE(stack.storedEntries(), size_t(2));
    stack.set(bold); // no change, no entry
    QCOMPARE(stack.storedEntries(), size_t(2));
    stack.push();
    QVERIFY(stack.top().chars.bold);
    QVERIFY(stack.pop());
    QVERIFY(stack.pop());
    QVERIFY(!stack.top().chars.bold);
    while (stack.pop()) {
    }
    QCOMPARE(stack.depth(), size_t(0));
    QCOMPARE(stack.storedEntries(), size_t(1));
    QVERIFY(!stack.pop());
}

void tst_RtfHostile::numbersAreClampedBeforeArithmetic_data()
{
    QTest::addColumn<QByteArray>("words");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    const int max = ParaFormat::MaxIndentTwips;
    QTest::newRow("left indent at the limit, first line past it") << "\\li2147483647\\fi1"_ba << max << -1 << 0;
    QTest::newRow("both at the lowest") << "\\li-2147483648\\fi-2147483648"_ba << -max << max << 0;
    QTest::newRow("first line at the highest") << "\\fi2147483647"_ba << max << -max << 0;
    QTest::newRow("right indent") << "\\ri99999999999\\li-5"_ba << -5 << 0 << max;
    QTest::newRow("in range") << "\\li720\\fi-360\\ri100"_ba << 360 << 360 << 100;
}

void tst_RtfHostile::numbersAreClampedBeforeArithmetic()
{
    QFETCH(QByteArray, words);
    QFETCH(int, first);
    QFETCH(int, left);
    QFETCH(int, right);
    Loaded l("{\\rtf1\\pard" + words + "\\fs2147483647 x\\par}");
    const ParaFormat p = paragraphFormat(l.rich, 0);
    QCOMPARE(p.firstIndentTwips, first);
    QCOMPARE(p.leftIndentTwips, left);
    QCOMPARE(p.rightIndentTwips, right);
    QCOMPARE(formatAt(l.rich, 0).sizeTwips, 327670);
    // What is written reads back the same.
    Loaded again(l.rich.save(StreamFormat::Rtf));
    QCOMPARE(paragraphFormat(again.rich, 0), p);
}

void tst_RtfHostile::hugeLengthsFromOtherProgramsAreClamped()
{
    // Formats made outside the program (pasted HTML) may hold any length.
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor cursor(&doc);
    cursor.insertText(u"x"_s);
    QTextBlockFormat block;
    block.setLeftMargin(1e15);
    block.setTextIndent(-1e300);
    block.setRightMargin(std::numeric_limits<qreal>::infinity());
    cursor.setBlockFormat(block);
    QTextCharFormat huge;
    huge.setFontPointSize(1e12);
    cursor.select(QTextCursor::Document);
    cursor.mergeCharFormat(huge);
    const ParaFormat p = paragraphFormat(rich, 0);
    QCOMPARE(p.firstIndentTwips, 0); // 31680 - 31680
    QCOMPARE(p.leftIndentTwips, ParaFormat::MaxIndentTwips);
    QCOMPARE(p.rightIndentTwips, ParaFormat::MaxIndentTwips);
    QCOMPARE(formatAt(rich, 0).sizeTwips, 327670);
    const QByteArray rtf = rich.save(StreamFormat::Rtf);
    QVERIFY(rtf.contains("\\fi-31680 \\li31680 \\ri31680 "));
}

QTEST_MAIN(tst_RtfHostile)
#include "tst_rtfhostile.moc"
