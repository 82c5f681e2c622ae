#pragma once

#include "document/textformats.h"

#include <QtGlobal>

class QTextDocument;

// A formatted Japanese document made up on the spot, for the RTF cases: paragraphs of the same
// prose as the text input, the character format changing every few characters among a handful
// of looks (two faces, sizes, bold, italic, underline, colours), some paragraphs centred,
// right-aligned, indented or bulleted. The same seed always gives the same document.
namespace RichCorpus {

struct Shape {
    // Stop once the RTF our writer makes of it would reach about this many bytes. The writer
    // spends about 15 bytes on each Japanese character (\uN and its CP932 bytes as \'hh), so
    // this is far more than the text's own size.
    qint64 targetRtfBytes = 0;
    // Or stop at this many runs (0: no limit). Whichever is reached first ends the document.
    qint64 targetRuns = 0;
    // Mean characters between two format changes (runs are drawn evenly in [mean/2, 3*mean/2]).
    int runCharacters = 20;
    // Not 0: the whole document is one paragraph of this many characters, the sizes above
    // left aside.
    qint64 oneParagraph = 0;
};

struct Stats {
    qint64 characters = 0; // paragraph breaks not counted
    qint64 runs = 0; // pieces of one format, as the writer writes them
    qint64 paragraphs = 0;
    qint64 bulleted = 0;
    qint64 aligned = 0; // centred or right-aligned
    qint64 indented = 0;
};

// The format of text that sets nothing itself: the editor's own default (what the program's
// window gives it), which the writer is handed as its defaults.
CharFormat defaults();

// Fills an empty document. Needs a QGuiApplication (the paragraph formats go through
// RichDocument, which asks the palette for the window-text colour).
Stats build(QTextDocument &document, const Shape &shape, quint64 seed);

// Counts the runs of a document the way build() counts them, so that a document read back can
// be compared with the one written.
qint64 countRuns(const QTextDocument &document);

} // namespace RichCorpus
