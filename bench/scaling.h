#pragma once

#include "cases.h"

#include <string>

// The scaling table: each construct a file can be made of (the RTF reader's tables, bullets,
// nesting, long paragraphs, escapes, ...) at 1x, 2x, 4x and 8x of a size, opened in the editor
// and converted to text and RTF, and plain text and one long line converted to PDF, each in a
// process of its own; with the growth per doubling (2.0 is linear) and the targets: N MB open and
// convert in 0.5 s + 0.15 s per MB within 100 MB + 12 MB per MB, a PDF at 50 pages a second.
namespace Scaling {

// --case generate-construct --text CONSTRUCT --bytes N --output FILE: about N bytes of it.
int generate(const Cases::Options &options);
// --case open-painted --input FILE: the editor opens it and paints; reports open_ms and
// paint_kb (the peak until then).
int openPainted(const Cases::Options &options);

// Runs the table; base: the 1x size in bytes; `only`: the names of the constructs to run
// (comma-separated; empty: all of them).
int run(const std::string &self, qint64 baseBytes, const QString &only = {});

} // namespace Scaling
