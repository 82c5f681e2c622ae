// The print commands: preview, printer setup and the direct print.

#include "app/tpenform1.h"

#include "document/apperror.h"
#include "app/messagebox.h"
#include "app/messages.h"
#include "app/pickers.h"
#include "document/formatrange.h"
#include "document/richedit.h"
#include "printing/tprintreport2.h"
#include "printing/reportunits.h"
#include "printing/systemprinters.h"
#include "printing/tpreviewwindow.h"

#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QPrinter>

namespace {

// Keeps the queue a dialog pointed the printer at; a file chosen instead of a printer changes
// nothing for later prints.
void rememberQueue(const QPrinter &printer, QString &chosen)
{
    if (const QString queue = SystemPrinters::queueOf(printer); !queue.isEmpty())
        chosen = queue;
}

} // namespace

void TPenForm1::FilePureviewExecute()
{
    if (!m_printReport)
        return;
    // One preview at a time: the command brings an open one to the front.
    if (m_previewWindow && m_previewWindow->isVisible()) {
        m_previewWindow->raise();
        m_previewWindow->activateWindow();
        return;
    }
    TPrintReport2 &report = *m_printReport;
    report.ReportTitle = windowTitle();
    report.OnPreview = [this](TReportOutput *output) { ReportPreview(output); };
    report.OnError = [this](const QString &text) {
        MessageBox::showAppError(m_previewWindow ? static_cast<QWidget *>(m_previewWindow) : this, text);
    };
    // The window opens at once and fills while pages come; the rest of the program keeps
    // going meanwhile.
    report.betweenPages = [] { QCoreApplication::processEvents(); };
    report.preview();
    TReportOutput *output = report.output();
    if (!output || !output->showingPreview() || !m_previewWindow)
        return; // cancelled, or the window was closed while the pages were made
    // The command ends when its window closes, or when the program ends.
    QEventLoop wait;
    connect(m_previewWindow, &QObject::destroyed, &wait, &QEventLoop::quit);
    connect(output, &QObject::destroyed, &wait, &QEventLoop::quit);
    connect(this, &TPenForm1::closing, &wait, &QEventLoop::quit);
    wait.exec();
}

void TPenForm1::ReportPreview(TReportOutput *output)
{
    auto *window = new TPreviewWindow(output);
    window->hideReportFileButtons();
    m_previewWindow = window;
    window->show();
    window->showPageStatus();
}

TPreviewWindow *TPenForm1::previewWindow() const
{
    return m_previewWindow;
}

QString TPenForm1::chosenPrinter() const
{
    return m_chosenPrinter;
}

QPrinter &TPenForm1::printer()
{
    // Made when first used: setting one up asks the print system for its printers, which the
    // program's start does not wait for.
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void TPenForm1::FilePrintSetExecute()
{
    // The printers there are now: the one chosen before while it exists, else the default.
    SystemPrinters::selectQueue(printer(), m_chosenPrinter);
    // What is chosen becomes the setting of the printer the direct print uses, and the printer
    // the report prints on.
    if (Pickers::printer(this, printer(), true))
        rememberQueue(printer(), m_chosenPrinter);
}

void TPenForm1::FilePrintExecute()
{
    SystemPrinters::selectQueue(printer(), m_chosenPrinter);
    if (!Pickers::printer(this, printer(), false))
        return;
    QPrinter &printer = this->printer();
    // The printer chosen in the dialog is the program's printer from now on, as the one the
    // printer setup chooses; its copies and the rest stay on the printer object.
    rememberQueue(printer, m_chosenPrinter);
    const QString title = windowTitle();
    printer.setDocName(title);
    printer.setFullPage(false);
    // The printable area, with no margins of our own.
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRect pageTwips(0, 0, ReportUnits::twips(area.width(), printer.logicalDpiX()),
                          ReportUnits::twips(area.height(), printer.logicalDpiY()));
    SystemPrinters::QueueJob job(printer);
    QPainter painter;
    if (!painter.begin(&printer))
        throw AppError(Messages::text(Messages::PrintNotStarted));
    RichEdit1->releaseFormatRange();
    const qint64 length = RichEdit1->textLength();
    FormatRange request;
    request.painter = &painter;
    request.target = &printer;
    request.rectTwips = pageTwips;
    request.pageTwips = pageTwips;
    request.pageAreaTwips = pageTwips.size();
    // A line taller than the page is printed cut on a page of its own: the loop always ends.
    request.atLeastOneLine = true;
    qint64 first = 0;
    for (;;) {
        request.first = first;
        const qint64 next = RichEdit1->formatRange(request);
        if (next < 0 || next >= length || next <= first)
            break;
        printer.newPage();
        first = next;
    }
    const bool printed = painter.end();
    RichEdit1->releaseFormatRange();
    if (!printed)
        throw AppError(Messages::text(Messages::PrintNotFinished));
    if (const std::optional<QString> refusal = job.submit(title))
        throw AppError(*refusal);
}
