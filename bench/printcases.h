#pragma once

#include "cases.h"

// The print preview's report run on its own, with no window: the pages recorded one by one into
// the prepared-pages store, beside Qt's own pagination of the same document into a PDF.
#include "harness.h"

namespace PrintCases {

// The formatted document open in the program's editor (shown, as open-rtf-ours opens it) and laid
// out to its end, as it is whenever the user previews it; reports load_ms, layout_ms, characters
// and paragraphs.
Harness::EditorWindow openFormatted(const QString &path);

// TPrintReport2::preview() over the editor's document.
int reportRun(const Cases::Options &options);
// QTextDocument::print() of the same document into a QPdfWriter at the recordings' resolution.
int qtPrint(const Cases::Options &options);

// The resolution the report records its pages at (that of a QPicture), in dots per inch.
int recordingDpi();

} // namespace PrintCases
