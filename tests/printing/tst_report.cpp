#include "document/apperror.h"
#include "document/richdocument.h"
#include "printing/reportunits.h"
#include "printing/tpreparedpages.h"
#include "printing/tprintreport2.h"
#include "printing/treportoutput.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

// Receives an output's notices.
class Client : public QObject {
public:
    QList<int> pagesAvailable;
    bool event(QEvent *e) override
    {
        if (e->type() == ReportNotice::PagesAvailable) {
            pagesAvailable += static_cast<ReportNotice *>(e)->value;
            return true;
        }
        return QObject::event(e);
    }
};

// A print run of the document into a PDF; its pages' text, one string per page.
struct Printed {
    int pages = 0;
    QStringList text;
};

QString pdfText(const QString &pdf, int page)
{
    QProcess p;
    p.start(u"pdftotext"_s, { u"-f"_s, QString::number(page), u"-l"_s, QString::number(page), u"-enc"_s, u"UTF-8"_s,
                             pdf, u"-"_s });
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString &pdf)
{
    QProcess p;
    p.start(u"pdfinfo"_s, { pdf });
    p.waitForFinished(60000);
    const QRegularExpressionMatch m = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

Printed printToPdf(RichDocument &document, const QString &path, int first = 0, int last = 0)
{
    QFile::remove(path);
    TPrintReport2 report;
    report.setParentRichEdit(&document);
    report.ReportTitle = u"test"_s;
    report.PrinterFirstPage = first;
    report.PrinterLastPage = last;
    report.setPrinter(true, [path](const QString &) {
        auto writer = std::make_unique<QPdfWriter>(path);
        writer->setResolution(300);
        ReportPrinter printer;
        printer.device = std::move(writer);
        return printer;
    });
    report.print();
    Printed printed;
    printed.pages = pdfPages(path);
    for (int page = 1; page <= printed.pages; ++page)
        printed.text += pdfText(path, page);
    return printed;
}

QString withoutSpaces(QString s)
{
    s.remove(QRegularExpression(u"\\s"_s));
    s.replace(u'\u301C', u'\uFF5E');
    s.replace(u'\u00A5', u'\uFFE5');
    return s;
}

QString longText(int paragraphs)
{
    QString text;
    for (int i = 0; i < paragraphs; ++i)
        text += u"段落%1："_s.arg(i) + QString((i * 29) % 70 + 5, QChar(u'あ' + i % 50)) + u'\n';
    return text;
}

} // namespace

class tst_Report : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void roundingAndMapping();
    void outputLifeCycle();
    void previewRunRecordsPages();
    void previewOfRowsOfManyCells();
    void emptyDocumentGivesOnePage();
    void pageFlowReadBack();
    void summaryBandOnAPageOfItsOwn();
    void lineTallerThanAPageEnds();
    void linesTallerThanAPageEndTheRun_data();
    void linesTallerThanAPageEndTheRun();
    void pageRangeKeepsNumbering();
    void closeNoticeFreesOnlyItsOutput();
    void printFailuresAreErrors_data();
    void printFailuresAreErrors();
    void printersAreAskedForAtEachOutput();

private:
    QTemporaryDir m_dir;
};

void tst_Report::initTestCase()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty() || QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty())
        QSKIP("poppler-utils (pdftotext, pdfinfo) are not installed");
}

void tst_Report::roundingAndMapping()
{
    using ReportUnits::roundHalfEven;
    QCOMPARE(roundHalfEven(2.5), 2);
    QCOMPARE(roundHalfEven(3.5), 4);
    QCOMPARE(roundHalfEven(-2.5), -2);
    QCOMPARE(roundHalfEven(2750.66667), 2751);
    QCOMPARE(roundHalfEven(128.375), 128);
    // 100 tenths at 96 to the inch: 37.795 pixels, 38; with an offset of 20: 30.236, 30.
    QCOMPARE(ReportUnits::toDevice(100, 0, 96 / 254.0), 38);
    QCOMPARE(ReportUnits::toDevice(100, 20, 96 / 254.0), 30);
    QCOMPARE(ReportUnits::sizeToDevice(2970, 96 / 254.0), 1123);
    QCOMPARE(ReportUnits::pixelsToTenths(96, 96), 254.0);
}

void tst_Report::outputLifeCycle()
{
    Client client;
    TReportOutput output(false);
    output.setClient(&client);
    try {
        output.newPage();
        QFAIL("a page outside a run");
    } catch (const AppError &e) {
        QCOMPARE(e.text(), u"間違った NewPage の呼び出し"_s);
    }
    output.beginDocument();
    QCOMPARE(output.status(), TReportOutput::Status::Busy);
    QCOMPARE(output.pageWidth(), 2100.0);
    QCOMPARE(output.pageLength(), 2970.0);
    QVERIFY_THROWS_EXCEPTION(AppError, output.beginDocument());
    for (int i = 0; i < 3; ++i) {
        output.newPage();
        output.canvas()->drawText(QPoint(50, 50), QString::number(i + 1));
    }
    QCOMPARE(output.pageCount(), 3);
    QCOMPARE(output.availablePages(), 2);
    QVERIFY(!output.page(3)); // not complete yet
    output.endDocument();
    QCOMPARE(output.status(), TReportOutput::Status::Finished);
    QCOMPARE(output.availablePages(), 3);
    QCOMPARE(output.preparedPages()->pageCount(), 3);
    QVERIFY(output.page(3));
    QVERIFY(!output.page(4));
    QCoreApplication::sendPostedEvents(&client);
    QCOMPARE(client.pagesAvailable, (QList<int> { 1, 2, 3 }));
}

void tst_Report::previewRunRecordsPages()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(longText(400));
    TPrintReport2 report;
    report.setParentRichEdit(&rich);
    report.ReportTitle = u"title"_s;
    TReportOutput *shown = nullptr;
    report.OnPreview = [&](TReportOutput *o) { shown = o; };
    report.preview();
    QVERIFY(shown);
    QCOMPARE(shown, report.output());
    QCOMPARE(shown->title, u"title"_s);
    QCOMPARE(shown->status(), TReportOutput::Status::Finished);
    QVERIFY(shown->pageCount() > 3);
    // The same pages a print run makes.
    const Printed printed = printToPdf(rich, m_dir.filePath(u"preview.pdf"_s));
    QCOMPARE(shown->pageCount(), printed.pages);
    QVERIFY(shown->page(1) && shown->page(shown->pageCount()));
    QVERIFY(!report.isBusy());
}

// Rows of many cells hold more paragraphs than the layout keeps lines for at a time: lines
// let go while later rows were measured must be laid out again to be drawn.
void tst_Report::previewOfRowsOfManyCells()
{
    QByteArray rtf = "{\\rtf1\\ansi before\\par ";
    for (int r = 0; r < 30; ++r) {
        rtf += "\\trowd\\cellx1000";
        for (int c = 1; c < 40; ++c)
            rtf += "\\cellx" + QByteArray::number(1000 + c * 200);
        rtf += "\\pard\\intbl q" + QByteArray::number(r) + "z\\cell ";
        for (int c = 1; c < 40; ++c)
            rtf += "\\pard\\intbl c\\cell ";
        rtf += "\\row\n";
    }
    rtf += "\\pard after\\par}";
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load(rtf, StreamFormat::Rtf, QTextCharFormat());
    TPrintReport2 report;
    report.setParentRichEdit(&rich);
    TReportOutput *shown = nullptr;
    report.OnPreview = [&](TReportOutput *o) { shown = o; };
    report.preview();
    QVERIFY(shown);
    QCOMPARE(shown->status(), TReportOutput::Status::Finished);
    const Printed printed = printToPdf(rich, m_dir.filePath(u"cells.pdf"_s));
    QCOMPARE(shown->pageCount(), printed.pages);
    const QString text = withoutSpaces(printed.text.join(QString()));
    QVERIFY(text.startsWith(u"before"_s));
    for (int r = 0; r < 30; ++r)
        QCOMPARE(text.count(u"q%1z"_s.arg(r)), 1);
    QCOMPARE(text.count(u'c'), 30 * 39);
    QVERIFY(text.contains(u"after"_s));
}

void tst_Report::emptyDocumentGivesOnePage()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    const Printed printed = printToPdf(rich, m_dir.filePath(u"empty.pdf"_s));
    QCOMPARE(printed.pages, 1);
    QCOMPARE(withoutSpaces(printed.text.value(0)), u"-1-"_s);
}

void tst_Report::pageFlowReadBack()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(longText(600) + u"～￥終わり"_s);
    const Printed printed = printToPdf(rich, m_dir.filePath(u"flow.pdf"_s));
    QVERIFY(printed.pages > 5);
    QString body;
    for (int page = 1; page <= printed.pages; ++page) {
        QString text = withoutSpaces(printed.text.at(page - 1));
        const QString footer = u"-%1-"_s.arg(page);
        QVERIFY2(text.endsWith(footer), qPrintable(u"page %1 ends with %2"_s.arg(page).arg(text.right(12))));
        text.chop(footer.size());
        body += text;
    }
    // Every character once, across all pages: none repeated, none skipped.
    QCOMPARE(body, withoutSpaces(doc.toPlainText()));
}

void tst_Report::summaryBandOnAPageOfItsOwn()
{
    // Find the first document whose last part leaves too little room for the summary band:
    // its report gets one more page holding only the header, the summary band and the footer.
    int previousPages = 0;
    bool found = false;
    for (int lines = 40; lines < 140 && !found; ++lines) {
        QTextDocument doc;
        RichDocument rich(&doc);
        QString text;
        for (int i = 0; i < lines; ++i)
            text += u"行%1\n"_s.arg(i);
        text.chop(1);
        QTextCursor(&doc).insertText(text);
        const Printed printed = printToPdf(rich, m_dir.filePath(u"summary.pdf"_s));
        if (previousPages && printed.pages > previousPages) {
            const QString last = withoutSpaces(printed.text.last());
            if (last == u"-%1-"_s.arg(printed.pages)) {
                found = true;
                // The page before holds the text to its end.
                QVERIFY(withoutSpaces(printed.text.at(printed.pages - 2)).contains(u"行%1"_s.arg(lines - 1)));
            }
        }
        previousPages = printed.pages;
    }
    QVERIFY2(found, "no document put the summary band on a page of its own");
}

void tst_Report::lineTallerThanAPageEnds()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"before\n巨大\nafter"_s);
    CharFormat huge;
    huge.mask = CharFormat::Size;
    huge.sizeTwips = 1638 * 20; // one line taller than the room on a page
    QTextCursor line(&doc);
    line.setPosition(7);
    line.setPosition(9, QTextCursor::KeepAnchor);
    rich.setCharFormat(line, huge);
    const Printed printed = printToPdf(rich, m_dir.filePath(u"tall.pdf"_s));
    QVERIFY(printed.pages >= 2);
    QVERIFY(printed.pages < 10);
    const QString all = withoutSpaces(printed.text.join(QString()));
    QVERIFY(all.startsWith(u"before"_s));
    QVERIFY(all.contains(u"after"_s));
    QVERIFY(all.endsWith(u"-%1-"_s.arg(printed.pages)));
}

void tst_Report::linesTallerThanAPageEndTheRun_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("pages");
    // Each line taller than a page is printed cut, on a page of its own; the run goes on.
    QTest::newRow("the only line of a cell") << QByteArray("before\\par\\trowd\\cellx3000\\cellx6000\\pard\\intbl "
                                                         "{\\fs32767 X}\\cell b\\cell\\row\\pard after\\par")
                                             << 3;
    // A table at the start has an empty paragraph before it, on the first page.
    QTest::newRow("two cells' first lines") << QByteArray("\\trowd\\cellx3000\\cellx6000\\pard\\intbl {\\fs32767 X}"
                                                        "\\cell {\\fs32767 Y}\\cell\\row\\pard after\\par")
                                            << 3;
    QByteArray many;
    for (int i = 0; i < 800; ++i)
        many += "{\\fs32767 X}\\par ";
    QTest::newRow("800 paragraphs") << many + "after\\par" << 801;
}

void tst_Report::linesTallerThanAPageEndTheRun()
{
    QFETCH(QByteArray, body);
    QFETCH(int, pages);
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load(QByteArray("{\\rtf1\\ansi " + body + "}"), StreamFormat::Rtf, QTextCharFormat());
    TPrintReport2 report;
    report.setParentRichEdit(&rich);
    TReportOutput *shown = nullptr;
    report.OnPreview = [&](TReportOutput *o) { shown = o; };
    report.preview();
    QVERIFY(shown);
    QCOMPARE(shown->pageCount(), pages);
    const QString pdf = m_dir.filePath(u"taller.pdf"_s);
    report.setPrinter(true, [pdf](const QString &) {
        auto writer = std::make_unique<QPdfWriter>(pdf);
        writer->setResolution(600); // as the converter's
        ReportPrinter printer;
        printer.device = std::move(writer);
        return printer;
    });
    QVERIFY(report.print());
    QCOMPARE(pdfPages(pdf), pages);
    QVERIFY(withoutSpaces(pdfText(pdf, pages)).startsWith(u"after"_s));
}

void tst_Report::pageRangeKeepsNumbering()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(longText(400));
    const Printed all = printToPdf(rich, m_dir.filePath(u"all.pdf"_s));
    QVERIFY(all.pages >= 3);
    const Printed second = printToPdf(rich, m_dir.filePath(u"second.pdf"_s), 2, 2);
    QCOMPARE(second.pages, 1);
    QVERIFY(withoutSpaces(second.text.first()).endsWith(u"-2-"_s));
    QCOMPARE(withoutSpaces(second.text.first()), withoutSpaces(all.text.at(1)));
}

void tst_Report::closeNoticeFreesOnlyItsOutput()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    TPrintReport2 report;
    report.setParentRichEdit(&rich);
    report.OnPreview = [](TReportOutput *o) { o->setShowingPreview(true); };
    report.preview();
    QPointer<TReportOutput> first = report.output();
    QVERIFY(first);
    // While its preview is open, another preview command leaves it as it is.
    report.preview();
    QCOMPARE(report.output(), first.data());
    // A close notice naming some other output frees nothing.
    TReportOutput stranger(false);
    ReportNotice strange(ReportNotice::ClosePreview, 0, &stranger);
    QCoreApplication::sendEvent(&report, &strange);
    QCOMPARE(report.output(), first.data());
    first->closePreview();
    QVERIFY(!report.output());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!first);
}

void tst_Report::printFailuresAreErrors_data()
{
    QTest::addColumn<bool>("available");
    QTest::addColumn<QString>("file"); // where the printer writes, in the test's folder
    QTest::addColumn<bool>("refused"); // the printer does not take the finished job
    QTest::addColumn<QString>("error"); // empty: printed
    QTest::newRow("printed") << true << u"printed.pdf"_s << false << QString();
    QTest::newRow("no printer") << false << u"none.pdf"_s << false << QString::fromUtf16(u"プリンタがインストールされていません");
    QTest::newRow("job not started") << true << u"no/such/folder/x.pdf"_s << false << QString::fromUtf16(u"印刷を開始できません");
    QTest::newRow("job refused") << true << u"refused.pdf"_s << true << u"the queue is not accepting jobs"_s;
}

void tst_Report::printFailuresAreErrors()
{
    QFETCH(bool, available);
    QFETCH(QString, file);
    QFETCH(bool, refused);
    QFETCH(QString, error);
    QTextDocument doc;
    doc.setPlainText(u"印刷"_s);
    RichDocument rich(&doc);
    TPrintReport2 report;
    report.setParentRichEdit(&rich);
    const QString path = m_dir.filePath(file);
    report.setPrinter(available, [path, refused](const QString &) {
        ReportPrinter printer;
        printer.device = std::make_unique<QPdfWriter>(path);
        if (refused)
            printer.submit = [] { throw AppError(u"the queue is not accepting jobs"_s); };
        return printer;
    });
    QString raised;
    bool printed = false;
    try {
        printed = report.print();
    } catch (const AppError &e) {
        raised = e.text();
    }
    QCOMPARE(raised, error);
    QCOMPARE(printed, error.isEmpty());
    QVERIFY(!report.isBusy()); // the report takes the next run
}

void tst_Report::printersAreAskedForAtEachOutput()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    TPrintReport2 report;
    report.setParentRichEdit(&rich);
    bool present = false;
    int asked = 0;
    const QString path = m_dir.filePath(u"late.pdf"_s);
    report.setPrinter(std::function<bool()>([&] {
                          ++asked;
                          return present;
                      }),
                      [path](const QString &) {
                          ReportPrinter printer;
                          printer.device = std::make_unique<QPdfWriter>(path);
                          return printer;
                      });
    report.preview();
    QVERIFY(report.output());
    QVERIFY(!report.output()->printerAvailable());
    QVERIFY_THROWS_EXCEPTION(AppError, report.print());
    // A printer added while the program runs is found by the next output.
    present = true;
    QVERIFY(report.print());
    QVERIFY(QFile::exists(path));
    QCOMPARE(asked, 3);
    report.output()->closePreview();
}

QTEST_MAIN(tst_Report)
#include "tst_report.moc"
