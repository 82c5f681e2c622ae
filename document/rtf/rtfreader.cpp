#include "rtfreader.h"

#include "codepages.h"
#include "document/textformats.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <climits>
#include <map>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Where the text of a group goes.
enum class Destination : uint8_t {
    Text, // the document
    Skip, // nowhere
    FontTable,
    ColorTable,
    ListTable,
    ListOverrideTable,
    Marker, // \pntext, \listtext: a list marker, dropped for bullets
    Pn, // \pn: the paragraph's numbering
};

enum class Word : uint8_t {
    Unknown,
    Destination,
    Character,
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    Uc,
    U,
    Bin,
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    FontSize,
    Color,
    Font,
    Hidden,
    FontCharSet,
    CodePage,
    FontPitch,
    Red,
    Green,
    Blue,
    Pard,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    FirstIndent,
    LeftIndent,
    RightIndent,
    ListNumber,
    ListLevel,
    PnBullet,
    PnNumbered,
    List,
    ListLevelEntry,
    LevelNfc,
    ListId,
    ListOverride,
    Par,
    Line,
    Page,
    Cell,
    Row,
};

struct WordInfo {
    Word word = Word::Unknown;
    Destination destination = Destination::Text;
    char16_t character = 0;
};

const std::unordered_map<std::string_view, WordInfo> &words()
{
    static const std::unordered_map<std::string_view, WordInfo> table = [] {
        std::unordered_map<std::string_view, WordInfo> t;
        auto word = [&t](std::string_view name, Word w) { t[name] = { w, Destination::Text, 0 }; };
        auto destination = [&t](std::string_view name, Destination d) { t[name] = { Word::Destination, d, 0 }; };
        auto character = [&t](std::string_view name, char16_t c) { t[name] = { Word::Character, Destination::Text, c }; };

        for (std::string_view skipped :
             { "info", "stylesheet", "pict", "header", "headerl", "headerr", "headerf", "footer", "footerl",
               "footerr", "footerf", "footnote", "annotation", "object", "shp", "shpinst", "shppict",
               "nonshppict", "fldinst", "xe", "tc", "txe", "bkmkstart", "bkmkend", "themedata",
               "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "rsidtbl", "generator", "filetbl",
               "revtbl", "pgdsctbl", "mmathPr", "userprops", "docvar", "template", "leveltext", "levelnumbers",
               "listname", "pntxta", "pntxtb", "panose", "falt", "fontemb", "fontfile", "atnid", "atnauthor",
               "atndate", "atnref", "listpicture", "pnseclvl", "blipuid", "wgrffmtfilter", "ftnsep", "ftnsepc",
               "ftncn", "aftnsep", "aftnsepc", "aftncn", "comment", "do", "private", "protusertbl", "author",
               "operator", "title", "subject", "keywords", "doccomm", "company" })
            destination(skipped, Destination::Skip);
        destination("fonttbl", Destination::FontTable);
        destination("colortbl", Destination::ColorTable);
        destination("listtable", Destination::ListTable);
        destination("listoverridetable", Destination::ListOverrideTable);
        destination("pntext", Destination::Marker);
        destination("listtext", Destination::Marker);
        destination("pn", Destination::Pn);
        destination("fldrslt", Destination::Text);
        destination("field", Destination::Text);

        word("ansi", Word::Ansi);
        word("mac", Word::Mac);
        word("pc", Word::Pc);
        word("pca", Word::Pca);
        word("ansicpg", Word::AnsiCpg);
        word("deff", Word::Deff);
        word("uc", Word::Uc);
        word("u", Word::U);
        word("bin", Word::Bin);
        word("plain", Word::Plain);
        word("b", Word::Bold);
        word("i", Word::Italic);
        for (std::string_view ul : { "ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash",
                                     "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash",
                                     "ululdbwave", "ulw", "ulwave" })
            word(ul, Word::Underline);
        word("ulnone", Word::UnderlineNone);
        word("strike", Word::Strike);
        word("striked", Word::Strike);
        word("fs", Word::FontSize);
        word("cf", Word::Color);
        word("f", Word::Font);
        word("v", Word::Hidden);
        word("fcharset", Word::FontCharSet);
        word("cpg", Word::CodePage);
        word("fprq", Word::FontPitch);
        word("red", Word::Red);
        word("green", Word::Green);
        word("blue", Word::Blue);
        word("pard", Word::Pard);
        word("ql", Word::AlignLeft);
        word("qc", Word::AlignCenter);
        word("qr", Word::AlignRight);
        word("qj", Word::AlignJustify);
        word("qd", Word::AlignJustify);
        word("fi", Word::FirstIndent);
        word("li", Word::LeftIndent);
        word("lin", Word::LeftIndent);
        word("ri", Word::RightIndent);
        word("rin", Word::RightIndent);
        word("ls", Word::ListNumber);
        word("ilvl", Word::ListLevel);
        word("pnlvlblt", Word::PnBullet);
        word("pnlvlbody", Word::PnNumbered);
        word("pnlvlcont", Word::PnNumbered);
        word("list", Word::List);
        word("listlevel", Word::ListLevelEntry);
        word("levelnfc", Word::LevelNfc);
        word("levelnfcn", Word::LevelNfc);
        word("listid", Word::ListId);
        word("listoverride", Word::ListOverride);
        word("par", Word::Par);
        word("line", Word::Line);
        word("page", Word::Page);
        word("sect", Word::Page);
        word("cell", Word::Cell);
        word("nestcell", Word::Cell);
        word("row", Word::Row);
        word("nestrow", Word::Row);
        character("tab", u'\t');
        character("emdash", 0x2014);
        character("endash", 0x2013);
        character("emspace", 0x2003);
        character("enspace", 0x2002);
        character("qmspace", 0x2005);
        character("bullet", 0x2022);
        character("lquote", 0x2018);
        character("rquote", 0x2019);
        character("ldblquote", 0x201C);
        character("rdblquote", 0x201D);
        character("zwj", 0x200D);
        character("zwnj", 0x200C);
        character("ltrmark", 0x200E);
        character("rtlmark", 0x200F);
        return t;
    }();
    return table;
}

// The level format number of a bullet in a word processor's list table.
constexpr int BulletLevelFormat = 23;
// Deeper nesting than this is counted, not stored: a file of nothing but braces stays small.
constexpr size_t MaxStoredDepth = 4096;
constexpr int MaxUnicodeSkip = 16;

struct CharState {
    int font = -1; // -1: the document's default font
    int halfPoints = 24;
    int color = 0; // colour table index; 0 is the automatic colour
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    bool operator==(const CharState &) const = default;
};

struct CharStateHash {
    size_t operator()(const CharState &s) const noexcept
    {
        size_t h = static_cast<size_t>(s.font) * 1000003u ^ static_cast<size_t>(s.halfPoints) * 10007u
            ^ static_cast<size_t>(s.color) * 101u;
        return h ^ (s.bold ? 1u : 0u) ^ (s.italic ? 2u : 0u) ^ (s.underline ? 4u : 0u) ^ (s.strike ? 8u : 0u)
            ^ (s.hidden ? 16u : 0u);
    }
};

struct ParaState {
    int alignment = ParaFormat::AlignLeft;
    int leftTwips = 0; // \li: every line but the first
    int firstTwips = 0; // \fi: the first line, from \li
    int rightTwips = 0;
    int listNumber = 0; // \ls
    int listLevel = 0; // \ilvl
    bool pnBullet = false;
    bool pnNumbered = false;
};

struct Group {
    Destination destination = Destination::Text;
    CharState chars;
    ParaState para;
    int unicodeSkip = 1; // \uc
};

struct FontEntry {
    QString name;
    QByteArray nameBytes;
    int charSet = -1;
    int codePage = 0;
    int pitch = 0;
    bool nameDone = false;
};

struct ListDefinition {
    int id = 0;
    std::vector<int> levelFormats;
};

struct ListOverride {
    int listId = 0;
    int number = 0;
};

class Reader {
public:
    Reader(QByteArrayView data, QTextDocument &document, const CharFormat &defaults)
        : m_p(data.data())
        , m_end(data.data() + data.size())
        , m_document(document)
        , m_cursor(&document)
        , m_defaults(defaults)
    {
    }

    void run()
    {
        m_document.clear();
        m_cursor = QTextCursor(&m_document);
        // One edit block for the whole read: without it each insertion re-measures the caret's
        // place in its paragraph and notifies the editor, which grows with the paragraph.
        m_cursor.beginEditBlock();
        m_stack.push_back(Group {}); // the document, outside every group
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
        flushText();
        finishParagraph();
        m_cursor.endEditBlock();
    }

private:
    Group &group() { return m_stack.back(); }

    // -- Groups --

    void pushGroup()
    {
        m_skip = 0;
        if (m_stack.size() >= MaxStoredDepth) {
            ++m_overflow;
            return;
        }
        m_stack.push_back(m_stack.back());
    }

    void popGroup()
    {
        m_skip = 0;
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        if (group().destination == Destination::FontTable)
            finishFontName();
        if (m_stack.size() <= 1)
            return; // a stray closing brace
        m_stack.pop_back();
        if (m_stack.size() == 1)
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
        const auto found = words().find(name);
        const WordInfo info = found == words().end() ? WordInfo {} : found->second;
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
            group().destination = Destination::Skip;
            return;
        }
        if (group().destination == Destination::Skip)
            return;
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
        m_p += qBound<qsizetype>(0, qsizetype(length), left);
        skipOne();
    }

    void enterDestination(Destination destination)
    {
        Group &g = group();
        if (g.destination == Destination::Skip)
            return;
        // A field result sits inside the field: read it where the field stands.
        if (destination == Destination::Text)
            return;
        g.destination = destination;
        if (destination == Destination::Marker) {
            m_marker.clear();
            m_markerFormatSet = false;
        }
    }

    void apply(const WordInfo &info, bool hasParameter, int parameter)
    {
        Group &g = group();
        CharState &chars = g.chars;
        ParaState &para = g.para;
        const bool on = !hasParameter || parameter != 0;
        switch (info.word) {
        case Word::Unknown:
        case Word::Destination:
        case Word::Bin:
            return;
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
        case Word::Uc:
            g.unicodeSkip = qBound(0, parameter, MaxUnicodeSkip);
            return;
        case Word::U:
            unicodeValue(parameter);
            m_skip = g.unicodeSkip;
            return;
        case Word::Plain:
            chars = CharState {};
            return;
        case Word::Bold:
            chars.bold = on;
            return;
        case Word::Italic:
            chars.italic = on;
            return;
        case Word::Underline:
            chars.underline = on;
            return;
        case Word::UnderlineNone:
            chars.underline = false;
            return;
        case Word::Strike:
            chars.strike = on;
            return;
        case Word::FontSize:
            chars.halfPoints = hasParameter ? qBound(0, parameter, 32767) : 24;
            return;
        case Word::Color:
            chars.color = qMax(0, parameter);
            return;
        case Word::Font:
            if (g.destination == Destination::FontTable) {
                finishFontName();
                m_fontEntry = parameter;
                m_fonts[parameter] = FontEntry {};
            } else {
                chars.font = parameter;
            }
            return;
        case Word::Hidden:
            chars.hidden = on;
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
            m_red = qBound(0, parameter, 255);
            m_colorGiven = true;
            return;
        case Word::Green:
            m_green = qBound(0, parameter, 255);
            m_colorGiven = true;
            return;
        case Word::Blue:
            m_blue = qBound(0, parameter, 255);
            m_colorGiven = true;
            return;
        case Word::Pard:
            para = ParaState {};
            return;
        case Word::AlignLeft:
            para.alignment = ParaFormat::AlignLeft;
            return;
        case Word::AlignCenter:
            para.alignment = ParaFormat::AlignCenter;
            return;
        case Word::AlignRight:
            para.alignment = ParaFormat::AlignRight;
            return;
        case Word::AlignJustify:
            para.alignment = ParaFormat::AlignJustify;
            return;
        case Word::FirstIndent:
            para.firstTwips = parameter;
            return;
        case Word::LeftIndent:
            para.leftTwips = parameter;
            return;
        case Word::RightIndent:
            para.rightTwips = parameter;
            return;
        case Word::ListNumber:
            if (g.destination == Destination::ListOverrideTable) {
                if (!m_overrides.empty())
                    m_overrides.back().number = parameter;
            } else {
                para.listNumber = parameter;
            }
            return;
        case Word::ListLevel:
            para.listLevel = qMax(0, parameter);
            return;
        case Word::PnBullet:
        case Word::PnNumbered:
            // \pn sits in a group of its own; the numbering belongs to the paragraph around it.
            for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it) {
                if (it->destination == Destination::Pn)
                    continue;
                it->para.pnBullet = info.word == Word::PnBullet;
                it->para.pnNumbered = info.word == Word::PnNumbered;
                break;
            }
            return;
        case Word::List:
            if (g.destination == Destination::ListTable)
                m_lists.emplace_back();
            return;
        case Word::ListLevelEntry:
            if (g.destination == Destination::ListTable && !m_lists.empty())
                m_lists.back().levelFormats.push_back(0);
            return;
        case Word::LevelNfc:
            if (g.destination == Destination::ListTable && !m_lists.empty()
                && !m_lists.back().levelFormats.empty())
                m_lists.back().levelFormats.back() = parameter;
            return;
        case Word::ListId:
            if (g.destination == Destination::ListTable && !m_lists.empty())
                m_lists.back().id = parameter;
            else if (g.destination == Destination::ListOverrideTable && !m_overrides.empty())
                m_overrides.back().listId = parameter;
            return;
        case Word::ListOverride:
            if (g.destination == Destination::ListOverrideTable)
                m_overrides.emplace_back();
            return;
        case Word::Par:
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
            unicodeText(u'\t');
            return;
        case Word::Row:
            paragraphBreak();
            return;
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
        const auto it = m_fonts.find(index < 0 ? m_defaultFont : index);
        return it == m_fonts.end() ? nullptr : &it->second;
    }

    FontEntry *currentFontEntry()
    {
        if (group().destination != Destination::FontTable)
            return nullptr;
        const auto it = m_fonts.find(m_fontEntry);
        return it == m_fonts.end() ? nullptr : &it->second;
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
        Group &g = group();
        switch (g.destination) {
        case Destination::Text:
        case Destination::Marker:
            break;
        case Destination::FontTable:
            fontNameBytes(start, end);
            return;
        case Destination::ColorTable:
            for (const char *c = start; c < end; ++c) {
                if (*c == ';')
                    finishColor();
            }
            return;
        default:
            return;
        }
        if (g.chars.hidden)
            return;
        const int codePage = codePageOf(g.chars);
        if (g.destination == Destination::Marker) {
            QByteArray bytes;
            for (const char *c = start; c < end; ++c) {
                if (isText(*c, kind))
                    bytes += *c;
            }
            markerText(CodePages::decode(bytes, codePage));
            return;
        }
        prepareFor(g.chars);
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
            else
                font->nameBytes += *c;
        }
    }

    void finishColor()
    {
        m_colors.push_back(m_colorGiven ? QColor(m_red, m_green, m_blue) : QColor());
        m_red = m_green = m_blue = 0;
        m_colorGiven = false;
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
        Group &g = group();
        if (g.destination == Destination::FontTable) {
            if (FontEntry *font = currentFontEntry(); font && !font->nameDone) {
                font->name += CodePages::decode(font->nameBytes, fontCodePage(*font));
                font->nameBytes.clear();
                font->name += QChar(c);
            }
            return;
        }
        if (g.chars.hidden)
            return;
        if (g.destination == Destination::Marker) {
            markerText(QString(QChar(c)));
            return;
        }
        if (g.destination != Destination::Text)
            return;
        prepareFor(g.chars);
        decodePendingBytes();
        m_pendingText += QChar(c);
    }

    void markerText(const QString &text)
    {
        if (!m_markerFormatSet) {
            m_markerFormat = formatFor(group().chars);
            m_markerFormatSet = true;
        }
        m_marker += text;
    }

    // Text in another format ends the run before it.
    void prepareFor(const CharState &chars)
    {
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
        const auto cached = m_formats.find(chars);
        if (cached != m_formats.end())
            return cached->second;
        CharFormat f = m_defaults;
        f.mask = CharFormat::AllFields;
        if (const FontEntry *font = fontEntry(chars.font)) {
            f.faceName = font->name;
            f.charSet = qMax(0, font->charSet);
            f.pitch = static_cast<CharFormat::FontPitch>(font->pitch);
        }
        f.sizeTwips = chars.halfPoints * 10;
        f.bold = chars.bold;
        f.italic = chars.italic;
        f.underline = chars.underline;
        f.strikeOut = chars.strike;
        const bool explicitColor = chars.color > 0 && static_cast<size_t>(chars.color) < m_colors.size()
            && m_colors[static_cast<size_t>(chars.color)].isValid();
        f.autoColor = !explicitColor;
        if (explicitColor)
            f.color = m_colors[static_cast<size_t>(chars.color)];
        return m_formats.emplace(chars, TextFormats::toTextCharFormat(f)).first->second;
    }

    // -- Paragraphs --

    void paragraphBreak()
    {
        const Destination d = group().destination;
        if (d != Destination::Text)
            return;
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
        m_cursor.insertBlock(QTextBlockFormat(), formatFor(group().chars));
    }

    bool isBulletList(const ParaState &para) const
    {
        if (para.pnBullet)
            return true;
        if (para.listNumber <= 0)
            return false;
        for (const ListOverride &o : m_overrides) {
            if (o.number != para.listNumber)
                continue;
            for (const ListDefinition &list : m_lists) {
                if (list.id != o.listId)
                    continue;
                const size_t level = static_cast<size_t>(para.listLevel);
                if (level < list.levelFormats.size())
                    return list.levelFormats[level] == BulletLevelFormat;
            }
        }
        // No list table: judge by the marker the writer put before the text.
        const QString marker = m_marker.trimmed();
        return marker.size() == 1
            && QStringView(u"\u2022\u00B7\u30FB\u25CF\u25A0\u25C6\u25CB\u25A1\uF0B7\uF0A7\uF076\uF0D8\uF0FC-*")
                   .contains(marker.at(0));
    }

    void finishParagraph()
    {
        if (m_finishedParagraph == m_cursor.block().blockNumber() && m_breakPending)
            return;
        const ParaState &para = group().para;
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

        ParaFormat p;
        p.mask = ParaFormat::AllFields;
        p.alignment = para.alignment;
        p.firstIndentTwips = para.leftTwips + para.firstTwips;
        p.leftIndentTwips = -para.firstTwips;
        p.rightIndentTwips = para.rightTwips;
        p.numbering = bullet ? ParaFormat::NumberingBullet : ParaFormat::NumberingNone;
        QTextBlockFormat format;
        TextFormats::applyToBlockFormat(format, p);
        m_cursor.setBlockFormat(format);
        if (bullet) {
            const QTextBlock block = m_cursor.block();
            const QTextBlock previous = block.previous();
            if (m_list && previous.isValid() && previous.textList() == m_list) {
                m_list->add(block);
            } else {
                m_list = m_cursor.createList(TextFormats::bulletListFormat());
            }
        }
        m_finishedParagraph = m_cursor.block().blockNumber();
    }

    const char *m_p;
    const char *const m_end;
    QTextDocument &m_document;
    QTextCursor m_cursor;
    const CharFormat &m_defaults;

    std::vector<Group> m_stack;
    size_t m_overflow = 0;
    bool m_finished = false;
    bool m_ignorable = false;
    int m_skip = 0;

    int m_ansiCodePage = 1252;
    int m_defaultFont = 0;
    std::map<int, FontEntry> m_fonts;
    int m_fontEntry = -1;
    std::vector<QColor> m_colors;
    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;
    bool m_colorGiven = false;
    std::vector<ListDefinition> m_lists;
    std::vector<ListOverride> m_overrides;

    CharState m_pendingState;
    QString m_pendingText;
    QByteArray m_pendingBytes;
    int m_bytesCodePage = 0;
    std::unordered_map<CharState, QTextCharFormat, CharStateHash> m_formats;

    QString m_marker;
    QTextCharFormat m_markerFormat;
    bool m_markerFormatSet = false;
    bool m_breakPending = false;
    bool m_paragraphHasContent = false;
    int m_finishedParagraph = -1;
    QTextList *m_list = nullptr;
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
