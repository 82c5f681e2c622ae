#include "cp932.h"

#include "sjistext.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace {

constexpr char16_t ReplacementCharacter = 0xFFFD;

// An iconv conversion descriptor, for probing the tables below.
class IconvHandle {
public:
    IconvHandle(const char *to, const char *from)
        : m_cd(iconv_open(to, from))
    {
    }
    ~IconvHandle()
    {
        if (isValid())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle &) = delete;
    IconvHandle &operator=(const IconvHandle &) = delete;

    bool isValid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns errno of the stop (0 when all input was used).
    int convert(const char *&in, size_t &inLeft, char *&out, size_t &outLeft)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char *inPtr = const_cast<char *>(in);
        const size_t result = iconv(m_cd, &inPtr, &inLeft, &out, &outLeft);
        in = inPtr;
        return result == static_cast<size_t>(-1) ? errno : 0;
    }

private:
    iconv_t m_cd;
};

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// No CP932 form (encoding), no character (decoding): neither value is ever a real one, as no
// code starts with 0xFF and U+FFFF is no character.
constexpr uint16_t NoCode = 0xFFFF;
constexpr char16_t NoCharacter = 0xFFFF;

// The system's CP932 as tables, probed from iconv once, code by code: the codec then costs a
// look-up a character, where iconv, restarted after each character it rejects, took about
// 7 microseconds each (4 MB of bytes that are no text: 30 s).
struct Tables {
    // Every BMP code unit's bytes: one byte b as b, two as (lead << 8) | trail, or NoCode.
    std::array<uint16_t, 65536> codes {};
    // Each byte on its own, and each lead byte with each byte after it: the character or
    // NoCharacter.
    std::array<char16_t, 256> singles {};
    std::array<char16_t, 65536> pairs {};
};

const Tables &tables()
{
    static const Tables *const built = [] {
        auto *t = new Tables;
        IconvHandle encoder("CP932", "UTF-16LE");
        for (uint32_t c = 0; c < 65536; ++c) {
            const char16_t unit = static_cast<char16_t>(c);
            t->codes[c] = NoCode;
            if (isHighSurrogate(unit) || isLowSurrogate(unit) || !encoder.isValid())
                continue;
            const char *in = reinterpret_cast<const char *>(&unit);
            size_t inLeft = sizeof unit;
            unsigned char buffer[8];
            char *out = reinterpret_cast<char *>(buffer);
            size_t outLeft = sizeof buffer;
            if (encoder.convert(in, inLeft, out, outLeft) != 0)
                continue;
            const auto length = reinterpret_cast<unsigned char *>(out) - buffer;
            if (length == 1)
                t->codes[c] = buffer[0];
            else if (length == 2)
                t->codes[c] = static_cast<uint16_t>((buffer[0] << 8) | buffer[1]);
        }
        IconvHandle decoder("UTF-16LE", "CP932");
        auto decodeOne = [&decoder](const unsigned char *bytes, size_t length) {
            const char *in = reinterpret_cast<const char *>(bytes);
            size_t inLeft = length;
            char16_t units[4];
            char *out = reinterpret_cast<char *>(units);
            size_t outLeft = sizeof units;
            const int err = decoder.isValid() ? decoder.convert(in, inLeft, out, outLeft) : EILSEQ;
            return err == 0 && inLeft == 0 && out == reinterpret_cast<char *>(units + 1) ? units[0] : NoCharacter;
        };
        t->pairs.fill(NoCharacter);
        for (uint32_t b = 0; b < 256; ++b) {
            const unsigned char single[1] = { static_cast<unsigned char>(b) };
            t->singles[b] = SjisText::isLeadByte(single[0]) ? NoCharacter : decodeOne(single, 1);
            if (!SjisText::isLeadByte(single[0]))
                continue;
            for (uint32_t trail = 0; trail < 256; ++trail) {
                const unsigned char pair[2] = { static_cast<unsigned char>(b), static_cast<unsigned char>(trail) };
                t->pairs[(b << 8) | trail] = decodeOne(pair, 2);
            }
        }
        return t;
    }();
    return *built;
}

} // namespace

namespace Cp932 {

int encodedWidth(char16_t unit)
{
    if (unit == 0x2028 || unit == 0x2029)
        return 2;
    const uint16_t code = tables().codes[unit];
    return code == NoCode || code < 0x100 ? 1 : 2;
}

char16_t canonical(char16_t unit)
{
    const Tables &t = tables();
    const uint16_t code = t.codes[unit];
    if (unit < 0x80 || code == NoCode)
        return unit;
    const char16_t back = code < 0x100 ? t.singles[code] : t.pairs[code];
    return back == NoCharacter ? unit : back;
}

QString decode(QByteArrayView bytes)
{
    QString result;
    if (bytes.isEmpty())
        return result;
    const Tables &t = tables();
    // Every byte yields at most one UTF-16 unit.
    result.resize(bytes.size());
    char16_t *const outStart = reinterpret_cast<char16_t *>(result.data());
    char16_t *out = outStart;
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *const end = in + bytes.size();
    while (in < end) {
        const unsigned char b = *in;
        if (!SjisText::isLeadByte(b)) {
            const char16_t c = t.singles[b];
            *out++ = c == NoCharacter ? ReplacementCharacter : c;
            ++in;
            continue;
        }
        if (in + 1 >= end) { // a lead byte cut off at the end
            *out++ = ReplacementCharacter;
            ++in;
            continue;
        }
        const unsigned char trail = in[1];
        const char16_t c = t.pairs[(b << 8) | trail];
        if (c != NoCharacter) {
            *out++ = c;
            in += 2;
            continue;
        }
        // A pair the table rejects: one U+FFFD; an ASCII byte after the lead is read on its own.
        *out++ = ReplacementCharacter;
        in += trail >= 0x80 ? 2 : 1;
    }
    result.truncate(out - outStart);
    return result;
}

qsizetype characterBoundary(QByteArrayView bytes, qsizetype limit)
{
    const Tables &t = tables();
    limit = std::clamp<qsizetype>(limit, 0, bytes.size());
    const auto *const data = reinterpret_cast<const unsigned char *>(bytes.data());
    qsizetype at = 0;
    // The steps decode() takes.
    while (at < limit) {
        qsizetype step = 1;
        if (SjisText::isLeadByte(data[at]) && at + 1 < bytes.size()) {
            const unsigned char trail = data[at + 1];
            if (t.pairs[(data[at] << 8) | trail] != NoCharacter || trail >= 0x80)
                step = 2;
        }
        if (at + step > limit)
            break;
        at += step;
    }
    return at;
}

QByteArray encode(QStringView text, Replaced *replaced, Objects objects)
{
    QByteArray result;
    if (text.isEmpty())
        return result;
    const Tables &t = tables();
    // Every unit yields at most two bytes (a double-byte character, or CR LF).
    result.resize(text.size() * 2);
    char *const outStart = result.data();
    char *out = outStart;
    const char16_t *in = text.utf16();
    const char16_t *const end = in + text.size();
    while (in < end) {
        const char16_t unit = *in;
        const uint16_t code = t.codes[unit];
        if (code != NoCode) {
            if (code >= 0x100)
                *out++ = static_cast<char>(code >> 8);
            *out++ = static_cast<char>(code & 0xFF);
            ++in;
            continue;
        }
        const bool pair = isHighSurrogate(unit) && in + 1 < end && isLowSurrogate(in[1]);
        if (unit == 0x2028 || unit == 0x2029) {
            *out++ = '\r';
            *out++ = '\n';
        } else if (unit == 0xFFFC && objects == Objects::Skipped) {
            // nothing: an object has no text
        } else {
            *out++ = '?';
            if (replaced && replaced->count++ == 0) {
                replaced->first = pair ? QChar::surrogateToUcs4(unit, in[1]) : unit;
                replaced->firstIndex = in - text.utf16();
            }
        }
        in += pair ? 2 : 1;
    }
    result.truncate(out - outStart);
    return result;
}

} // namespace Cp932
