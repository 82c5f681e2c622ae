#pragma once

#include <QByteArray>

class QColor;
class QTextDocument;
struct CharFormat;

// Writes a document as RTF that old readers and word processors both read right:
// \rtf1\ansi\ansicpg932 with a font table (\fcharset128 for Japanese faces, names in CP932), a
// colour table, paragraph properties with bullets in the \pn style, character runs that write
// only what changed, and every non-ASCII character as \uN followed by its CP932 bytes (\ucN says
// how many) for readers that know no \u. Every paragraph ends with \par, the last one included,
// as the reader expects.
namespace RtfWriter {

// `defaults` is the format of text that sets nothing itself; `windowText` the colour an
// automatic colour reads as.
QByteArray write(const QTextDocument &document, const CharFormat &defaults, const QColor &windowText);

} // namespace RtfWriter
