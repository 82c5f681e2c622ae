#include "codepages.h"

#include "document/cp932.h"
#include "document/sjistext.h"

#include <QByteArray>

#include <cerrno>
#include <iconv.h>
#include <map>
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
        QString text = decodeWithIconv(bytes, 1252);
        text.replace(QChar(0x00B7), QChar(0x2022));
        return text;
    }
    return decodeWithIconv(bytes, codePage);
}

} // namespace CodePages
