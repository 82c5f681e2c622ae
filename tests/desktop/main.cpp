// The desktop suite: every test class in turn, in one program on the session's desktop.
//   tst_desktop [CLASS...] [-- QTest options]
// With class names, only those run.

#include "app/startup.h"
#include "desktop.h"

#include <QApplication>
#include <QFileInfo>
#include <QTest>

#include <memory>
#include <vector>

QObject *newDesktopWindowsTest();
QObject *newDesktopPrintingTest();
QObject *newDesktopInputTest();
QObject *newDesktopDialogsTest();
QObject *newDesktopRecoveryTest();
QObject *newDesktopViewAndPageTest();
QObject *newDesktopScreenReaderTest();
QObject *newDesktopFcitxTest();
QObject *newDesktopWaylandTest();
QObject *newDesktopScaledTest();

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The program's own set-up: its names, Qt's dialogs in Japanese, the font substitutes.
    Startup::setUpApplication();
    if (qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("xcb") || qEnvironmentVariableIsEmpty("PENLOFT_DESKTOP_DIR")) {
        qCritical("tst_desktop runs inside tests/desktop/desktop-session (QT_QPA_PLATFORM=xcb, a session of its own)");
        return 1;
    }
    if (!QFileInfo(Desktop::programPath()).isExecutable()) {
        qCritical("no program to test: desktop-session --program names it (PENLOFT_DESKTOP_PROGRAM)");
        return 1;
    }
    // The input method's server starts at its first key; it is a part of the desktop like the
    // others, and the suite does not run without it.
    if (!Desktop::inputMethodAnswers(60000)) {
        qCritical("the input method (ibus with mozc) did not compose a key within a minute");
        return 1;
    }
    QStringList only;
    QStringList options { QString::fromLocal8Bit(argv[0]) };
    bool passOn = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--"))
            passOn = true;
        else if (passOn)
            options += argument;
        else
            only += argument;
    }
    std::vector<std::unique_ptr<QObject>> tests;
    tests.emplace_back(newDesktopWindowsTest());
    tests.emplace_back(newDesktopPrintingTest());
    tests.emplace_back(newDesktopInputTest());
    tests.emplace_back(newDesktopDialogsTest());
    tests.emplace_back(newDesktopRecoveryTest());
    tests.emplace_back(newDesktopViewAndPageTest());
    tests.emplace_back(newDesktopScreenReaderTest());
    tests.emplace_back(newDesktopFcitxTest());
    tests.emplace_back(newDesktopWaylandTest());
    tests.emplace_back(newDesktopScaledTest());
    int failed = 0;
    for (const auto &test : tests) {
        if (!only.isEmpty() && !only.contains(QLatin1String(test->metaObject()->className())))
            continue;
        failed += QTest::qExec(test.get(), options);
    }
    return failed == 0 ? 0 : 1;
}
