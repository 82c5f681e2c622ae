#pragma once

#include <QString>

class QWidget;
class StatusText;

// What screen readers (AT-SPI on Linux) get from the controls the program paints by hand: the
// status bar's panels and the counter read as labels with their text, and every new text is
// announced as it is shown.
namespace Accessibility {

// Makes the displays' interfaces known to Qt's accessibility; once, later calls do nothing.
void install();

// What a display reads as: its text without the padding it is shown with.
QString shownText(const StatusText *display);

// Tells screen readers that a display's text went from `before` to the one it shows now. Does
// nothing while no screen reader listens, so typing costs nothing more then.
void announceTextChange(StatusText *display, const QString &before);

} // namespace Accessibility
