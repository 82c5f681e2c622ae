#include "app/conversion.h"
#include "app/fontsubstitutes.h"
#include "app/plainwindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextStream>
#include <QTranslator>

#include <cstdio>

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
    // No display is needed or wanted for a batch conversion.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    installFontSubstitutes();

    PlainWindow window;
    window.show();
    for (const QString &path : QApplication::arguments().mid(1)) {
        if (!window.openFile(path))
            break;
    }
    return QApplication::exec();
}
