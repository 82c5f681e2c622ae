#include "document/plaintext.h"
#include "document/richdocument.h"
#include "document/rtf/rtfreader.h"
#include "document/rtf/rtftablereader.h"
#include "document/rtf/rtfwriter.h"
#include "document/tablecells.h"
#include "document/tabstops.h"
#include "document/textformats.h"
#include "document/textpositionindex.h"

#include <QColor>
#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray fixture(const QString &name)
{
    return TestFiles::fixture(u"rtf/"_s + name);
}

void read(QTextDocument &doc, const QByteArray &rtf)
{
    QVERIFY(RtfReader::read(rtf, doc, CharFormat {}));
}

QList<QTextTable *> tablesOf(const QTextDocument &doc)
{
    QList<QTextTable *> tables;
    for (QTextFrame *frame : doc.rootFrame()->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(frame))
            tables += table;
    }
    return tables;
}

QString cellText(const QTextTable &table, int row, int column)
{
    const QTextTableCell cell = table.cellAt(row, column);
    QTextCursor c = cell.firstCursorPosition();
    c.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
    return c.selectedText().replace(QChar::ParagraphSeparator, u'|');
}

// Every cell's text, a row per entry, cells joined by " / ".
QStringList rowsOf(const QTextTable &table)
{
    QStringList rows;
    for (int r = 0; r < table.rows(); ++r) {
        QStringList cells;
        for (int c = 0; c < table.columns(); c += table.cellAt(r, c).columnSpan())
            cells += cellText(table, r, c);
        rows += cells.join(u" / "_s);
    }
    return rows;
}

// The geometry of every cell: "right:gap:left:borders".
QStringList geometryOf(const QTextTable &table)
{
    QStringList boxes;
    for (int r = 0; r < table.rows(); ++r) {
        for (int c = 0; c < table.columns(); ++c) {
            const TableCells::CellBox b = TableCells::boxOf(table, r, c);
            boxes += u"%1-%2:%3:%4,%5,%6,%7"_s.arg(b.leftTwips).arg(b.rightTwips).arg(b.gapTwips).arg(b.borders[0])
                         .arg(b.borders[1]).arg(b.borders[2]).arg(b.borders[3]);
        }
    }
    return boxes;
}

QStringList outsideParagraphs(const QTextDocument &doc)
{
    QStringList list;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (!QTextCursor(b).currentTable())
            list += b.text();
    }
    return list;
}

QByteArray written(const QTextDocument &doc)
{
    return RtfWriter::write(doc, CharFormat {}, Qt::black);
}

} // namespace

class tst_RtfTables : public QObject {
    Q_OBJECT
private slots:
    void samplesReadAsTables_data();
    void samplesReadAsTables();
    void roundTripKeepsTables_data();
    void roundTripKeepsTables();
    void writtenRtfDefinesEachRow();
    void hostileStopsAndShapesAreCapped();
    void rowsOfAnotherLayoutStayOneTable_data();
    void rowsOfAnotherLayoutStayOneTable();
    void extraCellsKeepTheirText();
    void cellParagraphsKeepTheirWords_data();
    void cellParagraphsKeepTheirWords();
    void pictureFirstInACellStaysInIt();
    void columnsAreCapped();
    void textSaveSeparatesCellsByTabs();
    void emptyParagraphsAroundTablesKeepTheirFormat();
    void positionsCountACellEndAsALineEnd();
    void lookAheadCountsRows_data();
    void lookAheadCountsRows();
    void longTableReadsInLinearTime();
    void listTextItemsAreParagraphs_data();
    void listTextItemsAreParagraphs();
    void hostileTablesDoNotCrash_data();
    void hostileTablesDoNotCrash();
    void pageBreaksGoWhereParagraphsLand_data();
    void pageBreaksGoWhereParagraphsLand();
};

void tst_RtfTables::samplesReadAsTables_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("outside");
    QTest::addColumn<QString>("firstBox");
    QTest::newRow("odf style") << u"table-odfstyle.rtf"_s
                               << QStringList { u"Apples / 120"_s, u"Pears|two kinds / 95"_s }
                               << QStringList { u"Price list"_s, u"Thank you."_s } << u"-108-4819:108:10,10,10,0"_s;
    QTest::newRow("word style") << u"table-wordstyle.rtf"_s
                                << QStringList { u"one / two / three"_s, u"four / outer|n1\tn2\t / six"_s }
                                << QStringList { u"Before"_s, u"After"_s } << u"-108-2892:108:10,10,10,10"_s;
    QTest::newRow("abi style") << u"table-abistyle.rtf"_s << QStringList { u"x1 / y1"_s, u"x2 / y2"_s }
                               << QStringList { u"Top"_s, u"Bottom"_s } << u"0-2880:108:10,10,10,10"_s;
}

void tst_RtfTables::samplesReadAsTables()
{
    QFETCH(QString, file);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, outside);
    QFETCH(QString, firstBox);
    QTextDocument doc;
    read(doc, fixture(file));
    const QList<QTextTable *> tables = tablesOf(doc);
    QCOMPARE(tables.size(), 1);
    QCOMPARE(rowsOf(*tables[0]), rows);
    QCOMPARE(outsideParagraphs(doc), outside);
    QCOMPARE(geometryOf(*tables[0]).first(), firstBox);
}

void tst_RtfTables::roundTripKeepsTables_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("odf style") << u"table-odfstyle.rtf"_s;
    QTest::newRow("word style") << u"table-wordstyle.rtf"_s;
    QTest::newRow("abi style") << u"table-abistyle.rtf"_s;
}

void tst_RtfTables::roundTripKeepsTables()
{
    QFETCH(QString, file);
    QTextDocument first;
    read(first, fixture(file));
    const QByteArray rtf = written(first);
    QTextDocument second;
    read(second, rtf);
    const QList<QTextTable *> a = tablesOf(first);
    const QList<QTextTable *> b = tablesOf(second);
    QCOMPARE(b.size(), a.size());
    QCOMPARE(rowsOf(*b[0]), rowsOf(*a[0]));
    QCOMPARE(geometryOf(*b[0]), geometryOf(*a[0]));
    QCOMPARE(outsideParagraphs(second), outsideParagraphs(first));
    QCOMPARE(second.blockCount(), first.blockCount());
    // And once more: what we write reads back as what we wrote.
    QCOMPARE(written(second), rtf);
}

void tst_RtfTables::writtenRtfDefinesEachRow()
{
    QTextDocument doc;
    read(doc, fixture(u"table-odfstyle.rtf"_s));
    const QByteArray rtf = written(doc);
    QCOMPARE(rtf.count("\\trowd"), 2);
    QCOMPARE(rtf.count("\\row "), 2);
    QCOMPARE(rtf.count("\\cell "), 4);
    QVERIFY(rtf.contains("\\trowd\\trgaph108\\trleft-108\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10"
                         "\\clbrdrb\\brdrs\\brdrw10\\cellx4819"));
    // Every paragraph of a cell says it is in the table.
    const int firstCell = int(rtf.indexOf("Apples"));
    QVERIFY(rtf.lastIndexOf("\\intbl", firstCell) > rtf.indexOf("\\trowd"));
    QVERIFY(rtf.indexOf("Thank you") > rtf.lastIndexOf("\\row "));
    QVERIFY(rtf.lastIndexOf("\\pard", rtf.indexOf("Thank you")) > rtf.lastIndexOf("\\row "));
}

void tst_RtfTables::hostileStopsAndShapesAreCapped()
{
    // 200 stops in one paragraph, positions past any page; then rows of two and three cells
    // in turn, 1500 cells in all; shading from colours the table does not have.
    QByteArray rtf = "{\\rtf1{\\colortbl;\\red1\\green2\\blue3;}\\pard";
    for (int i = 0; i < 200; ++i)
        rtf += "\\tqr\\tldot\\tx" + QByteArray::number(i * 999999);
    rtf += " stops\\par\n";
    QString expected = u"stops\n"_s;
    for (int row = 0; row < 600; ++row) {
        const int cells = row % 2 ? 3 : 2;
        rtf += "\\trowd\\clcbpat" + QByteArray::number(row * 7919) + "\\clshdng-5";
        for (int c = 1; c <= cells; ++c)
            rtf += "\\cellx" + QByteArray::number(c * 6000 / cells);
        rtf += "\\pard\\intbl ";
        for (int c = 0; c < cells; ++c) {
            rtf += "r" + QByteArray::number(row) + "c" + QByteArray::number(c) + "\\cell ";
            expected += u"r%1c%2\n"_s.arg(row).arg(c);
        }
        rtf += "\\row\n";
    }
    rtf += "\\pard end\\par}";
    QTextDocument doc;
    read(doc, rtf);
    const std::vector<TabStops::Stop> stops = TabStops::of(doc.begin().blockFormat());
    QCOMPARE(int(stops.size()), TabStops::MaxStops);
    QCOMPARE(int(stops.back().twips), TabStops::MaxTwips);
    // Every cell's text once, in order (tables that follow one another have a paragraph between).
    QCOMPARE(doc.toPlainText().split(u'\n', Qt::SkipEmptyParts), QString(expected + u"end"_s).split(u'\n'));
    // No table holds more than its cap of merged cells; every row stays whole.
    const QList<QTextTable *> tables = tablesOf(doc);
    QVERIFY(tables.size() >= 2);
    for (const QTextTable *table : tables) {
        QVERIFY(table->rows() * table->columns() <= 2048);
        QVERIFY(!table->cellAt(0, 0).format().hasProperty(TableCells::Shading)
                || QColor::fromRgb(QRgb(table->cellAt(0, 0).format().intProperty(TableCells::Shading))) == QColor(1, 2, 3));
    }
}

void tst_RtfTables::rowsOfAnotherLayoutStayOneTable_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("spans"); // of each row's cells, row after row
    QTest::newRow("2, 3, 3 cells")
        << "{\\rtf1 \\trowd\\cellx1000\\cellx3000\\pard\\intbl a\\cell b\\cell\\row"
           "\\trowd\\cellx1000\\cellx2000\\cellx3000\\pard\\intbl c\\cell d\\cell e\\cell\\row"
           "\\trowd\\cellx1000\\cellx2000\\cellx3000\\pard\\intbl f\\cell g\\cell h\\cell\\row\\pard end\\par}"_ba
        << QStringList { u"a / b"_s, u"c / d / e"_s, u"f / g / h"_s } << QList<int> { 1, 2, 1, 1, 1, 1, 1, 1 };
    // Seven cells in rows of 2, 3 and 2, their edges apart: four columns.
    QTest::newRow("2, 3, 2 cells")
        << "{\\rtf1 \\trowd\\cellx2000\\cellx6000\\pard\\intbl a\\cell b\\cell\\row"
           "\\trowd\\cellx2000\\cellx4000\\cellx6000\\pard\\intbl c\\cell d\\cell e\\cell\\row"
           "\\trowd\\cellx3000\\cellx6000\\pard\\intbl f\\cell g\\cell\\row\\pard end\\par}"_ba
        << QStringList { u"a / b"_s, u"c / d / e"_s, u"f / g"_s } << QList<int> { 1, 3, 1, 2, 1, 2, 2 };
}

void tst_RtfTables::rowsOfAnotherLayoutStayOneTable()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QStringList, rows);
    QFETCH(QList<int>, spans);
    QTextDocument doc;
    read(doc, rtf);
    for (int pass = 0; pass < 2; ++pass) {
        // As read, and as written and read again: one table, no paragraph between its rows.
        const QList<QTextTable *> tables = tablesOf(doc);
        QCOMPARE(tables.size(), 1);
        QCOMPARE(rowsOf(*tables[0]), rows);
        QList<int> found;
        for (int r = 0; r < tables[0]->rows(); ++r) {
            for (int c = 0; c < tables[0]->columns(); c += tables[0]->cellAt(r, c).columnSpan())
                found += tables[0]->cellAt(r, c).columnSpan();
        }
        QCOMPARE(found, spans);
        QCOMPARE(outsideParagraphs(doc).last(), u"end"_s);
        const QByteArray saved = written(doc);
        QCOMPARE(saved.count("\\trowd"), 3);
        doc.clear();
        read(doc, saved);
    }
}

void tst_RtfTables::extraCellsKeepTheirText()
{
    // The second row has more cells than the first: its extra cells' text stays in its last cell.
    QTextDocument doc;
    read(doc, "{\\rtf1 \\trowd\\cellx1000\\cellx2000\\intbl a\\cell b\\cell\\row"
              "\\intbl {c\\cell} d\\cell {\\cell} e\\cell\\row\\pard end\\par}"_ba);
    const QString text = PlainText::documentText(doc);
    for (const QString &word : { u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"end"_s })
        QVERIFY2(text.contains(word), qPrintable(text));
}

// Paragraph words hold until \pard, across \cell: an empty cell's paragraph has them too. The
// writer states them again at each cell.
void tst_RtfTables::cellParagraphsKeepTheirWords_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QStringList>("stops"); // each cell's paragraphs' tab stops, row by row
    const QByteArray row = "\\trowd\\cellx1000\\cellx2000"_ba;
    QTest::newRow("empty cell") << row + "\\pard\\intbl\\tx100 a\\cell \\cell\\row"_ba
                                << QStringList { u"100"_s, u"100"_s };
    QTest::newRow("text in both") << row + "\\pard\\intbl\\tx100 a\\cell b\\cell\\row"_ba
                                  << QStringList { u"100"_s, u"100"_s };
    QTest::newRow("next row") << row + "\\pard\\intbl\\tx100 a\\cell b\\cell\\row"_ba + row
            + "\\intbl c\\cell \\cell\\row"_ba
                              << QStringList { u"100"_s, u"100"_s, u"100"_s, u"100"_s };
    QTest::newRow("pard ends them") << row + "\\pard\\intbl\\tx100 a\\cell\\pard\\intbl \\cell\\row"_ba
                                    << QStringList { u"100"_s, QString() };
    QTest::newRow("two paragraphs") << row + "\\pard\\intbl\\tx100 a\\par b\\cell \\cell\\row"_ba
                                    << QStringList { u"100 100"_s, u"100"_s };
    // Found by fuzzing: the table ends with the document's group; the cell after it is not read,
    // nor counted by the look ahead.
    QTest::newRow("cut short") << "\\itap1{}\\tx{\\cell}\\par}\\cell"_ba << QStringList { u"0"_s };
}

void tst_RtfTables::cellParagraphsKeepTheirWords()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QStringList, stops);
    const auto stopsOf = [](const QTextDocument &doc) {
        QStringList cells;
        const QTextTable *table = tablesOf(doc).value(0);
        for (int cell = 0; table && cell < table->rows() * table->columns(); ++cell) {
            const QTextTableCell c = table->cellAt(cell / table->columns(), cell % table->columns());
            QStringList paragraphs;
            for (QTextFrame::iterator it = c.begin(); !it.atEnd(); ++it) {
                QStringList twips;
                for (const TabStops::Stop &stop : TabStops::of(it.currentBlock().blockFormat()))
                    twips += QString::number(stop.twips);
                paragraphs += twips.join(u',');
            }
            cells += paragraphs.join(u' ');
        }
        return cells;
    };
    QTextDocument doc;
    read(doc, "{\\rtf1 "_ba + rtf + "\\pard after\\par}"_ba);
    QCOMPARE(stopsOf(doc), stops);
    const QByteArray rtfWritten = written(doc);
    const QByteArray table = rtfWritten.mid(rtfWritten.indexOf("\\trowd"));
    qsizetype stated = 0;
    for (const QString &cell : stops)
        stated += cell.isEmpty() ? 0 : 1;
    QCOMPARE(table.count("\\tx"), stated);
    QTextDocument again;
    read(again, rtfWritten);
    QCOMPARE(stopsOf(again), stops);
    QCOMPARE(written(again), rtfWritten);
}

// A logo alone in a cell: the picture comes before any text would have opened the cell.
void tst_RtfTables::pictureFirstInACellStaysInIt()
{
    QTextDocument doc;
    read(doc, "{\\rtf1 \\trowd\\cellx1000\\cellx2000\\pard\\intbl {\\pict\\pngblip 89504e}\\cell b\\cell\\row}"_ba);
    const QList<QTextTable *> tables = tablesOf(doc);
    QCOMPARE(tables.size(), 1);
    const QTextTableCell first = tables.first()->cellAt(0, 0);
    QCOMPARE(doc.toPlainText().mid(first.firstPosition(), 1), QString(QChar::ObjectReplacementCharacter));
}

void tst_RtfTables::columnsAreCapped()
{
    QByteArray rtf = "{\\rtf1 \\trowd";
    for (int i = 1; i <= 100; ++i)
        rtf += "\\cellx" + QByteArray::number(i * 100);
    rtf += "\\intbl";
    for (int i = 1; i <= 100; ++i)
        rtf += " c" + QByteArray::number(i) + "\\cell";
    rtf += "\\row}";
    QTextDocument doc;
    read(doc, rtf);
    const QList<QTextTable *> tables = tablesOf(doc);
    QCOMPARE(tables.size(), 1);
    QCOMPARE(tables[0]->columns(), TableCells::MaxColumns);
    QVERIFY(cellText(*tables[0], 0, TableCells::MaxColumns - 1).endsWith(u"c100"_s));
    QVERIFY(PlainText::documentText(doc).contains(u"c64"_s));
}

void tst_RtfTables::textSaveSeparatesCellsByTabs()
{
    QTextDocument doc;
    read(doc, fixture(u"table-odfstyle.rtf"_s));
    QCOMPARE(PlainText::documentText(doc),
             u"Price list\r\nApples\t120\r\nPears\r\ntwo kinds\t95\r\nThank you."_s);
    QTextDocument abi;
    read(abi, fixture(u"table-abistyle.rtf"_s));
    QCOMPARE(PlainText::write(abi), "Top\r\nx1\ty1\r\nx2\ty2\r\nBottom"_ba);
}

void tst_RtfTables::emptyParagraphsAroundTablesKeepTheirFormat()
{
    // The empty paragraph after a table is in the file's face at its default size, as the text
    // after it: written back, it states no size or face of its own that the text would then
    // have to undo.
    QTextDocument doc;
    read(doc, "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Helvetica;}}{\\pard\\f0 before\\par}\n"
              "\\trowd\\cellx2000\\pard\\intbl a\\cell\\row\n{\\pard\\f0 \\par}{\\pard\\f0 after\\par}}"_ba);
    const QTextBlock empty = doc.findBlock(int(doc.toPlainText().indexOf(u"after"_s))).previous();
    QVERIFY(empty.isValid() && empty.length() == 1 && !QTextCursor(empty).currentTable());
    QCOMPARE(empty.charFormat().fontFamilies().toStringList().value(0), u"Helvetica"_s);
    const QByteArray saved = written(doc);
    QVERIFY2(!saved.contains("\\fs"), saved.constData());
    QTextDocument back;
    read(back, saved);
    QCOMPARE(back.toPlainText(), doc.toPlainText());

    // An empty cell, whose mark holds the cell's format: nothing is stated for it either.
    QTextDocument cells;
    read(cells, "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Helvetica;}}\\f0 before\\par\\trowd\\cellx2000\\cellx4000"
                "\\pard\\intbl\\f0 \\cell\\pard\\intbl\\f0 b\\cell\\row\\pard\\f0 after\\par}"_ba);
    const QByteArray cellsSaved = written(cells);
    QVERIFY2(!cellsSaved.contains("\\fs"), cellsSaved.constData());
}

void tst_RtfTables::positionsCountACellEndAsALineEnd()
{
    QTextDocument doc;
    read(doc, fixture(u"table-abistyle.rtf"_s));
    TextPositionIndex index(&doc);
    // "Top" CR LF "x1" CR LF "y1" CR LF "x2" CR LF "y2" CR LF "Bottom"
    QCOMPARE(index.byteLength(), 3 + 2 + 2 + 2 + 2 + 2 + 2 + 2 + 2 + 2 + 6);
    const int y1 = int(doc.toPlainText().indexOf(u"y1"_s));
    QCOMPARE(index.bytePosition(y1), 3 + 2 + 2 + 2);
    QCOMPARE(index.documentPosition(9), y1);
    const int bottom = int(doc.toPlainText().indexOf(u"Bottom"_s));
    QCOMPARE(index.bytePosition(bottom), 3 + 4 * 4 + 2);
    // Typing into a cell follows in the index as anywhere else.
    QTextCursor c(&doc);
    c.setPosition(y1);
    c.insertText(u"表"_s);
    QCOMPARE(index.bytePosition(bottom + 1), 3 + 4 * 4 + 2 + 2);
    QCOMPARE(index.byteLength(), 3 + 2 + 2 + 2 + 2 + 2 + 2 + 2 + 2 + 2 + 6 + 2);
}

void tst_RtfTables::lookAheadCountsRows_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("fieldCloses");
    QTest::newRow("two rows") << "a\\cell b\\cell\\row\\intbl c\\cell d\\cell\\row\\pard after\\par"_ba << 2 << 2 << 0;
    QTest::newRow("stops at text outside") << "a\\cell\\row\\pard x\\intbl b\\cell\\row"_ba << 1 << 1 << 0;
    QTest::newRow("other layout") << "a\\cell\\row\\intbl b\\cell c\\cell\\row"_ba << 1 << 1 << 0;
    QTest::newRow("skipped groups")
        << "a\\cell{\\*\\bkmkstart x}{\\pict 0a0b}\\row\\pard\\intbl b\\cell\\row"_ba << 2 << 1 << 0;
    QTest::newRow("nested") << "a\\nestcell b\\nestcell\\nestrow\\cell\\row"_ba << 1 << 1 << 0;
    QTest::newRow("truncated") << "a\\cell b"_ba << 1 << 1 << 0;
    // The reader keeps a field that opens in a field whole, \cell and all.
    QTest::newRow("field in the field under way") << "a{\\field\\cell}}}\\cell\\row"_ba << 1 << 1 << 2;
    QTest::newRow("field in a field opened ahead")
        << "a\\cell{\\field{\\*\\fldinst A}{\\fldrslt b{\n\\*\\field\\cell}}}\\cell\\row"_ba << 1 << 2 << 0;
    QTest::newRow("field after the field under way") << "a}}{\\field\\cell}\\cell\\row"_ba << 1 << 2 << 2;
    QTest::newRow("field after text in a field") << "a{b\\field\\cell}}\\cell\\row"_ba << 1 << 2 << 1;
    // Groups are skipped as the reader skips them: from an unknown word after \* on, not for
    // a known one.
    QTest::newRow("known word after a star") << "a{\\*\\b b\\cell}\\cell\\row"_ba << 1 << 2 << 0;
    QTest::newRow("unknown word after text") << "a{b\\*\\foo c\\cell}\\cell\\row"_ba << 1 << 1 << 0;
}

void tst_RtfTables::lookAheadCountsRows()
{
    QFETCH(QByteArray, data);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(int, fieldCloses);
    int found = 0;
    QCOMPARE(RtfTableReader::countRows({ data, fieldCloses }, &found), rows);
    QCOMPARE(found, columns);
}

void tst_RtfTables::longTableReadsInLinearTime()
{
    // Each row costs the same however many came before: 20,000 rows read well within the
    // suite's time, and every row lands in one table.
    QByteArray rtf = "{\\rtf1 \\trowd\\cellx2000\\cellx4000 ";
    for (int i = 0; i < 20000; ++i)
        rtf += "\\pard\\intbl r" + QByteArray::number(i) + "\\cell x\\cell\\row\n";
    rtf += "\\pard end\\par}";
    QTextDocument doc;
    read(doc, rtf);
    const QList<QTextTable *> tables = tablesOf(doc);
    QCOMPARE(tables.size(), 1);
    QCOMPARE(tables[0]->rows(), 20000);
    QCOMPARE(cellText(*tables[0], 19999, 0), u"r19999"_s);
    QCOMPARE(TableCells::boxOf(*tables[0], 19999, 1).rightTwips, 4000);
}

void tst_RtfTables::listTextItemsAreParagraphs_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QStringList>("paragraphs");
    QTest::addColumn<QList<bool>>("bullets");
    QTest::newRow("sample") << fixture(u"listtext-items.rtf"_s)
                            << QStringList { u"Shopping:"_s, u"milk"_s, u"bread and butter"_s, u"eggs"_s,
                                             u"That is all."_s }
                            << QList<bool> { false, true, true, true, false };
    QTest::newRow("no list table, marker only")
        << "{\\rtf1 {\\listtext\\pard\\plain \\u8226 ?\\tab one\\par}{\\listtext\\pard\\plain \\u8226 ?\\tab two\\par}"
           "\\pard next\\par}"_ba
        << QStringList { u"one"_s, u"two"_s, u"next"_s } << QList<bool> { true, true, false };
    QTest::newRow("numbered is a list")
        << "{\\rtf1 {\\listtext\\pard\\plain 1.\\tab one\\par}{\\listtext\\pard\\plain 2.\\tab two\\par}\\pard x\\par}"_ba
        << QStringList { u"one"_s, u"two"_s, u"x"_s } << QList<bool> { true, true, false };
    QTest::newRow("text without par") << "{\\rtf1 \\pard{\\pntext \\u8226 ?\\tab item}\\par next\\par}"_ba
                                      << QStringList { u"item"_s, u"next"_s } << QList<bool> { true, false };
    QTest::newRow("plain marker unchanged")
        << "{\\rtf1 {\\*\\listtable{\\list{\\listlevel\\levelnfc23}\\listid5}}{\\*\\listoverridetable{\\listoverride"
           "\\listid5\\ls1}}\\pard\\ls1{\\listtext \\u8226 ?\\tab}item\\par\\pard next\\par}"_ba
        << QStringList { u"item"_s, u"next"_s } << QList<bool> { true, false };
}

void tst_RtfTables::listTextItemsAreParagraphs()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QStringList, paragraphs);
    QFETCH(QList<bool>, bullets);
    QTextDocument doc;
    read(doc, rtf);
    QStringList texts;
    QList<bool> listed;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        texts += b.text();
        listed += b.textList() != nullptr;
    }
    QCOMPARE(texts, paragraphs);
    QCOMPARE(listed, bullets);
}

void tst_RtfTables::hostileTablesDoNotCrash_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::newRow("row without table") << "{\\rtf1 a\\row b\\par}"_ba;
    QTest::newRow("cell without row") << "{\\rtf1 \\cell\\cell\\cell}"_ba;
    QTest::newRow("huge numbers") << "{\\rtf1 \\trowd\\trgaph99999999999\\trleft-99999999999\\clbrdrt\\brdrs"
                                     "\\brdrw99999999\\cellx-2147483648\\cellx99999999999\\intbl a\\cell b\\cell\\row}"_ba;
    QTest::newRow("rows only") << "{\\rtf1 \\intbl\\row\\row\\row\\row x}"_ba;
    QTest::newRow("intbl in groups") << "{\\rtf1 {\\intbl a\\cell}{\\intbl b}\\row c{\\intbl d\\par}e\\cell\\row}"_ba;
    QTest::newRow("truncated in a cell") << "{\\rtf1 \\trowd\\cellx100\\intbl a\\par b"_ba;
    QTest::newRow("listtext in a cell") << "{\\rtf1 \\intbl{\\listtext \\u8226 ?\\tab a\\par}b\\cell\\row}"_ba;
    QTest::newRow("nest rows outside") << "{\\rtf1 \\nestrow\\nestcell a}"_ba;
    QTest::newRow("empty last paragraph of a cell") << "{\\rtf1 \\intbl x\\par\\cell\\row\\pard y\\par}"_ba;
    QTest::newRow("empty bulleted paragraph ends a cell")
        << "{\\rtf1 \\intbl x\\par\\pard{\\*\\pn\\pnlvlblt}\\intbl{\\pntext \\'b7\\tab}\\cell\\row\\pard\\par}"_ba;
    QTest::newRow("page break before a cell without intbl") << "{\\rtf1 \\pagebb\\cell"_ba;
}

void tst_RtfTables::hostileTablesDoNotCrash()
{
    QFETCH(QByteArray, rtf);
    QTextDocument doc;
    read(doc, rtf);
    // What was read writes and reads back with its text.
    QTextDocument again;
    read(again, written(doc));
    QCOMPARE(PlainText::documentText(again), PlainText::documentText(doc));
    QCOMPARE(again.toPlainText(), doc.toPlainText());
    QCOMPARE(written(again), written(doc));
}

void tst_RtfTables::pageBreaksGoWhereParagraphsLand_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("breaks"); // for each paragraph, whether a page starts before it
    QTest::newRow("cell without intbl") << "{\\rtf1 a\\par\\pagebb b\\cell\\row\\pard z\\par}"_ba << u"0100"_s;
    QTest::newRow("intbl after the text") << "{\\rtf1 a\\par\\pagebb x\\intbl\\par y\\cell\\row\\pard z\\par}"_ba
                                          << u"01000"_s;
}

void tst_RtfTables::pageBreaksGoWhereParagraphsLand()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, breaks);
    QTextDocument doc;
    read(doc, rtf);
    QString found;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        found += block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore ? u'1' : u'0';
    QCOMPARE(found, breaks);
    QTextDocument again;
    read(again, written(doc));
    QCOMPARE(written(again), written(doc));
}

QTEST_MAIN(tst_RtfTables)
#include "tst_rtftables.moc"
