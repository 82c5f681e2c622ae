// The RTF writer: the font and colour tables, what each format of the document comes to in
// them, and the header that holds them.

#include "codepages.h"
#include "document/cp932.h"
#include "document/textformats.h"
#include "rtfkept.h"
#include "rtfwriting.h"

#include <QBrush>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>

namespace RtfWriting {

namespace {

constexpr int JapaneseCharSet = 128;

bool hasNonAscii(const QString &s)
{
    for (QChar c : s) {
        if (c.unicode() >= 0x80)
            return true;
    }
    return false;
}

} // namespace

const Writer::FormatFacts &Writer::factsOf(int formatIndex, const QTextCharFormat &format)
{
    if (static_cast<size_t>(formatIndex) >= m_formats.size())
        m_formats.resize(static_cast<size_t>(formatIndex) + 1);
    std::optional<FormatFacts> &cached = m_formats[static_cast<size_t>(formatIndex)];
    if (!cached) {
        CharFormat f = TextFormats::fromTextCharFormat(format, m_defaults, m_windowText);
        // A link's look is the editor's, not the file's: the text is written as read.
        if (RtfKept::linkUnderlineAdded(format))
            f.underline = false;
        if (RtfKept::linkColorAdded(format))
            f.autoColor = true;
        RunState run;
        run.font = fontIndex(fontKeyOf(f));
        run.halfPoints = (qMax(0, f.sizeTwips) + 5) / 10;
        run.sizeStated = !(TextFormats::isSizeUnstated(format) && run.halfPoints == RunState().halfPoints);
        run.color = colorIndex(f);
        run.bold = f.bold;
        run.italic = f.italic;
        run.underline = f.underline;
        run.strike = f.strikeOut;
        run.position = positionOf(format);
        run.highlight = highlightIndex(format);
        cached = FormatFacts { run, RtfKept::fieldSerial(format) };
    }
    return *cached;
}

const Writer::FormatFacts *Writer::emptyParagraphFacts(const QTextBlock &block)
{
    // Each look at a paragraph's own format searches the document's fragments: with millions
    // of empty paragraphs, that search is made once a paragraph, and the format read whole
    // only the first time its index comes.
    const int index = block.charFormatIndex();
    if (index < 0)
        return nullptr;
    if (static_cast<size_t>(index) >= m_emptyParagraphKinds.size())
        m_emptyParagraphKinds.resize(static_cast<size_t>(index) + 1, EmptyParagraphKind::Unknown);
    EmptyParagraphKind &kind = m_emptyParagraphKinds[static_cast<size_t>(index)];
    if (kind == EmptyParagraphKind::Unknown) {
        const QTextCharFormat format = block.charFormat();
        kind = format.isTableCellFormat() ? EmptyParagraphKind::CellMark : EmptyParagraphKind::Text;
        if (kind == EmptyParagraphKind::Text)
            return &factsOf(index, format);
    }
    return kind == EmptyParagraphKind::CellMark ? nullptr : &*m_formats[static_cast<size_t>(index)];
}

FontKey Writer::fontKeyOf(const CharFormat &f) const
{
    int charSet = f.charSet;
    if (charSet == 0 && hasNonAscii(f.faceName))
        charSet = JapaneseCharSet; // so that readers decode the name, and choose the face, right
    return { f.faceName, charSet, static_cast<int>(f.pitch) };
}

int Writer::fontIndex(const FontKey &key)
{
    const auto it = m_fonts.find(key);
    if (it != m_fonts.end())
        return it->second;
    const int index = static_cast<int>(m_fontOrder.size());
    m_fonts.emplace(key, index);
    m_fontOrder.push_back(key);
    return index;
}

int Writer::highlightIndex(const QTextCharFormat &format)
{
    const QBrush background = format.background();
    return background.style() == Qt::NoBrush ? 0 : rgbIndex(background.color().rgb());
}

int Writer::rgbIndex(QRgb given)
{
    const QRgb rgb = given & 0xFFFFFF;
    const auto it = m_colors.find(rgb);
    if (it != m_colors.end())
        return it->second;
    const int index = static_cast<int>(m_colorOrder.size()) + 1;
    m_colors.emplace(rgb, index);
    m_colorOrder.push_back(rgb);
    return index;
}

void Writer::collectFontsAndColors(const QTextBlock &block)
{
    m_numbered.collect(block);
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        factsOf(fragment.charFormatIndex(), fragment.charFormat());
    }
    if (block.length() == 1)
        emptyParagraphFacts(block);
}

void Writer::writeHeader()
{
    m_out += "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1033\\deflangfe1041";
    m_out += "{\\fonttbl";
    for (size_t i = 0; i < m_fontOrder.size(); ++i) {
        const FontKey &font = m_fontOrder[i];
        m_out += "{\\f";
        m_out.number(static_cast<int>(i));
        m_out += "\\fnil\\fcharset";
        m_out.number(font.charSet);
        if (font.pitch != 0) {
            m_out += "\\fprq";
            m_out.number(font.pitch);
        }
        m_out += ' ';
        writeFontName(font);
        m_out += ";}";
    }
    m_out += "}\r\n";
    if (!m_colorOrder.empty()) {
        m_out += "{\\colortbl ;";
        for (QRgb rgb : m_colorOrder) {
            m_out += "\\red";
            m_out.number(qRed(rgb));
            m_out += "\\green";
            m_out.number(qGreen(rgb));
            m_out += "\\blue";
            m_out.number(qBlue(rgb));
            m_out += ';';
        }
        m_out += "}\r\n";
    }
    if (m_symbolFont >= 0 || !m_numbered.isEmpty())
        writeListTables();
    // What the file had before its text, kept as it was (stylesheet, information, document
    // and section properties, headers and footers).
    const QByteArray leading = RtfKept::leading(m_document);
    m_out.append(leading.constData(), leading.size());
    m_out += "\\viewkind4\\uc1";
    m_uc = 1;
}

void Writer::writeListTables()
{
    m_out += "{\\*\\listtable";
    if (m_symbolFont >= 0) {
        // Bullets as a word processor's list as well as in the \\pn style: readers that
        // know only one of the two find theirs, and those that know both draw one bullet.
        appendBytes(m_numbered.bulletEntry(m_symbolFont));
    }
    appendBytes(m_numbered.listEntries());
    m_out += "}\r\n{\\*\\listoverridetable";
    if (m_symbolFont >= 0)
        m_out += "{\\listoverride\\listid1\\listoverridecount0\\ls1}";
    appendBytes(m_numbered.overrideEntries());
    m_out += "}\r\n";
}

void Writer::writeFontName(const FontKey &font)
{
    const int fromCharSet = CodePages::fromCharSet(font.charSet);
    const bool cp932 = fromCharSet == 932 || fromCharSet == 0; // 0: the document's \\ansicpg932
    const QString &name = font.name;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.unicode() < 0x80) {
            const auto b = static_cast<unsigned char>(c.unicode());
            if (b == ';' || b == '\\' || b == '{' || b == '}' || b < 0x20)
                m_out.hexByte(b);
            else
                m_out += static_cast<char>(b);
            continue;
        }
        const bool pair = c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate();
        const QByteArray bytes = cp932 && !pair ? Cp932::encode(QStringView(&c, 1)) : QByteArray("?");
        if (bytes != "?") {
            for (char byte : bytes)
                m_out.hexByte(static_cast<unsigned char>(byte));
            continue;
        }
        m_out += "\\u";
        m_out.number(c.unicode() > 0x7FFF ? int(c.unicode()) - 0x10000 : int(c.unicode()));
        m_out += '?';
        if (pair) {
            m_out += "\\u";
            m_out.number(int(name.at(++i).unicode()) - 0x10000);
            m_out += '?';
        }
    }
}
} // namespace RtfWriting
