#include "rtfreader.h"

#include "codepages.h"
#include "document/textformats.h"
#include "rtfgroupstack.h"
#include "rtfpicture.h"
#include "rtftablereader.h"
#include "rtftables.h"
#include "rtfwords.h"

#include <QColor>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <climits>
#include <string_view>
#include <unordered_map>

namespace {

using RtfGroups::CharState;
using RtfGroups::Group;
using RtfGroups::ParaState;
using RtfTables::FontEntry;
using RtfWords::Destination;
using RtfWords::Word;
using RtfWords::WordInfo;

constexpr int MaxUnicodeSkip = 16;
constexpr int MaxHalfPoints = 32767;

// A run of bulleted paragraphs is kept in lists of at most MaxListItems: a bullet carries no
// number, so where one list ends and the next begins changes nothing shown or saved, while
// each paragraph added to a list of n costs Qt n steps (it marks them all changed).
using RtfReader::MaxListItems;

struct CharStateHash {
    size_t operator()(const CharState &s) const noexcept
    {
        // Each field mixed in turn, so that no choice of values makes many states collide.
        uint64_t h = 0x9E3779B97F4A7C15ull;
        auto mix = [&h](uint64_t v) {
            h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
            h *= 0xFF51AFD7ED558CCDull;
        };
        mix(static_cast<uint32_t>(s.font));
        mix(static_cast<uint32_t>(s.color));
        mix(static_cast<uint16_t>(s.halfPoints));
        mix((s.bold ? 1u : 0u) | (s.italic ? 2u : 0u) | (s.underline ? 4u : 0u) | (s.strike ? 8u : 0u)
            | (s.hidden ? 16u : 0u));
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

class Reader {
public:
    Reader(QByteArrayView data, QTextDocument &document, const CharFormat &defaults)
        : m_p(data.data())
        , m_end(data.data() + data.size())
        , m_document(document)
        , m_cursor(&document)
        , m_defaults(defaults)
        , m_tables(m_cursor)
    {
    }

    void run()
    {
        m_document.clear();
        m_cursor = QTextCursor(&m_document);
        // One edit block for the whole read: without it each insertion re-measures the caret's
        // place in its paragraph and notifies the editor, which grows with the paragraph.
        m_cursor.beginEditBlock();
        while (m_p < m_end && !m_finished) {
            const char c = *m_p;
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
                textBytes(start, m_p, Bytes::Raw);
            }
        }
        if (m_picture.isActive())
            insertPicture(); // a file cut off inside the picture's data
        flushText();
        finishParagraph();
        m_tables.finish();
        m_cursor.endEditBlock();
    }

private:
    const Group &group() const { return m_stack.top(); }

    // -- Groups --

    void pushGroup()
    {
        m_skip = 0;
        m_stack.push();
    }

    void popGroup()
    {
        m_skip = 0;
        if (m_stack.depth() == 0)
            return; // a stray closing brace
        if (group().destination == Destination::FontTable)
            finishFontName();
        const Group closing = group();
        m_stack.pop();
        if (m_picture.isActive() && m_stack.depth() < m_picture.depth())
            insertPicture();
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

    // -- Tokens --

    void controlSequence()
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

    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    void controlWord()
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
            skipBinary(hasParameter ? parameter : 0);
            return;
        }
        if (skipOne())
            return;
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

    // The \uc fallback after \u: bytes and control sequences, until the group ends.
    bool skipOne()
    {
        if (m_skip <= 0)
            return false;
        --m_skip;
        return true;
    }

    void skipBinary(int length)
    {
        const qsizetype left = m_end - m_p;
        const char *start = m_p;
        m_p += qBound<qsizetype>(0, qsizetype(length), left);
        if (group().destination == Destination::Picture)
            m_picture.binary(start, m_p);
        skipOne();
    }

    void setDestination(Destination destination)
    {
        Group g = group();
        g.destination = destination;
        m_stack.set(g);
    }

    void enterDestination(Destination destination)
    {
        if (group().destination == Destination::Skip)
            return;
        // A field result sits inside the field: read it where the field stands.
        if (destination == Destination::Text)
            return;
        if (destination == Destination::Picture) {
            beginPicture();
            return;
        }
        setDestination(destination);
        if (destination == Destination::Marker) {
            m_marker.clear();
            m_markerBytes.clear();
            m_markerFormatSet = false;
            m_markerPara = group().para;
        }
    }

    void apply(const WordInfo &info, bool hasParameter, int parameter)
    {
        Group g = group();
        if (applyToGroup(g, info.word, hasParameter, parameter)) {
            m_stack.set(g);
            return;
        }
        const Destination destination = g.destination;
        switch (info.word) {
        case Word::Character:
            unicodeText(info.character);
            return;
        case Word::Ansi:
            m_ansiCodePage = 1252;
            return;
        case Word::Mac:
            m_ansiCodePage = 10000;
            return;
        case Word::Pc:
            m_ansiCodePage = 437;
            return;
        case Word::Pca:
            m_ansiCodePage = 850;
            return;
        case Word::AnsiCpg:
            if (hasParameter && parameter > 0)
                m_ansiCodePage = parameter;
            return;
        case Word::Deff:
            m_defaultFont = parameter;
            return;
        case Word::U:
            unicodeValue(parameter);
            m_skip = g.unicodeSkip;
            return;
        case Word::Font: // in the font table; elsewhere a run's font, see applyToGroup
            finishFontName();
            m_fontEntry = parameter;
            m_fonts.begin(parameter);
            return;
        case Word::FontCharSet:
            if (FontEntry *font = currentFontEntry())
                font->charSet = parameter;
            return;
        case Word::CodePage:
            if (FontEntry *font = currentFontEntry())
                font->codePage = parameter;
            return;
        case Word::FontPitch:
            if (FontEntry *font = currentFontEntry())
                font->pitch = qBound(0, parameter, 2);
            return;
        case Word::Red:
            m_colors.setRed(parameter);
            return;
        case Word::Green:
            m_colors.setGreen(parameter);
            return;
        case Word::Blue:
            m_colors.setBlue(parameter);
            return;
        case Word::ListNumber: // in the override table; elsewhere the paragraph's list
            m_lists.setOverrideNumber(parameter);
            return;
        case Word::List:
            if (destination == Destination::ListTable)
                m_lists.beginList();
            return;
        case Word::ListLevelEntry:
            if (destination == Destination::ListTable)
                m_lists.beginLevel();
            return;
        case Word::LevelNfc:
            if (destination == Destination::ListTable)
                m_lists.setLevelFormat(parameter);
            return;
        case Word::ListId:
            if (destination == Destination::ListTable)
                m_lists.setListId(parameter);
            else if (destination == Destination::ListOverrideTable)
                m_lists.setOverrideListId(parameter);
            return;
        case Word::ListOverride:
            if (destination == Destination::ListOverrideTable)
                m_lists.beginOverride();
            return;
        case Word::Par:
            if (destination == Destination::Marker)
                promoteMarker();
            paragraphBreak();
            return;
        case Word::Line:
            unicodeText(QChar::LineSeparator);
            return;
        case Word::Page:
            // A page or section break starts a paragraph only where one is under way.
            if (m_paragraphHasContent || !m_pendingText.isEmpty() || !m_pendingBytes.isEmpty())
                paragraphBreak();
            return;
        case Word::Cell:
        case Word::Row:
            if (destination != Destination::Text || (info.word == Word::Row && !m_tables.isOpen()))
                return;
            if (info.word == Word::Cell && !m_tables.isOpen())
                placeForTable(true, 1);
            settleParagraph(info.word == Word::Cell ? Break::Keep : Break::Drop);
            if (info.word == Word::Cell)
                m_tables.endCell();
            else
                m_tables.endRow();
            return;
        default:
            m_tables.applyWord(info.word, info.character, hasParameter, parameter);
            return;
        }
    }

    // The words that change the group's own state, applied to g; false for the others. Every
    // number is clamped to its range here, before it is stored or added to anything.
    static bool applyToGroup(Group &g, Word word, bool hasParameter, int parameter)
    {
        CharState &chars = g.chars;
        ParaState &para = g.para;
        const bool on = !hasParameter || parameter != 0;
        auto indent = [parameter] { return static_cast<int16_t>(TextFormats::clampedIndent(parameter)); };
        switch (word) {
        case Word::Uc:
            g.unicodeSkip = static_cast<uint8_t>(qBound(0, parameter, MaxUnicodeSkip));
            return true;
        case Word::Plain:
            chars = CharState {};
            return true;
        case Word::Bold:
            chars.bold = on;
            return true;
        case Word::Italic:
            chars.italic = on;
            return true;
        case Word::Underline:
            chars.underline = on;
            return true;
        case Word::UnderlineNone:
            chars.underline = false;
            return true;
        case Word::Strike:
            chars.strike = on;
            return true;
        case Word::FontSize:
            chars.halfPoints = static_cast<int16_t>(hasParameter ? qBound(0, parameter, MaxHalfPoints) : 24);
            return true;
        case Word::Color:
            chars.color = qMax(0, parameter);
            return true;
        case Word::Font:
            if (g.destination == Destination::FontTable)
                return false;
            chars.font = parameter;
            return true;
        case Word::Hidden:
            chars.hidden = on;
            return true;
        case Word::Pard:
            para = ParaState {};
            return true;
        case Word::AlignLeft:
            para.alignment = ParaFormat::AlignLeft;
            return true;
        case Word::AlignCenter:
            para.alignment = ParaFormat::AlignCenter;
            return true;
        case Word::AlignRight:
            para.alignment = ParaFormat::AlignRight;
            return true;
        case Word::AlignJustify:
            para.alignment = ParaFormat::AlignJustify;
            return true;
        case Word::FirstIndent:
            para.firstTwips = indent();
            return true;
        case Word::LeftIndent:
            para.leftTwips = indent();
            return true;
        case Word::RightIndent:
            para.rightTwips = indent();
            return true;
        case Word::ListNumber:
            if (g.destination == Destination::ListOverrideTable)
                return false;
            para.listNumber = parameter;
            return true;
        case Word::ListLevel:
            // Levels past the tables' own count are never bullets: keep them apart from those.
            para.listLevel = static_cast<uint8_t>(qBound(0, parameter, int(RtfTables::ListTables::MaxLevels)));
            return true;
        case Word::InTable:
            para.inTable = true;
            return true;
        case Word::TableDepth:
            para.inTable = parameter > 0;
            return true;
        case Word::PnBullet:
        case Word::PnNumbered:
            // Handed to the paragraph around the \pn group when it closes.
            para.pnBullet = word == Word::PnBullet;
            para.pnNumbered = word == Word::PnNumbered;
            return true;
        default:
            return false;
        }
    }

    // -- Text --

    int codePageOf(const CharState &chars) const
    {
        const FontEntry *font = fontEntry(chars.font);
        if (font) {
            if (font->codePage > 0)
                return font->codePage;
            const int fromCharSet = CodePages::fromCharSet(font->charSet);
            if (fromCharSet > 0)
                return fromCharSet;
        }
        return m_ansiCodePage;
    }

    const FontEntry *fontEntry(int index) const
    {
        return m_fonts.find(index < 0 ? m_defaultFont : index);
    }

    FontEntry *currentFontEntry()
    {
        if (group().destination != Destination::FontTable)
            return nullptr;
        return m_fonts.find(m_fontEntry);
    }

    // The code page of a font's name: its text's, except that a symbol font's name is plain
    // Latin text, not symbols.
    int fontCodePage(const FontEntry &font) const
    {
        if (font.codePage > 0)
            return font.codePage;
        const int fromCharSet = CodePages::fromCharSet(font.charSet);
        if (fromCharSet == CodePages::SymbolCodePage)
            return 1252;
        return fromCharSet > 0 ? fromCharSet : m_ansiCodePage;
    }

    void finishFontName()
    {
        FontEntry *font = currentFontEntry();
        if (!font || font->nameDone)
            return;
        font->name += CodePages::decode(font->nameBytes, fontCodePage(*font));
        font->nameBytes.clear();
        font->nameDone = true;
    }

    // Raw bytes are the file's own text, where control characters other than the tab are not
    // text; escaped bytes (\'hh) are text whatever their value.
    enum class Bytes { Raw, Escaped };

    static bool isText(char c, Bytes kind)
    {
        return kind == Bytes::Escaped || static_cast<unsigned char>(c) >= 0x20 || c == '\t';
    }

    void textBytes(const char *start, const char *end, Bytes kind)
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
        if (g.chars.hidden)
            return;
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

    void fontNameBytes(const char *start, const char *end)
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

    void unicodeValue(int value)
    {
        if (value < -32768)
            return; // not a signed 16-bit value
        if (value < 0)
            value += 65536;
        if (value <= 0 || value > 0xFFFF)
            return;
        unicodeText(static_cast<char16_t>(value));
    }

    void unicodeText(char16_t c)
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
        if (g.chars.hidden)
            return;
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

    void markerText(const QString &text)
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

    // Text in another format ends the run before it.
    void prepareFor(const CharState &chars)
    {
        placeForTable(group().para.inTable);
        if (chars == m_pendingState)
            return;
        flushText();
        m_pendingState = chars;
    }

    void decodePendingBytes()
    {
        if (m_pendingBytes.isEmpty())
            return;
        m_pendingText += CodePages::decode(m_pendingBytes, m_bytesCodePage);
        m_pendingBytes.clear();
    }

    void flushText()
    {
        decodePendingBytes();
        if (m_pendingText.isEmpty())
            return;
        startPendingParagraph();
        m_cursor.insertText(m_pendingText, formatFor(m_pendingState));
        m_pendingText.clear();
        m_paragraphHasContent = true;
    }

    const QTextCharFormat &formatFor(const CharState &chars)
    {
        // States that name a missing font or colour look alike: one entry serves them all, so
        // the cache holds no more entries than there are formats.
        CharState key = chars;
        const int fontNumber = chars.font < 0 ? m_defaultFont : chars.font;
        const FontEntry *font = m_fonts.find(fontNumber);
        key.font = font ? fontNumber : INT_MIN;
        QRgb rgb = 0;
        const bool explicitColor = m_colors.colorAt(chars.color, &rgb);
        key.color = explicitColor ? chars.color : 0;
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
        return m_formats.emplace(key, TextFormats::toTextCharFormat(f)).first->second;
    }

    // -- Pictures --

    void beginPicture()
    {
        if (m_picture.isActive() && m_stack.depth() == m_picture.depth())
            return; // \pict again in the picture's own group
        const std::optional<RtfPicture::Source> source = RtfPicture::sourceIn(group().destination);
        const bool read = source && !group().chars.hidden && !m_picture.isActive();
        setDestination(read ? Destination::Picture : Destination::Skip);
        if (read)
            m_picture.begin(*source, m_stack.depth());
    }

    void insertPicture()
    {
        const Picture picture = m_picture.finish();
        if (picture.isNull())
            return;
        flushText();
        startPendingParagraph();
        const RtfPicture::Placement placement = m_picture.place(m_cursor.position());
        if (placement.replacePrevious)
            m_cursor.deletePreviousChar();
        if (placement.keep) {
            m_cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                                Pictures::charFormat(picture, formatFor(group().chars)));
            m_paragraphHasContent = true;
        }
        m_picture.placed(placement, m_cursor.position());
    }

    // -- Paragraphs --

    void paragraphBreak()
    {
        const Destination d = group().destination;
        if (d != Destination::Text)
            return;
        placeForTable(group().para.inTable);
        flushText();
        startPendingParagraph();
        finishParagraph();
        // The break takes effect when something follows it: the last \par of a file ends its
        // last paragraph rather than starting an empty one.
        m_breakPending = true;
        m_paragraphHasContent = false;
    }

    void startPendingParagraph()
    {
        if (!m_breakPending)
            return;
        m_breakPending = false;
        // In the format of the paragraph before, in its list while that has room: the next one
        // most often shares them, and then needs no format of its own when it ends.
        QTextBlockFormat format = m_blockFormatKnown ? m_blockFormat : QTextBlockFormat();
        m_insertedInList = m_lastInList && m_list && m_list->count() < MaxListItems;
        if (m_insertedInList)
            format.setObjectIndex(m_list->objectIndex());
        m_cursor.insertBlock(format, formatFor(group().chars));
        m_insertedKnown = m_blockFormatKnown;
        m_insertedKey = m_blockKey;
        ++m_blockNumber;
    }

    bool isBulletList(const ParaState &para) const
    {
        if (para.pnBullet)
            return true;
        if (para.listNumber <= 0 && !m_markerParagraph)
            return false;
        bool known = false;
        const bool bullet = para.listNumber > 0 && m_lists.isBullet(para.listNumber, para.listLevel, &known);
        if (known)
            return bullet;
        // No list table: judge by the marker the writer put before the text.
        const QString marker = m_marker.trimmed();
        return marker.size() == 1
            && QStringView(u"\u2022\u00B7\u30FB\u25CF\u25A0\u25C6\u25CB\u25A1\uF0B7\uF0A7\uF076\uF0D8\uF0FC-*")
                   .contains(marker.at(0));
    }

    void finishParagraph()
    {
        if (m_finishedParagraph == m_blockNumber && m_breakPending)
            return;
        const ParaState &para = group().para;
        markerText(QString());
        const bool bullet = isBulletList(para);
        const bool listed = para.pnNumbered || para.listNumber > 0 || !m_marker.isEmpty();
        if (!bullet && listed && !m_marker.isEmpty()) {
            // A numbered list: its numbers exist only in the marker text, so they become text.
            QTextCursor at(&m_document);
            at.setPosition(m_cursor.block().position());
            at.insertText(m_marker, m_markerFormat);
        }
        m_marker.clear();
        m_markerFormatSet = false;
        m_markerParagraph = false;

        const BlockKey key { para, bullet };
        if (!m_blockFormatKnown || !(key == m_blockKey)) {
            ParaFormat p;
            p.mask = ParaFormat::AllFields;
            p.alignment = para.alignment;
            p.firstIndentTwips = TextFormats::clampedIndent(para.leftTwips + para.firstTwips);
            p.leftIndentTwips = -para.firstTwips;
            p.rightIndentTwips = para.rightTwips;
            p.numbering = bullet ? ParaFormat::NumberingBullet : ParaFormat::NumberingNone;
            m_blockFormat = QTextBlockFormat();
            TextFormats::applyToBlockFormat(m_blockFormat, p);
            m_blockKey = key;
            m_blockFormatKnown = true;
        }
        const bool formatRight = m_insertedKnown && m_insertedKey == key;
        if (!bullet) {
            if (!formatRight || m_insertedInList)
                m_cursor.setBlockFormat(m_blockFormat);
        } else if (!formatRight || !m_insertedInList) {
            // The list of the paragraph before, while it has room; else a new one.
            if (m_list && m_lastInList && m_list->count() < MaxListItems) {
                QTextBlockFormat inList = m_blockFormat;
                inList.setObjectIndex(m_list->objectIndex());
                m_cursor.setBlockFormat(inList);
            } else {
                if (!formatRight)
                    m_cursor.setBlockFormat(m_blockFormat);
                m_list = m_cursor.createList(TextFormats::bulletListFormat());
            }
        }
        m_lastInList = bullet;
        m_finishedParagraph = m_blockNumber;
    }

    // -- Tables and list items written inside their marker --

    // Text and paragraph breaks go into the table cell, or after the table, that their
    // paragraph belongs to (see RtfTableReader).
    void placeForTable(bool inTable, int cellsDone = 0)
    {
        if (m_tables.isPlaced(inTable))
            return;
        settleParagraph();
        const auto move = m_tables.place(inTable, QByteArrayView(m_p, m_end - m_p), formatFor(group().chars), cellsDone);
        if (move == RtfTableReader::Move::NewBlock) {
            // A paragraph the table made: its format is set when it ends.
            ++m_blockNumber;
            m_insertedKnown = false;
            m_insertedInList = false;
            m_lastInList = false;
            m_paragraphHasContent = false;
        }
    }

    // Ends the paragraph under way where the cursor leaves it: a table's edge breaks the
    // paragraph in place of a \\par (a pending break is dropped); at a cell's end a pending
    // break is kept: "x\\par\\cell" ends the cell with an empty paragraph, as we write it.
    enum class Break { Keep, Drop };
    void settleParagraph(Break pending = Break::Drop)
    {
        flushText();
        if (m_breakPending && pending == Break::Keep)
            startPendingParagraph();
        if (m_breakPending)
            m_breakPending = false;
        else if (m_finishedParagraph != m_blockNumber)
            finishParagraph();
    }

    // A \listtext group that holds more than a marker holds its list item: the text after the
    // marker's tab is the item's paragraph, in the list of the paragraph the group began in.
    void promoteMarker()
    {
        Group g = group();
        g.destination = Destination::Text;
        if (g.para.listNumber <= 0 && !g.para.pnBullet) {
            g.para.listNumber = m_markerPara.listNumber;
            g.para.listLevel = m_markerPara.listLevel;
            g.para.pnBullet = m_markerPara.pnBullet;
        }
        // A marker of nothing but its tab, in no list: the writer lost the bullet, not the item.
        markerText(QString());
        if (g.para.listNumber <= 0 && !g.para.pnBullet && !g.para.pnNumbered && m_marker.trimmed().isEmpty())
            g.para.pnBullet = true;
        g.para.inTable = g.para.inTable || m_markerPara.inTable;
        m_stack.set(g);
        m_markerParagraph = true;
    }

    // A paragraph's properties as its block format states them.
    struct BlockKey {
        ParaState para;
        bool bullet = false;
        bool operator==(const BlockKey &) const = default;
    };

    const char *m_p;
    const char *const m_end;
    QTextDocument &m_document;
    QTextCursor m_cursor;
    const CharFormat &m_defaults;

    RtfGroups::GroupStack m_stack;
    bool m_finished = false;
    bool m_ignorable = false;
    int m_skip = 0;

    int m_ansiCodePage = 1252;
    int m_defaultFont = 0;
    RtfTables::FontTable m_fonts;
    int m_fontEntry = -1;
    RtfTables::ColorTable m_colors;
    RtfTables::ListTables m_lists;

    CharState m_pendingState;
    QString m_pendingText;
    QByteArray m_pendingBytes;
    int m_bytesCodePage = 0;
    std::unordered_map<CharState, QTextCharFormat, CharStateHash> m_formats;
    QSet<QString> m_faces; // the faces the text uses so far

    RtfPicture::PictureReader m_picture;

    QString m_marker;
    QByteArray m_markerBytes; // not yet decoded, in m_markerCodePage
    int m_markerCodePage = 0;
    QTextCharFormat m_markerFormat;
    bool m_markerFormatSet = false;
    ParaState m_markerPara; // of the paragraph the marker began in
    bool m_markerParagraph = false; // the marker's group held its paragraph
    bool m_breakPending = false;
    bool m_paragraphHasContent = false;
    int m_finishedParagraph = -1;
    int m_blockNumber = 0; // of the paragraph under way
    // The block format last made, and what it was made of; the key the paragraph under way was
    // inserted with.
    QTextBlockFormat m_blockFormat;
    BlockKey m_blockKey;
    bool m_blockFormatKnown = false;
    BlockKey m_insertedKey;
    bool m_insertedKnown = false;
    bool m_insertedInList = false; // the paragraph under way was inserted into m_list
    bool m_lastInList = false; // the paragraph before belongs to m_list
    QTextList *m_list = nullptr;
    RtfTableReader m_tables;
};

} // namespace

namespace RtfReader {

bool isRtf(QByteArrayView data)
{
    return data.startsWith("{\\rtf");
}

bool read(QByteArrayView data, QTextDocument &document, const CharFormat &defaults)
{
    if (!isRtf(data))
        return false;
    Reader reader(data, document, defaults);
    reader.run();
    return true;
}

} // namespace RtfReader
