#include "document/editordocumentlayout.h"
#include "document/formatrange.h"
#include "document/richdocument.h"
#include "document/rtf/rtfreader.h"

#include <QFile>
#include <QPicture>
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
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

#include "scaling.h"

#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A document long enough for many pages: numbered paragraphs of varied length, some wrapping.
QString longText()
{
    QString text;
    for (int i = 0; i < 400; ++i) {
        text += u"第%1段落"_s.arg(i);
        text += QString((i * 37) % 90, QChar(u'あ' + i % 40));
        if (i % 5 == 0)
            text += u" ASCII words here and there"_s;
        text += u'\n';
    }
    return text;
}

QString withoutSpaces(QString s)
{
    s.remove(QRegularExpression(u"\\s"_s));
    // The PDF's text comes back through the fonts' shared glyphs.
    s.replace(u'\u301C', u'\uFF5E');
    return s;
}

// A page of A4 at the device's resolution, 1 inch margins, in twips.
QRect bodyTwips()
{
    return QRect(1440, 1440, 11906 - 2 * 1440, 16838 - 2 * 1440);
}

// Where each page of the document starts when it is laid out page by page on `target`, drawn
// (into `painter`, when given) or only measured.
std::vector<qint64> pageStarts(RichDocument &rich, QPaintDevice *target, QPainter *painter)
{
    std::vector<qint64> starts;
    const qint64 length = rich.textLength();
    for (qint64 start = 0; start < length;) {
        starts.push_back(start);
        FormatRange request;
        request.painter = painter;
        request.target = target;
        request.render = painter != nullptr;
        request.rectTwips = bodyTwips();
        request.pageTwips = QRect(0, 0, 11906, 16838);
        request.first = start;
        request.atLeastOneLine = true;
        const qint64 next = rich.formatRange(request);
        if (next <= start)
            break;
        start = next;
    }
    rich.releaseFormatRange();
    return starts;
}

// Paragraphs of every length from a few characters to several lines, in a fixed random order.
QString variedParagraphs(int count)
{
    QString text;
    quint32 seed = 12345;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += QString(int((seed >> 8) % 400) + 1, QChar(u'あ' + i % 60)) + u'\n';
    }
    return text;
}

} // namespace

class tst_FormatRange : public QObject {
    Q_OBJECT
private slots:
    void successivePagesDrawEveryCharacterOnce();
    void measuringAgreesWithRendering();
    void startInsideALine();
    void emptyDocumentAndBadRequests();
    void rangeEndStopsEarly();
    void heldTextOutlivesEdits();
    void releasedLayoutsKeepThePageBreaks();
    void drawnPagesLetGoOfTheirLayout();
    void longParagraphPagesGrowLinearly();
    void listMarkersPrintAsShown();
    void tallCellsSideBySideMoveOn();
};

void tst_FormatRange::successivePagesDrawEveryCharacterOnce()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(longText());
    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"pages.pdf"_s);
    QPdfWriter writer(pdf);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    writer.setResolution(300);
    QPainter painter(&writer);
    const qint64 length = rich.textLength();
    qint64 start = 0;
    int pages = 0;
    while (start < length) {
        if (pages > 0)
            writer.newPage();
        FormatRange r;
        r.painter = &painter;
        r.rectTwips = bodyTwips();
        r.pageTwips = QRect(0, 0, 11906, 16838);
        r.first = start;
        const qint64 next = rich.formatRange(r);
        QVERIFY2(next > start, "each page makes progress");
        start = next;
        ++pages;
    }
    painter.end();
    rich.releaseFormatRange();
    QVERIFY(pages > 5);

    QProcess pdftotext;
    pdftotext.start(u"pdftotext"_s, { u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s });
    QVERIFY(pdftotext.waitForFinished(60000));
    const QString printed = QString::fromUtf8(pdftotext.readAllStandardOutput());
    const QString got = withoutSpaces(printed);
    const QString expected = withoutSpaces(doc.toPlainText());
    qsizetype at = 0;
    while (at < got.size() && at < expected.size() && got.at(at) == expected.at(at))
        ++at;
    QVERIFY2(got == expected, qPrintable(u"printed text differs at %1: \"%2\" instead of \"%3\""_s.arg(at).arg(
                                  got.mid(qMax(0, at - 10), 30), expected.mid(qMax(0, at - 10), 30))));
}

void tst_FormatRange::measuringAgreesWithRendering()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(longText());
    QImage image(800, 1100, QImage::Format_RGB32);
    image.setDotsPerMeterX(3780); // 96 to the inch
    image.setDotsPerMeterY(3780);
    const QRect rect(0, 0, 800 * 15, 1100 * 15);
    QList<qint64> measured;
    for (qint64 start = 0; start < rich.textLength();) {
        FormatRange r;
        r.target = &image;
        r.rectTwips = rect;
        r.first = start;
        r.render = false;
        start = rich.formatRange(r);
        measured += start;
    }
    rich.releaseFormatRange();
    QList<qint64> rendered;
    for (qint64 start = 0; start < rich.textLength();) {
        image.fill(Qt::white);
        QPainter painter(&image);
        FormatRange r;
        r.painter = &painter;
        r.rectTwips = rect;
        r.first = start;
        start = rich.formatRange(r);
        rendered += start;
        // Every page break is the start of a display line of the copy: the next request
        // starts exactly there, never inside a line.
    }
    QCOMPARE(rendered, measured);
    QCOMPARE(measured.last(), rich.textLength());
}

void tst_FormatRange::startInsideALine()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"あいうえおかきくけこ\nさしすせそ"_s);
    QImage image(400, 400, QImage::Format_RGB32);
    QPainter painter(&image);
    FormatRange r;
    r.painter = &painter;
    r.rectTwips = QRect(0, 0, 400 * 15, 400 * 15);
    r.first = 6; // "えお..." onwards
    QCOMPARE(rich.formatRange(r), rich.textLength());
    // A page that holds only the first line of the rest stops at the next paragraph.
    r.rectTwips.setHeight(300);
    QCOMPARE(rich.formatRange(r), 22);
}

void tst_FormatRange::emptyDocumentAndBadRequests()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QImage image(100, 100, QImage::Format_RGB32);
    QPainter painter(&image);
    FormatRange r;
    r.painter = &painter;
    r.rectTwips = QRect(0, 0, 1500, 1500);
    QCOMPARE(rich.formatRange(r), 0); // an empty document is done at once
    r.rectTwips = QRect(0, 0, 0, 1500);
    QCOMPARE(rich.formatRange(r), -1);
    FormatRange noDevice;
    noDevice.rectTwips = QRect(0, 0, 1500, 1500);
    QCOMPARE(rich.formatRange(noDevice), -1);
    // A line taller than the rectangle: no progress, the caller decides.
    QTextCursor(&doc).insertText(u"x"_s);
    r.rectTwips = QRect(0, 0, 1500, 15);
    QCOMPARE(rich.formatRange(r), 0);
}

void tst_FormatRange::rangeEndStopsEarly()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"one\ntwo\nthree"_s);
    QImage image(400, 400, QImage::Format_RGB32);
    FormatRange r;
    r.target = &image;
    r.render = false;
    r.rectTwips = QRect(0, 0, 6000, 6000);
    r.last = 6; // inside "two": its line is the last one laid out
    QCOMPARE(rich.formatRange(r), 10);
    // A document edited between requests is laid out afresh.
    QTextCursor(&doc).insertText(u"zero\n"_s);
    r.first = 5;
    r.last = -1;
    QCOMPARE(rich.formatRange(r), rich.textLength());
}

void tst_FormatRange::heldTextOutlivesEdits()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(longText());
    const qint64 length = rich.textLength();
    QImage page(1240, 1754, QImage::Format_RGB32);
    page.setDotsPerMeterX(5906);
    page.setDotsPerMeterY(5906);
    FormatRange r;
    r.target = &page;
    r.render = false;
    r.rectTwips = bodyTwips();
    r.pageTwips = QRect(0, 0, 11906, 16838);

    rich.holdFormatRange(true);
    const qint64 second = rich.formatRange(r);
    QVERIFY(second > 0 && second < length);
    // The text is cut short and the layouts let go of in the middle of the run: the following
    // pages still come from the text the run began with, up to its end.
    QTextCursor cut(&doc);
    cut.setPosition(10);
    cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    rich.releaseFormatRange();
    QVERIFY(rich.textLength() < second);
    qint64 start = second;
    int pages = 1;
    while (start < length) {
        r.first = start;
        const qint64 next = rich.formatRange(r);
        QVERIFY(next > start);
        start = next;
        ++pages;
    }
    QCOMPARE(start, length);
    QVERIFY(pages > 5);
    rich.holdFormatRange(false);
    // Released now: the live text counts again.
    r.first = 0;
    QCOMPARE(rich.formatRange(r), rich.textLength());
}

// Pages drawn let the layout of paragraphs far behind them go; Qt's layout, going on from its
// check points, must still break every later page where it breaks when nothing is let go.
void tst_FormatRange::releasedLayoutsKeepThePageBreaks()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(variedParagraphs(3000));
    QImage image(800, 1100, QImage::Format_RGB32);
    QPainter painter(&image);
    const std::vector<qint64> drawn = pageStarts(rich, &image, &painter);
    const std::vector<qint64> measured = pageStarts(rich, &image, nullptr);
    QVERIFY(drawn.size() > 60);
    QCOMPARE(drawn, measured);
}

// What drawing shapes is kept for a few pages, not for the whole document (about 40 bytes a
// character when every paragraph keeps it).
void tst_FormatRange::drawnPagesLetGoOfTheirLayout()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(variedParagraphs(3000));
    QImage image(800, 1100, QImage::Format_RGB32);
    QPainter painter(&image);
    const qint64 length = rich.textLength();
    // The layout of every page measured, then the pages drawn: only the drawing adds.
    pageStarts(rich, &image, nullptr);
    const size_t before = Scaling::heapInUse();
    qint64 start = 0;
    while (start < length) {
        FormatRange request;
        request.painter = &painter;
        request.target = &image;
        request.rectTwips = bodyTwips();
        request.first = start;
        request.atLeastOneLine = true;
        start = rich.formatRange(request);
    }
    const double perCharacter = double(Scaling::heapInUse()) - double(before);
    QVERIFY2(perCharacter / doc.characterCount() < 12, qPrintable(QString::number(perCharacter / doc.characterCount())));
}

// Each line of a paragraph is found by halving, not by a walk from its first line: the pages of
// one long paragraph cost in proportion to its length.
void tst_FormatRange::longParagraphPagesGrowLinearly()
{
    QImage image(800, 1100, QImage::Format_RGB32);
    QPainter painter(&image);
    const double growth = Scaling::growthOverFourfold(
        [&](int n) {
            QTextDocument doc;
            RichDocument rich(&doc);
            QTextCursor(&doc).insertText(QString(n, u'あ'));
            pageStarts(rich, &image, &painter);
        },
        60000);
    QVERIFY2(growth < Scaling::LinearLimit, qPrintable(u"4x the paragraph cost %1x"_s.arg(growth)));
}

namespace {

// Numbers at two levels and bullets at three: a disc, a circle, a square.
const QByteArray Lists
    = "{\\rtf1\\ansi{\\*\\listtable{\\list{\\listlevel\\levelnfc0}{\\listlevel\\levelnfc4}\\listid1}"
      "{\\list{\\listlevel\\levelnfc23}{\\listlevel\\levelnfc23}{\\listlevel\\levelnfc23}\\listid2}}"
      "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}{\\listoverride\\listid2\\ls2}}\\fs24"
      "\\pard\\ls1\\li720\\fi-360 one\\par\\pard\\ls1\\ilvl1\\li1440\\fi-360 sub\\par"
      "\\pard\\ls1\\li720\\fi-360 two\\par\\pard\\ls2\\li720\\fi-360 disc\\par"
      "\\pard\\ls2\\ilvl1\\li1440\\fi-360 circle\\par\\pard\\ls2\\ilvl2\\li2160\\fi-360 square\\par}"_ba;

// The pixels left of the first line of each list paragraph: where its marker is drawn.
QList<QImage> markerAreas(const QImage &image, const QTextDocument &doc)
{
    QList<QImage> areas;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (!b.textList() || !b.layout() || b.layout()->lineCount() == 0)
            continue;
        const QTextLine line = b.layout()->lineAt(0);
        const QPointF origin = b.layout()->position() + QPointF(line.x(), line.y());
        areas += image.copy(QRectF(0, origin.y(), origin.x(), line.height()).toRect());
    }
    return areas;
}

int inkOf(const QImage &image)
{
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ink += qGray(image.pixel(x, y)) < 160;
    }
    return ink;
}

} // namespace

// Pages draw each list paragraph's marker as the editor's screen does: the number of a numbered
// list ("1.", "a."), the bullet of a bulleted one at its level.
void tst_FormatRange::listMarkersPrintAsShown()
{
    const QRect page(0, 0, 6 * 1440, 3 * 1440);
    QTextDocument shown;
    QVERIFY(RtfReader::read(Lists, shown, CharFormat()));
    shown.setDocumentMargin(0);
    auto *layout = new EditorDocumentLayout(&shown);
    shown.setDocumentLayout(layout);
    QImage screen(page.width() / 15, page.height() / 15, QImage::Format_RGB32);
    screen.fill(Qt::white);
    shown.setTextWidth(screen.width());
    {
        QPainter painter(&screen);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, Qt::black);
        context.clip = screen.rect();
        layout->draw(&painter, context);
    }

    QTextDocument doc;
    QVERIFY(RtfReader::read(Lists, doc, CharFormat()));
    RichDocument rich(&doc);
    QImage printed(screen.size(), QImage::Format_RGB32);
    printed.fill(Qt::white);
    {
        QPainter painter(&printed);
        FormatRange request;
        request.painter = &painter;
        request.rectTwips = page;
        request.pageTwips = page;
        QCOMPARE(rich.formatRange(request), rich.textLength());
    }
    const QList<QImage> onScreen = markerAreas(screen, shown);
    const QList<QImage> onPaper = markerAreas(printed, shown);
    QCOMPARE(onScreen.size(), 6);
    for (qsizetype i = 0; i < onScreen.size(); ++i) {
        QVERIFY2(inkOf(onScreen.at(i)) > 4, qPrintable(u"no marker on screen for item %1"_s.arg(i)));
        QVERIFY2(onPaper.at(i) == onScreen.at(i), qPrintable(u"item %1 printed another marker"_s.arg(i)));
    }

    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"lists.pdf"_s);
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        QPainter painter(&writer);
        FormatRange request;
        request.painter = &painter;
        request.rectTwips = bodyTwips();
        request.pageTwips = QRect(0, 0, 11906, 16838);
        QCOMPARE(rich.formatRange(request), rich.textLength());
    }
    QProcess pdftotext;
    pdftotext.start(u"pdftotext"_s, { u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s });
    QVERIFY(pdftotext.waitForFinished(60000));
    QCOMPARE(withoutSpaces(QString::fromUtf8(pdftotext.readAllStandardOutput())),
             u"1.onea.sub2.twodisccirclesquare"_s);
}

// A row of cells each taller than a page, side by side in sizes whose lines never start level:
// the line a page is cut at can stand in an earlier cell than the one the page began in, and
// the pages still move on through the text, each line on one page.
void tst_FormatRange::tallCellsSideBySideMoveOn()
{
    QByteArray rtf = "{\\rtf1\\ansi\\trowd\\cellx3000\\cellx6000\\cellx9000\\pard\\intbl\\fs20 "_ba;
    rtf += QByteArray(9000, 'a') + "\\cell\\fs31 " + QByteArray(6000, 'b') + "\\cell\\fs26 " + QByteArray(7000, 'c');
    rtf += "\\cell\\row\\pard after\\par}";
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load(rtf, StreamFormat::Rtf, QTextCharFormat());
    QPicture picture;
    const qint64 length = rich.textLength();
    int pages = 0;
    for (qint64 start = 0; start < length; ++pages) {
        QPainter painter(&picture);
        FormatRange request;
        request.painter = &painter;
        request.rectTwips = bodyTwips();
        request.pageTwips = QRect(0, 0, 11906, 16838);
        request.pageAreaTwips = request.rectTwips.size();
        request.first = start;
        request.atLeastOneLine = true;
        const qint64 next = rich.formatRange(request);
        QVERIFY2(next > start, qPrintable(u"page %1 starts at %2, the next at %3"_s.arg(pages).arg(start).arg(next)));
        start = next;
    }
    rich.releaseFormatRange();
}

QTEST_MAIN(tst_FormatRange)
#include "tst_formatrange.moc"
