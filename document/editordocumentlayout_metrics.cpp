// The editor layout's measures: the frame, paragraph margins and indents, the geometry a
// paragraph is laid out with, and the estimates of paragraphs not laid out yet.

#include "editordocumentlayout.h"

#include "paragraphlines.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>

#include <cmath>

namespace {

// A frame length the way Qt's document layout rounds it: to whole pixels.
qint64 roundedFixed(qreal value)
{
    return (static_cast<qint64>(value * 64) + 32) & ~qint64(63);
}

// Left and right as they appear on screen for a paragraph's direction.
Qt::Alignment visualAlignment(Qt::LayoutDirection direction, Qt::Alignment alignment)
{
    if (!(alignment & Qt::AlignHorizontal_Mask))
        alignment |= Qt::AlignLeft;
    if (!(alignment & Qt::AlignAbsolute) && (alignment & (Qt::AlignLeft | Qt::AlignRight))) {
        if (direction == Qt::RightToLeft)
            alignment ^= (Qt::AlignLeft | Qt::AlignRight);
        alignment |= Qt::AlignAbsolute;
    }
    return alignment;
}

} // namespace

bool EditorDocumentLayout::canLayOut() const
{
    return document()->isLayoutEnabled() && !document()->pageSize().isNull();
}

qreal EditorDocumentLayout::dpiScale() const
{
    const QPaintDevice *device = paintDevice();
    return device ? device->logicalDpiY() / 96.0 : 1.0;
}

EditorDocumentLayout::Frame EditorDocumentLayout::computeFrame() const
{
    const QTextFrameFormat format = document()->rootFrame()->frameFormat();
    const qreal scale = dpiScale();
    const qint64 top = roundedFixed(format.topMargin() * scale);
    const qint64 bottom = roundedFixed(format.bottomMargin() * scale);
    const qint64 left = roundedFixed(format.leftMargin() * scale);
    const qint64 right = roundedFixed(format.rightMargin() * scale);
    const qint64 border = roundedFixed(format.border() * scale);
    const qint64 padding = roundedFixed(format.padding() * scale);
    const qreal available = qMax<qreal>(0, document()->pageSize().width());
    qint64 width = toFixed(format.width().value(available));
    if (format.width().type() == QTextLength::FixedLength)
        width = toFixed(toPixels(width) * scale);
    Frame f;
    f.left = left + border + padding;
    f.top = top + border + padding;
    f.contentWidth = width - 2 * (border + padding) - left - right;
    f.marginWidth = 2 * (border + padding) + left + right;
    f.leftMargin = left;
    f.rightMargin = right;
    f.bottom = border + padding + bottom;
    return f;
}

qint64 EditorDocumentLayout::blockIndent(const QTextBlockFormat &format) const
{
    qreal indent = format.indent();
    if (QTextObject *object = document()->objectForFormat(format))
        indent += object->format().toListFormat().indent();
    if (qIsNull(indent))
        return 0;
    return toFixed(indent * dpiScale() * document()->indentWidth());
}

const EditorDocumentLayout::Margins &EditorDocumentLayout::marginsOf(const QTextBlock &block) const
{
    // A format index always names the same format: its margins are looked up once.
    const auto at = static_cast<size_t>(qMax(0, block.blockFormatIndex()));
    if (at >= m_margins.size())
        m_margins.resize(at + 1);
    Margins &m = m_margins[at];
    if (!m.known) {
        const QTextBlockFormat format = block.blockFormat();
        m = { format.topMargin(), format.bottomMargin(), true };
    }
    return m;
}

qint32 EditorDocumentLayout::marginAbove(const QTextBlock &block) const
{
    return marginBetween(block.previous(), block);
}

qint32 EditorDocumentLayout::marginBetween(const QTextBlock &previous, const QTextBlock &block) const
{
    if (!previous.isValid())
        return 0;
    // Paragraphs in runs of one format ask the same question over and over.
    const int above = previous.blockFormatIndex();
    const int below = block.blockFormatIndex();
    qreal margin = m_marginPair.margin;
    if (above != m_marginPair.above || below != m_marginPair.below) {
        // Each look-up may grow the cache: the values are copied before the next.
        const qreal top = marginsOf(block).top;
        const qreal bottom = marginsOf(previous).bottom;
        margin = qMax(top, bottom);
        m_marginPair = { above, below, margin };
    }
    if (margin > 0 && paintDevice())
        margin *= dpiScale();
    return static_cast<qint32>(toFixed(margin));
}

ParagraphLines::Geometry EditorDocumentLayout::geometryOf(const QTextBlock &block, qint64 *rightIndent) const
{
    ParagraphLines::Geometry g;
    const QTextDocument *doc = document();
    g.format = block.blockFormat();
    g.direction = block.textDirection();
    const QTextOption defaults = doc->defaultTextOption();
    qint64 extra = 0;
    if (defaults.flags() & QTextOption::AddSpaceForLineAndParagraphSeparators)
        extra = toFixed(QFontMetricsF(block.charFormat().font()).horizontalAdvance(u'\x21B5'));
    const qint64 indent = blockIndent(g.format);
    const bool rtl = g.direction == Qt::RightToLeft;
    const qint64 leftIndent = toFixed(g.format.leftMargin()) + (rtl ? extra : indent);
    const qint64 right = toFixed(g.format.rightMargin()) + (rtl ? indent : extra);
    g.left = leftIndent;
    g.right = m_frame.contentWidth - right;
    g.textIndent = toFixed(g.format.textIndent());
    if (rightIndent)
        *rightIndent = right;
    g.option = defaults;
    g.option.setTextDirection(g.direction);
    g.option.setTabs(g.format.tabPositions());
    Qt::Alignment align = defaults.alignment();
    if (g.format.hasProperty(QTextFormat::BlockAlignment))
        align = g.format.alignment();
    g.option.setAlignment(visualAlignment(g.direction, align));
    if (g.format.nonBreakableLines() || doc->pageSize().width() < 0)
        g.option.setWrapMode(QTextOption::ManualWrap);
    const QPaintDevice *device = paintDevice();
    g.scaling = device && device->logicalDpiY() != 96 ? device->logicalDpiY() / 96.0 : 1.0;
    return g;
}

void EditorDocumentLayout::resetEstimates()
{
    const QFontMetricsF metrics(document()->defaultFont(), paintDevice());
    m_lineHeight = toFixed(std::ceil(metrics.ascent() + metrics.descent() + qMax<qreal>(0, metrics.leading())));
    // Most of the editor's text is double-width: a conservative guess until lines are seen.
    const qreal wide = qMax<qreal>(1, metrics.horizontalAdvance(u'\x3042'));
    m_charsPerLine = qMax<double>(1, toPixels(m_frame.contentWidth) / wide);
    m_learnedCharacters = 0;
    m_learnedLines = 0;
    m_learnedHeight = 0;
    m_learnedHeightLines = 0;
}

void EditorDocumentLayout::learn(const QTextLayout *layout, qint64 height)
{
    const int lines = layout->lineCount();
    if (lines <= 0)
        return;
    m_learnedHeight += height;
    m_learnedHeightLines += lines;
    if (lines > 1) {
        // The lines before the last are full: they tell how much text a line holds.
        m_learnedCharacters += layout->lineAt(lines - 1).textStart();
        m_learnedLines += lines - 1;
    }
    if (m_learnedLines >= 8)
        m_charsPerLine = static_cast<double>(m_learnedCharacters) / static_cast<double>(m_learnedLines);
    if (m_learnedHeightLines >= 8)
        m_lineHeight = m_learnedHeight / m_learnedHeightLines;
}

BlockMetrics::Entry EditorDocumentLayout::estimate(const QTextBlock &block) const
{
    return estimate(block, block.previous());
}

BlockMetrics::Entry EditorDocumentLayout::estimate(const QTextBlock &block, const QTextBlock &previous) const
{
    BlockMetrics::Entry e;
    e.margin = marginBetween(previous, block);
    const int characters = block.length() - 1;
    const int lines = block.isVisible()
        ? qMax(1, static_cast<int>(std::ceil(characters / qMax(1.0, m_charsPerLine))))
        : 0;
    e.lines = lines;
    e.height = e.margin + lines * m_lineHeight;
    e.exact = false;
    return e;
}
