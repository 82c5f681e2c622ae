#pragma once

#include <QByteArrayView>
#include <QStringView>

// Counting in the document's Shift-JIS (code page 932) units. Positions count bytes: a
// double-byte character two, a line break (CR LF) two. Characters count one each, CR and LF
// one each, so a line break counts two characters as well.
namespace SjisText {

// The lead bytes of a double-byte character in code page 932.
constexpr bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Characters of raw CP932 bytes whose first byte lies within the first n bytes: walking from
// the start, a lead byte starts a two-byte character, any other byte is a character of its own.
// n <= 0 gives 0; n is capped at the length. A lead byte at the very end counts as a character.
qsizetype countCharacters(QByteArrayView bytes, qsizetype n);
inline qsizetype countCharacters(QByteArrayView bytes) { return countCharacters(bytes, bytes.size()); }

struct TextMeasure {
    qint64 bytes = 0;
    qint64 characters = 0;
};

// Bytes and characters of document text as written in CP932 (see Cp932::encode): a surrogate
// pair is one character of one byte ("?"), U+2028/U+2029 are CR LF.
TextMeasure measure(QStringView text);

// Byte offset at which the character at UTF-16 offset utf16Offset starts (clamped to the text).
// An offset between the halves of a surrogate pair counts from the pair's start.
qint64 byteOffset(QStringView text, qsizetype utf16Offset);

// UTF-16 offset of the character that holds byte offset (clamped). A byte offset inside a
// character (the trail byte of a double-byte character, the LF of a CR LF) snaps to its start.
qsizetype utf16Offset(QStringView text, qint64 byteOffset);

// Characters of text whose first byte lies before byte offset n (see countCharacters).
qint64 charactersBefore(QStringView text, qint64 n);

} // namespace SjisText
