#pragma once

#include <QStringList>

class QTextStream;
class RichDocument;

// The batch converter: `penloft --convert-to txt|rtf|pdf [--outdir DIR] FILE...`. Each file is
// loaded as the editor loads it and written (as text, RTF, or the pages the print preview shows),
// named after it with the new extension, into DIR
// (the current folder by default). Runs with no window; needs a QGuiApplication.
namespace Conversion {

// True when the arguments (without the program name) ask for a conversion.
bool isRequested(const QStringList &arguments);

// Loads a file into the document as the editor loads it, and lays nothing out: text and RTF
// output need no layout, and the PDF's report lays out a copy of its own. Throws AppError.
void load(RichDocument &document, const QString &path);

// Converts every file; a failure is reported on `errors` as "FILE: text" and the others go on.
// Returns 0 when all converted, 1 when any failed, 2 for arguments it does not understand.
int run(const QStringList &arguments, QTextStream &errors);

} // namespace Conversion
