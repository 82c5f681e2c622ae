#include "app/commandicons.h"
#include "app/conversion.h"
#include "app/fontsubstitutes.h"
#include "app/japaneseui.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "printing/tprintreport2.h"

#include <QApplication>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextStream>
#include <QTimer>

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments += QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int convert(int argc, char **argv)
{
    // No display is needed or wanted for a batch conversion; its errors are the files' own,
    // not the window system's complaints about a missing session.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg || type == QtCriticalMsg)
            QTextStream(stderr) << message << '\n';
    });
    QGuiApplication app(argc, argv);
    installFontSubstitutes();
    QTextStream errors(stderr);
    return Conversion::run(argumentsOf(argc, argv), errors);
}

} // namespace

int main(int argc, char **argv)
{
    if (Conversion::isRequested(argumentsOf(argc, argv)))
        return convert(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Penloft"));
    QApplication::setApplicationDisplayName(QStringLiteral("Penloft"));
    QApplication::setDesktopFileName(QStringLiteral("penloft"));
    app.setProperty("helpFile", QStringLiteral(PENLOFT_HELP_FILE));
    QApplication::setWindowIcon(applicationIcon());
    installJapaneseUi();
    installFontSubstitutes();

    auto *window = new TPenForm1;
    // The report the preview and the report print use, made hidden right after the window.
    TPrintReport2 report;
    report.setParentRichEdit(&window->RichEdit1->richDocument());
    report.setPrinter(!QPrinterInfo::availablePrinters().isEmpty(), [](const QString &title) {
        // The system's default printer, A4 portrait, one copy, the whole paper addressed.
        auto printer = std::make_unique<QPrinter>(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
        printer->setDocName(title);
        printer->setFullPage(true);
        printer->setCopyCount(1);
        ReportPrinter target;
        QPrinter *raw = printer.get();
        target.abort = [raw] { raw->abort(); };
        target.device = std::move(printer);
        return target;
    });
    window->setPrintReport(&report);
    window->createToolForms();
    if (qEnvironmentVariableIsSet("PENLOFT_QUIT_WHEN_STARTED")) {
        // For measuring start-up: end as soon as the window is up and the splash is gone.
        QObject::connect(window->splash(), &QObject::destroyed, &app,
                         [] { QTimer::singleShot(0, qApp, &QCoreApplication::quit); });
    }
    window->handleEndSignals();
    window->show();
    window->FormShow(QApplication::arguments().mid(1));
    const int status = QApplication::exec();
    window->FormDestroy();
    delete window;
    return status;
}
