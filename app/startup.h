#pragma once

#include <QString>

#include <memory>

class TPenForm1;
class TPrintReport2;

// What a start of the program does before the event loop runs, in the order it does it; the
// program's entry and the desktop tests share it, so that they run the same program.
namespace Startup {

// The application object's settings: its name, icon and help file, Qt's own dialogs and
// formats in Japanese whatever the locale, and the font substitutes. Call once, after the
// application object exists.
void setUpApplication();

// Where the guide is: beside the program (a build folder, or a copy carried with the
// program) when it is there, otherwise where it is installed.
QString helpFilePath(const QString &programFolder);

// The main window (its creation shows the splash and reads the settings), then the report
// beside it, hidden, then the tool forms. The window is not shown yet.
struct Windows {
    std::unique_ptr<TPrintReport2> report;
    std::unique_ptr<TPenForm1> window;
    ~Windows();
};
std::unique_ptr<Windows> createWindows();

// Shows the main window and opens the documents named on the command line. The window and the
// splash are painted before the first document is read: a long load shows both, not two
// black rectangles.
void showWindows(Windows &windows, const QStringList &documents);

} // namespace Startup
