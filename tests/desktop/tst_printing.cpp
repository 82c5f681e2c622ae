// Printing on the session's print server: the printer setup, the direct print and the
// preview's 印刷, each making a PDF in a queue's folder, and the failures told to the user.

#include "desktop.h"

#include "app/startup.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "printing/tpreviewwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QMessageBox>
#include <QPrintDialog>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// `lines` numbered lines of Japanese text: about 50 fill an A4 page of the direct print.
QString body(int lines)
{
    QString text;
    for (int i = 1; i <= lines; ++i)
        text += u"第%1行　印刷の試験に使う日本語の文章です。\n"_s.arg(i);
    return text;
}

QString withoutSpaces(QString text)
{
    text.remove(QRegularExpression(u"\\s"_s, QRegularExpression::UseUnicodePropertiesOption));
    return text;
}

// Presses 印刷 in the print dialog (its default button) after noting which printer it shows.
void acceptPrintDialog(QPrintDialog *dialog, QString *printerShown, QStringList *printersOffered)
{
    for (QComboBox *box : dialog->findChildren<QComboBox *>()) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items += box->itemText(i);
        if (items.contains(Desktop::queue())) {
            *printerShown = box->currentText();
            *printersOffered = items;
        }
    }
    Desktop::keysIn(dialog, { u"Return"_s });
}

// The text of the message box on the screen, then OK.
void answerMessage(QMessageBox *box, QString *text)
{
    *text = box->text();
    Desktop::keysIn(box, { u"Return"_s });
}

// The default queue and the second queue, both accepting; the default queue the default.
bool restoreQueues()
{
    const QStringList queues = Desktop::run(u"lpstat"_s, { u"-e"_s }).split(u'\n', Qt::SkipEmptyParts);
    bool ok = true;
    for (const QString &queue : { Desktop::queue2(), Desktop::queue() }) {
        if (!queues.contains(queue))
            ok = Desktop::addQueue(queue, false) && ok;
        ok = Desktop::printAdmin(u"cupsaccept"_s, { queue }) && ok;
        ok = Desktop::printAdmin(u"cupsenable"_s, { queue }) && ok;
    }
    return Desktop::printAdmin(u"lpadmin"_s, { u"-d"_s, Desktop::queue() }) && ok;
}

} // namespace

class tst_DesktopPrinting : public QObject {
    Q_OBJECT
private slots:
    void init();
    void directPrintAndPreviewPrintMakePdfs();
    void printerAddedWhileRunningIsUsed();
    void refusedJobsAreReported();
};

void tst_DesktopPrinting::init()
{
    QVERIFY(restoreQueues());
}

void tst_DesktopPrinting::directPrintAndPreviewPrintMakePdfs()
{
    Desktop::Session session;
    TPenForm1 &window = session.window();
    const QString text = body(120);
    window.RichEdit1->replaceSelection(text);

    // The direct print: every line, on as many pages as it takes, nothing added.
    QString printerShown;
    QStringList offered;
    QStringList before = Desktop::pdfs(Desktop::pdfFolder());
    Desktop::Script print;
    print.withModal<QPrintDialog>(u"the print dialog"_s, [&](QPrintDialog *dialog) { acceptPrintDialog(dialog, &printerShown, &offered); });
    print.start();
    window.command(u"FilePrint"_s)->trigger();
    QVERIFY2(print.isDone(), qPrintable(print.failure()));
    QCOMPARE(printerShown, Desktop::queue());
    const QString direct = Desktop::waitForPdf(Desktop::pdfFolder(), before);
    QVERIFY2(!direct.isEmpty(), "no PDF from the default printer");
    const QString sent = Desktop::latestJobFile();
    QVERIFY(Desktop::pdfPages(sent) >= 2);
    QCOMPARE(Desktop::pdfPages(direct), Desktop::pdfPages(sent));
    QCOMPARE(Desktop::pdfText(sent), withoutSpaces(text));

    // The preview's 印刷: the report's pages, each with its number at the foot.
    before = Desktop::pdfs(Desktop::pdfFolder());
    Desktop::Script preview;
    preview.waitFor(u"the preview, printable"_s, [&] { return window.previewWindow() && window.previewWindow()->Print->isEnabled(); })
        .then([&] {
            TPreviewWindow *shown = window.previewWindow();
            Desktop::activate(Desktop::windowId(shown));
            Desktop::click(shown->Print->mapToGlobal(shown->Print->rect().center()));
        })
        .waitFor(u"the report's PDF"_s, [&] { return !Desktop::waitForPdf(Desktop::pdfFolder(), before, 0).isEmpty(); }, 30000)
        .then([&] { Desktop::keysIn(window.previewWindow(), { u"Escape"_s }); });
    preview.start();
    window.command(u"FilePureview"_s)->trigger();
    QVERIFY2(preview.isDone(), qPrintable(preview.failure()));
    const QString report = Desktop::waitForPdf(Desktop::pdfFolder(), before);
    QVERIFY(!report.isEmpty());
    const QString reportSent = Desktop::latestJobFile();
    const int pages = Desktop::pdfPages(reportSent);
    QVERIFY(pages >= 2);
    QCOMPARE(Desktop::pdfPages(report), pages);
    const QString printed = Desktop::pdfText(reportSent);
    for (int page = 1; page <= pages; ++page)
        QVERIFY2(printed.contains(u"-%1-"_s.arg(page)), qPrintable(u"no footer on page %1"_s.arg(page)));
    QVERIFY(!printed.contains(u"-%1-"_s.arg(pages + 1)));
    QVERIFY(printed.contains(withoutSpaces(u"第120行　印刷の試験に使う日本語の文章です。"_s)));
}

void tst_DesktopPrinting::printerAddedWhileRunningIsUsed()
{
    QVERIFY(Desktop::printAdmin(u"lpadmin"_s, { u"-x"_s, Desktop::queue() }));
    QVERIFY(Desktop::printAdmin(u"lpadmin"_s, { u"-x"_s, Desktop::queue2() }));
    Desktop::Session session;
    TPenForm1 &window = session.window();
    window.RichEdit1->replaceSelection(body(5));

    // No printer: the direct print says so, in its error box, and prints nothing.
    QString told;
    Desktop::Script none;
    none.withModal<QMessageBox>(u"the error box"_s, [&](QMessageBox *box) { answerMessage(box, &told); });
    none.start();
    window.command(u"FilePrint"_s)->trigger();
    QVERIFY2(none.isDone(), qPrintable(none.failure()));
    QCOMPARE(told, QString::fromUtf16(u"プリンタがインストールされていません."));

    // The preview still shows the pages; its 印刷 says there is no printer...
    told.clear();
    QString toldAfter;
    QStringList before;
    QString report;
    Desktop::Script preview;
    preview.waitFor(u"the preview, printable"_s, [&] { return window.previewWindow() && window.previewWindow()->Print->isEnabled(); })
        .then([&] {
            TPreviewWindow *shown = window.previewWindow();
            Desktop::activate(Desktop::windowId(shown));
            Desktop::click(shown->Print->mapToGlobal(shown->Print->rect().center()));
        })
        .withModal<QMessageBox>(u"the error box of the preview"_s, [&](QMessageBox *box) { answerMessage(box, &told); })
        // ...until a printer is added while the program runs: then it prints there.
        .then([&] {
            Desktop::addQueue(Desktop::queue(), true);
            before = Desktop::pdfs(Desktop::pdfFolder());
            TPreviewWindow *shown = window.previewWindow();
            Desktop::activate(Desktop::windowId(shown));
            Desktop::click(shown->Print->mapToGlobal(shown->Print->rect().center()));
        })
        .waitFor(u"the report's PDF from the printer added"_s, [&] { return !(report = Desktop::waitForPdf(Desktop::pdfFolder(), before, 0)).isEmpty(); }, 30000)
        .then([&] { Desktop::keysIn(window.previewWindow(), { u"Escape"_s }); });
    preview.start();
    window.command(u"FilePureview"_s)->trigger();
    QVERIFY2(preview.isDone(), qPrintable(preview.failure()));
    QCOMPARE(told, QString::fromUtf16(u"プリンタがインストールされていません."));
    QVERIFY(!report.isEmpty());

    // The direct print finds it too.
    QString printerShown;
    QStringList offered;
    before = Desktop::pdfs(Desktop::pdfFolder());
    Desktop::Script print;
    print.withModal<QPrintDialog>(u"the print dialog"_s, [&](QPrintDialog *dialog) { acceptPrintDialog(dialog, &printerShown, &offered); });
    print.start();
    window.command(u"FilePrint"_s)->trigger();
    QVERIFY2(print.isDone(), qPrintable(print.failure()));
    QCOMPARE(printerShown, Desktop::queue());
    QVERIFY(!Desktop::waitForPdf(Desktop::pdfFolder(), before).isEmpty());
}

void tst_DesktopPrinting::refusedJobsAreReported()
{
    QVERIFY(Desktop::printAdmin(u"cupsreject"_s, { Desktop::queue() }));
    Desktop::Session session;
    TPenForm1 &window = session.window();
    window.RichEdit1->replaceSelection(body(5));
    const QStringList before = Desktop::pdfs(Desktop::pdfFolder());

    // The direct print: the queue's refusal, in the print system's words.
    QString told;
    QString printerShown;
    QStringList offered;
    Desktop::Script print;
    print.withModal<QPrintDialog>(u"the print dialog"_s, [&](QPrintDialog *dialog) { acceptPrintDialog(dialog, &printerShown, &offered); })
        .withModal<QMessageBox>(u"the error box"_s, [&](QMessageBox *box) { answerMessage(box, &told); });
    print.start();
    window.command(u"FilePrint"_s)->trigger();
    QVERIFY2(print.isDone(), qPrintable(print.failure()));
    QVERIFY2(told.startsWith(QString::fromUtf16(u"プリンタ \"%1\" で印刷できません\n").arg(Desktop::queue())), qPrintable(told));
    QVERIFY2(told.contains(u"not accepting jobs"_s), qPrintable(told));

    // The preview's 印刷 likewise.
    QString reportTold;
    Desktop::Script preview;
    preview.waitFor(u"the preview, printable"_s, [&] { return window.previewWindow() && window.previewWindow()->Print->isEnabled(); })
        .then([&] {
            TPreviewWindow *shown = window.previewWindow();
            Desktop::activate(Desktop::windowId(shown));
            Desktop::click(shown->Print->mapToGlobal(shown->Print->rect().center()));
        })
        .withModal<QMessageBox>(u"the error box of the preview"_s, [&](QMessageBox *box) { answerMessage(box, &reportTold); })
        .then([&] { Desktop::keysIn(window.previewWindow(), { u"Escape"_s }); });
    preview.start();
    window.command(u"FilePureview"_s)->trigger();
    QVERIFY2(preview.isDone(), qPrintable(preview.failure()));
    QVERIFY2(reportTold.contains(u"not accepting jobs"_s), qPrintable(reportTold));
    QTest::qWait(500);
    QCOMPARE(Desktop::pdfs(Desktop::pdfFolder()), before);
}

QObject *newDesktopPrintingTest()
{
    return new tst_DesktopPrinting;
}

#include "tst_printing.moc"
