#include "startup.h"

#include "app/commandicons.h"
#include "app/controls.h"
#include "app/fontsubstitutes.h"
#include "app/japaneseui.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "printing/systemprinters.h"
#include "printing/tprintreport2.h"

#include <QApplication>
#include <QFileInfo>
#include <QPagedPaintDevice>

namespace Startup {

void setUpApplication()
{
    // The application's name only: a display name would be appended to every window's title.
    QApplication::setApplicationName(QStringLiteral("Penloft"));
    QApplication::setDesktopFileName(QStringLiteral("penloft"));
    qApp->setProperty("helpFile", helpFilePath(QCoreApplication::applicationDirPath()));
    QApplication::setWindowIcon(applicationIcon());
    installJapaneseUi();
    installFontSubstitutes();
}

QString helpFilePath(const QString &programFolder)
{
    const QString beside = programFolder + QStringLiteral("/help/index.html");
    if (QFileInfo(beside).isFile())
        return beside;
    return QStringLiteral(PENLOFT_HELP_FILE);
}

Windows::~Windows()
{
    // The window first: it may still show a preview of the report's pages.
    window.reset();
    report.reset();
}

std::unique_ptr<Windows> createWindows()
{
    auto windows = std::make_unique<Windows>();
    windows->window = std::make_unique<TPenForm1>();
    TPenForm1 *window = windows->window.get();
    windows->report = std::make_unique<TPrintReport2>();
    TPrintReport2 &report = *windows->report;
    report.setParentRichEdit(&window->RichEdit1->richDocument());
    // Printers are looked for at each new output; a print goes to the printer chosen in the
    // printer setup while it exists, otherwise to the system's default one.
    report.setPrinter(std::function<bool()>([] { return !SystemPrinters::names().isEmpty(); }),
                      [window](const QString &title) { return SystemPrinters::reportPrinter(window->chosenPrinter(), title); });
    window->setPrintReport(&report);
    window->createToolForms();
    return windows;
}

void showWindows(Windows &windows, const QStringList &documents)
{
    TPenForm1 &window = *windows.window;
    window.show();
    // The window manager frames the window before it shows: the placement read from the
    // settings is the outer one, so it is applied again once the frame is known. Then the
    // window and the splash over it are painted, before any document is read.
    if (waitUntilExposed(&window, 2000))
        window.applyOuterPlacement();
    window.repaint();
    if (TForm3 *splash = window.splash()) {
        splash->raise();
        splash->repaint();
    }
    // Both pictures are on their way to the window system by now (each repaint flushes its
    // window): the documents are read while it puts them on the screen.
    window.FormShow(documents);
}

} // namespace Startup
