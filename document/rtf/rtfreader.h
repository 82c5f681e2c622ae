#pragma once

#include <QByteArrayView>

struct CharFormat;
class QTextDocument;

// Reads Rich Text Format as its writers meant it: the platform's rich-edit control (\pn
// bullets, \'hh double-byte pairs under \ansicpg932), word processors (\uN with \ucN fallbacks,
// \ls lists with \listtext, fields, tables) and converters. Tolerant: unknown control words are
// ignored, \* destinations, \info, \stylesheet, headers and footers skipped; pictures (\pict,
// with {\*\shppict} preferred to its {\nonshppict} copy) read as they are (see RtfPicture); broken
// input (unbalanced braces, a truncated file, huge numbers, \bin past the end) reads as far as
// it can. Never recursive: any nesting depth is safe, and a group's state is restored when it
// closes at any depth. Time and memory grow in proportion to the data: the tables it declares
// are capped (see RtfTables) and looked up without scanning them.
namespace RtfReader {

// Bulleted paragraphs in a row go into lists of at most this many (see the reader).
constexpr int MaxListItems = 32;

// True when the data announces RTF ("{\rtf").
bool isRtf(QByteArrayView data);

// Replaces the document's content with the RTF's. `defaults` supplies what the RTF leaves
// unsaid (a font table without the font a run names). Returns false, leaving the document as it
// was, when the data is not RTF.
bool read(QByteArrayView data, QTextDocument &document, const CharFormat &defaults);

} // namespace RtfReader
