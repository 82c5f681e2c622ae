#include "rtfwriter.h"

#include "codepages.h"
#include "document/cp932.h"
#include "document/tablecells.h"
#include "document/tabstops.h"
#include "document/textformats.h"
#include "rtfkept.h"
#include "rtflists.h"
#include "rtfpicture.h"
#include "rtfoutput.h"
#include "rtftextoutput.h"
#include "rtftablewriter.h"

#include <QColor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QTextTable>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace {

using RtfOutput::Output;

constexpr int JapaneseCharSet = 128;
constexpr int SymbolCharSet = 2;

struct FontKey {
    QString name;
    int charSet = 0;
    int pitch = 0;
    bool operator<(const FontKey &o) const
    {
        if (name != o.name)
            return name < o.name;
        if (charSet != o.charSet)
            return charSet < o.charSet;
        return pitch < o.pitch;
    }
};

// A run's character properties as RTF states them.
struct RunState {
    int font = -1; // none yet: the first run names its font
    int halfPoints = 24;
    int color = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int position = 0; // 0 on the baseline, 1 raised, 2 lowered
    int highlight = 0; // colour table index; 0 none
};

struct ParaState {
    int alignment = ParaFormat::AlignLeft;
    int first = 0; // \fi
    int left = 0; // \li
    int right = 0; // \ri
    bool bullet = false;
    int bulletStyle = 0; // QTextListFormat::Style of a bulleted paragraph
    std::pair<int, int> list; // \\ls and \\ilvl; 0 in none
    ParaSpacing spacing;
    std::vector<TabStops::Stop> tabs;
    bool pageBreakBefore = false; // \pagebb
    bool operator==(const ParaState &) const = default;
};

bool hasNonAscii(const QString &s)
{
    for (QChar c : s) {
        if (c.unicode() >= 0x80)
            return true;
    }
    return false;
}

class Writer {
public:
    Writer(const QTextDocument &document, const CharFormat &defaults, const QColor &windowText)
        : m_document(document)
        , m_defaults(defaults)
        , m_windowText(windowText)
    {
    }

    // Writes on until `timeUp` says to stop, which it asks after each paragraph; true once the
    // whole document is written.
    bool proceed(const std::function<bool()> &timeUp)
    {
        for (;;) {
            switch (m_stage) {
            case Stage::Start:
                m_out.reserve(m_document.characterCount() * 8 + 1024);
                m_hasTables = TableCells::hasTables(m_document);
                fontIndex(fontKeyOf(m_defaults)); // \f0, the default font
                m_block = m_document.begin();
                m_stage = Stage::Tables;
                break;
            case Stage::Tables:
                // At least one paragraph a call, so that every call makes progress.
                while (m_block.isValid()) {
                    collectFontsAndColors(m_block);
                    collectCellShading(m_block);
                    m_block = m_block.next();
                    if (m_block.isValid() && timeUp())
                        return false;
                }
                if (m_numbered.hasBullets())
                    m_symbolFont = fontIndex({ QStringLiteral("Symbol"), SymbolCharSet, 0 });
                writeHeader();
                m_block = m_document.begin();
                m_stage = Stage::Paragraphs;
                break;
            case Stage::Paragraphs:
                while (m_block.isValid()) {
                    writeParagraph(m_block);
                    m_block = m_block.next();
                    if (m_block.isValid() && timeUp())
                        return false;
                }
                closeField();
                appendBytes(m_sectionsAfter); // a break read in a table that ends the document
                m_out += '}';
                m_stage = Stage::Done;
                break;
            case Stage::Done:
                return true;
            }
        }
    }

    QByteArray take() { return m_out.take(); }

private:
    enum class Stage { Start, Tables, Paragraphs, Done };

    void writeParagraph(const QTextBlock &block)
    {
        ParaState para = paraStateOf(block);
        para.list = para.bullet ? std::pair(1, RtfLists::levelOf(block.textList())) : m_numbered.numberOf(block);
        m_currentParagraph = para;
        // A table's paragraphs say so (\intbl) after each \pard, and each row is defined first.
        const TableCells::Spot spot = m_hasTables ? TableCells::spotOf(block) : TableCells::Spot {};
        const RtfTableWriter::ColorIndex colorIndex = [this](QRgb rgb) { return rgbIndex(rgb); };
        if (spot.table && spot.firstInCell) {
            const QByteArray before = RtfTableWriter::beforeCell(*spot.table, spot.row, spot.column, colorIndex);
            m_out.append(before.constData(), before.size());
        }
        // Each cell's first paragraph states its words in full, as other writers do: many
        // readers start a cell's paragraph afresh.
        const bool restate
            = m_firstParagraph || m_sectionEnded || spot.firstInCell || (spot.table != nullptr) != m_inTable;
        if (restate || !(para == m_previousParagraph)) {
            m_sectionEnded = false;
            writeParagraphProperties(para);
            if (spot.table)
                m_out.word("intbl");
        }
        m_inTable = spot.table != nullptr;
        if (para.bullet)
            appendBytes(RtfLists::Writing::bulletText(QTextListFormat::Style(para.bulletStyle), m_symbolFont));
        else if (para.list.first > 0)
            appendBytes(RtfLists::Writing::listText(block));
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                writeRun(fragment);
        }
        // An empty paragraph states its own format, the one its text is typed in: an empty
        // document keeps its face and size. A cell's first paragraph has none (its mark holds
        // the cell's format): it goes on in the text's.
        if (block.length() == 1 && !block.charFormat().isTableCellFormat())
            switchRun(factsOf(block.charFormatIndex(), block.charFormat()).run);
        if (m_fieldSerial != 0 && (spot.table || !fieldContinues(block.next())))
            closeField();
        else if (m_fieldSerial != 0)
            m_fieldParagraphs = true;
        endParagraph(spot.table != nullptr, spot.lastInCell);
        if (spot.table && spot.lastInCell) {
            const QByteArray after = RtfTableWriter::afterCell(*spot.table, spot.row, spot.column, colorIndex);
            m_out.append(after.constData(), after.size());
        }
        m_out += "\r\n";
        m_previousParagraph = para;
        m_firstParagraph = false;
    }

    // A paragraph's \\par (\\cell at a cell's end), and the section breaks that follow it.
    // A table's cells hold none: one read in a table waits for the first paragraph after it.
    void endParagraph(bool inTable, bool lastInCell)
    {
        if (inTable || !m_sectionReplacesPar || m_sectionsAfter.isEmpty())
            m_out.word(inTable && lastInCell ? "cell" : "par");
        if (inTable)
            return;
        m_sectionEnded = m_sectionEnded || !m_sectionsAfter.isEmpty();
        if (!m_sectionsAfter.isEmpty())
            useUnicodeSkip(m_sectionsUc);
        appendBytes(m_sectionsAfter);
        m_sectionsAfter.clear();
        m_sectionReplacesPar = false;
    }

    // -- Tables --

    // What a format of the document comes to in the file, worked out once per format: a
    // document of 100,000 runs has a few dozen formats. The first sight enters its font and
    // colours into the tables.
    struct FormatFacts {
        RunState run;
        int field = 0; // the serial of the field the text belongs to; 0 none
    };
    const FormatFacts &factsOf(int formatIndex, const QTextCharFormat &format)
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

    FontKey fontKeyOf(const CharFormat &f) const
    {
        int charSet = f.charSet;
        if (charSet == 0 && hasNonAscii(f.faceName))
            charSet = JapaneseCharSet; // so that readers decode the name, and choose the face, right
        return { f.faceName, charSet, static_cast<int>(f.pitch) };
    }

    int fontIndex(const FontKey &key)
    {
        const auto it = m_fonts.find(key);
        if (it != m_fonts.end())
            return it->second;
        const int index = static_cast<int>(m_fontOrder.size());
        m_fonts.emplace(key, index);
        m_fontOrder.push_back(key);
        return index;
    }

    int colorIndex(const CharFormat &f) { return f.autoColor ? 0 : rgbIndex(f.color.rgb()); }

    // The colour behind the text; 0 where there is none.
    int highlightIndex(const QTextCharFormat &format)
    {
        const QBrush background = format.background();
        return background.style() == Qt::NoBrush ? 0 : rgbIndex(background.color().rgb());
    }

    int rgbIndex(QRgb given)
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

    void collectFontsAndColors(const QTextBlock &block)
    {
        m_numbered.collect(block);
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            factsOf(fragment.charFormatIndex(), fragment.charFormat());
        }
        if (block.length() == 1)
            factsOf(block.charFormatIndex(), block.charFormat());
    }

    void writeHeader()
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

    void writeListTables()
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

    void appendBytes(const QByteArray &bytes) { m_out.append(bytes.constData(), bytes.size()); }

    // A font's name in the font table. The reader decodes it with the code page of the font's
    // character set: CP932 names are written as CP932 bytes (both bytes of a double-byte
    // character as \\'hh, a trail byte may look like ASCII); for any other code page, and for a
    // character CP932 cannot hold, \\uN with "?" says which character is meant.
    void writeFontName(const FontKey &font)
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

    // -- Paragraphs --

    static ParaState paraStateOf(const QTextBlock &block)
    {
        const bool bullet = block.textList() && !RtfLists::isNumbered(block.textList());
        const ParaFormat p = TextFormats::fromBlockFormat(block.blockFormat(), bullet);
        ParaState s;
        s.alignment = p.alignment;
        s.left = p.firstIndentTwips + p.leftIndentTwips;
        s.first = -p.leftIndentTwips;
        s.right = p.rightIndentTwips;
        s.bullet = p.numbering == ParaFormat::NumberingBullet;
        s.bulletStyle = s.bullet ? int(block.textList()->format().style()) : 0;
        s.spacing = TextFormats::spacingOf(block.blockFormat());
        paragraphLayoutOf(block, s);
        return s;
    }

    void writeParagraphProperties(const ParaState &para)
    {
        m_out.word("pard");
        switch (para.alignment) {
        case ParaFormat::AlignRight:
            m_out.word("qr");
            break;
        case ParaFormat::AlignCenter:
            m_out.word("qc");
            break;
        case ParaFormat::AlignJustify:
            m_out.word("qj");
            break;
        default:
            break;
        }
        // A list paragraph states its indents even when 0: else a reader takes its level's.
        const bool listed = para.list.first > 0;
        if (para.first != 0 || listed)
            m_out.word("fi", para.first);
        if (para.left != 0 || listed)
            m_out.word("li", para.left);
        if (para.right != 0)
            m_out.word("ri", para.right);
        if (para.spacing.beforeTwips != 0)
            m_out.word("sb", para.spacing.beforeTwips);
        if (para.spacing.afterTwips != 0)
            m_out.word("sa", para.spacing.afterTwips);
        if (para.spacing.lineTwips != 0) {
            m_out.word("sl", para.spacing.lineTwips);
            m_out.word("slmult", para.spacing.multiple ? 1 : 0);
        }
        if (para.bullet) {
            appendBytes(RtfLists::Writing::bulletPn(QTextListFormat::Style(para.bulletStyle), m_symbolFont));
            m_out.word("ls", 1);
            if (para.list.second > 0)
                m_out.word("ilvl", para.list.second);
        } else if (para.list.first > 0) {
            m_out.word("ls", para.list.first);
            m_out.word("ilvl", para.list.second);
        }
        writeTabsAndBreak(para);
    }

    // The colours of shaded cells, for the colour table.
    void collectCellShading(const QTextBlock &block)
    {
        if (!m_hasTables)
            return;
        const TableCells::Spot spot = TableCells::spotOf(block);
        if (!spot.table || !spot.firstInCell)
            return;
        const QTextCharFormat format = spot.table->cellAt(block.position()).format();
        if (format.hasProperty(TableCells::Shading))
            rgbIndex(QRgb(format.intProperty(TableCells::Shading)));
    }

    // Tab stops, and a page break before the paragraph.
    static void paragraphLayoutOf(const QTextBlock &block, ParaState &s)
    {
        const QTextBlockFormat format = block.blockFormat();
        s.tabs = TabStops::of(format);
        s.pageBreakBefore = (format.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) != 0;
    }

    void writeTabsAndBreak(const ParaState &para)
    {
        if (para.pageBreakBefore)
            m_out.word("pagebb");
        static const char *const kinds[] = { nullptr, "tqr", "tqc", "tqdec" };
        static const char *const leaders[] = { nullptr, "tldot", "tlhyph", "tlul", "tlth", "tleq" };
        for (const TabStops::Stop &stop : para.tabs) {
            const auto kind = static_cast<size_t>(stop.kind);
            const auto leader = static_cast<size_t>(stop.leader);
            if (leader > 0 && leader < std::size(leaders))
                m_out.word(leaders[leader]);
            if (kind > 0 && kind < std::size(kinds))
                m_out.word(kinds[kind]);
            m_out.word(stop.kind == TabStops::Kind::Bar ? "tb" : "tx", stop.twips);
        }
    }

    // -- Runs --

    void writeRun(const QTextFragment &fragment)
    {
        const QTextCharFormat format = fragment.charFormat();
        const FormatFacts &facts = factsOf(fragment.charFormatIndex(), format);
        switchField(facts.field, format);
        switchRun(facts.run);
        const QString text = fragment.text();
        if (text.startsWith(QChar::ObjectReplacementCharacter)
            && (Pictures::isPicture(format) || format.objectType() == RtfKept::ObjectType))
            writeObjects(format, text.size());
        else
            RtfTextOutput::writeText(m_out, m_uc, text);
    }

    // Pictures, and groups kept as the file had them (a shape in place of its picture).
    void writeObjects(const QTextCharFormat &format, qsizetype count)
    {
        const QByteArray kept = RtfKept::keptGroup(format);
        if (RtfKept::isSection(format)) {
            if (m_sectionsAfter.isEmpty()) {
                m_sectionReplacesPar = RtfKept::sectionEndsParagraph(format) && !m_inTable;
                m_sectionsUc = RtfKept::keptUnicodeSkip(format);
            }
            for (qsizetype i = 0; i < count; ++i)
                m_sectionsAfter += kept;
            return;
        }
        if (kept.isEmpty()) {
            if (Pictures::isPicture(format))
                writePictures(Pictures::pictureOf(format), count);
            return;
        }
        useUnicodeSkip(RtfKept::keptUnicodeSkip(format));
        for (qsizetype i = 0; i < count; ++i) {
            if (RtfKept::hasFootnoteMark(format))
                m_out += "\\chftn";
            m_out.append(kept.constData(), kept.size());
        }
    }

    // Kept bytes were read with a \uc of their own: it is put in effect before they are written.
    void useUnicodeSkip(int skip)
    {
        if (skip == m_uc)
            return;
        m_out.word("uc", skip);
        m_uc = skip;
    }

    // -- Fields --

    // Opens the field a run's format belongs to, after closing the one before.
    void switchField(int serial, const QTextFormat &format)
    {
        if (serial == m_fieldSerial)
            return;
        closeField();
        const QByteArray instruction = RtfKept::fieldInstruction(format);
        // A field the file gave no instruction still wraps its result: a field read inside it
        // was kept whole because it stood in another field, and must again.
        if (serial == 0)
            return;
        m_fieldUc = m_uc;
        m_out += "{\\field";
        if (!instruction.isEmpty())
            useUnicodeSkip(RtfKept::fieldUnicodeSkip(format));
        m_out.append(instruction.constData(), instruction.size());
        m_out += "{\\fldrslt ";
        m_fieldSerial = serial;
        m_fieldRun = m_run;
        m_fieldParagraphs = false;
    }

    // Closing the field's group restores the state from before it: the run's, and the
    // paragraph's when paragraphs were written inside it.
    void closeField()
    {
        if (m_fieldSerial == 0)
            return;
        m_out += "}}";
        m_fieldSerial = 0;
        m_run = m_fieldRun;
        m_uc = m_fieldUc;
        if (m_fieldParagraphs)
            writeParagraphProperties(m_currentParagraph);
        m_fieldParagraphs = false;
    }

    // Whether the paragraph `next` begins in the field under way (outside tables only).
    bool fieldContinues(const QTextBlock &next) const
    {
        if (!next.isValid() || (m_hasTables && TableCells::spotOf(next).table))
            return false;
        const QTextBlock::iterator first = next.begin();
        return !first.atEnd() && RtfKept::fieldSerial(first.fragment().charFormat()) == m_fieldSerial;
    }

    // The words that make `target` the format of what follows.
    void switchRun(const RunState &target)
    {
        const bool font = target.font != m_run.font;
        const bool size = target.halfPoints != m_run.halfPoints;
        const bool bold = target.bold != m_run.bold;
        const bool italic = target.italic != m_run.italic;
        if (font || size || bold || italic) {
            // The double-byte text's own face, size and weight first (\dbch with associated
            // words), for readers that keep those apart from the Latin text's; then \loch and
            // the run's own words, which the others apply to all text.
            m_out += "\\dbch";
            if (font)
                m_out.word("af", target.font);
            if (size)
                m_out.word("afs", target.halfPoints);
            if (bold)
                m_out.word(target.bold ? "ab" : "ab0");
            if (italic)
                m_out.word(target.italic ? "ai" : "ai0");
            m_out += "\\loch";
        }
        if (font)
            m_out.word("f", target.font);
        if (size)
            m_out.word("fs", target.halfPoints);
        if (bold)
            m_out.word(target.bold ? "b" : "b0");
        if (italic)
            m_out.word(target.italic ? "i" : "i0");
        if (target.underline != m_run.underline)
            m_out.word(target.underline ? "ul" : "ulnone");
        if (target.strike != m_run.strike)
            m_out.word(target.strike ? "strike" : "strike0");
        if (target.color != m_run.color)
            m_out.word("cf", target.color);
        if (target.position != m_run.position)
            m_out.word(target.position == 1 ? "super" : target.position == 2 ? "sub" : "nosupersub");
        if (target.highlight != m_run.highlight)
            m_out.word("highlight", target.highlight);
        m_run = target;
    }

    static int positionOf(const QTextCharFormat &format)
    {
        switch (format.verticalAlignment()) {
        case QTextCharFormat::AlignSuperScript:
            return 1;
        case QTextCharFormat::AlignSubScript:
            return 2;
        default:
            return 0;
        }
    }

    void writePictures(const Picture &picture, qsizetype count)
    {
        QByteArray group;
        for (qsizetype i = 0; i < count; ++i)
            RtfPicture::write(group, picture);
        m_out.append(group.constData(), group.size());
    }

    const QTextDocument &m_document;
    const CharFormat m_defaults;
    const QColor m_windowText;
    Output m_out;
    std::vector<std::optional<FormatFacts>> m_formats; // by the document's format index
    std::map<FontKey, int> m_fonts;
    std::vector<FontKey> m_fontOrder;
    std::map<QRgb, int> m_colors;
    std::vector<QRgb> m_colorOrder;
    int m_symbolFont = -1;
    RunState m_run;
    int m_uc = 1;
    Stage m_stage = Stage::Start;
    QTextBlock m_block;
    RtfLists::Writing m_numbered { 2 }; // \\ls1 is the bullets'
    bool m_firstParagraph = true;
    bool m_hasTables = false;
    bool m_inTable = false; // the paragraph before is in a table
    ParaState m_previousParagraph;
    ParaState m_currentParagraph;
    int m_fieldSerial = 0; // of the field open; 0 none
    RunState m_fieldRun; // the run's state where it opened
    int m_fieldUc = 1;
    bool m_fieldParagraphs = false; // paragraphs ended inside it
    QByteArray m_sectionsAfter; // section breaks read in the paragraph, written after it
    int m_sectionsUc = 1; // the \uc they were read with
    bool m_sectionReplacesPar = false; // the first of them ended the paragraph in place of \\par
    // Section breaks were written: the next paragraph's \\pard ends them, so that a group it
    // begins with (a bookmark, a header kept in the text) is not read as theirs.
    bool m_sectionEnded = false;
};

} // namespace

namespace RtfWriter {

QByteArray write(const QTextDocument &document, const CharFormat &defaults, const QColor &windowText)
{
    Writer writer(document, defaults, windowText);
    writer.proceed([] { return false; });
    return writer.take();
}

struct SlicedWriter::State : Writer {
    using Writer::Writer;
};

SlicedWriter::SlicedWriter(const QTextDocument &document, const CharFormat &defaults, const QColor &windowText)
    : m_state(std::make_unique<State>(document, defaults, windowText))
{
}

SlicedWriter::~SlicedWriter() = default;

bool SlicedWriter::proceed(QDeadlineTimer deadline)
{
    return m_state->proceed([&deadline] { return deadline.hasExpired(); });
}

QByteArray SlicedWriter::take()
{
    return m_state->take();
}

} // namespace RtfWriter
