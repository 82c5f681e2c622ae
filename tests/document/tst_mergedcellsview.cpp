// Merged table cells from other programs' RTF, through the main window and on paper: a merged
// cell shows and prints as one cell (no border inside it), the caret goes into it wherever it is
// clicked, typing goes into it, and the saved file keeps the merges.

#include "app/tpenform1.h"
#include "document/formatrange.h"
#include "document/richdocument.h"
#include "document/richedit.h"
#include "document/tablecells.h"

#include <QApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include "rtfwindow.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

const QByteArray Borders = "\\clbrdrt\\brdrs\\brdrw15\\clbrdrl\\brdrs\\brdrw15\\clbrdrb\\brdrs\\brdrw15"
                           "\\clbrdrr\\brdrs\\brdrw15"_ba;

// Three columns of 1500 twips, three rows: the first two cells of the first row merged
// (\clmgf, \clmrg), the first cell of the second and third rows merged (\clvmgf, \clvmrg).
QByteArray mergedTable()
{
    const QByteArray row = "\\trowd\\trgaph108\\trleft0";
    return "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 IPAGothic;}}\\pard\\plain\\f0\\fs20 "
           + row + "\\clmgf" + Borders + "\\cellx1500\\clmrg" + Borders + "\\cellx3000" + Borders + "\\cellx4500\n"
           + "\\pard\\intbl Hm\\cell\\cell c1\\cell\\row\n" + row + "\\clvmgf" + Borders + "\\cellx1500" + Borders
           + "\\cellx3000" + Borders + "\\cellx4500\n\\pard\\intbl Vm\\cell d1\\cell e1\\cell\\row\n" + row
           + "\\clvmrg" + Borders + "\\cellx1500" + Borders + "\\cellx3000" + Borders
           + "\\cellx4500\n\\pard\\intbl\\cell f1\\cell g1\\cell\\row\n\\pard after\\par}";
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
    return c.selectedText();
}

int inkIn(const QImage &image, const QRect &rect)
{
    int ink = 0;
    for (int y = qMax(0, rect.top()); y <= rect.bottom() && y < image.height(); ++y) {
        for (int x = qMax(0, rect.left()); x <= rect.right() && x < image.width(); ++x)
            ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    }
    return ink;
}

// Runs of ink down column x from y0 to y1: the lines crossed.
int linesDown(const QImage &image, int x, int y0, int y1)
{
    int lines = 0;
    bool inInk = false;
    for (int y = y0; y <= y1 && y < image.height(); ++y) {
        const bool ink = qGray(image.pixel(x, y)) < 128;
        lines += ink && !inInk;
        inInk = ink;
    }
    return lines;
}

} // namespace

class tst_MergedCellsView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void mergedCellsShowTakeTypingAndSave();
    void mergedCellsPrintOnce();

private:
    QRect caretAt(int position) const;
    int positionOf(const QString &text) const;
    void clickAndType(const QPoint &at, Qt::Key key);

    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

void tst_MergedCellsView::init()
{
    QVERIFY(RtfWindow::open(m_window));
}

void tst_MergedCellsView::cleanup()
{
    RtfWindow::close(m_window);
}

QRect tst_MergedCellsView::caretAt(int position) const
{
    QTextCursor at(m_window->RichEdit1->document());
    at.setPosition(position);
    return m_window->RichEdit1->cursorRect(at);
}

int tst_MergedCellsView::positionOf(const QString &text) const
{
    return int(m_window->RichEdit1->toPlainText().indexOf(text));
}

void tst_MergedCellsView::clickAndType(const QPoint &at, Qt::Key key)
{
    RichEdit *edit = m_window->RichEdit1;
    QTest::mouseClick(edit->viewport(), Qt::LeftButton, {}, at);
    QTest::keyClick(edit, key);
}

void tst_MergedCellsView::mergedCellsShowTakeTypingAndSave()
{
    const QString path = m_dir.filePath(u"merged.rtf"_s);
    TestFiles::write(path, mergedTable());
    m_window->OpenFile(path);
    RichEdit *edit = m_window->RichEdit1;
    edit->setFocus();
    QTextTable *table = firstTable(*edit->document());
    QVERIFY(table);
    QCOMPARE(table->cellAt(0, 1).column(), 0);
    QCOMPARE(table->cellAt(2, 0).row(), 1);

    const QImage shown = edit->viewport()->grab().toImage();
    const QRect h = caretAt(positionOf(u"Hm"_s));
    const QRect d = caretAt(positionOf(u"d1"_s));
    const QRect e = caretAt(positionOf(u"e1"_s));
    const QRect f = caretAt(positionOf(u"f1"_s));
    // The edge between the first two columns, and the one between the second and third rows.
    const int edge01 = d.left() - 7;
    const QRect edgeInFirstRow(edge01 - 3, h.center().y() - 2, 7, 5);
    const QRect edgeInSecondRow(edge01 - 3, d.center().y() - 2, 7, 5);
    QCOMPARE(inkIn(shown, edgeInFirstRow), 0);
    QVERIFY(inkIn(shown, edgeInSecondRow) > 0);
    const QRect rowEdgeInFirstColumn(edge01 - 60, d.bottom() + 1, 50, f.top() - d.bottom() - 1);
    const QRect rowEdgeInSecondColumn(e.left() - 60, d.bottom() + 1, 50, f.top() - d.bottom() - 1);
    QCOMPARE(inkIn(shown, rowEdgeInFirstColumn), 0);
    QVERIFY(inkIn(shown, rowEdgeInSecondColumn) > 0);

    // A click where the merged cells cover the second column, or the third row, puts the caret
    // into them; what is typed goes there.
    clickAndType(QPoint(edge01 + 40, h.center().y()), Qt::Key_W);
    clickAndType(QPoint(edge01 - 20, f.center().y()), Qt::Key_Z);
    QCOMPARE(textOf(table->cellAt(0, 0)), u"Hmw"_s);
    QCOMPARE(textOf(table->cellAt(1, 0)), u"Vmz"_s);

    // Tab and Shift+Tab go from cell to cell in the order of their texts, past the places the
    // merged cells cover.
    edit->setTextCursor(QTextCursor(table->cellAt(1, 2).firstCursorPosition()));
    QTest::keyClick(edit->viewport(), Qt::Key_Tab);
    QCOMPARE(edit->textCursor().selectedText(), u"f1"_s);
    QTest::keyClick(edit->viewport(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(edit->textCursor().selectedText(), u"e1"_s);
    edit->setTextCursor(QTextCursor(table->cellAt(0, 2).firstCursorPosition()));
    QTest::keyClick(edit->viewport(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(edit->textCursor().selectedText(), u"Hmw"_s);

    QApplication::setActiveWindow(m_window);
    QTRY_VERIFY(m_window->isActiveWindow());
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    QTRY_VERIFY(!edit->isModified());
    const QByteArray saved = TestFiles::read(path);
    for (const char *word : { "\\clmgf", "\\clmrg", "\\clvmgf", "\\clvmrg" })
        QVERIFY2(saved.count(word) == 1, saved.constData());
    QTextDocument back;
    RichDocument(&back).load(saved, StreamFormat::Rtf, QTextCharFormat());
    QTextTable *again = firstTable(back);
    QVERIFY(again);
    QCOMPARE(again->cellAt(0, 0).columnSpan(), 2);
    QCOMPARE(again->cellAt(1, 0).rowSpan(), 2);
    QCOMPARE(textOf(again->cellAt(0, 0)), u"Hmw"_s);
    QCOMPARE(textOf(again->cellAt(2, 0)), u"Vmz"_s);
    QCOMPARE(textOf(again->cellAt(2, 2)), u"g1"_s);
}

void tst_MergedCellsView::mergedCellsPrintOnce()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load(mergedTable(), StreamFormat::Rtf, QTextCharFormat());
    auto print = [&rich](QPaintDevice *device) {
        QPainter painter(device);
        FormatRange request;
        request.painter = &painter;
        request.rectTwips = QRect(1440, 1440, 11906 - 2880, 16838 - 2880);
        request.pageTwips = QRect(0, 0, 11906, 16838);
        request.atLeastOneLine = true;
        const qint64 next = rich.formatRange(request);
        rich.releaseFormatRange();
        return next;
    };

    // 150 dots to the inch: the table's columns stand 150 + 1500 / 9.6 pixels apart, from 150.
    QImage page(1240, 1754, QImage::Format_RGB32);
    page.fill(Qt::white);
    page.setDotsPerMeterX(5906);
    page.setDotsPerMeterY(5906);
    QCOMPARE(print(&page), rich.textLength());
    const int firstColumn = 150 + 1100 * 150 / 1440;
    const int secondColumn = 150 + 2600 * 150 / 1440;
    // Down the first column: the table's top, the merged row's bottom, the table's bottom; down
    // the second, the edge between the two rows the merged cell covers too.
    QCOMPARE(linesDown(page, firstColumn, 150, 600), 3);
    QCOMPARE(linesDown(page, secondColumn, 150, 600), 4);

    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("poppler-utils are not installed");
    const QString pdf = m_dir.filePath(u"merged.pdf"_s);
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        QCOMPARE(print(&writer), rich.textLength());
    }
    QProcess text;
    text.start(u"pdftotext"_s, { u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s });
    QVERIFY(text.waitForFinished(60000));
    QStringList words
        = QString::fromUtf8(text.readAllStandardOutput()).split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts);
    words.sort();
    QCOMPARE(words, QStringList({ u"Hm"_s, u"Vm"_s, u"after"_s, u"c1"_s, u"d1"_s, u"e1"_s, u"f1"_s, u"g1"_s }));
}

QTEST_MAIN(tst_MergedCellsView)
#include "tst_mergedcellsview.moc"
