#include "rtfwriter.h"

#include "document/tablecells.h"
#include "document/tabstops.h"
#include "document/textformats.h"
#include "rtflists.h"
#include "rtftablewriter.h"
#include "rtfwriting.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QTextTable>

namespace RtfWriting {

namespace {

constexpr int SymbolCharSet = 2;

} // namespace

bool Writer::proceed(const std::function<bool()> &timeUp)
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
            writeAfterParagraph(); // a break read in a table that ends the document
            m_out += '}';
            m_stage = Stage::Done;
            break;
        case Stage::Done:
            return true;
        }
    }
}

void Writer::writeParagraph(const QTextBlock &block)
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
    if (block.length() == 1) {
        if (const FormatFacts *facts = emptyParagraphFacts(block))
            switchRun(facts->run);
    }
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

void Writer::endParagraph(bool inTable, bool lastInCell)
{
    if (inTable || !m_sectionReplacesPar || m_sectionsAfter.isEmpty())
        m_out.word(inTable && lastInCell ? "cell" : "par");
    if (inTable)
        return;
    m_sectionEnded = m_sectionEnded || !m_sectionsAfter.isEmpty();
    writeAfterParagraph();
    m_sectionReplacesPar = false;
}

void Writer::writeAfterParagraph()
{
    if (m_sectionsAfter.isEmpty())
        return;
    useUnicodeSkip(m_sectionsUc);
    appendBytes(m_sectionsAfter);
    m_uc = m_sectionsEndUc;
    m_sectionsAfter.clear();
    m_sectionsEndInSection = false;
}

ParaState Writer::paraStateOf(const QTextBlock &block)
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

void Writer::writeParagraphProperties(const ParaState &para)
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

void Writer::collectCellShading(const QTextBlock &block)
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

void Writer::paragraphLayoutOf(const QTextBlock &block, ParaState &s)
{
    const QTextBlockFormat format = block.blockFormat();
    s.tabs = TabStops::of(format);
    s.pageBreakBefore = (format.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) != 0;
}

void Writer::writeTabsAndBreak(const ParaState &para)
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
} // namespace RtfWriting

namespace RtfWriter {

QByteArray write(const QTextDocument &document, const CharFormat &defaults, const QColor &windowText)
{
    RtfWriting::Writer writer(document, defaults, windowText);
    writer.proceed([] { return false; });
    return writer.take();
}

struct SlicedWriter::State : RtfWriting::Writer {
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
