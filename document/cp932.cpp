#include "cp932.h"

#include "sjistext.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <vector>

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

// The system's CP932 as tables, probed from iconv once: the codec then costs a
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

// Each code unit's bytes, asked of iconv one unit at a time (about 700 instructions each).
void probeCodesOneByOne(Tables &t)
{
    IconvHandle encoder("CP932", "UTF-16LE");
    for (uint32_t c = 0; c < 65536; ++c) {
        const char16_t unit = static_cast<char16_t>(c);
        t.codes[c] = NoCode;
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
            t.codes[c] = buffer[0];
        else if (length == 2)
            t.codes[c] = static_cast<uint16_t>((buffer[0] << 8) | buffer[1]);
    }
}

// The same in one conversion, which the program's start waits for: every unit followed by a
// line feed, iconv told to skip what it cannot convert, so that the bytes between two line
// feeds are one unit's form, or none. CP932 has byte 0x0A for U+000A alone, which is set
// apart. False when iconv does not take the request as meant.
bool probeCodesAtOnce(Tables &t)
{
    IconvHandle encoder("CP932//IGNORE", "UTF-16LE");
    if (!encoder.isValid())
        return false;
    std::vector<char16_t> input;
    input.reserve(2 * 65536);
    for (uint32_t c = 0; c < 65536; ++c) {
        if (c != u'\n' && !isHighSurrogate(char16_t(c)) && !isLowSurrogate(char16_t(c))) {
            input.push_back(static_cast<char16_t>(c));
            input.push_back(u'\n');
        }
    }
    std::vector<unsigned char> output(input.size() * 2);
    const char *in = reinterpret_cast<const char *>(input.data());
    size_t inLeft = input.size() * sizeof(char16_t);
    char *out = reinterpret_cast<char *>(output.data());
    size_t outLeft = output.size();
    while (inLeft > 0) {
        // Having skipped something, iconv reports EILSEQ at the end of what it took.
        const size_t before = inLeft;
        const int error = encoder.convert(in, inLeft, out, outLeft);
        if ((error != 0 && error != EILSEQ) || inLeft == before)
            return false;
    }
    const unsigned char *p = output.data();
    const unsigned char *const end = reinterpret_cast<unsigned char *>(out);
    for (size_t i = 0; i < input.size(); i += 2) {
        const unsigned char *const stop = std::find(p, end, '\n');
        if (stop == end || stop - p > 2)
            return false;
        t.codes[input[i]] = stop == p ? NoCode : stop - p == 1 ? p[0] : static_cast<uint16_t>((p[0] << 8) | p[1]);
        p = stop + 1;
    }
    t.codes[u'\n'] = u'\n';
    for (uint32_t c = 0xD800; c < 0xE000; ++c)
        t.codes[c] = NoCode;
    return p == end;
}

const Tables &tables()
{
    static const Tables *const built = [] {
        auto *t = new Tables;
        if (!probeCodesAtOnce(*t))
            probeCodesOneByOne(*t);
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
