#include "rtfpicture.h"

#include <array>
#include <cstdint>
#include <utility>

namespace RtfPicture {

namespace {

// Control words are at most 32 letters; longer names are not words any reader keeps.
constexpr size_t MaxNameLength = 32;

// The value of each byte as a hex digit, -1 for the others.
constexpr std::array<int8_t, 256> HexDigits = [] {
    std::array<int8_t, 256> t {};
    for (int i = 0; i < 256; ++i)
        t[size_t(i)] = i >= '0' && i <= '9' ? int8_t(i - '0')
            : i >= 'a' && i <= 'f'          ? int8_t(i - 'a' + 10)
            : i >= 'A' && i <= 'F'          ? int8_t(i - 'A' + 10)
                                            : int8_t(-1);
    return t;
}();

int hexValue(char c)
{
    return HexDigits[static_cast<unsigned char>(c)];
}

} // namespace

std::optional<Source> sourceIn(RtfWords::Destination around)
{
    switch (around) {
    case RtfWords::Destination::Text:
        return Source::Plain;
    case RtfWords::Destination::ShapePicture:
        return Source::Shape;
    case RtfWords::Destination::NonShapePicture:
        return Source::NonShape;
    default:
        return std::nullopt;
    }
}

void PictureReader::begin(Source source, size_t depth)
{
    m_active = true;
    m_depth = depth;
    m_source = source;
    m_data = {};
    m_nibble = -1;
}

void PictureReader::word(std::string_view name, bool hasValue, int value)
{
    if (!m_active || m_data.words.size() >= Picture::MaxWords || name.size() > MaxNameLength)
        return;
    m_data.words.push_back({ QByteArray(name.data(), qsizetype(name.size())), value, hasValue });
}

void PictureReader::hexText(const char *start, const char *end)
{
    if (!m_active || start >= end)
        return;
    // Written through a pointer into room made beforehand (growing by doubling): data of
    // megabytes arrives here a line at a time.
    QByteArray &bytes = m_data.bytes;
    const qsizetype size = bytes.size();
    const qsizetype needed = size + (end - start) / 2 + 1;
    if (bytes.capacity() < needed)
        bytes.reserve(qMax(needed, bytes.capacity() * 2));
    bytes.resize(needed);
    char *out = bytes.data() + size;
    int nibble = m_nibble;
    const char *c = start;
    while (c < end) {
        if (nibble < 0) {
            // Pairs of digits, the usual case, two at a time.
            while (c + 1 < end) {
                const int high = hexValue(c[0]);
                const int low = hexValue(c[1]);
                if ((high | low) < 0)
                    break;
                *out++ = static_cast<char>(high << 4 | low);
                c += 2;
            }
            if (c >= end)
                break;
        }
        const int v = hexValue(*c++);
        if (v < 0)
            continue;
        if (nibble < 0) {
            nibble = v;
        } else {
            *out++ = static_cast<char>(nibble * 16 + v);
            nibble = -1;
        }
    }
    m_nibble = nibble;
    bytes.truncate(out - bytes.constData());
}

void PictureReader::binary(const char *start, const char *end)
{
    if (m_active && end > start)
        m_data.bytes.append(start, end - start);
}

Picture PictureReader::finish()
{
    if (!m_active)
        return {};
    m_active = false;
    m_data.oddNibble = m_nibble;
    m_nibble = -1;
    if (m_data.words.empty() && m_data.bytes.isEmpty() && m_data.oddNibble < 0)
        return {};
    return Picture(std::exchange(m_data, {}), &m_budget);
}

Placement PictureReader::place(int position) const
{
    if (m_lastEnd < 0 || m_lastEnd != position)
        return {};
    if (m_lastSource == Source::Shape && m_source == Source::NonShape)
        return { false, false };
    if (m_lastSource == Source::NonShape && m_source == Source::Shape)
        return { true, true };
    return {};
}

void PictureReader::placed(const Placement &placement, int end)
{
    // A pair decided leaves nothing to pair the next picture with.
    const bool paired = !placement.keep || placement.replacePrevious;
    m_lastEnd = paired ? -1 : end;
    m_lastSource = m_source;
}

void write(QByteArray &out, const Picture &picture)
{
    static constexpr char digits[] = "0123456789abcdef";
    const QByteArray &bytes = picture.bytes();
    out += "{\\pict";
    for (const Picture::Word &w : picture.words()) {
        out += '\\';
        out += w.name;
        if (w.hasValue)
            out += QByteArray::number(w.value);
    }
    out += "\r\n";
    // Two digits a byte and a line break after every 32 bytes, written through a pointer.
    const qsizetype n = bytes.size();
    const qsizetype at = out.size();
    out.resize(at + n * 2 + n / 32 * 2);
    char *p = out.data() + at;
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qsizetype i = 0; i < n; ++i) {
        *p++ = digits[data[i] >> 4];
        *p++ = digits[data[i] & 0xF];
        if (i % 32 == 31) {
            *p++ = '\r';
            *p++ = '\n';
        }
    }
    if (picture.oddNibble() >= 0)
        out += digits[picture.oddNibble() & 0xF];
    out += '}';
}

} // namespace RtfPicture
