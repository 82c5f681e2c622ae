#include "app/conversion.h"
#include "app/fontsubstitutes.h"
#include "app/startup.h"
#include "app/tpenform1.h"

#include <QApplication>
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
    Startup::setUpApplication();
    std::unique_ptr<Startup::Windows> windows = Startup::createWindows();
    TPenForm1 *window = windows->window.get();
    if (qEnvironmentVariableIsSet("PENLOFT_QUIT_WHEN_STARTED")) {
        // For measuring start-up: end as soon as the window is up and the splash is gone.
        QObject::connect(window->splash(), &QObject::destroyed, &app,
                         [] { QTimer::singleShot(0, qApp, &QCoreApplication::quit); });
    }
    window->handleEndSignals();
    Startup::showWindows(*windows, QApplication::arguments().mid(1));
    const int status = QApplication::exec();
    window->FormDestroy();
    windows.reset();
    return status;
}
