#include "document/plaintext.h"
#include "document/rtf/rtfcellmerges.h"
#include "document/rtf/rtfreader.h"
#include "document/rtf/rtfwriter.h"
#include "document/tablecells.h"
#include "document/textformats.h"

#include <QRegularExpression>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

using namespace Qt::StringLiterals;

namespace {

// A row: each cell as "words|text", the words before its \cellx.
QByteArray row(const QList<QByteArray> &cells, int widthTwips = 1500)
{
    QByteArray definition = "\\trowd\\trgaph108";
    QByteArray text = "\\pard\\intbl ";
    int right = 0;
    for (const QByteArray &cell : cells) {
        const QList<QByteArray> parts = cell.split('|');
        right += widthTwips;
        definition += parts.value(0) + "\\cellx" + QByteArray::number(right);
        text += parts.value(1) + "\\cell ";
    }
    return definition + "\n" + text + "\\row\n";
}

QByteArray document(const QByteArray &rows)
{
    return "{\\rtf1\\ansi{\\colortbl;\\red255\\green0\\blue0;}\n" + rows + "\\pard after\\par}";
}

QTextTable *firstTable(const QTextDocument &doc)
{
    for (QTextFrame *frame : doc.rootFrame()->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(frame))
            return table;
    }
    return nullptr;
}

QString textOf(const QTextTableCell &cell)
{
    QTextCursor c = cell.firstCursorPosition();
    c.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
    return c.selectedText().replace(QChar::ParagraphSeparator, u'|');
}

// Each cell where it begins: "row,column RxC text" (the span only where it is more than one).
QStringList cellsOf(const QTextTable &table)
{
    QStringList cells;
    for (int r = 0; r < table.rows(); ++r) {
        for (int c = 0; c < table.columns(); ++c) {
            const QTextTableCell cell = table.cellAt(r, c);
            if (cell.row() != r || cell.column() != c)
                continue;
            QString entry = u"%1,%2 "_s.arg(r).arg(c);
            if (cell.rowSpan() > 1 || cell.columnSpan() > 1)
                entry += u"%1x%2 "_s.arg(cell.rowSpan()).arg(cell.columnSpan());
            cells += entry + textOf(cell);
        }
    }
    return cells;
}

// The \cellx and merge words of each row definition in written RTF, one string per row.
QStringList definitionsOf(const QByteArray &rtf)
{
    QStringList rows;
    static const QRegularExpression words(u"\\\\(clv?m(?:gf|rg)|cellx-?\\d+)"_s);
    for (const QByteArray &part : rtf.split('\n')) {
        if (!part.contains("\\trowd"))
            continue;
        QStringList found;
        for (auto it = words.globalMatch(QString::fromLatin1(part)); it.hasNext();)
            found += it.next().captured(1);
        rows += found.join(u' ');
    }
    return rows;
}

bool read(QTextDocument &doc, const QByteArray &rtf)
{
    return RtfReader::read(rtf, doc, CharFormat {});
}

QByteArray written(const QTextDocument &doc)
{
    return RtfWriter::write(doc, CharFormat {}, Qt::black);
}

} // namespace

class tst_RtfMergedCells : public QObject {
    Q_OBJECT
private slots:
    void mergedCellsReadAndWriteBack_data();
    void mergedCellsReadAndWriteBack();
    void cellWordsStayOnMergedCells();
    void plainTextEndsRowsAtTheirLastCell();
    void longVerticalMergeIsOneCell();
    void mergesAreCappedPerTable();
};

void tst_RtfMergedCells::mergedCellsReadAndWriteBack_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QStringList>("cells");
    // The written row definitions; empty: as the input's.
    QTest::addColumn<QStringList>("definitions");
    QTest::newRow("vertical") << row({ "\\clvmgf|a", "|b" }) + row({ "\\clvmrg|", "|c" }) + row({ "\\clvmrg|", "|d" })
                              << QStringList { u"0,0 3x1 a"_s, u"0,1 b"_s, u"1,1 c"_s, u"2,1 d"_s } << QStringList();
    QTest::newRow("vertical at the end")
        << row({ "|a", "\\clvmgf|b" }) + row({ "|c", "\\clvmrg|" })
        << QStringList { u"0,0 a"_s, u"0,1 2x1 b"_s, u"1,0 c"_s } << QStringList();
    QTest::newRow("whole row continued")
        << row({ "\\clvmgf|a", "\\clvmgf|b" }) + row({ "\\clvmrg|", "\\clvmrg|" }) + row({ "|c", "|d" })
        << QStringList { u"0,0 2x1 a"_s, u"0,1 2x1 b"_s, u"2,0 c"_s, u"2,1 d"_s }
        << QStringList();
    QTest::newRow("horizontal") << row({ "\\clmgf|a", "\\clmrg|", "|b" }) + row({ "|c", "|d", "|e" })
                                << QStringList { u"0,0 1x2 a"_s, u"0,2 b"_s, u"1,0 c"_s, u"1,1 d"_s, u"1,2 e"_s }
                                << QStringList();
    QTest::newRow("block of four")
        << row({ "\\clvmgf\\clmgf|a", "\\clvmgf\\clmrg|", "|b" }) + row({ "\\clvmrg\\clmgf|", "\\clvmrg\\clmrg|", "|c" })
        << QStringList { u"0,0 2x2 a"_s, u"0,2 b"_s, u"1,2 c"_s } << QStringList();
    QTest::newRow("wider cell continued")
        << "\\trowd\\clvmgf\\cellx3000\\cellx4500\n\\pard\\intbl a\\cell b\\cell\\row\n"
           "\\trowd\\cellx1500\\cellx3000\\cellx4500\n\\pard\\intbl c\\cell d\\cell e\\cell\\row\n"
           "\\trowd\\clvmrg\\cellx3000\\cellx4500\n\\pard\\intbl\\cell f\\cell\\row\n"_ba
        << QStringList { u"0,0 1x2 a"_s, u"0,2 b"_s, u"1,0 c"_s, u"1,1 d"_s, u"1,2 e"_s, u"2,0 1x2 "_s, u"2,2 f"_s }
        << QStringList { u"cellx3000 cellx4500"_s, u"cellx1500 cellx3000 cellx4500"_s, u"cellx3000 cellx4500"_s };
    QTest::newRow("text in a continued cell is kept")
        << row({ "\\clvmgf|a", "|b" }) + row({ "\\clvmrg|late", "|c" })
        << QStringList { u"0,0 2x1 a|late"_s, u"0,1 b"_s, u"1,1 c"_s }
        << QStringList { u"clvmgf cellx1500 cellx3000"_s, u"clvmrg cellx1500 cellx3000"_s };
    // A group kept after a cell's end is read into the next cell: a continued cell gives it to
    // the cell before it instead of adding a paragraph to the merged cell.
    QTest::newRow("kept group before a continued cell")
        << row({ "|a", "\\clvmgf|b" }) + "\\trowd\\cellx1500\\clvmrg\\cellx3000\n\\pard\\intbl c\\cell{\\*\\abiendcell}\\cell\\row\n"_ba
        << QStringList { u"0,0 a"_s, u"0,1 2x1 b"_s, u"1,0 c\uFFFC"_s }
        << QStringList { u"cellx1500 clvmgf cellx3000"_s, u"cellx1500 clvmrg cellx3000"_s };
    // Marks without their first cell leave the cells on their own.
    QTest::newRow("continued with nothing above")
        << row({ "\\clvmrg|a", "|b" }) + row({ "\\clvmrg|c", "|d" })
        << QStringList { u"0,0 a"_s, u"0,1 b"_s, u"1,0 c"_s, u"1,1 d"_s }
        << QStringList { u"cellx1500 cellx3000"_s, u"cellx1500 cellx3000"_s };
    QTest::newRow("continued after a plain cell")
        << row({ "|a", "\\clmrg|b" }) << QStringList { u"0,0 a"_s, u"0,1 b"_s } << QStringList { u"cellx1500 cellx3000"_s };
    QTest::newRow("first at the row's end")
        << row({ "|a", "\\clmgf|b" }) << QStringList { u"0,0 a"_s, u"0,1 b"_s } << QStringList { u"cellx1500 cellx3000"_s };
    QTest::newRow("continued below into other columns")
        << row({ "\\clvmgf|a", "|b" }) + "\\trowd\\clvmrg\\cellx3000\n\\pard\\intbl c\\cell\\row\n"_ba
        << QStringList { u"0,0 a"_s, u"0,1 b"_s, u"1,0 1x2 c"_s }
        << QStringList { u"cellx1500 cellx3000"_s, u"cellx3000"_s };
    // Merged cells of no width, or with their edges out of order, are written as as many cells.
    QTest::newRow("merged cells of no width")
        << row({ "|c", "|d", "|e" }) + row({ "|a", "\\clmgf|b", "\\clmrg|" }, 0)
        << QStringList { u"0,0 c"_s, u"0,1 d"_s, u"0,2 e"_s, u"1,0 a"_s, u"1,1 1x2 b"_s } << QStringList();
    QTest::newRow("merged cells out of order")
        << "\\trowd\\cellx100\\clmgf\\cellx500\\clmrg\\cellx300\n\\pard\\intbl a\\cell b\\cell\\cell\\row\n"_ba
        << QStringList { u"0,0 a"_s, u"0,1 1x2 b"_s } << QStringList { u"cellx100 clmgf cellx300 clmrg cellx300"_s };
}

void tst_RtfMergedCells::mergedCellsReadAndWriteBack()
{
    QFETCH(QByteArray, rows);
    QFETCH(QStringList, cells);
    QFETCH(QStringList, definitions);
    QTextDocument doc;
    QVERIFY(read(doc, document(rows)));
    QTextTable *table = firstTable(doc);
    QVERIFY(table);
    QCOMPARE(cellsOf(*table), cells);

    // Written and read again: the same cells, each row defined as the input defined it.
    const QByteArray rtf = written(doc);
    if (definitions.isEmpty())
        definitions = definitionsOf(rows);
    QCOMPARE(definitionsOf(rtf), definitions);
    QTextDocument again;
    QVERIFY(read(again, rtf));
    QVERIFY(firstTable(again));
    QCOMPARE(cellsOf(*firstTable(again)), cells);
    QCOMPARE(again.toPlainText(), doc.toPlainText());
}

void tst_RtfMergedCells::cellWordsStayOnMergedCells()
{
    // Borders and shading on a merged cell read, draw from its format and write back on each of
    // the cells it was merged from.
    const QByteArray rows
        = "\\trowd\\trgaph80\\clvmgf\\clbrdrl\\brdrs\\brdrw30\\clcbpat1\\cellx2000\\cellx4000\n"
          "\\pard\\intbl a\\cell b\\cell\\row\n"
          "\\trowd\\trgaph80\\clvmrg\\clbrdrl\\brdrs\\brdrw30\\clcbpat1\\cellx2000\\cellx4000\n"
          "\\pard\\intbl\\cell c\\cell\\row\n"_ba;
    QTextDocument doc;
    QVERIFY(read(doc, document(rows)));
    QTextTable *table = firstTable(doc);
    QVERIFY(table);
    const QTextCharFormat format = table->cellAt(1, 0).format();
    QCOMPARE(table->cellAt(1, 0).row(), 0);
    QCOMPARE(format.intProperty(TableCells::Shading), int(qRgb(255, 0, 0)));
    const TableCells::CellBox box = TableCells::boxOf(*table, 1, 1);
    QCOMPARE(box.leftTwips, 2000);
    QCOMPARE(box.gapTwips, 80);
    QCOMPARE(TableCells::boxOf(*table, 1, 0).borders[1], 30);
    const QByteArray rtf = written(doc);
    QCOMPARE(rtf.count("\\clbrdrl\\brdrs\\brdrw30"), 2);
    QCOMPARE(rtf.count("\\clcbpat1"), 2);
    QCOMPARE(rtf.count("\\row "), 2);
    QCOMPARE(rtf.count("\\cell "), 4);
}

void tst_RtfMergedCells::plainTextEndsRowsAtTheirLastCell()
{
    // A row whose last column is continued from above ends at its last own cell.
    QTextDocument doc;
    QVERIFY(read(doc, document(row({ "|a", "\\clvmgf|b" }) + row({ "|c", "\\clvmrg|" }))));
    const QString text = PlainText::documentText(doc);
    QVERIFY2(text.contains(u"a\tb\r\nc\r\nafter"_s), qPrintable(text));
}

void tst_RtfMergedCells::longVerticalMergeIsOneCell()
{
    QByteArray rows = row({ "\\clvmgf|top", "|0" });
    const int count = 10000;
    for (int i = 1; i < count; ++i)
        rows += row({ "\\clvmrg|", "|" + QByteArray::number(i) });
    QTextDocument doc;
    QVERIFY(read(doc, document(rows)));
    QTextTable *table = firstTable(doc);
    QVERIFY(table);
    QCOMPARE(table->rows(), count);
    QCOMPARE(table->cellAt(count - 1, 0).row(), 0);
    QCOMPARE(table->cellAt(0, 0).rowSpan(), count);
    QCOMPARE(textOf(table->cellAt(count - 1, 1)), QString::number(count - 1));
    const QByteArray rtf = written(doc);
    QCOMPARE(rtf.count("\\clvmrg"), count - 1);
    QCOMPARE(rtf.count("\\row "), count);
}

void tst_RtfMergedCells::mergesAreCappedPerTable()
{
    // Each pair of rows merges its first column: past the cap the cells stay on their own, with
    // their text.
    const int pairs = int(RtfCellMerges::MaxMerges) + 50;
    QByteArray rows;
    for (int i = 0; i < pairs; ++i)
        rows += row({ "\\clvmgf|" + QByteArray::number(i), "|x" }) + row({ "\\clvmrg|", "|y" });
    QTextDocument doc;
    QVERIFY(read(doc, document(rows)));
    QTextTable *table = firstTable(doc);
    QVERIFY(table);
    QCOMPARE(table->rows(), 2 * pairs);
    int merged = 0;
    for (int r = 0; r < table->rows(); ++r)
        merged += table->cellAt(r, 0).rowSpan() > 1 && table->cellAt(r, 0).row() == r;
    QCOMPARE(merged, int(RtfCellMerges::MaxMerges));
    QCOMPARE(textOf(table->cellAt(2 * pairs - 2, 0)), QString::number(pairs - 1));
}

QTEST_MAIN(tst_RtfMergedCells)
#include "tst_rtfmergedcells.moc"
