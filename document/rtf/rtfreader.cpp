#include "rtfreader.h"

#include "rtfreading.h"

#include <algorithm>
#include <climits>

namespace RtfReading {

void Reader::run()
{
    m_document.clear();
    m_cursor = QTextCursor(&m_document);
    // One edit block for the whole read: without it each insertion re-measures the caret's
    // place in its paragraph and notifies the editor, which grows with the paragraph.
    cursor().beginEditBlock();
    while (m_p < m_end && !m_finished) {
        const char c = *m_p;
        // \* marks the control word right after it (line breaks and spaces between allowed),
        // not one after text or a brace.
        if (c == '{' || c == '}')
            m_ignorable = false;
        if (c == '{') {
            ++m_p;
            pushGroup();
        } else if (c == '}') {
            ++m_p;
            popGroup();
        } else if (c == '\\') {
            ++m_p;
            controlSequence();
        } else if (c == '\r' || c == '\n') {
            ++m_p;
        } else {
            const char *start = m_p;
            while (m_p < m_end && *m_p != '{' && *m_p != '}' && *m_p != '\\' && *m_p != '\r' && *m_p != '\n')
                ++m_p;
            if (std::any_of(start, m_p, [](char b) { return b != ' '; }))
                m_ignorable = false;
            textBytes(start, m_p, Bytes::Raw);
        }
    }
    if (m_picture.isActive())
        takePicture(); // a file cut off inside the picture's data
    finishKept();
    placeHeldAnchors(false);
    flushText();
    finishParagraph();
    // A file that ends in a table leaves the paragraph after it as one that goes on after it.
    const bool inTable = m_tables.isOpen();
    m_store.finish();
    m_tables.finish();
    if (inTable)
        markParagraphAfterTable();
    cursor().endEditBlock();
}

void Reader::pushGroup()
{
    m_skip = 0;
    m_ignorable = false; // \* marks the word right after it, never a group
    m_stack.push();
    m_lastOpen = m_p - 1;
    m_lastOpenDepth = m_stack.depth();
}

void Reader::popGroup()
{
    m_skip = 0;
    if (m_stack.depth() == 0)
        return; // a stray closing brace
    if (group().destination == Destination::FontTable)
        finishFontName();
    const Group closing = group();
    m_stack.pop();
    if (m_picture.isActive() && m_stack.depth() < m_picture.depth())
        takePicture();
    if (m_keep && m_stack.depth() < m_keep->depth)
        finishKeep();
    else if (m_field && !m_keep && m_stack.depth() < m_field->depth)
        finishField();
    if (closing.destination == Destination::Pn) {
        // \pn sits in a group of its own: its numbering belongs to the paragraph around it.
        Group around = group();
        around.para.pnBullet = closing.para.pnBullet;
        around.para.pnNumbered = closing.para.pnNumbered;
        m_stack.set(around);
    }
    if (m_stack.depth() == 0)
        m_finished = true; // the RTF group is closed: whatever follows is not part of it
}

void Reader::controlSequence()
{
    if (m_p >= m_end)
        return;
    const char c = *m_p;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        controlWord();
        return;
    }
    ++m_p;
    m_ignorable = false;
    switch (c) {
    case '\'': {
        const int high = m_p < m_end ? hexValue(*m_p) : -1;
        const int low = m_p + 1 < m_end ? hexValue(m_p[1]) : -1;
        if (high < 0 || low < 0)
            return;
        m_p += 2;
        const char byte = static_cast<char>(high * 16 + low);
        textBytes(&byte, &byte + 1, Bytes::Escaped);
        return;
    }
    case '\\':
    case '{':
    case '}':
        textBytes(&c, &c + 1, Bytes::Escaped);
        return;
    case '*':
        m_ignorable = true;
        return;
    case '~':
        unicodeText(0x00A0);
        return;
    case '_':
        unicodeText(0x2011);
        return;
    case '\r':
    case '\n':
        if (!skipOne())
            paragraphBreak();
        return;
    default:
        skipOne(); // \-, \|, \: and unknown symbols
        return;
    }
}

int Reader::hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void Reader::controlWord()
{
    const char *nameStart = m_p;
    while (m_p < m_end && ((*m_p >= 'a' && *m_p <= 'z') || (*m_p >= 'A' && *m_p <= 'Z')))
        ++m_p;
    const std::string_view name(nameStart, static_cast<size_t>(m_p - nameStart));
    bool hasParameter = false;
    long long value = 0;
    bool negative = false;
    if (m_p + 1 < m_end && *m_p == '-' && m_p[1] >= '0' && m_p[1] <= '9') {
        negative = true;
        ++m_p;
    }
    while (m_p < m_end && *m_p >= '0' && *m_p <= '9') {
        hasParameter = true;
        if (value < INT_MAX) // saturate: huge numbers are clamped, their digits still read
            value = value * 10 + (*m_p - '0');
        ++m_p;
    }
    if (m_p < m_end && *m_p == ' ')
        ++m_p;
    value = qMin<long long>(value, INT_MAX);
    const int parameter = static_cast<int>(negative ? -value : value);

    const bool ignorable = m_ignorable;
    m_ignorable = false;
    const WordInfo info = RtfWords::lookup(name);
    if (info.word == Word::Bin) {
        skipBinary(nameStart - 1, hasParameter ? parameter : 0);
        return;
    }
    if (skipOne())
        return;
    if (name == "sect" && beginSection(nameStart - 1))
        return;
    if (m_section && sectionWord(name, nameStart - 1, ignorable, info))
        return;
    if (m_leadingWords)
        documentWord(name, nameStart - 1, ignorable, info);
    const bool unknownIgnorable = ignorable && info.word == Word::Unknown;
    if ((info.word == Word::Destination || unknownIgnorable) && beginKeep(name, nameStart - 1, unknownIgnorable))
        return;
    if (name == "chftn" && group().destination == Destination::Text) {
        m_footnoteMark = true; // shown by the footnote that follows
        m_footnoteMarkState = group().chars;
        return;
    }
    if (info.word == Word::Destination) {
        enterDestination(info.destination);
        return;
    }
    if (ignorable && info.word == Word::Unknown) {
        setDestination(Destination::Skip);
        return;
    }
    if (group().destination == Destination::Skip)
        return;
    if (group().destination == Destination::Picture) {
        m_picture.word(name, hasParameter, parameter);
        return;
    }
    apply(info, hasParameter, parameter);
}

bool Reader::skipOne()
{
    if (m_skip <= 0)
        return false;
    --m_skip;
    return true;
}

void Reader::skipBinary(const char *wordStart, int length)
{
    const qsizetype left = m_end - m_p;
    if (length > left)
        m_cutBinary = wordStart;
    const char *start = m_p;
    m_p += qBound<qsizetype>(0, qsizetype(length), left);
    if (group().destination == Destination::Picture)
        m_picture.binary(start, m_p);
    skipOne();
}

void Reader::setDestination(Destination destination)
{
    Group g = group();
    g.destination = destination;
    m_stack.set(g);
}

void Reader::enterDestination(Destination destination)
{
    if (group().destination == Destination::Skip || m_keep) {
        // In a group being kept only a shape's picture is read; what else it holds is its own.
        if (destination == Destination::Picture)
            beginShapePicture();
        else if (group().destination != Destination::Skip)
            setDestination(Destination::Skip);
        return;
    }
    // A field result sits inside the field: read it where the field stands.
    if (destination == Destination::Text)
        return;
    if (destination == Destination::Picture) {
        beginPicture();
        return;
    }
    // A font, colour or list table in a field is not the document's: the field may be kept
    // whole, and read back after the tables we write it would renumber them.
    const bool table = destination == Destination::FontTable || destination == Destination::ColorTable
        || destination == Destination::ListTable || destination == Destination::ListOverrideTable;
    if (m_field && table)
        destination = Destination::Skip;
    setDestination(destination);
    if (destination == Destination::Marker) {
        // The marker numbers the paragraph it is read in: a field holding one is not kept whole
        // as well, which would number it again each time it is read back.
        fieldShapesText();
        m_marker.clear();
        m_markerBytes.clear();
        m_markerFormatSet = false;
        m_markerPara = group().para;
    }
}

} // namespace RtfReading

namespace RtfReader {

bool isRtf(QByteArrayView data)
{
    return data.startsWith("{\\rtf");
}

bool read(QByteArrayView data, QTextDocument &document, const CharFormat &defaults)
{
    if (!isRtf(data))
        return false;
    RtfReading::Reader reader(data, document, defaults);
    reader.run();
    return true;
}

} // namespace RtfReader
