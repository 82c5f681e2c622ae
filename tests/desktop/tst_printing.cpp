// Printing on the session's print server: the printer setup, the direct print and the
// preview's 印刷, each making a PDF in a queue's folder, and the failures told to the user.

#include "desktop.h"

#include "app/startup.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "printing/printersetupdialog.h"
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
    void cleanup()
    {
        if (QTest::currentTestFailed())
            Desktop::recordFailure();
    }
    void init();
    void printerSetupChoosesWhatBothPrintsUse();
    void directPrintAndPreviewPrintMakePdfs();
    void printerAddedWhileRunningIsUsed();
    void refusedJobsAreReported();
};

void tst_DesktopPrinting::init()
{
    QVERIFY(restoreQueues());
}

void tst_DesktopPrinting::printerSetupChoosesWhatBothPrintsUse()
{
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
    TPenForm1 &window = session.window();
    const QString text = body(30);
    window.RichEdit1->replaceSelection(text);

    // プリンタ設定: a setup dialog, captioned as such, that chooses and prints nothing. The
    // second printer, its properties, A5 and landscape are chosen with the keyboard.
    QString caption;
    QStringList buttons;
    QStringList printers;
    QStringList resolutions;
    QString paperShown;
    const auto isSetup = [](QWidget *w) { return qobject_cast<PrinterSetupDialog *>(w) != nullptr; };
    Desktop::Script setup;
    setup.withModal<PrinterSetupDialog>(u"the printer setup"_s, [&](PrinterSetupDialog *dialog) {
        caption = Desktop::window(Desktop::windowId(dialog)).value_or(Desktop::Window()).name;
        for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>())
            buttons += button->text();
        for (int i = 0; i < dialog->printerBox()->count(); ++i)
            printers += dialog->printerBox()->itemText(i);
        const int steps = printers.indexOf(Desktop::queue2()) - dialog->printerBox()->currentIndex();
        QStringList keys { u"alt+n"_s };
        for (int i = 0; i < qAbs(steps); ++i)
            keys += steps > 0 ? u"Down"_s : u"Up"_s;
        keys += u"alt+p"_s;
        Desktop::keysIn(dialog, keys);
    });
    setup.withModalWhere(
        u"the printer's properties"_s, [](QWidget *w) { return w->objectName() == u"PrinterProperties"_s; },
        [&](QWidget *dialog) {
            if (auto *box = dialog->findChild<QComboBox *>(u"Resolution"_s)) {
                for (int i = 0; i < box->count(); ++i)
                    resolutions += box->itemText(i);
            }
            Desktop::keysIn(dialog, { u"Return"_s });
        });
    setup.withModalWhere(u"the printer setup again"_s, isSetup, [&](QWidget *shown) {
        auto *dialog = static_cast<PrinterSetupDialog *>(shown);
        QComboBox *papers = dialog->paperBox();
        QStringList keys { u"alt+z"_s };
        const int steps = papers->findText(u"A5"_s) - papers->currentIndex();
        for (int i = 0; i < qAbs(steps); ++i)
            keys += steps > 0 ? u"Down"_s : u"Up"_s;
        keys += u"alt+a"_s;
        Desktop::keysIn(dialog, keys);
        // OK once the dialog shows both: the keys are taken in order, the last one included.
        Desktop::waitFor([&] { return papers->currentText() == u"A5"_s && dialog->landscapeButton()->isChecked(); });
        paperShown = papers->currentText();
        Desktop::keysIn(dialog, { u"Return"_s });
    });
    setup.start();
    window.command(u"FilePrintSet"_s)->trigger();
    QVERIFY2(setup.isDone(), qPrintable(setup.failure()));
    QCOMPARE(caption, QString::fromUtf16(u"プリンタの設定"));
    QVERIFY2(buttons.contains(u"OK"_s) && buttons.contains(QString::fromUtf16(u"キャンセル")), qPrintable(buttons.join(u", "_s)));
    for (const QString &button : std::as_const(buttons))
        QVERIFY2(!button.contains(QString::fromUtf16(u"印刷")), qPrintable(button));
    QVERIFY(printers.contains(Desktop::queue()) && printers.contains(Desktop::queue2()));
    QCOMPARE(paperShown, u"A5"_s);
    // The queue's PPD offers several resolutions: they are its properties.
    QVERIFY2(resolutions.size() > 1, qPrintable(resolutions.join(u", "_s)));
    QCOMPARE(window.chosenPrinter(), Desktop::queue2());

    // The direct print: the print dialog shows the printer chosen, offers no file, and the
    // pages come out of that printer, A5 landscape.
    QString printerShown;
    QStringList offered;
    const QStringList before2 = Desktop::pdfs(Desktop::pdf2Folder());
    Desktop::Script print;
    print.withModal<QPrintDialog>(u"the print dialog"_s, [&](QPrintDialog *dialog) { acceptPrintDialog(dialog, &printerShown, &offered); });
    print.start();
    window.command(u"FilePrint"_s)->trigger();
    QVERIFY2(print.isDone(), qPrintable(print.failure()));
    QCOMPARE(printerShown, Desktop::queue2());
    QCOMPARE(offered.size(), 2); // the two queues, no file
    const QString direct = Desktop::waitForPdf(Desktop::pdf2Folder(), before2);
    QVERIFY2(!direct.isEmpty(), "no PDF from the chosen printer");
    const QString sent = Desktop::latestJobFile();
    const QSizeF paper = Desktop::pdfPageSize(sent);
    QVERIFY2(qAbs(paper.width() - 595) < 2 && qAbs(paper.height() - 420) < 2,
             qPrintable(u"%1 x %2 pt"_s.arg(paper.width()).arg(paper.height())));
    QCOMPARE(Desktop::pdfPages(direct), Desktop::pdfPages(sent));
    QCOMPARE(Desktop::pdfText(sent), withoutSpaces(text));

    // The preview's 印刷 prints the report on the chosen printer too, on A4 upright.
    const QStringList before = Desktop::pdfs(Desktop::pdf2Folder());
    Desktop::Script preview;
    preview.waitFor(u"the preview, printable"_s, [&] { return window.previewWindow() && window.previewWindow()->Print->isEnabled(); })
        .then([&] {
            TPreviewWindow *shown = window.previewWindow();
            Desktop::activate(Desktop::windowId(shown));
            Desktop::clickOn(shown->Print);
        })
        .waitFor(u"the report's PDF"_s, [&] { return !Desktop::waitForPdf(Desktop::pdf2Folder(), before, 0).isEmpty(); })
        .then([&] { Desktop::keysIn(window.previewWindow(), { u"Escape"_s }); });
    preview.start();
    window.command(u"FilePureview"_s)->trigger();
    QVERIFY2(preview.isDone(), qPrintable(preview.failure()));
    const QString report = Desktop::waitForPdf(Desktop::pdf2Folder(), before);
    QVERIFY(!report.isEmpty());
    const QSizeF a4 = Desktop::pdfPageSize(Desktop::latestJobFile());
    QVERIFY2(qAbs(a4.width() - 595) < 2 && qAbs(a4.height() - 842) < 2, qPrintable(u"%1 x %2 pt"_s.arg(a4.width()).arg(a4.height())));
}

void tst_DesktopPrinting::directPrintAndPreviewPrintMakePdfs()
{
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
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
            Desktop::clickOn(shown->Print);
        })
        .waitFor(u"the report's PDF"_s, [&] { return !Desktop::waitForPdf(Desktop::pdfFolder(), before, 0).isEmpty(); })
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
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
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
            Desktop::clickOn(shown->Print);
        })
        .withModal<QMessageBox>(u"the error box of the preview"_s, [&](QMessageBox *box) { answerMessage(box, &told); })
        // ...until a printer is added while the program runs: then it prints there.
        .then([&] {
            Desktop::addQueue(Desktop::queue(), true);
            before = Desktop::pdfs(Desktop::pdfFolder());
            TPreviewWindow *shown = window.previewWindow();
            Desktop::activate(Desktop::windowId(shown));
            Desktop::clickOn(shown->Print);
        })
        .waitFor(u"the report's PDF from the printer added"_s, [&] { return !(report = Desktop::waitForPdf(Desktop::pdfFolder(), before, 0)).isEmpty(); })
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
    const int jobs = Desktop::latestJob();
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
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
            Desktop::clickOn(shown->Print);
        })
        .withModal<QMessageBox>(u"the error box of the preview"_s, [&](QMessageBox *box) { answerMessage(box, &reportTold); })
        .then([&] { Desktop::keysIn(window.previewWindow(), { u"Escape"_s }); });
    preview.start();
    window.command(u"FilePureview"_s)->trigger();
    QVERIFY2(preview.isDone(), qPrintable(preview.failure()));
    QVERIFY2(reportTold.contains(u"not accepting jobs"_s), qPrintable(reportTold));
    // The server took no job, so no PDF is on its way.
    QCOMPARE(Desktop::latestJob(), jobs);
    QCOMPARE(Desktop::pdfs(Desktop::pdfFolder()), before);
}

QObject *newDesktopPrintingTest()
{
    return new tst_DesktopPrinting;
}

#include "tst_printing.moc"
