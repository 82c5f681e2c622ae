#include "document/formatrange.h"
#include "document/richdocument.h"

#include <QFile>
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

QTEST_MAIN(tst_FormatRange)
#include "tst_formatrange.moc"
