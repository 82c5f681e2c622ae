#include "rtftextoutput.h"

#include "document/cp932.h"

namespace RtfTextOutput {

namespace {

void asciiCharacter(Output &out, char c)
{
    switch (c) {
    case '\\':
        out += "\\\\";
        return;
    case '{':
        out += "\\{";
        return;
    case '}':
        out += "\\}";
        return;
    case '\t':
        out.word("tab");
        return;
    default:
        if (static_cast<unsigned char>(c) < 0x20)
            out.hexByte(static_cast<unsigned char>(c));
        else
            out += c;
    }
}

// \uN with the next `count` bytes as its fallback; literal fallback text is taken as it is,
// CP932 bytes are written as \'hh.
void unicode(Output &out, int &uc, char16_t c, const char *fallback, int count)
{
    if (count != uc) {
        out.word("uc", count);
        uc = count;
    }
    out += "\\u";
    out.number(c > 0x7FFF ? static_cast<int>(c) - 0x10000 : static_cast<int>(c));
    for (int i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(fallback[i]);
        if (fallback[i] == '?' && count == 1)
            out += '?';
        else
            out.hexByte(b);
    }
    if (count == 0)
        out += ' ';
}

} // namespace

void writeText(Output &out, int &uc, const QString &text)
{
    const QByteArray encoded = Cp932::encode(text);
    const char *bytes = encoded.constData();
    const char16_t *p = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *const end = p + text.size();
    for (; p < end; ++p) {
        const char16_t c = *p;
        if (c < 0x80) {
            ++bytes;
            asciiCharacter(out, static_cast<char>(c));
            continue;
        }
        if (c == 0x2028 || c == 0x2029) {
            bytes += 2;
            out.word("line");
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            // One character CP932 cannot hold: "?" stands for it in readers without \u.
            ++bytes;
            unicode(out, uc, c, "?", 1);
            unicode(out, uc, p[1], nullptr, 0);
            ++p;
            continue;
        }
        const int width = Cp932::encodedWidth(c);
        if (width == 1 && *bytes == '?')
            unicode(out, uc, c, "?", 1); // no CP932 form
        else
            unicode(out, uc, c, bytes, width);
        bytes += width;
    }
}

} // namespace RtfTextOutput
