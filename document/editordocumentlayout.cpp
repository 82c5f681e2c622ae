#include "editordocumentlayout.h"

#include "paragraphlines.h"
#include "pictures.h"
#include "tablecells.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextList>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Paragraphs at least this long keep their lines across an edit and their shaping between
// layout and drawing; shorter ones are laid out anew in microseconds.
constexpr int LongParagraph = 2000;
// How many paragraphs keep their lines in memory: a few screens' worth and then some.
constexpr int RecentCapacity = 1024;
// The longest slice of background layout, in milliseconds.
constexpr int BackgroundSliceMs = 4;
// How long the background layout waits after a key, in milliseconds: longer than the pause
// between the keys of someone typing.
constexpr int InputPauseMs = 500;
// A change of this many paragraphs or fewer is laid out at once, as Qt's layout would.
constexpr int ImmediateParagraphs = 16;
// Paragraphs at least this long are laid out only when first needed (drawn, hit, asked about),
// never ahead: the view reports several layout changes as it settles after a document comes in,
// and each would otherwise shape all of such a paragraph again.
constexpr int GiantParagraph = LongParagraph * 10;

} // namespace

EditorDocumentLayout::EditorDocumentLayout(QTextDocument *document)
    : QAbstractTextDocumentLayout(document)
{
    Pictures::registerHandler(this);
}

EditorDocumentLayout::~EditorDocumentLayout() = default;


void EditorDocumentLayout::rebuildAll()
{
    forgetBounds();
    dropPartial();
    QTextDocument *doc = document();
    const Frame frame = computeFrame();
    const bool sameParagraphs = m_metrics.size() == doc->blockCount();
    const bool frameChanged = !(frame == m_frame);
    m_allDirty = false;
    m_kept.clear();
    m_rules = {};
    m_hasTables = TableCells::hasTables(*doc);
    m_cellPlaces.clear();
    m_frame = frame;
    m_widest = 0;
    // No paragraph keeps lines made for another width, font or text. Only recently used
    // paragraphs hold lines (the others are freed once measured, and a change clears those it
    // touches), unless the paragraphs changed as well as the frame: then every one is looked at.
    if (sameParagraphs) {
        for (int n : m_recent) {
            if (QTextLayout *layout = ParagraphLines::existingLayout(doc->findBlockByNumber(n)))
                layout->clearLayout();
        }
    } else {
        if (frameChanged) {
            for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
                if (QTextLayout *layout = ParagraphLines::existingLayout(block))
                    layout->clearLayout();
            }
        }
        m_recent.clear();
        m_recentSet.clear();
    }
    resetEstimates();
    // The first paragraphs are laid out at once: the first screen needs them, and they teach
    // the estimates for the rest.
    const int count = doc->blockCount();
    const int first = qMin(count, 32);
    m_metrics.assign(first, {});
    QTextBlock block = doc->begin();
    for (int n = 0; n < first; ++n, block = block.next()) {
        if (block.length() < GiantParagraph)
            layOutBlock(block, n, Keep::Lines, Correction::Quiet);
        else
            m_metrics.set(n, estimate(block));
    }
    std::vector<BlockMetrics::Entry> entries;
    entries.reserve(static_cast<size_t>(count));
    for (int n = 0; n < first; ++n)
        entries.push_back(m_metrics.at(n));
    for (QTextBlock previous = block.previous(); block.isValid(); previous = block, block = block.next())
        entries.push_back(estimate(block, previous));
    m_metrics.assign(0, {});
    m_metrics.replace(0, 0, entries);
    // A table row that goes on past those paragraphs could set the metrics of its first ones
    // only: the rest kept estimates that open a gap below it. It is laid out again, whole.
    if (m_hasTables && first > 0)
        layOutBlock(doc->findBlockByNumber(first - 1), first - 1, Keep::Lines, Correction::Quiet);
    startBackground();
}

void EditorDocumentLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    forgetBounds();
    dropPartial();
    m_margins.clear(); // a cleared document numbers its formats anew
    m_marginPair = {};
    m_hasTables = TableCells::hasTables(*document());
    if (!canLayOut()) {
        // Nothing is followed until the layout is on again, which reports the whole document.
        QTextDocument *doc = document();
        const QTextBlock end = doc->findBlock(qMax(0, from + charsAdded - 1)).next();
        for (QTextBlock block = doc->findBlock(from); block.isValid() && block != end; block = block.next())
            block.clearLayout();
        m_allDirty = true;
        m_kept.clear();
        m_rules = {};
        return;
    }
    const qint64 heightBefore = m_metrics.totalHeight();
    if (!m_allDirty && !(computeFrame() == m_frame))
        m_allDirty = true;
    if (m_allDirty || m_metrics.size() == 0) {
        rebuildAll();
        emit update(QRectF(0, 0, 1e9, 1e9));
        reportSize();
        return;
    }
    followChange(from, charsRemoved, charsAdded);
    if (m_metrics.totalHeight() != heightBefore)
        reportSize();
}

void EditorDocumentLayout::followChange(int from, int charsRemoved, int charsAdded)
{
    QTextDocument *doc = document();
    const qint64 totalBefore = m_metrics.totalHeight();
    const int newCount = doc->blockCount();
    const int oldCount = m_metrics.size();
    const int lastPosition = qMax(0, doc->characterCount() - 1);
    const QTextBlock firstBlock = doc->findBlock(qMin(from, lastPosition));
    const int first = firstBlock.blockNumber();
    // An input method's preedit reports its whole paragraph, its end included, as changed.
    const bool inputOnly = m_inputHold.number == first && from == firstBlock.position()
        && from + charsAdded == firstBlock.position() + firstBlock.length() && newCount == m_metrics.size();
    const int newLast = inputOnly ? first : doc->findBlock(qMin(from + charsAdded, lastPosition)).blockNumber();
    const int delta = newCount - oldCount;
    const int oldLast = newLast - delta;
    // The lines about an edit inside one paragraph, as they were: those it did not change are
    // not painted again.
    std::vector<ChangedLines::Line> linesBefore;
    int linesFrom = 0;
    if (first < 0 || newLast < first || oldLast < first - 1 || oldLast >= oldCount) {
        rebuildAll();
        emit update(QRectF(0, 0, 1e9, 1e9));
        return;
    }
    if (delta == 0 && first == newLast) {
        // Within one paragraph: a long one keeps its lines for the layout that follows.
        BlockMetrics::Entry e = m_metrics.at(first);
        QTextLayout *layout = ParagraphLines::existingLayout(firstBlock);
        const int at = from - firstBlock.position();
        if (e.exact && layout && !m_hasTables)
            linesBefore = keepLinesAround(*layout, at, &linesFrom);
        const auto kept = m_kept.find(first);
        if (m_inputHold.lines && m_inputHold.number == first && layout) {
            keepHeldLines(first, layout);
        } else if (kept != m_kept.end() && (!layout || layout->lineCount() == 0)) {
            kept->second->addEdit(at, charsRemoved, charsAdded);
        } else {
            m_kept.erase(first);
            if (e.exact && layout && firstBlock.length() >= LongParagraph) {
                if (m_kept.size() > 4)
                    m_kept.clear();
                auto lines = ParagraphLines::takeLines(layout, e.height - e.margin, at, charsRemoved, charsAdded, &m_rules);
                // A change that does not fit the lines (the view's "everything changed" after a
                // new width or font) is no edit of them: the paragraph is laid out anew.
                if (lines && lines->expectedLength() == firstBlock.length() - 1)
                    m_kept[first] = std::move(lines);
            }
        }
        if (layout)
            layout->clearLayout();
        e.exact = false;
        m_metrics.set(first, e);
    } else {
        m_kept.clear();
        m_rules = {}; // paragraphs come and go: their layouts with them
        // A long paragraph split in two: each half keeps the old lines that still fit it.
        if (delta == 1 && newLast == first + 1 && firstBlock.length() + firstBlock.next().length() >= LongParagraph)
            keepLinesAcrossSplit(firstBlock, from - firstBlock.position(), charsRemoved, charsAdded);
        std::vector<BlockMetrics::Entry> entries;
        entries.reserve(static_cast<size_t>(newLast - first + 1));
        QTextBlock block = firstBlock;
        QTextBlock previous = block.previous();
        for (int n = first; n <= newLast && block.isValid(); ++n, previous = block, block = block.next()) {
            if (QTextLayout *layout = ParagraphLines::existingLayout(block))
                layout->clearLayout();
            entries.push_back(estimate(block, previous));
        }
        m_metrics.replace(first, oldLast - first + 1, entries);
        followRecent(first, oldLast, delta);
        // The space above the paragraph after the change depends on the one before it.
        if (block.isValid()) {
            BlockMetrics::Entry next = m_metrics.at(newLast + 1);
            const qint32 margin = marginAbove(block);
            if (margin != next.margin) {
                next.height += margin - next.margin;
                next.margin = margin;
                m_metrics.set(newLast + 1, next);
            }
        }
    }
    if (newLast - first < ImmediateParagraphs) {
        QTextBlock block = firstBlock;
        for (int n = first; n <= newLast && block.isValid(); ++n, block = block.next()) {
            if (block.length() < GiantParagraph || m_kept.count(n))
                layOutBlock(block, n, Keep::Lines, Correction::Quiet);
        }
    }
    // What moved is repainted: the changed paragraphs (their table rows), and all below them
    // when heights changed; within a paragraph whose height stayed, only the lines that changed.
    const bool moved = delta != 0 || m_metrics.totalHeight() != totalBefore;
    const int at = from - firstBlock.position();
    if (!moved && !linesBefore.empty()) {
        if (const std::optional<ChangedArea> area = changedArea(firstBlock, first, linesFrom, linesBefore, at, charsRemoved, charsAdded)) {
            for (const TextMove &move : area->moves)
                emit textMoved(move.source, move.dx);
            for (const QRectF &rect : area->repaint)
                emit update(rect);
            startBackground();
            return;
        }
    }
    qreal top = toPixels(m_hasTables ? rowTopOf(firstBlock, first) : m_frame.top + m_metrics.heightBefore(first));
    if (delta == 0 && first == newLast && !m_hasTables)
        top = qMax(top, changedLinesTop(firstBlock, first, at));
    const qreal bottom = toPixels(m_frame.top + m_metrics.heightBefore(newLast + 1));
    emit update(QRectF(0, top, 1e9, moved ? 1e9 : bottom - top));
    startBackground();
}

void EditorDocumentLayout::layOutBlock(const QTextBlock &block, int number, Keep keep, Correction correction)
{
    forgetBounds();
    if (layOutTableRow(block, keep, correction))
        return;
    const BlockMetrics::Entry old = m_metrics.at(number);
    QTextLayout *layout = block.layout();
    std::unique_ptr<ParagraphLines::KeptLines> kept;
    if (const auto found = m_kept.find(number); found != m_kept.end()) {
        if (found->second->expectedLength() == block.length() - 1 + layout->preeditAreaText().size())
            kept = std::move(found->second);
        m_kept.erase(found);
    }
    qint64 rightIndent = 0;
    const ParagraphLines::Geometry g = geometryOf(block, &rightIndent);
    if (block.length() >= LongParagraph)
        layout->setCacheEnabled(true);
    BlockMetrics::Entry e;
    e.margin = marginAbove(block);
    e.exact = true;
    if (block.isVisible()) {
        ParagraphLines::Result r;
        if (number == m_partial && m_partialLines && !kept) {
            // Laid out in part: the rest goes on from its lines.
            r = ParagraphLines::layOutPart(layout, g, m_partialLines, std::numeric_limits<qint64>::max(),
                                           std::numeric_limits<int>::max());
            dropPartial();
        } else {
            r = ParagraphLines::layOut(layout, g, kept.get());
        }
        if (block.length() >= LongParagraph)
            ParagraphLines::keepRules(layout, m_rules);
        e.height = e.margin + r.height;
        e.lines = r.lines;
        m_widest = qMax(m_widest, r.widest + rightIndent);
        m_reusedLayouts += r.reused ? 1 : 0;
        m_brokenCharacters += r.brokenCharacters;
        if (!old.exact)
            learn(layout, r.height);
    } else {
        layout->clearLayout();
        e.height = 0;
        e.lines = 0;
    }
    m_metrics.set(number, e);
    if (keep == Keep::Lines)
        touch(number);
    else if (!m_recentSet.count(number) && layout->preeditAreaText().isEmpty() && layout->formats().isEmpty())
        freeBlockLayout(block);
    if (correction == Correction::Report && !old.exact && e.height != old.height) {
        const qreal oldBottom = toPixels(m_frame.top + m_metrics.heightBefore(number) + old.height);
        if (m_drawing) {
            m_sizePending = true;
            m_sizeTimer.start(0, this);
        } else {
            reportCorrection(oldBottom, e.height - old.height);
        }
    }
}

void EditorDocumentLayout::reportCorrection(qreal oldBottom, qint64 delta)
{
    // A view that keeps what it shows in place moves its offset with the content. Taller, the
    // document's size goes first, so that the offset has room to follow; shorter, the offset
    // follows first: with the view at the document's end, the size first would pull the offset
    // back by itself, and the content shown would move by the difference.
    if (delta > 0)
        reportSize();
    emit heightCorrected(oldBottom, toPixels(delta));
    if (delta <= 0)
        reportSize();
}

void EditorDocumentLayout::placeLayout(QTextLayout *layout, int number) const
{
    if (m_hasTables && placeCellLayout(layout, document()->findBlockByNumber(number), number))
        return;
    const BlockMetrics::Entry e = m_metrics.at(number);
    layout->setPosition(
        QPointF(toPixels(m_frame.left), toPixels(m_frame.top + m_metrics.heightBefore(number) + e.margin)));
}

QTextLayout *EditorDocumentLayout::readyLayout(const QTextBlock &block, int number)
{
    QTextLayout *layout = ParagraphLines::existingLayout(block);
    const bool exact = m_metrics.at(number).exact;
    if (m_drawing && !exact && layOutPartly(block, number)) {
        layout = block.layout();
        placeLayout(layout, number);
        return layout;
    }
    if (!exact || !layout || (layout->lineCount() == 0 && block.isVisible()))
        layOutBlock(block, number, Keep::Lines, m_drawing ? Correction::Quiet : Correction::Report);
    else
        touch(number);
    layout = block.layout();
    placeLayout(layout, number);
    return layout;
}

void EditorDocumentLayout::touch(int number)
{
    if (!m_recentSet.insert(number).second)
        return;
    m_recent.push_back(number);
    // A table row is laid out, drawn and hit as a whole: all its paragraphs keep their lines,
    // or each one asked for would lay the row out again and let go of the others.
    while (m_recent.size() > RecentCapacity + m_largestRow) {
        const int oldest = m_recent.front();
        m_recent.pop_front();
        m_recentSet.erase(oldest);
        const QTextBlock block = document()->findBlockByNumber(oldest);
        const QTextLayout *layout = ParagraphLines::existingLayout(block);
        // An input method's text or overlay formats live in the layout: it stays.
        if (layout && layout->preeditAreaText().isEmpty() && layout->formats().isEmpty())
            freeBlockLayout(block);
    }
}

void EditorDocumentLayout::freeBlockLayout(const QTextBlock &block)
{
    forgetBounds();
    if (m_partialLayout && m_partialLayout == ParagraphLines::existingLayout(block))
        dropPartial();
    if (m_rules.layout && m_rules.layout == ParagraphLines::existingLayout(block))
        m_rules = {};
    ParagraphLines::freeLayout(block);
}

void EditorDocumentLayout::followRecent(int first, int oldLast, int delta)
{
    if (delta == 0)
        return; // the same paragraphs, at the same numbers
    std::deque<int> kept;
    for (int n : m_recent) {
        if (n < first)
            kept.push_back(n);
        else if (n > oldLast)
            kept.push_back(n + delta);
    }
    m_recent.swap(kept);
    m_recentSet.clear();
    m_recentSet.insert(m_recent.begin(), m_recent.end());
}

void EditorDocumentLayout::resolutionChanged()
{
    m_margins.clear();
    m_marginPair = {};
    m_allDirty = true;
    if (!canLayOut())
        return;
    rebuildAll();
    emit update(QRectF(0, 0, 1e9, 1e9));
    reportSize();
}

void EditorDocumentLayout::ensureLaidOut(qreal top, qreal bottom)
{
    if (!canLayOut())
        return;
    if (m_allDirty)
        rebuildAll();
    int number = m_metrics.indexAtHeight(toFixed(top) - m_frame.top);
    if (number < 0)
        return;
    QTextBlock block = document()->findBlockByNumber(number);
    for (; block.isValid(); block = block.next(), ++number) {
        if (toPixels(m_frame.top + m_metrics.heightBefore(number)) > bottom)
            break;
        readyLayout(block, number);
    }
}

QSizeF EditorDocumentLayout::documentSize() const
{
    if (m_allDirty && canLayOut())
        self()->rebuildAll();
    qint64 width = qMax(m_frame.contentWidth, m_widest);
    if (m_frame.contentWidth <= 0)
        width = m_frame.contentWidth;
    return QSizeF(toPixels(width + m_frame.marginWidth),
                  toPixels(m_frame.top + m_metrics.totalHeight() + m_frame.bottom));
}

int EditorDocumentLayout::pageCount() const
{
    return 1;
}

QRectF EditorDocumentLayout::frameBoundingRect(QTextFrame *frame) const
{
    if (!frame || !canLayOut())
        return QRectF();
    if (frame == document()->rootFrame())
        return QRectF(QPointF(0, 0), documentSize());
    return tableBoundingRect(frame);
}

QRectF EditorDocumentLayout::blockBoundingRect(const QTextBlock &block) const
{
    if (!canLayOut() || !block.isValid() || !block.isVisible())
        return QRectF();
    if (m_allDirty)
        self()->rebuildAll();
    if (block.blockNumber() >= m_metrics.size())
        return QRectF(); // asked inside an edit block, before the change reaches the layout
    const QTextLayout *layout = self()->readyLayout(block, block.blockNumber());
    // The top left is the layout's position, as Qt's layout gives it: the text control adds a
    // line's x to it to place the caret and the selection's update rectangles.
    QRectF rect = boundsOf(layout);
    rect.moveTopLeft(layout->position());
    return rect;
}

QRectF EditorDocumentLayout::boundsOf(const QTextLayout *layout) const
{
    if (m_bounds.layout != layout || m_bounds.lines != layout->lineCount())
        m_bounds = { layout, layout->lineCount(), layout->boundingRect() };
    return m_bounds.rect;
}

void EditorDocumentLayout::reportSize()
{
    m_sizePending = false;
    const QSizeF size = documentSize();
    if (size == m_reportedSize)
        return;
    m_reportedSize = size;
    emit documentSizeChanged(size);
}

void EditorDocumentLayout::setBackgroundLayout(bool on)
{
    m_background = on;
    if (on)
        startBackground();
    else
        m_backgroundTimer.stop();
}

void EditorDocumentLayout::holdBackgroundForInput()
{
    m_lastInput.start();
}

void EditorDocumentLayout::startBackground()
{
    if (m_background && !m_backgroundTimer.isActive() && m_metrics.inexactCount() > 0)
        m_backgroundTimer.start(1, this);
}

void EditorDocumentLayout::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_sizeTimer.timerId()) {
        m_sizeTimer.stop();
        if (m_sizePending)
            reportSize();
        return;
    }
    if (event->timerId() != m_backgroundTimer.timerId()) {
        QAbstractTextDocumentLayout::timerEvent(event);
        return;
    }
    if (!canLayOut() || m_allDirty) {
        m_backgroundTimer.stop();
        return;
    }
    if (m_lastInput.isValid()) {
        const qint64 since = m_lastInput.elapsed();
        if (since < InputPauseMs) {
            m_backgroundTimer.start(int(InputPauseMs - since), this);
            return;
        }
        m_lastInput.invalidate();
        m_backgroundTimer.start(1, this);
    }
    QElapsedTimer slice;
    slice.start();
    int next = m_metrics.firstInexact(0);
    QTextBlock block;
    while (next >= 0 && slice.elapsed() < BackgroundSliceMs) {
        block = block.isValid() && block.blockNumber() + 1 == next ? block.next() : document()->findBlockByNumber(next);
        if (next == m_partial) {
            continuePart(block, next);
            if (m_partial >= 0)
                return; // a slice's worth
            next = m_metrics.firstInexact(next + 1);
            continue;
        }
        layOutBlock(block, next, Keep::NumbersOnly, Correction::Report);
        next = m_metrics.firstInexact(next + 1);
    }
    if (next < 0 && m_metrics.inexactCount() == 0)
        m_backgroundTimer.stop();
}
