#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Code page 932 (Microsoft's Shift-JIS) as the system's iconv "CP932" table has it:
// 0x8160 is U+FF5E, 0x815C U+2015, the user area 0xF040.. is U+E000.., 0x5C stays U+005C.
namespace Cp932 {

// Decodes CP932 bytes. Never fails: an invalid or truncated byte sequence becomes one U+FFFD
// (a lead byte followed by an ASCII byte leaves that ASCII byte to be read on its own).
// Control bytes, 0x1A and 0x7F included, pass through unchanged.
QString decode(QByteArrayView bytes);

// The last place at or before `limit` where the bytes may be cut so that decoding the two parts
// gives what decoding the whole gives. Walks from the start: the caller bounds the cost.
qsizetype characterBoundary(QByteArrayView bytes, qsizetype limit);

// What an encoding had to write as "?": how many characters (a surrogate pair is one), and the
// first of them with its index in the text encoded.
struct Replaced {
    qint64 count = 0;
    char32_t first = 0;
    qsizetype firstIndex = -1;
};

// What becomes of U+FFFC, the character that stands for an embedded object (a picture).
enum class Objects { AsCharacters, Skipped };

// Encodes text as the program writes it: a character CP932 cannot hold (a lone surrogate, an
// astral character as one) becomes "?", and is counted in `replaced` when given; U+2028 and
// U+2029 (line and paragraph separators inside document text) become CR LF. The result always
// has measure(text).bytes bytes, except that with Objects::Skipped each U+FFFC is left out
// (written as nothing and not counted as replaced), as a plain-text save writes an object.
QByteArray encode(QStringView text, Replaced *replaced = nullptr, Objects objects = Objects::AsCharacters);

// Bytes one UTF-16 code unit takes when written: 1 or 2. U+2028/U+2029 take 2 (CR LF), a
// character CP932 cannot hold takes 1. Surrogates answer 1; measuring a pair is the caller's job.
int encodedWidth(char16_t unit);

// The character a UTF-16 unit's CP932 bytes read back as: U+301C 〜 gives U+FF5E ～, U+2212 −
// gives U+FF0D －, U+2014 — gives U+2015 ―. Units CP932 writes as they are, units it cannot hold
// and surrogates give themselves. Two characters are the same character of the document's
// Shift-JIS text when they give the same one.
char16_t canonical(char16_t unit);

} // namespace Cp932
