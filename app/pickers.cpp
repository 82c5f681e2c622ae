#include "pickers.h"

#include "app/controls.h"

#include "app/messagebox.h"
#include "app/messages.h"
#include "editing/fontdialog.h"
#include "printing/printersetupdialog.h"
#include "printing/systemprinters.h"

#include <QColorDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

Pickers::ColorRunner &colorRunner()
{
    static Pickers::ColorRunner runner;
    return runner;
}

Pickers::PrinterRunner &printerRunner()
{
    static Pickers::PrinterRunner runner;
    return runner;
}

Pickers::FontRunner &fontRunner()
{
    static Pickers::FontRunner runner;
    return runner;
}

} // namespace

namespace Pickers {

void setColorRunner(ColorRunner runner)
{
    colorRunner() = std::move(runner);
}

void setPrinterRunner(PrinterRunner runner)
{
    printerRunner() = std::move(runner);
}

bool printer(QWidget *parent, QPrinter &printer, bool setupOnly)
{
    if (printerRunner())
        return printerRunner()(parent, printer, setupOnly);
    // Both dialogs warn, and show nothing more, when the system has no printer.
    if (SystemPrinters::names().isEmpty()) {
        MessageBox::showAppError(parent, Messages::text(Messages::NoPrinter));
        return false;
    }
    if (setupOnly) {
        PrinterSetupDialog setup(printer, parent);
        return setup.exec() == QDialog::Accepted;
    }
    QPrintDialog dialog(&printer, parent);
    useDialogFrame(&dialog);
    // Whole documents to a printer only: no page numbers, no selection, no file.
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    const QString queue = printer.printerName();
    const QPageSize paper = printer.pageLayout().pageSize();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // Qt's print dialog puts the queue's default paper in place of the paper the printer was
    // set to (the printer setup's choice) unless the user picks another: the setup's stays.
    const QPageSize left = printer.pageLayout().pageSize();
    if (printer.printerName() == queue && !left.isEquivalentTo(paper)
        && left.isEquivalentTo(QPrinterInfo::printerInfo(queue).defaultPageSize()))
        printer.setPageSize(paper);
    return true;
}

void setFontRunner(FontRunner runner)
{
    fontRunner() = std::move(runner);
}

std::optional<QColor> color(QWidget *parent, const QColor &initial)
{
    if (colorRunner())
        return colorRunner()(parent, initial);
    QColorDialog dialog(initial, parent);
    // Qt's own dialog, so that it speaks Japanese with its translation; opaque colours only.
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QColor chosen = dialog.selectedColor();
    chosen.setAlpha(255);
    return chosen;
}

std::optional<CharFormat> font(QWidget *parent, const QStringList &families, const CharFormat &preset,
                               const std::function<void(const CharFormat &)> &apply)
{
    if (fontRunner())
        return fontRunner()(parent, families, preset, apply);
    FontDialog dialog(families, parent);
    dialog.setFont(preset);
    QObject::connect(&dialog, &FontDialog::applied, &dialog, apply);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.font();
}

} // namespace Pickers
