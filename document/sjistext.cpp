#include "sjistext.h"

#include "cp932.h"

namespace {

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool isBreak(char16_t u) { return u == 0x2028 || u == 0x2029; }

// One character of document text: its UTF-16 length, bytes and characters as written.
struct Step {
    int units;
    int bytes;
    int characters;
};

inline Step stepAt(const char16_t *p, const char16_t *end)
{
    const char16_t u = *p;
    if (u < 0x80)
        return { 1, 1, 1 };
    if (isHighSurrogate(u) && p + 1 < end && isLowSurrogate(p[1]))
        return { 2, 1, 1 };
    if (isBreak(u))
        return { 1, 2, 2 };
    return { 1, Cp932::encodedWidth(u), 1 };
}

} // namespace

namespace SjisText {

qsizetype countCharacters(QByteArrayView bytes, qsizetype n)
{
    if (n <= 0)
        return 0;
    if (n > bytes.size())
        n = bytes.size();
    qsizetype count = 0;
    for (qsizetype i = 0; i < n; ++count)
        i += isLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
    return count;
}

TextMeasure measure(QStringView text)
{
    TextMeasure m;
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            ++m.bytes;
            ++m.characters;
            ++p;
            continue;
        }
        const Step s = stepAt(p, end);
        m.bytes += s.bytes;
        m.characters += s.characters;
        p += s.units;
    }
    return m;
}

qint64 byteOffset(QStringView text, qsizetype utf16Offset)
{
    if (utf16Offset <= 0)
        return 0;
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    const char16_t *const stop = p + qMin(utf16Offset, text.size());
    qint64 bytes = 0;
    while (p < stop) {
        const Step s = stepAt(p, end);
        if (p + s.units > stop)
            break; // inside a surrogate pair
        bytes += s.bytes;
        p += s.units;
    }
    return bytes;
}

qsizetype utf16Offset(QStringView text, qint64 byteOffset)
{
    const char16_t *const start = text.utf16();
    const char16_t *p = start;
    const char16_t *const end = p + text.size();
    qint64 bytes = 0;
    while (p < end) {
        const Step s = stepAt(p, end);
        if (bytes + s.bytes > byteOffset)
            break;
        bytes += s.bytes;
        p += s.units;
    }
    return p - start;
}

qint64 charactersBefore(QStringView text, qint64 n)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    qint64 bytes = 0;
    qint64 characters = 0;
    while (p < end && bytes < n) {
        const Step s = stepAt(p, end);
        // CR LF: the LF is a character of its own, counted only when its byte lies before n.
        characters += (s.characters == 2 && bytes + 1 >= n) ? 1 : s.characters;
        bytes += s.bytes;
        p += s.units;
    }
    return characters;
}

} // namespace SjisText
