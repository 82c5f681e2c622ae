#pragma once

#include "cases.h"

// The cases that run the program's main window (TPenForm1) rather than its editor alone, and
// the bare Qt programs beside them.
namespace WindowCases {

// Cases that make their own QApplication, to be timed from the process's start: they run before
// anything else is set up.
bool ownsApplication(const QString &name);
int runOwningApplication(int argc, char **argv, const Cases::Options &options);

// Cases that need the application the other cases share.
int caret(const Cases::Options &options);
// Ctrl+End in a long text just opened: until the caret and its line show.
int ctrlEnd(const Cases::Options &options);
// Typing into the main window's editor shown at `zoomPercent` (the bare program has no zoom).
int typing(bool ours, const Cases::Options &options, int zoomPercent = 100);

// The preview command with the document open in the main window, and Qt's print preview dialog
// over the same document.
int preview(const Cases::Options &options);
int previewQt(const Cases::Options &options);

// Replace All from the replace dialog of the main window, and the naive Replace All in a bare
// QTextEdit (its first hits only).
int replaceAll(const Cases::Options &options);
int replaceNaive(const Cases::Options &options);
// The date dialog pasting 100,000 dates, beside one insertion per date.
int pasteDates(const Cases::Options &options);

} // namespace WindowCases
