// The huge paragraphs of the editor's document layout that are laid out in part: drawn once the
// lines down to the area drawn are laid out, or asked for the line of a position near their
// start, they are laid out down to there; the background layout goes on with them a slice at a
// time. Anything else that needs their lines lays them out whole.

#include "editordocumentlayout.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>
#include <limits>

namespace {

// Paragraphs at least this long are drawn as soon as the lines down to the area drawn are laid
// out: the rest, in the background. Anything else that needs their lines lays them out whole.
constexpr int PartialParagraph = 1 << 19;
// How far below the area drawn such a paragraph's lines go at once (pixels): a screen or so,
// so that scrolling a little finds them there.
constexpr qreal PartialAhead = 1200;
// Characters of such a paragraph laid out in one slice of the background layout.
constexpr int PartialSliceCharacters = 16384;

} // namespace

EditorDocumentLayout::PartAnswers::PartAnswers(EditorDocumentLayout &layout, qreal bottom)
    : m_layout(layout)
    , m_bottom(layout.m_drawBottom)
{
    ++m_layout.m_drawing;
    m_layout.m_drawBottom = bottom;
}

EditorDocumentLayout::PartAnswers::~PartAnswers()
{
    m_layout.hidePartialLines();
    m_layout.m_drawBottom = m_bottom;
    --m_layout.m_drawing;
}

bool EditorDocumentLayout::canBePartial(const QTextBlock &block, int number) const
{
    if (block.length() < PartialParagraph || m_hasTables || !block.isVisible() || m_metrics.at(number).exact
        || m_kept.count(number))
        return false;
    const QTextLayout *layout = ParagraphLines::existingLayout(block);
    if (!layout)
        return true;
    if (!layout->preeditAreaText().isEmpty() || !layout->formats().isEmpty())
        return false;
    // Laid out whole, and changed since: the usual way.
    return m_partial == number || layout->lineCount() == 0;
}

int EditorDocumentLayout::partLineOf(const QTextBlock &block, int number, int offset, int *lineStart)
{
    if (m_partial != number)
        dropPartial();
    if (!m_partialLines || m_partialLines->end() <= offset) {
        forgetBounds();
        QTextLayout *layout = block.layout();
        layout->setCacheEnabled(true);
        qint64 rightIndent = 0;
        const ParagraphLines::Geometry g = geometryOf(block, &rightIndent);
        const ParagraphLines::Result r = ParagraphLines::layOutPart(
            layout, g, m_partialLines, std::numeric_limits<qint64>::max(), offset + PartialSliceCharacters);
        m_partialLayout = layout;
        settlePart(number, r, rightIndent, Correction::Report);
        if (r.complete)
            return -1;
        hidePartialLines();
    }
    return m_partialLines ? m_partialLines->lineAt(offset, lineStart) : -1;
}

bool EditorDocumentLayout::layOutPartly(const QTextBlock &block, int number)
{
    if (!std::isfinite(m_drawBottom) || !canBePartial(block, number))
        return false;
    QTextLayout *layout = block.layout();
    if (m_partial != number)
        dropPartial();
    const BlockMetrics::Entry old = m_metrics.at(number);
    const qint64 top = m_frame.top + m_metrics.heightBefore(number) + old.margin;
    const qint64 height = toFixed(m_drawBottom + PartialAhead) - top;
    if (m_partialLines && m_partialHeight >= height) {
        m_partialLines->show(layout);
        return true;
    }
    forgetBounds();
    layout->setCacheEnabled(true); // the lines so far need the shaping kept
    qint64 rightIndent = 0;
    const ParagraphLines::Geometry g = geometryOf(block, &rightIndent);
    const ParagraphLines::Result r
        = ParagraphLines::layOutPart(layout, g, m_partialLines, height, std::numeric_limits<int>::max());
    m_partialLayout = layout;
    settlePart(number, r, rightIndent, Correction::Quiet);
    return true;
}

void EditorDocumentLayout::continuePart(const QTextBlock &block, int number)
{
    forgetBounds();
    QTextLayout *layout = block.layout();
    qint64 rightIndent = 0;
    const ParagraphLines::Geometry g = geometryOf(block, &rightIndent);
    const int end = m_partialLines ? m_partialLines->end() : 0;
    const ParagraphLines::Result r = ParagraphLines::layOutPart(
        layout, g, m_partialLines, std::numeric_limits<qint64>::max(), end + PartialSliceCharacters);
    settlePart(number, r, rightIndent, Correction::Report);
    hidePartialLines();
}

void EditorDocumentLayout::settlePart(int number, const ParagraphLines::Result &r, qint64 rightIndent,
                                      Correction correction)
{
    const BlockMetrics::Entry old = m_metrics.at(number);
    const QTextBlock block = document()->findBlockByNumber(number);
    BlockMetrics::Entry e;
    e.margin = marginAbove(block);
    e.height = e.margin + r.height;
    e.lines = r.lines;
    e.exact = r.complete;
    m_widest = qMax(m_widest, r.widest + rightIndent);
    m_brokenCharacters += r.brokenCharacters;
    if (r.complete) {
        dropPartial();
        touch(number); // its shaping is worth keeping: it is being looked at
    } else {
        m_partial = number;
        m_partialHeight = r.height;
        // The rest as the lines so far go on: as many characters a line, as tall.
        const qint64 rest = qMax(0, block.length() - 1 - r.characters);
        const qint64 lines = r.characters > 0 ? (rest * r.lines + r.characters - 1) / r.characters : 0;
        e.lines += static_cast<int>(lines);
        e.height += r.lines > 0 ? lines * r.height / r.lines : 0;
    }
    m_metrics.set(number, e);
    if (e.height == old.height)
        return;
    if (correction == Correction::Report && !m_drawing) {
        reportCorrection(toPixels(m_frame.top + m_metrics.heightBefore(number) + old.height), e.height - old.height);
    } else {
        m_sizePending = true;
        m_sizeTimer.start(0, this);
    }
}

void EditorDocumentLayout::dropPartial()
{
    m_partialLines.reset();
    m_partial = -1;
    m_partialLayout = nullptr;
    m_partialHeight = 0;
}

void EditorDocumentLayout::hidePartialLines()
{
    if (!m_partialLines)
        return;
    // Looked up again: a paragraph removed inside an edit block takes its layout with it.
    QTextLayout *layout = ParagraphLines::existingLayout(document()->findBlockByNumber(m_partial));
    if (layout && layout == m_partialLayout) {
        forgetBounds();
        m_partialLines->hide(layout);
    } else {
        dropPartial();
    }
}
