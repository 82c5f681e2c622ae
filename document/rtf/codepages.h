#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstddef>

// Decoding text bytes of the code pages RTF names (\ansicpg, \cpg, the code page behind a font's
// \fcharset). Code page 932 goes through the program's own CP932 table; the others through iconv.
namespace CodePages {

// The code page of symbol fonts (character set 2).
constexpr int SymbolCodePage = 42;

// The code page a font's character set implies, or 0 when the character set names none (the
// document's default code page applies then).
int fromCharSet(int charSet);

// Decodes bytes of a code page; an unknown code page reads as Windows-1252, a bad byte as U+FFFD.
// Code page 42 (a symbol font) reads as Windows-1252, its 0xB7 as the bullet U+2022.
QString decode(QByteArrayView bytes, int codePage);

// The converters this thread keeps open: a few, however many code page numbers were decoded.
size_t convertersOpen();

// Whether b starts a double-byte character in the code page (932, 936, 949, 950).
bool isLeadByte(int codePage, unsigned char b);

} // namespace CodePages
