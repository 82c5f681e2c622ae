#include "rtfpicture.h"

#include <utility>

namespace RtfPicture {

namespace {

// Control words are at most 32 letters; longer names are not words any reader keeps.
constexpr size_t MaxNameLength = 32;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
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

void PictureReader::begin(Source source)
{
    m_active = true;
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
    if (!m_active)
        return;
    for (const char *c = start; c < end; ++c) {
        const int v = hexValue(*c);
        if (v < 0)
            continue;
        if (m_nibble < 0) {
            m_nibble = v;
        } else {
            m_data.bytes.append(static_cast<char>(m_nibble * 16 + v));
            m_nibble = -1;
        }
    }
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
    return Picture(std::exchange(m_data, {}));
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
    out.reserve(out.size() + bytes.size() * 2 + bytes.size() / 32 + 256);
    out += "{\\pict";
    for (const Picture::Word &w : picture.words()) {
        out += '\\';
        out += w.name;
        if (w.hasValue)
            out += QByteArray::number(w.value);
    }
    out += "\r\n";
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0xF];
        if (i % 32 == 31)
            out += "\r\n";
    }
    if (picture.oddNibble() >= 0)
        out += digits[picture.oddNibble() & 0xF];
    out += '}';
}

} // namespace RtfPicture
