#include "document/editordocumentlayout.h"
#include "document/formatrange.h"
#include "document/richdocument.h"
#include "document/richedit.h"
#include "document/textpositionindex.h"
#include "document/rtf/rtfreader.h"
#include "document/tablecells.h"
#include "document/textformats.h"

#include <QApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

using namespace Qt::StringLiterals;

namespace {

// A document read from RTF and laid out by the editor's layout, 600 pixels wide.
struct Laid {
    QTextDocument doc;
    EditorDocumentLayout *layout = nullptr;
    explicit Laid(const QByteArray &rtf)
    {
        layout = new EditorDocumentLayout(&doc);
        doc.setDocumentLayout(layout);
        RtfReader::read(rtf, doc, CharFormat {});
        doc.setTextWidth(600);
    }
    QTextTable *table() const { return qobject_cast<QTextTable *>(doc.rootFrame()->childFrames().value(0)); }
    QRectF cellRect(int row, int column) const
    {
        return layout->blockBoundingRect(doc.findBlock(table()->cellAt(row, column).firstPosition()));
    }
};

QByteArray twoByTwo(const QByteArray &tallCell)
{
    return "{\\rtf1 \\pard before\\par\\trowd\\trgaph100\\trleft0\\clbrdrt\\brdrs\\brdrw20\\clbrdrl\\brdrs\\brdrw20"
           "\\clbrdrb\\brdrs\\brdrw20\\clbrdrr\\brdrs\\brdrw20\\cellx3000\\cellx6000\\pard\\intbl a1\\cell "
           + tallCell + "\\cell\\row\\pard\\intbl a2\\cell b2\\cell\\row\\pard after\\par}";
}

// A row whose first cell holds `paragraphs` paragraphs "p0", "p1", ..., its second "second".
QByteArray crowdedRow(int paragraphs)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 IPAGothic;}}\\pard\\f0\\fs24 before\\par\\trowd\\trgaph100"
                     "\\clbrdrl\\brdrs\\brdrw10\\cellx3000\\cellx6000\\pard\\intbl ";
    for (int i = 0; i < paragraphs; ++i)
        rtf += "p" + QByteArray::number(i) + (i + 1 < paragraphs ? "\\par " : "\\cell ");
    return rtf + "second\\cell\\row\\pard after\\par}";
}

// Dark pixels in a rectangle of an image.
int inkIn(const QImage &image, const QRect &rect)
{
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom() && y < image.height(); ++y) {
        for (int x = rect.left(); x <= rect.right() && x < image.width(); ++x)
            ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    }
    return ink;
}

} // namespace

class tst_TableLayout : public QObject {
    Q_OBJECT
private slots:
    void cellsStandSideBySide();
    void rowIsAsTallAsItsTallestCell();
    void hitTestFindsTheCellUnderThePoint();
    void typingInACellMovesOnlyWhatFollows();
    void bordersAreDrawn();
    void manyRowsLayOutAndScroll();
    void rowsFollowEachOtherWithoutGaps_data();
    void rowsFollowEachOtherWithoutGaps();
    void pagesBreakBetweenRows();
    void crowdedRowIsShownAndClicked_data();
    void crowdedRowIsShownAndClicked();
    void crowdedRowIsPrinted();
};

void tst_TableLayout::cellsStandSideBySide()
{
    Laid l(twoByTwo("b1"));
    const QRectF a1 = l.cellRect(0, 0);
    const QRectF b1 = l.cellRect(0, 1);
    const QRectF a2 = l.cellRect(1, 0);
    QCOMPARE(a1.top(), b1.top());
    // Cell edges at 3000 twips (200 pixels at 96 to the inch), text after the 100-twip gap.
    QVERIFY2(b1.left() > a1.left() + 190, qPrintable(u"%1 %2"_s.arg(a1.left()).arg(b1.left())));
    QVERIFY(a2.top() >= a1.bottom());
    const QRectF before = l.layout->blockBoundingRect(l.doc.begin());
    const QRectF after = l.layout->blockBoundingRect(l.doc.lastBlock());
    QVERIFY(a1.top() >= before.bottom());
    QVERIFY(after.top() >= a2.bottom());
    QCOMPARE(l.layout->documentSize().height() > after.bottom(), true);
}

void tst_TableLayout::rowIsAsTallAsItsTallestCell()
{
    Laid shortRow(twoByTwo("b1"));
    Laid tallRow(twoByTwo("b1\\par more\\par and more"));
    const qreal shortGap = shortRow.cellRect(1, 0).top() - shortRow.cellRect(0, 0).top();
    const qreal tallGap = tallRow.cellRect(1, 0).top() - tallRow.cellRect(0, 0).top();
    const qreal line = shortRow.cellRect(0, 0).height();
    QVERIFY2(tallGap >= shortGap + 1.8 * line, qPrintable(u"%1 %2 %3"_s.arg(shortGap).arg(tallGap).arg(line)));
    // The second row's cells start together, below the tallest.
    QCOMPARE(tallRow.cellRect(1, 0).top(), tallRow.cellRect(1, 1).top());
}

void tst_TableLayout::hitTestFindsTheCellUnderThePoint()
{
    Laid l(twoByTwo("b1\\par second"));
    QTextTable *table = l.table();
    const QRectF b1 = l.cellRect(0, 1);
    const int inB1 = l.layout->hitTest(b1.center(), Qt::FuzzyHit);
    QCOMPARE(table->cellAt(inB1).column(), 1);
    QCOMPARE(table->cellAt(inB1).row(), 0);
    // Below b1's first paragraph: its second one, still in the cell.
    const int below = l.layout->hitTest(QPointF(b1.left() + 2, b1.bottom() + 3), Qt::FuzzyHit);
    QCOMPARE(table->cellAt(below).column(), 1);
    QCOMPARE(l.doc.findBlock(below).text(), u"second"_s);
    // Left of a2, in the first column.
    const QRectF a2 = l.cellRect(1, 0);
    const int inA2 = l.layout->hitTest(QPointF(a2.left() + 1, a2.center().y()), Qt::FuzzyHit);
    QCOMPARE(table->cellAt(inA2).row(), 1);
    QCOMPARE(table->cellAt(inA2).column(), 0);
}

void tst_TableLayout::typingInACellMovesOnlyWhatFollows()
{
    Laid l(twoByTwo("b1"));
    const QRectF a2Before = l.cellRect(1, 0);
    const QRectF a1Before = l.cellRect(0, 0);
    // Text that wraps in the narrow cell makes its row taller.
    QTextCursor c(&l.doc);
    c.setPosition(l.table()->cellAt(0, 1).firstPosition());
    c.insertText(QString(60, u'x') + u' ' + QString(60, u'y'));
    QCOMPARE(l.cellRect(0, 0), a1Before);
    QVERIFY(l.cellRect(1, 0).top() > a2Before.top());
    QCOMPARE(l.cellRect(1, 0).top(), l.cellRect(1, 1).top());
    // And it reads the same as a layout made from scratch.
    Laid fresh(twoByTwo("b1"));
    QTextCursor f(&fresh.doc);
    f.setPosition(fresh.table()->cellAt(0, 1).firstPosition());
    f.insertText(QString(60, u'x') + u' ' + QString(60, u'y'));
    fresh.doc.setTextWidth(601);
    fresh.doc.setTextWidth(600);
    QCOMPARE(l.cellRect(1, 1), fresh.cellRect(1, 1));
    QCOMPARE(l.layout->documentSize(), fresh.layout->documentSize());
}

void tst_TableLayout::bordersAreDrawn()
{
    Laid l(twoByTwo("b1"));
    const QSizeF size = l.layout->documentSize();
    QImage image(size.toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, Qt::black);
        l.layout->draw(&painter, context);
    }
    // The border between the two columns, at 200 pixels from the frame's content left, is a
    // dark vertical line through the first row.
    const QRectF a1 = l.cellRect(0, 0);
    const QRectF b1 = l.cellRect(0, 1);
    const int y = int(a1.center().y());
    int dark = 0;
    for (int x = int(a1.right()); x < int(b1.left()); ++x)
        dark += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
    QVERIFY2(dark > 0, "no border between the cells");
    // And a horizontal line above the first row.
    int darkAbove = 0;
    for (int dy = 1; dy < 8; ++dy)
        darkAbove += qGray(image.pixel(int(a1.center().x()), int(a1.top()) - dy)) < 100 ? 1 : 0;
    QVERIFY2(darkAbove > 0, "no border above the row");
}

void tst_TableLayout::manyRowsLayOutAndScroll()
{
    QByteArray rtf = "{\\rtf1 \\trowd\\cellx2000\\cellx4000\\cellx6000 ";
    for (int i = 0; i < 200; ++i)
        rtf += "\\pard\\intbl r" + QByteArray::number(i) + "\\cell b\\cell c\\cell\\row\n";
    rtf += "\\pard end\\par}";
    Laid l(rtf);
    l.layout->layOutAll();
    const QRectF last = l.cellRect(199, 2);
    const QRectF first = l.cellRect(0, 2);
    QVERIFY(last.top() > first.top() + 199 * first.height() - 1);
    // A hit far down lands in the row drawn there.
    const int hit = l.layout->hitTest(QPointF(l.cellRect(150, 0).left() + 1, l.cellRect(150, 0).center().y()),
                                      Qt::FuzzyHit);
    QCOMPARE(l.table()->cellAt(hit).row(), 150);
    // Display lines: one per cell paragraph, and the paragraphs around.
    QCOMPARE(l.layout->lineCount(), 200 * 3 + 2);
}

void tst_TableLayout::rowsFollowEachOtherWithoutGaps_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("paragraphsBefore");
    // The first paragraphs are laid out at once; a row across their end is the case.
    QTest::newRow("3 columns") << 3 << 1;
    QTest::newRow("5 columns") << 5 << 1;
    QTest::newRow("5 columns, a row ending with them") << 5 << 2;
    QTest::newRow("7 columns, none before") << 7 << 0;
}

void tst_TableLayout::rowsFollowEachOtherWithoutGaps()
{
    QFETCH(int, columns);
    QFETCH(int, paragraphsBefore);
    QByteArray rtf = "{\\rtf1 ";
    for (int i = 0; i < paragraphsBefore; ++i)
        rtf += "\\pard before\\par ";
    rtf += "\\trowd";
    for (int c = 1; c <= columns; ++c)
        rtf += "\\cellx" + QByteArray::number(c * 1000);
    for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < columns; ++c)
            rtf += "\\pard\\intbl r" + QByteArray::number(r) + "\\cell ";
        rtf += "\\row\n";
    }
    rtf += "\\pard end\\par}";
    Laid l(rtf);
    // Each row asked for in turn, as the pages ask: no row laid out beforehand.
    QRectF previous = l.layout->tableRowRect(l.doc.findBlock(l.table()->cellAt(0, 0).firstPosition()));
    for (int r = 1; r < 20; ++r) {
        const QRectF row = l.layout->tableRowRect(l.doc.findBlock(l.table()->cellAt(r, 0).firstPosition()));
        QVERIFY2(qAbs(row.top() - previous.bottom()) < 0.01,
                 qPrintable(u"row %1 at %2, the one above ends at %3"_s.arg(r).arg(row.top()).arg(previous.bottom())));
        previous = row;
    }
}

void tst_TableLayout::pagesBreakBetweenRows()
{
    // 120 rows, every seventh three paragraphs tall, and one row taller than a page.
    QByteArray rtf = "{\\rtf1 \\pard intro\\par\\trowd\\clbrdrb\\brdrs\\cellx3000\\cellx6000 ";
    for (int i = 0; i < 120; ++i) {
        rtf += "\\pard\\intbl row" + QByteArray::number(i) + "\\cell ";
        if (i % 7 == 3)
            rtf += "one\\par two\\par three";
        if (i == 60) {
            for (int k = 0; k < 90; ++k)
                rtf += "long\\par ";
        }
        rtf += "\\cell\\row\n";
    }
    rtf += "\\pard end\\par}";
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load(rtf, StreamFormat::Rtf, QTextCharFormat());
    QTextTable *table = qobject_cast<QTextTable *>(doc.rootFrame()->childFrames().value(0));
    QVERIFY(table);
    QCOMPARE(table->rows(), 120);
    QImage page(794, 1123, QImage::Format_RGB32); // A4 at 96 to the inch
    page.setDotsPerMeterX(3780);
    page.setDotsPerMeterY(3780);
    TextPositionIndex positions(&doc);
    QList<int> startRows;
    QStringList continuations;
    const qint64 length = rich.textLength();
    int pages = 0;
    for (qint64 start = 0; start < length && pages < 100; ++pages) {
        page.fill(Qt::white);
        QPainter painter(&page);
        FormatRange request;
        request.painter = &painter;
        request.rectTwips = QRect(1440, 1440, 11906 - 2880, 16838 - 2880);
        request.pageTwips = QRect(0, 0, 11906, 16838);
        request.first = start;
        request.atLeastOneLine = true;
        const qint64 next = rich.formatRange(request);
        QVERIFY2(next > start, "no progress");
        const int position = positions.documentPosition(next);
        if (next < length) {
            // Every page but the first starts at a row's first cell (or after the table).
            const QTextTableCell cell = table->cellAt(position);
            if (cell.isValid() && cell.row() == 60 && position != table->cellAt(60, 0).firstPosition()) {
                // Inside the row taller than a page: at the start of one of its lines.
                continuations += doc.findBlock(position).text();
                QCOMPARE(doc.findBlock(position).position(), position);
            } else if (cell.isValid()) {
                QCOMPARE(cell.column(), 0);
                QCOMPARE(position, cell.firstPosition());
                startRows += cell.row();
            }
        }
        start = next;
    }
    rich.releaseFormatRange();
    QVERIFY2(startRows.size() >= 3, qPrintable(QString::number(startRows.size())));
    // The row taller than a page starts a page of its own and goes on on the next pages, from
    // the line that did not fit: none of its 90 lines is lost.
    QVERIFY(startRows.contains(60));
    QVERIFY(!continuations.isEmpty());
    QVERIFY(continuations.size() <= 2);
    for (const QString &text : continuations)
        QCOMPARE(text, u"long"_s);
}

void tst_TableLayout::crowdedRowIsShownAndClicked_data()
{
    // More paragraphs in one row than the layout keeps the lines of.
    QTest::addColumn<int>("paragraphs");
    QTest::newRow("1,000") << 1000;
    QTest::newRow("1,024") << 1024;
    QTest::newRow("3,000") << 3000;
}

void tst_TableLayout::crowdedRowIsShownAndClicked()
{
    QFETCH(int, paragraphs);
    QWidget window;
    auto *edit = new RichEdit(&window);
    edit->resize(640, 420);
    window.resize(640, 420);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    edit->load(crowdedRow(paragraphs));
    QTextDocument *doc = edit->document();
    QTextTable *table = qobject_cast<QTextTable *>(doc->rootFrame()->childFrames().value(0));
    QVERIFY(table);
    const QTextBlock third = doc->findBlock(table->cellAt(0, 0).firstPosition()).next().next();
    QCOMPARE(third.text(), u"p2"_s);
    QWidget *view = edit->viewport();
    // The cells' text is drawn: the first cell's paragraphs and the second cell's one.
    const QRectF rect = doc->documentLayout()->blockBoundingRect(third);
    QVERIFY(rect.height() > 0);
    const QRect onScreen = rect.toAlignedRect().translated(0, -edit->verticalScrollBar()->value());
    QTRY_VERIFY(inkIn(view->grab().toImage(), onScreen) > 5);
    // A click on "p2" puts the caret there.
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(onScreen.left() + 2, onScreen.center().y()));
    QTRY_COMPARE(edit->textCursor().block().text(), u"p2"_s);
    // And one on the second cell's text.
    const QTextBlock second = doc->findBlock(table->cellAt(0, 1).firstPosition());
    const QRect secondRect = doc->documentLayout()->blockBoundingRect(second).toAlignedRect().translated(
        0, -edit->verticalScrollBar()->value());
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(secondRect.left() + 2, secondRect.center().y()));
    QTRY_COMPARE(edit->textCursor().block().text(), u"second"_s);
}

void tst_TableLayout::crowdedRowIsPrinted()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("poppler-utils are not installed");
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load(crowdedRow(1100), StreamFormat::Rtf, QTextCharFormat());
    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"row.pdf"_s);
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        QPainter painter(&writer);
        const qint64 length = rich.textLength();
        int pages = 0;
        for (qint64 start = 0; start < length; ++pages) {
            QVERIFY(pages < 100);
            if (pages > 0)
                writer.newPage();
            FormatRange request;
            request.painter = &painter;
            request.rectTwips = QRect(1440, 1440, 11906 - 2880, 16838 - 2880);
            request.pageTwips = QRect(0, 0, 11906, 16838);
            request.first = start;
            request.atLeastOneLine = true;
            const qint64 next = rich.formatRange(request);
            QVERIFY2(next > start, "no progress");
            start = next;
        }
        rich.releaseFormatRange();
    }
    QProcess text;
    text.start(u"pdftotext"_s, { u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s });
    QVERIFY(text.waitForFinished(60000));
    const QStringList words
        = QString::fromUtf8(text.readAllStandardOutput()).split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts);
    // Every paragraph once, in order, between the text before the table and after it.
    QStringList expected { u"before"_s };
    for (int i = 0; i < 1100; ++i)
        expected += u"p%1"_s.arg(i);
    QCOMPARE(words.count(u"second"_s), 1);
    QStringList found = words;
    found.removeAll(u"second"_s);
    expected += u"after"_s;
    QCOMPARE(found, expected);
}

QTEST_MAIN(tst_TableLayout)
#include "tst_tablelayout.moc"
