// Paragraph and table layout from word processors' RTF, through the main window: tab stops,
// page breaks, merged and shaded cells. A file is opened, a character typed at its start,
// Ctrl+S; the screen shows the layout and the saved file keeps it.

#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richdocument.h"
#include "document/richedit.h"
#include "document/tablecells.h"
#include "document/tabstops.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>

#include <set>

#include "rtfwindow.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

const QByteArray Header = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 IPAGothic;}}"
                          "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green128\\blue255;}\\pard\\plain\\f0\\fs20 "_ba;

// The leftmost and rightmost columns between `left` and `right` with ink (darker than mid grey)
// in rows `top` to `bottom`; {-1, -1} where there is none.
std::pair<int, int> inkColumns(const QImage &image, int top, int bottom, int left, int right)
{
    std::pair<int, int> columns { -1, -1 };
    for (int x = qMax(0, left); x < qMin(right, image.width()); ++x) {
        for (int y = qMax(0, top); y <= qMin(bottom, image.height() - 1); ++y) {
            if (qGray(image.pixel(x, y)) < 128) {
                if (columns.first < 0)
                    columns.first = x;
                columns.second = x;
                break;
            }
        }
    }
    return columns;
}

// Pixels of row y that are neither the background's colour nor near it.
int markedPixels(const QImage &image, int y)
{
    const QRgb background = image.pixel(image.width() - 1, qBound(0, y, image.height() - 1));
    int marked = 0;
    for (int x = 0; x < image.width(); ++x)
        marked += qAbs(qGray(image.pixel(x, y)) - qGray(background)) > 24;
    return marked;
}

std::vector<TabStops::Stop> stopsOf(const QTextDocument &doc, int block)
{
    return TabStops::of(doc.findBlockByNumber(block).blockFormat());
}

bool breaksPage(const QTextDocument &doc, int block)
{
    return doc.findBlockByNumber(block).blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
}

} // namespace

class tst_RtfLayoutView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void tabStopsShowAndSave();
    void pageBreaksShowAndSave();
    void sectionsStartingPagesShowBreaks();
    void cellShadingShowsAndSaves();

private:
    // Opens `rtf` as a file, types "x" at its start with a key press and saves with Ctrl+S into
    // m_saved; the saved file read again into m_back.
    void openTypeAndSave(const QByteArray &rtf);
    QRect caretAt(int position) const;
    // A dotted line across the page along the top of each paragraph of `breaking` (numbers), and
    // of no other paragraph.
    void checkBreaksShown(const std::set<int> &breaking) const;

    QTemporaryDir m_dir;
    QByteArray m_saved;
    QTextDocument m_back;
    TPenForm1 *m_window = nullptr;
};

void tst_RtfLayoutView::init()
{
    QVERIFY(RtfWindow::open(m_window));
}

void tst_RtfLayoutView::cleanup()
{
    RtfWindow::close(m_window);
}

void tst_RtfLayoutView::openTypeAndSave(const QByteArray &rtf)
{
    m_saved = RtfWindow::openTypeAndSave(m_window, m_dir.filePath(u"in.rtf"_s), rtf);
    QVERIFY(!m_saved.isEmpty());
    RichDocument back(&m_back);
    back.load(m_saved, StreamFormat::Rtf, QTextCharFormat());
}

QRect tst_RtfLayoutView::caretAt(int position) const
{
    QTextCursor at(m_window->RichEdit1->document());
    at.setPosition(position);
    return m_window->RichEdit1->cursorRect(at);
}

void tst_RtfLayoutView::checkBreaksShown(const std::set<int> &breaking) const
{
    const QTextDocument *doc = m_window->RichEdit1->document();
    const QImage shown = m_window->RichEdit1->viewport()->grab().toImage();
    const int width = shown.width();
    for (int block = 0; block < doc->blockCount(); ++block) {
        const int top = caretAt(doc->findBlockByNumber(block).position()).top();
        int marked = 0;
        for (int y = top - 1; y <= top + 1; ++y)
            marked = qMax(marked, markedPixels(shown, y));
        QVERIFY2(breaking.contains(block) ? marked > width / 4 : marked < width / 8,
            qPrintable(u"paragraph %1: %2 of %3 pixels marked"_s.arg(block).arg(marked).arg(width)));
    }
}

void tst_RtfLayoutView::tabStopsShowAndSave()
{
    // A left stop at 2 inches, a centred one at 3, a right one with dots at 5, a bar at 1/2;
    // then a paragraph indented by 1/2 inch with a stop at 1 1/2 inches.
    openTypeAndSave(Header
        + "\\pard\\tx2880\\tqc\\tx4320\\tqr\\tldot\\tx7200\\tb720 a\\tab B\\tab CC\\tab D\\par "
          "\\pard\\li720\\tx2160 i\\tab E\\par}"_ba);
    if (QTest::currentTestFailed())
        return;
    const QString text = m_window->RichEdit1->toPlainText();
    QCOMPARE(text, u"xa\tB\tCC\tD\ni\tE"_s);

    const QImage shown = m_window->RichEdit1->viewport()->grab().toImage();
    const QRect line = caretAt(0);
    const int margin = line.left(); // where text without an indent begins
    auto ink = [&](int position) {
        const QRect at = caretAt(position);
        return inkColumns(shown, at.top(), at.bottom(), at.left(), caretAt(position + 1).left() + 1);
    };
    // 2880 twips are 192 pixels: B begins there; CC is centred on 288; D ends at 480.
    const auto b = ink(int(text.indexOf(u'B')));
    QVERIFY2(qAbs(b.first - (margin + 192)) <= 2, qPrintable(u"B at %1, margin %2"_s.arg(b.first).arg(margin)));
    const int cc = int(text.indexOf(u"CC"_s));
    const int ccMiddle = (caretAt(cc).left() + caretAt(cc + 2).left()) / 2;
    QVERIFY2(qAbs(ccMiddle - (margin + 288)) <= 2, qPrintable(u"CC around %1"_s.arg(ccMiddle)));
    const auto d = ink(int(text.indexOf(u'D')));
    QVERIFY2(qAbs(d.second - (margin + 480)) <= 2, qPrintable(u"D ends at %1"_s.arg(d.second)));
    // From the margin, not from the indent: E begins at 144 pixels.
    const auto e = ink(int(text.indexOf(u'E')));
    QVERIFY2(qAbs(e.first - (margin + 144)) <= 2, qPrintable(u"E at %1"_s.arg(e.first)));

    const QByteArray words = QByteArray(m_saved).replace(" \\", "\\");
    for (const char *word : { "\\tx2880", "\\tqc\\tx4320", "\\tldot\\tqr\\tx7200", "\\tb720", "\\tx2160" })
        QVERIFY2(words.contains(word), m_saved.constData());
    using TabStops::Kind;
    using TabStops::Leader;
    const std::vector<TabStops::Stop> first { { 720, Kind::Bar, Leader::None }, { 2880, Kind::Left, Leader::None },
        { 4320, Kind::Center, Leader::None }, { 7200, Kind::Right, Leader::Dots } };
    QVERIFY(stopsOf(m_back, 0) == first);
    QVERIFY(stopsOf(m_back, 1) == std::vector<TabStops::Stop>({ { 2160, Kind::Left, Leader::None } }));
}

void tst_RtfLayoutView::pageBreaksShowAndSave()
{
    // A break between paragraphs, one inside a paragraph, a paragraph that starts a page.
    openTypeAndSave(Header
        + "one\\par\\page two\\par three{\\page }four\\par\\pard\\pagebb five\\par\\pard six\\par}"_ba);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"xone\ntwo\nthree\nfour\nfive\nsix"_s);
    checkBreaksShown({ 1, 3, 4 });

    // "four" and "five" share their properties: \pagebb is stated once for both.
    QVERIFY2(m_saved.count("\\pagebb") == 2, m_saved.constData());
    QCOMPARE(m_back.toPlainText(), u"xone\ntwo\nthree\nfour\nfive\nsix"_s);
    for (int block = 0; block < m_back.blockCount(); ++block)
        QCOMPARE(breaksPage(m_back, block), block == 1 || block == 3 || block == 4);
}

void tst_RtfLayoutView::sectionsStartingPagesShowBreaks()
{
    // A section on the same page, one on a new page, one in the next column (the editor's one
    // column: no break), one on a new page by default after a \\sect in place of a \\par.
    openTypeAndSave(Header
        + "one\\par\\sect\\sectd\\sbknone\\pard two\\par\\sect\\sectd\\sbkpage\\pard three\\par"
          "\\sect\\sectd\\sbkcol\\pard four\\sect\\sectd\\pard five\\par}"_ba);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_window->RichEdit1->document()->blockCount(), 5);
    checkBreaksShown({ 2, 4 });
    // Typing kept the sections' words as they were.
    for (const char *words : { "\\sbknone", "\\sbkpage", "\\sbkcol", "four\\sect" })
        QVERIFY2(m_saved.contains(words), m_saved.constData());
}

void tst_RtfLayoutView::cellShadingShowsAndSaves()
{
    // A cell filled with a colour of the table, one shaded a quarter grey, one plain.
    openTypeAndSave(Header
        + "\\trowd\\trgaph108\\clcbpat2\\cellx2000\\clshdng2500\\cellx4000\\cellx6000 "
          "\\pard\\intbl a\\cell b\\cell c\\cell\\row\\pard after\\par}"_ba);
    if (QTest::currentTestFailed())
        return;
    const QTextDocument *doc = m_window->RichEdit1->document();
    // The table's first cell is not the document's start: "x" goes into the paragraph before it.
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"x\na\nb\nc\nafter"_s);

    const QImage shown = m_window->RichEdit1->viewport()->grab().toImage();
    // Below each cell's text, inside the row: the cell's colour.
    auto colourIn = [&](int position) {
        const QRect at = caretAt(position);
        return shown.pixelColor(at.left() + 30, at.top() + at.height() / 2);
    };
    const QTextTable *shownTable = QTextCursor(doc->findBlockByNumber(1)).currentTable();
    QVERIFY(shownTable);
    const int a = shownTable->cellAt(0, 0).firstPosition();
    const int b = shownTable->cellAt(0, 1).firstPosition();
    const int c = shownTable->cellAt(0, 2).firstPosition();
    QCOMPARE(colourIn(a), QColor(0, 128, 255));
    const QColor grey = colourIn(b);
    QVERIFY2(qAbs(grey.red() - 191) <= 2 && grey.red() == grey.green() && grey.green() == grey.blue(),
        qPrintable(grey.name()));
    QCOMPARE(colourIn(c), shown.pixelColor(shown.width() - 1, caretAt(c).top()));

    QVERIFY2(QByteArray(m_saved).replace(" \\", "\\").count("\\clcbpat") == 2, m_saved.constData());
    QTextTable *table = QTextCursor(m_back.findBlockByNumber(1)).currentTable();
    QVERIFY(table);
    auto shading = [table](int column) {
        const QTextCharFormat f = table->cellAt(0, column).format();
        return f.hasProperty(TableCells::Shading) ? QColor::fromRgb(QRgb(f.intProperty(TableCells::Shading))) : QColor();
    };
    QCOMPARE(shading(0), QColor(0, 128, 255));
    QCOMPARE(shading(1), grey);
    QCOMPARE(shading(2), QColor());
}

QTEST_MAIN(tst_RtfLayoutView)
#include "tst_rtflayoutview.moc"
