#include "codepages.h"

#include "document/cp932.h"
#include "document/sjistext.h"

#include <QByteArray>

#include <array>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <vector>
#include <string_view>

namespace {

const char *iconvName(int codePage)
{
    switch (codePage) {
    case 437:
        return "CP437";
    case 850:
        return "CP850";
    case 874:
        return "CP874";
    case 936:
        return "CP936";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case 1250:
        return "CP1250";
    case 1251:
        return "CP1251";
    case 1253:
        return "CP1253";
    case 1254:
        return "CP1254";
    case 1255:
        return "CP1255";
    case 1256:
        return "CP1256";
    case 1257:
        return "CP1257";
    case 1258:
        return "CP1258";
    case 10000:
        return "MACINTOSH";
    default:
        return "CP1252";
    }
}

// One open descriptor per converter and thread, closed when the thread ends. Keyed by the
// converter's name, not by the code page's number: a file may name any number of code pages,
// but they come to the few converters iconvName knows.
class Descriptors {
public:
    Descriptors() = default;
    Descriptors(const Descriptors &) = delete;
    Descriptors &operator=(const Descriptors &) = delete;
    ~Descriptors()
    {
        for (const auto &[codePage, cd] : m_open) {
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
        }
    }

    iconv_t forCodePage(int codePage)
    {
        const std::string_view name = iconvName(codePage);
        const auto it = m_open.find(name);
        if (it != m_open.end())
            return it->second;
        iconv_t cd = iconv_open("UTF-16LE", name.data());
        if (cd == reinterpret_cast<iconv_t>(-1))
            cd = iconv_open("UTF-16LE", "CP1252");
        m_open.emplace(name, cd);
        return cd;
    }

    size_t size() const { return m_open.size(); }

private:
    std::map<std::string_view, iconv_t> m_open;
};

Descriptors &descriptors()
{
    thread_local Descriptors open;
    return open;
}

iconv_t descriptorFor(int codePage)
{
    return descriptors().forCodePage(codePage);
}

// A code page's bytes as tables probed from its converter once: each byte on its own, and each
// lead byte with each byte after it. Decoding is then a look-up a character; the converter,
// restarted after each byte it rejects, took microseconds for each.
struct DecodeTable {
    static constexpr char16_t NoCharacter = 0xFFFF;
    std::array<char16_t, 256> singles {};
    std::vector<char16_t> pairs; // (lead << 8) | trail, for double-byte code pages
};

const DecodeTable &tableFor(int codePage)
{
    thread_local std::map<std::string_view, std::unique_ptr<DecodeTable>> tables;
    const std::string_view name = iconvName(codePage);
    std::unique_ptr<DecodeTable> &table = tables[name];
    if (table)
        return *table;
    table = std::make_unique<DecodeTable>();
    iconv_t cd = descriptorFor(codePage);
    auto probe = [cd](const char *bytes, size_t length) {
        if (cd == reinterpret_cast<iconv_t>(-1))
            return length == 1 ? static_cast<char16_t>(static_cast<unsigned char>(bytes[0])) : DecodeTable::NoCharacter;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char *in = const_cast<char *>(bytes);
        size_t inLeft = length;
        char16_t units[4];
        char *out = reinterpret_cast<char *>(units);
        size_t outLeft = sizeof units;
        const bool ok = iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)
            && iconv(cd, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1);
        return ok && inLeft == 0 && out == reinterpret_cast<char *>(units + 1) ? units[0] : DecodeTable::NoCharacter;
    };
    bool doubleByte = false;
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const bool lead = CodePages::isLeadByte(codePage, static_cast<unsigned char>(b));
        doubleByte = doubleByte || lead;
        table->singles[static_cast<size_t>(b)] = lead ? DecodeTable::NoCharacter : probe(&byte, 1);
    }
    if (doubleByte) {
        table->pairs.assign(65536, DecodeTable::NoCharacter);
        for (int lead = 0; lead < 256; ++lead) {
            if (!CodePages::isLeadByte(codePage, static_cast<unsigned char>(lead)))
                continue;
            for (int trail = 0; trail < 256; ++trail) {
                const char pair[2] = { static_cast<char>(lead), static_cast<char>(trail) };
                table->pairs[static_cast<size_t>((lead << 8) | trail)] = probe(pair, 2);
            }
        }
    }
    return *table;
}

QString decodeWithTable(QByteArrayView bytes, int codePage)
{
    const DecodeTable &t = tableFor(codePage);
    QString result(bytes.size(), Qt::Uninitialized);
    char16_t *const outStart = reinterpret_cast<char16_t *>(result.data());
    char16_t *out = outStart;
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *const end = in + bytes.size();
    while (in < end) {
        const unsigned char b = *in;
        if (t.pairs.empty() || !CodePages::isLeadByte(codePage, b)) {
            const char16_t c = t.singles[b];
            *out++ = c == DecodeTable::NoCharacter ? char16_t(0xFFFD) : c;
            ++in;
            continue;
        }
        const char16_t c = in + 1 < end ? t.pairs[static_cast<size_t>((b << 8) | in[1])] : DecodeTable::NoCharacter;
        if (c != DecodeTable::NoCharacter) {
            *out++ = c;
            in += 2;
            continue;
        }
        // One U+FFFD for a bad pair; an ASCII byte after the lead is read on its own.
        *out++ = 0xFFFD;
        in += in + 1 < end && in[1] >= 0x80 ? 2 : 1;
    }
    result.truncate(out - outStart);
    return result;
}

// For converters that hold a character back to combine it with a following mark (CP1258's
// Vietnamese), which a table of single characters cannot do.
QString decodeWithIconv(QByteArrayView bytes, int codePage)
{
    iconv_t cd = descriptorFor(codePage);
    QString result;
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter at all: Latin-1 keeps every byte visible.
        for (char c : bytes)
            result += QChar(static_cast<char16_t>(static_cast<unsigned char>(c)));
        return result;
    }
    // A byte gives at most one unit; a few more for what a converter holds back.
    result.resize(bytes.size() + 8);
    char *const outStart = reinterpret_cast<char *>(result.data());
    char *out = outStart;
    size_t outLeft = static_cast<size_t>(result.size()) * 2;
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = static_cast<size_t>(bytes.size());
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // Some converters hold a character back to combine it with a following mark (CP1258's
    // Vietnamese): a bad byte and the end of the text release it first.
    auto release = [&] { iconv(cd, nullptr, nullptr, &out, &outLeft); };
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) || errno == E2BIG)
            break;
        release();
        const bool pair = CodePages::isLeadByte(codePage, static_cast<unsigned char>(*in)) && inLeft > 1
            && static_cast<unsigned char>(in[1]) >= 0x80;
        const size_t skip = pair ? 2 : 1;
        in += skip;
        inLeft -= skip;
        if (outLeft < 2)
            break;
        *reinterpret_cast<char16_t *>(out) = 0xFFFD;
        out += 2;
        outLeft -= 2;
    }
    release();
    result.truncate((out - outStart) / 2);
    return result;
}

} // namespace

namespace CodePages {

int fromCharSet(int charSet)
{
    switch (charSet) {
    case 0:
        return 1252;
    case 2:
        return CodePages::SymbolCodePage;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0; // 1 (default) and anything unknown: the document's code page
    }
}

size_t convertersOpen()
{
    return descriptors().size();
}

bool isLeadByte(int codePage, unsigned char b)
{
    switch (codePage) {
    case 932:
        return SjisText::isLeadByte(b);
    case 936:
    case 949:
    case 950:
        return b >= 0x81 && b <= 0xFE;
    default:
        return false;
    }
}

QString decode(QByteArrayView bytes, int codePage)
{
    if (bytes.isEmpty())
        return {};
    if (codePage == 932)
        return Cp932::decode(bytes);
    if (codePage == CodePages::SymbolCodePage) {
        // A symbol font's bytes read as Latin text, so that text we write in such a font reads
        // back the same; its bullet is common enough to deserve the real character.
        QString text = decodeWithTable(bytes, 1252);
        text.replace(QChar(0x00B7), QChar(0x2022));
        return text;
    }
    // Vietnamese combines marks with the letter before them: only its converter does that.
    if (std::string_view(iconvName(codePage)) == "CP1258")
        return decodeWithIconv(bytes, codePage);
    return decodeWithTable(bytes, codePage);
}

} // namespace CodePages
