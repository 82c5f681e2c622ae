// ファイル > ページ設定: the paper and margins the document is printed on.

#include "app/tpenform1.h"

#include "document/richedit.h"
#include "printing/pagesetupdialog.h"

#include <QPrinterInfo>

namespace {

// The papers offered: those of the chosen printer, or the common ones (A4 first, the page of
// PDF output) when none is chosen or it lists none.
QList<QPageSize> offeredPapers(const QString &printer)
{
    QList<QPageSize> papers;
    if (!printer.isEmpty())
        papers = QPrinterInfo::printerInfo(printer).supportedPageSizes();
    if (papers.isEmpty()) {
        for (const QPageSize::PageSizeId id : { QPageSize::A4, QPageSize::A5, QPageSize::A3, QPageSize::B5, QPageSize::JisB5,
                                                QPageSize::Letter, QPageSize::Legal })
            papers.append(QPageSize(id));
    }
    return papers;
}

} // namespace

void TPenForm1::FilePageSetupExecute()
{
    RichDocument &document = RichEdit1->richDocument();
    PageSetupDialog dialog(document.pageSetup(), offeredPapers(chosenPrinter()), this);
    dialog.setObjectName(QStringLiteral("PageSetupDialog"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const PageSetup setup = dialog.result();
    if (setup == document.pageSetup())
        return;
    document.setPageSetup(setup);
    // The page setup is saved with the document: a change is a change to save.
    RichEdit1->setModified(true);
}
