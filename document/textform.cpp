#include "textform.h"

#include <algorithm>
#include <cstring>

QStringView TextForm::lineBreakText() const
{
    switch (lineBreak) {
    case LineBreak::Lf:
        return u"\n";
    case LineBreak::Cr:
        return u"\r";
    case LineBreak::CrLf:
        break;
    }
    return u"\r\n";
}

void TextFormDetector::feed(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *const end = data + bytes.size();
    // The mark is looked for over the first three bytes, wherever the pieces are cut; its bytes
    // are a character of UTF-8 like any other for the check below.
    for (const unsigned char *at = data; m_markBytes >= 0 && m_markBytes < 3 && at < end; ++at) {
        static constexpr unsigned char Mark[] = { 0xEF, 0xBB, 0xBF };
        m_markBytes = *at == Mark[m_markBytes] ? m_markBytes + 1 : -1;
    }
    while (data < end && m_valid) {
        // Runs of ASCII without line breaks, the bulk of most texts, eight bytes at a time.
        if (m_continuations == 0 && m_breakSeen && !m_lastWasCr) {
            while (end - data >= 8) {
                quint64 word;
                std::memcpy(&word, data, 8);
                if (word & 0x8080808080808080ULL)
                    break;
                data += 8;
            }
            if (data == end)
                break;
        }
        feedByte(*data++);
    }
}

void TextFormDetector::feedByte(unsigned char byte)
{
    if (m_continuations > 0) {
        if (byte < m_low || byte > m_high) {
            m_valid = false;
            return;
        }
        m_low = 0x80;
        m_high = 0xBF;
        --m_continuations;
        return;
    }
    if (byte < 0x80) {
        if (m_lastWasCr) {
            m_lastWasCr = false;
            if (!m_breakSeen) {
                m_breakSeen = true;
                m_lineBreak = byte == '\n' ? TextForm::LineBreak::CrLf : TextForm::LineBreak::Cr;
            }
        }
        if (byte == '\r') {
            m_lastWasCr = !m_breakSeen;
        } else if (byte == '\n' && !m_breakSeen) {
            m_breakSeen = true;
            m_lineBreak = TextForm::LineBreak::Lf;
        }
        return;
    }
    m_aboveAscii = true;
    if (m_lastWasCr) {
        m_lastWasCr = false;
        m_breakSeen = true;
        m_lineBreak = TextForm::LineBreak::Cr;
    }
    // Well-formed sequences only: no overlong forms, no surrogates, nothing above U+10FFFF.
    if (byte >= 0xC2 && byte <= 0xDF) {
        m_continuations = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        m_continuations = 2;
        if (byte == 0xE0)
            m_low = 0xA0;
        else if (byte == 0xED)
            m_high = 0x9F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        m_continuations = 3;
        if (byte == 0xF0)
            m_low = 0x90;
        else if (byte == 0xF4)
            m_high = 0x8F;
    } else {
        m_valid = false;
    }
}

TextForm TextFormDetector::result() const
{
    if (!m_valid || m_continuations > 0 || !m_aboveAscii)
        return {};
    TextForm form;
    form.encoding = TextForm::Encoding::Utf8;
    form.byteOrderMark = m_markBytes == 3;
    // A text whose only break is a CR at its very end.
    form.lineBreak = m_breakSeen ? m_lineBreak : m_lastWasCr ? TextForm::LineBreak::Cr : TextForm::LineBreak::Lf;
    return form;
}

TextForm TextFormDetector::detect(QByteArrayView bytes)
{
    TextFormDetector detector;
    detector.feed(bytes);
    return detector.result();
}

TextForm TextFormDetector::detect(const std::vector<QByteArray> &pieces)
{
    TextFormDetector detector;
    for (const QByteArray &piece : pieces)
        detector.feed(piece);
    return detector.result();
}

namespace Utf8Text {

qsizetype pieceEnd(QByteArrayView bytes, qsizetype limit)
{
    if (limit >= bytes.size())
        return bytes.size();
    limit = std::max<qsizetype>(limit, 1);
    const auto *const data = reinterpret_cast<const unsigned char *>(bytes.data());
    for (qsizetype i = limit - 1; i >= 0; --i) {
        if (data[i] == '\n')
            return i + 1;
    }
    // A long line: cut before the nearest byte that starts a character, keeping CR LF whole;
    // when the limit falls inside the first character, after that character. A character has at
    // most three continuation bytes, which bounds both searches.
    const auto startsHere = [&](qsizetype i) {
        return (data[i] & 0xC0) != 0x80 && !(data[i - 1] == '\r' && data[i] == '\n');
    };
    for (qsizetype i = limit; i > 0 && i > limit - 4; --i) {
        if (startsHere(i))
            return i;
    }
    const qsizetype last = std::min(bytes.size(), limit + 5);
    for (qsizetype i = limit + 1; i < last; ++i) {
        if (startsHere(i))
            return i;
    }
    return last;
}

} // namespace Utf8Text
