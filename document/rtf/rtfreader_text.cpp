// The RTF reader: text, in the code pages of its fonts, and the character formats it takes.

#include "rtfreading.h"

#include "codepages.h"

#include <QColor>
#include <QTextDocument>

#include <private/qtextdocument_p.h>

#include <climits>

namespace RtfReading {

int Reader::codePageOf(const CharState &chars) const
{
    const FontEntry *font = fontEntry(RtfGroups::shown(chars).font);
    if (font) {
        if (font->codePage > 0)
            return font->codePage;
        const int fromCharSet = CodePages::fromCharSet(font->charSet);
        if (fromCharSet > 0)
            return fromCharSet;
    }
    return m_ansiCodePage;
}

const FontEntry *Reader::fontEntry(int index) const
{
    return m_fonts.find(index < 0 ? m_defaultFont : index);
}

FontEntry *Reader::currentFontEntry()
{
    if (group().destination != Destination::FontTable)
        return nullptr;
    return m_fonts.find(m_fontEntry);
}

int Reader::fontCodePage(const FontEntry &font) const
{
    if (font.codePage > 0)
        return font.codePage;
    const int fromCharSet = CodePages::fromCharSet(font.charSet);
    if (fromCharSet == CodePages::SymbolCodePage)
        return 1252;
    return fromCharSet > 0 ? fromCharSet : m_ansiCodePage;
}

void Reader::finishFontName()
{
    FontEntry *font = currentFontEntry();
    if (!font || font->nameDone)
        return;
    font->name += CodePages::decode(font->nameBytes, fontCodePage(*font));
    font->nameBytes.clear();
    font->nameDone = true;
}

bool Reader::isText(char c, Bytes kind)
{
    return kind == Bytes::Escaped || static_cast<unsigned char>(c) >= 0x20 || c == '\t';
}

void Reader::textBytes(const char *start, const char *end, Bytes kind)
{
    while (start < end && m_skip > 0) {
        ++start;
        --m_skip;
    }
    if (start >= end)
        return;
    const Group &g = group();
    switch (g.destination) {
    case Destination::Text:
    case Destination::Marker:
        break;
    case Destination::FontTable:
        fontNameBytes(start, end);
        return;
    case Destination::Picture:
        m_picture.hexText(start, end);
        return;
    case Destination::ColorTable:
        for (const char *c = start; c < end; ++c) {
            if (*c == ';')
                m_colors.finish();
        }
        return;
    default:
        return;
    }
    if (g.chars.hidden) {
        // A field with hidden text has a result, if none shown: kept whole, it would be
        // written without the \v that hid it, and read again with that text shown.
        if (g.destination == Destination::Text)
            fieldShapesText();
        return;
    }
    const int codePage = codePageOf(g.chars);
    if (g.destination == Destination::Marker && m_marker.contains(u'\t'))
        promoteMarker();
    if (group().destination == Destination::Marker) {
        // Decoded together: a double-byte bullet arrives as two \'hh escapes.
        if (codePage != m_markerCodePage || !m_markerFormatSet)
            markerText(QString());
        m_markerCodePage = codePage;
        for (const char *c = start; c < end; ++c) {
            if (isText(*c, kind))
                m_markerBytes += *c;
        }
        return;
    }
    prepareFor(group().chars); // g is gone when the marker was promoted
    if (codePage != m_bytesCodePage)
        decodePendingBytes();
    m_bytesCodePage = codePage;
    for (const char *c = start; c < end; ++c) {
        if (isText(*c, kind))
            m_pendingBytes += *c;
    }
}

void Reader::fontNameBytes(const char *start, const char *end)
{
    FontEntry *font = currentFontEntry();
    if (!font)
        return;
    for (const char *c = start; c < end; ++c) {
        if (font->nameDone)
            return;
        if (*c == ';')
            finishFontName();
        else if (font->nameBytes.size() < RtfTables::FontTable::MaxNameBytes)
            font->nameBytes += *c;
    }
}

void Reader::unicodeValue(int value)
{
    if (value < -32768)
        return; // not a signed 16-bit value
    if (value < 0)
        value += 65536;
    if (value <= 0 || value > 0xFFFF)
        return;
    unicodeText(static_cast<char16_t>(value));
}

void Reader::unicodeText(char16_t c)
{
    const Group &g = group();
    if (g.destination == Destination::FontTable) {
        if (FontEntry *font = currentFontEntry(); font && !font->nameDone) {
            font->name += CodePages::decode(font->nameBytes, fontCodePage(*font));
            font->nameBytes.clear();
            if (font->name.size() < RtfTables::FontTable::MaxNameBytes)
                font->name += QChar(c);
        }
        return;
    }
    if (g.chars.hidden) {
        // A field with hidden text has a result, if none shown: kept whole, it would be
        // written without the \v that hid it, and read again with that text shown.
        if (g.destination == Destination::Text)
            fieldShapesText();
        return;
    }
    if (g.destination == Destination::Marker && !m_marker.contains(u'\t')) {
        markerText(QString(QChar(c)));
        return;
    }
    if (g.destination == Destination::Marker)
        promoteMarker();
    if (group().destination != Destination::Text)
        return;
    prepareFor(group().chars); // g is gone when the marker was promoted
    decodePendingBytes();
    m_pendingText += QChar(c);
}

void Reader::markerText(const QString &text)
{
    if (!m_markerFormatSet) {
        m_markerFormat = formatFor(group().chars);
        m_markerFormatSet = true;
    }
    if (!m_markerBytes.isEmpty()) {
        m_marker += CodePages::decode(m_markerBytes, m_markerCodePage);
        m_markerBytes.clear();
    }
    m_marker += text;
}

void Reader::prepareFor(const CharState &chars)
{
    if (m_section)
        endSection(); // the next section's first text
    placeForTable(group().para.inTable);
    const CharState state = RtfGroups::shown(chars);
    if (state == m_pendingState)
        return;
    flushText();
    m_pendingState = state;
}

void Reader::decodePendingBytes()
{
    if (m_pendingBytes.isEmpty())
        return;
    m_pendingText += CodePages::decode(m_pendingBytes, m_bytesCodePage);
    m_pendingBytes.clear();
}

void Reader::flushText()
{
    decodePendingBytes();
    if (m_pendingText.isEmpty())
        return;
    startPendingParagraph();
    if (m_field) {
        cursor().insertText(m_pendingText, fieldFormat(formatFor(m_pendingState)));
    } else {
        const QTextCharFormat &format = formatFor(m_pendingState);
        if (m_appendedIndex < 0 || format != m_appendedFormat) {
            // As the cursor's insertion does: text's format is never an object's.
            QTextCharFormat plain = format;
            plain.clearProperty(QTextFormat::ObjectIndex);
            m_appendedFormat = format;
            m_appendedIndex = QTextDocumentPrivate::get(&m_document)->formatCollection()->indexForFormat(plain);
        }
        // Text the cursor would take as paragraph breaks goes through it.
        const bool plainText = !m_pendingText.contains(QChar::ParagraphSeparator) && !m_pendingText.contains(u'\n')
            && !m_pendingText.contains(u'\r') && !m_pendingText.contains(QChar(0xFDD0)) && !m_pendingText.contains(QChar(0xFDD1));
        if (plainText && appendable(m_appendedIndex))
            m_store.appendText(m_pendingText, m_appendedIndex);
        else
            cursor().insertText(m_pendingText, format);
    }
    m_pendingText.clear();
    m_paragraphHasContent = true;
}

const QTextCharFormat &Reader::formatFor(const CharState &given)
{
    const CharState chars = RtfGroups::shown(given);
    // States that name a missing font or colour look alike: one entry serves them all, so
    // the cache holds no more entries than there are formats.
    CharState key = chars;
    const int fontNumber = chars.font < 0 ? m_defaultFont : chars.font;
    const FontEntry *font = m_fonts.find(fontNumber);
    key.font = font ? fontNumber : INT_MIN;
    QRgb rgb = 0;
    const bool explicitColor = m_colors.colorAt(chars.color, &rgb);
    key.color = explicitColor ? chars.color : 0;
    QRgb highlight = 0;
    const bool highlighted = m_colors.colorAt(chars.highlight, &highlight);
    key.highlight = highlighted ? chars.highlight : 0;
    const auto cached = m_formats.find(key);
    if (cached != m_formats.end())
        return cached->second;
    CharFormat f = m_defaults;
    f.mask = CharFormat::AllFields;
    if (font) {
        const bool known = m_faces.contains(font->name);
        if (known || m_faces.size() < RtfTables::FontTable::MaxFaces) {
            if (!known)
                m_faces.insert(font->name);
            f.faceName = font->name;
        }
        f.charSet = qMax(0, font->charSet);
        f.pitch = static_cast<CharFormat::FontPitch>(font->pitch);
    }
    f.sizeTwips = chars.halfPoints * 10;
    f.bold = chars.bold;
    f.italic = chars.italic;
    f.underline = chars.underline;
    f.strikeOut = chars.strike;
    f.autoColor = !explicitColor;
    if (explicitColor)
        f.color = QColor::fromRgb(rgb);
    QTextCharFormat format = TextFormats::toTextCharFormat(f);
    if (!chars.sizeGiven)
        TextFormats::setSizeUnstated(format);
    if (chars.position != CharState::Baseline)
        format.setVerticalAlignment(chars.position == CharState::Raised ? QTextCharFormat::AlignSuperScript
                                                                        : QTextCharFormat::AlignSubScript);
    if (highlighted)
        format.setBackground(QColor::fromRgb(highlight));
    return m_formats.emplace(key, format).first->second;
}

} // namespace RtfReading
