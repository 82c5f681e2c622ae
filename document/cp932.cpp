#include "cp932.h"

#include "sjistext.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace {

constexpr char16_t ReplacementCharacter = 0xFFFD;

// One iconv conversion descriptor per thread and direction, opened on first use.
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

IconvHandle &decoder()
{
    thread_local IconvHandle handle("UTF-16LE", "CP932");
    return handle;
}

IconvHandle &encoder()
{
    thread_local IconvHandle handle("CP932", "UTF-16LE");
    return handle;
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// For every BMP code unit: its width when written, and the unit its bytes read back as. Built
// once from the converters themselves, so that positions, comparisons and the written text can
// never disagree.
struct UnitTables {
    std::array<uint8_t, 65536> widths {};
    std::array<char16_t, 65536> canonical {};
};

UnitTables buildUnitTables()
{
    UnitTables tables;
    IconvHandle encodeProbe("CP932", "UTF-16LE");
    IconvHandle decodeProbe("UTF-16LE", "CP932");
    for (uint32_t c = 0; c < 65536; ++c) {
        const char16_t unit = static_cast<char16_t>(c);
        tables.canonical[c] = unit;
        if (c >= 0xD800 && c <= 0xDFFF) {
            tables.widths[c] = 1;
            continue;
        }
        if (c == 0x2028 || c == 0x2029) {
            tables.widths[c] = 2;
            continue;
        }
        if (c < 0x80) {
            tables.widths[c] = 1;
            continue;
        }
        const char *in = reinterpret_cast<const char *>(&unit);
        size_t inLeft = sizeof unit;
        char buffer[8];
        char *out = buffer;
        size_t outLeft = sizeof buffer;
        const int err = encodeProbe.isValid() ? encodeProbe.convert(in, inLeft, out, outLeft) : EILSEQ;
        tables.widths[c] = err == 0 ? static_cast<uint8_t>(out - buffer) : 1;
        if (err != 0 || !decodeProbe.isValid())
            continue;
        const char *bytes = buffer;
        size_t bytesLeft = static_cast<size_t>(out - buffer);
        char16_t back[2] = {};
        char *backOut = reinterpret_cast<char *>(back);
        size_t backLeft = sizeof back;
        if (decodeProbe.convert(bytes, bytesLeft, backOut, backLeft) == 0 && backLeft == sizeof back - sizeof(char16_t))
            tables.canonical[c] = back[0];
    }
    return tables;
}

const UnitTables &unitTables()
{
    static const UnitTables tables = buildUnitTables();
    return tables;
}

} // namespace

namespace Cp932 {

int encodedWidth(char16_t unit)
{
    return unitTables().widths[unit];
}

char16_t canonical(char16_t unit)
{
    return unitTables().canonical[unit];
}

QString decode(QByteArrayView bytes)
{
    QString result;
    if (bytes.isEmpty())
        return result;
    // Every byte yields at most one UTF-16 unit.
    result.resize(bytes.size());
    char16_t *const outStart = reinterpret_cast<char16_t *>(result.data());
    char *out = reinterpret_cast<char *>(outStart);
    size_t outLeft = static_cast<size_t>(bytes.size()) * sizeof(char16_t);
    const char *in = bytes.data();
    const char *const end = bytes.data() + bytes.size();
    IconvHandle &cd = decoder();

    while (in < end) {
        size_t inLeft = static_cast<size_t>(end - in);
        const int err = cd.isValid() ? cd.convert(in, inLeft, out, outLeft) : EILSEQ;
        if (err == 0 || err == E2BIG)
            break;
        // A sequence the table rejects: one U+FFFD for it, then go on.
        const auto lead = static_cast<unsigned char>(in[0]);
        qsizetype skip = 1;
        if (SjisText::isLeadByte(lead) && in + 1 < end && static_cast<unsigned char>(in[1]) >= 0x80)
            skip = 2;
        in += skip;
        *reinterpret_cast<char16_t *>(out) = ReplacementCharacter;
        out += sizeof(char16_t);
        outLeft -= sizeof(char16_t);
    }
    result.truncate(reinterpret_cast<char16_t *>(out) - outStart);
    return result;
}

QByteArray encode(QStringView text, Replaced *replaced)
{
    QByteArray result;
    if (text.isEmpty())
        return result;
    // Every unit yields at most two bytes (a double-byte character, or CR LF).
    result.resize(text.size() * 2);
    char *const outStart = result.data();
    char *out = outStart;
    size_t outLeft = static_cast<size_t>(result.size());
    const char16_t *units = text.utf16();
    const char16_t *in16 = units;
    const char16_t *const end16 = units + text.size();
    IconvHandle &cd = encoder();

    while (in16 < end16) {
        const char *in = reinterpret_cast<const char *>(in16);
        size_t inLeft = static_cast<size_t>(end16 - in16) * sizeof(char16_t);
        const int err = cd.isValid() ? cd.convert(in, inLeft, out, outLeft) : EILSEQ;
        in16 = reinterpret_cast<const char16_t *>(in);
        if (err == 0 || err == E2BIG)
            break;
        // The unit at in16 has no CP932 form (EINVAL: a high surrogate cut off at the end).
        const char16_t unit = *in16;
        const bool pair = isHighSurrogate(unit) && in16 + 1 < end16 && isLowSurrogate(in16[1]);
        if (unit == 0x2028 || unit == 0x2029) {
            *out++ = '\r';
            *out++ = '\n';
            outLeft -= 2;
        } else {
            *out++ = '?';
            outLeft -= 1;
            if (replaced && replaced->count++ == 0) {
                replaced->first = pair ? QChar::surrogateToUcs4(unit, in16[1]) : unit;
                replaced->firstIndex = in16 - units;
            }
        }
        in16 += pair ? 2 : 1;
    }
    result.truncate(out - outStart);
    return result;
}

} // namespace Cp932
