#pragma once

#include "document/textformats.h"

#include <QColor>

#include <functional>
#include <optional>

class QPrinter;
class QWidget;

// The colour and font dialogs the formatting commands run. Tests replace them (setColorRunner,
// setFontRunner) so that nothing modal shows.
namespace Pickers {

using ColorRunner = std::function<std::optional<QColor>(QWidget *parent, const QColor &initial)>;
// The font dialog: the preset, and what its Apply button calls while it is open.
using FontRunner = std::function<std::optional<CharFormat>(
    QWidget *parent, const QStringList &families, const CharFormat &preset, const std::function<void(const CharFormat &)> &apply)>;

// The print dialog (setupOnly: the printer setup, which prints nothing): true when accepted.
// With no printer on the system, both warn and return false.
using PrinterRunner = std::function<bool(QWidget *parent, QPrinter &printer, bool setupOnly)>;

void setColorRunner(ColorRunner runner);
void setPrinterRunner(PrinterRunner runner);
void setFontRunner(FontRunner runner);

// A solid colour, the basic colours offered; nothing when cancelled.
std::optional<QColor> color(QWidget *parent, const QColor &initial);
std::optional<CharFormat> font(QWidget *parent, const QStringList &families, const CharFormat &preset,
                               const std::function<void(const CharFormat &)> &apply);

bool printer(QWidget *parent, QPrinter &printer, bool setupOnly);

} // namespace Pickers
