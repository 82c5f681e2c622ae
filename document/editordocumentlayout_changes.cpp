// What an edit shows: the area of the editor's document layout that an edit inside a paragraph
// changed, repainted and no more.

#include "editordocumentlayout.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// A character of the paragraph, looked up in the document: a long paragraph's text is not
// copied for a few of its characters.
QChar characterOf(const QTextBlock &block, int offset)
{
    return block.document()->characterAt(block.position() + offset);
}

// True when nothing in characters [from, to) of the paragraph is written right to left: there
// the characters in front of a position stand to its left.
bool allLeftToRight(const QTextBlock &block, int from, int to)
{
    for (int i = from; i < to; ++i) {
        switch (characterOf(block, i).direction()) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
            return false;
        default:
            break;
        }
    }
    return true;
}

// At most this many changed lines are split into what moved and what is painted.
constexpr int MaxMovedLines = 64;
// At most this many runs of formats in front of moved text are looked through.
constexpr int MaxFormatRuns = 256;

// True when the paragraph's lines begin at its left edge and run left to right.
bool alignedLeft(const QTextLayout &layout)
{
    const QTextOption option = layout.textOption();
    return option.textDirection() == Qt::LeftToRight
        && (option.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute) == Qt::AlignLeft;
}

// Where `line`, the first changed one, begins to differ (pixels from the frame's left edge at
// `frameLeft`): a character's width in front of the edit at `at`, for a glyph that joins it,
// when the line holds the edit in a left-aligned paragraph and nothing in it is written right
// to left, since what stands in front of the edit then stays where it is; else its start.
qreal changeLeft(const QTextBlock &block, const QTextLayout &layout, const QTextLine &line, int at, qreal frameLeft)
{
    const bool holdsEdit = at >= line.textStart() && at <= line.textStart() + line.textLength();
    if (!alignedLeft(layout) || !holdsEdit
        || !allLeftToRight(block, line.textStart(), line.textStart() + line.textLength()))
        return 0;
    return std::max(0.0, frameLeft + line.cursorToX(at) - line.height());
}

// The last changed line's number, for changed lines `range` of the lines from `from` on.
int lastChangedLine(const QTextLayout &layout, int from, ChangedLines::Range range)
{
    return range.last >= layout.lineCount() - from ? layout.lineCount() - 1 : from + range.last;
}

// True when characters [from, to) of the paragraph are drawn the same wherever they stand on a
// line: Japanese characters, which no font joins or kerns, each in its own box, without lines
// or a background drawn along the text.
bool drawnAlike(const QTextBlock &block, int from, int to)
{
    if (from < 0 || to >= block.length() || from >= to)
        return false;
    for (int i = from; i < to; ++i) {
        const char16_t c = characterOf(block, i).unicode();
        const bool japanese = (c >= 0x3000 && c <= 0x3098) || (c >= 0x309B && c <= 0x30FF) // kana, punctuation
            || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF)
            || (c >= 0xFF01 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6); // full-width forms
        if (!japanese)
            return false;
    }
    const int start = block.position() + from;
    const int end = block.position() + to;
    // A paragraph of very many runs of formats is not looked through at every key.
    int looked = 0;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        if (++looked > MaxFormatRuns)
            return false;
        const QTextFragment fragment = it.fragment();
        if (fragment.position() >= end)
            break;
        if (fragment.position() + fragment.length() <= start)
            continue;
        const QTextCharFormat format = fragment.charFormat();
        if (format.underlineStyle() != QTextCharFormat::NoUnderline || format.fontUnderline() || format.fontStrikeOut()
            || format.fontOverline() || format.background().style() != Qt::NoBrush
            || format.textOutline().style() != Qt::NoPen || format.isAnchor())
            return false;
    }
    return true;
}

} // namespace

qreal EditorDocumentLayout::changedLinesTop(const QTextBlock &block, int number, int at) const
{
    // An edit inside a paragraph can change its own line, the one before (a word may move up to
    // it) and those after; the lines above keep their text and place. One more line is repainted
    // above them, for ink that reaches beyond a line's box.
    const BlockMetrics::Entry e = m_metrics.at(number);
    const qreal top = toPixels(m_frame.top + m_metrics.heightBefore(number));
    const QTextLayout *layout = ParagraphLines::existingLayout(block);
    if (!e.exact || !layout || layout->lineCount() == 0)
        return top;
    const int line = ParagraphLines::lineNumberAt(*layout, at);
    if (line < 3)
        return top;
    return top + toPixels(e.margin) + layout->lineAt(line - 2).y();
}

std::vector<ChangedLines::Line> EditorDocumentLayout::keepLinesAround(const QTextLayout &layout, int at, int *from)
{
    // An input method's text in the layout is not the paragraph's: its lines say nothing of it.
    if (layout.lineCount() == 0 || !layout.preeditAreaText().isEmpty())
        return {};
    *from = std::max(0, ParagraphLines::lineNumberAt(layout, at) - 1);
    return ChangedLines::linesOf(layout, *from);
}

std::optional<EditorDocumentLayout::ChangedArea> EditorDocumentLayout::changedArea(const QTextBlock &block, int number,
    int from, const std::vector<ChangedLines::Line> &before, int at, int removed, int added) const
{
    const BlockMetrics::Entry e = m_metrics.at(number);
    const QTextLayout *layout = ParagraphLines::existingLayout(block);
    if (!e.exact || !layout || layout->lineCount() <= from || !layout->preeditAreaText().isEmpty())
        return std::nullopt;
    const std::vector<ChangedLines::Line> after = ChangedLines::linesOf(*layout, from);
    const ChangedLines::Range range = ChangedLines::changed(before, after, at, removed, added);
    ChangedArea area;
    if (range.isEmpty())
        return area;
    const int firstLine = from + range.first;
    const int lastLine = lastChangedLine(*layout, from, range);
    const QTextLine first = layout->lineAt(firstLine);
    const QTextLine last = layout->lineAt(lastLine);
    const qreal origin = toPixels(m_frame.top + m_metrics.heightBefore(number) + e.margin);
    // A little of the lines above and below in the paragraph is painted as well, and so drawn
    // again: ink that reaches beyond a line's box, theirs and the changed lines', is painted
    // whole. At its first and last line, the paragraph's own box is the edge.
    const qreal ink = std::ceil(first.height() / 4);
    const qreal top
        = firstLine == 0 ? toPixels(m_frame.top + m_metrics.heightBefore(number)) : origin + first.y() - ink;
    const qreal bottom = lastLine == layout->lineCount() - 1
        ? toPixels(m_frame.top + m_metrics.heightBefore(number + 1))
        : origin + last.y() + last.height() + ink;
    // One line changed: it is painted from where it begins to differ.
    const qreal left = firstLine == lastLine ? changeLeft(block, *layout, first, at, toPixels(m_frame.left)) : 0;
    if (m_movesText)
        splitIntoMoves(block, *layout, from, before, after, range, at, removed, added, origin, &area);
    if (area.moves.empty()) {
        area.repaint = { QRectF(left, top, 1e9, bottom - top) };
        return area;
    }
    if (top < origin + first.y())
        area.repaint.push_back(QRectF(0, top, 1e9, origin + first.y() - top));
    if (bottom > origin + last.y() + last.height())
        area.repaint.push_back(
            QRectF(0, origin + last.y() + last.height(), 1e9, bottom - origin - last.y() - last.height()));
    return area;
}

void EditorDocumentLayout::splitIntoMoves(const QTextBlock &block, const QTextLayout &layout, int from,
    const std::vector<ChangedLines::Line> &before, const std::vector<ChangedLines::Line> &after,
    ChangedLines::Range range, int at, int removed, int added, qreal origin, ChangedArea *area) const
{
    if (!alignedLeft(layout))
        return;
    const std::vector<ChangedLines::Run> runs = ChangedLines::movedRuns(before, after, range, at, removed, added);
    if (runs.empty())
        return;
    const qreal frameLeft = toPixels(m_frame.left);
    const int firstLine = from + range.first;
    const int lastChanged = lastChangedLine(layout, from, range);
    const int lastLine = std::min(lastChanged, firstLine + MaxMovedLines - 1);
    std::vector<QRectF> pieces;
    std::vector<TextMove> moves;
    size_t nextRun = 0;
    for (int n = firstLine; n <= lastLine; ++n) {
        const QTextLine line = layout.lineAt(n);
        const qreal y = origin + line.y();
        const qreal lineLeft = n == firstLine ? changeLeft(block, layout, line, at, frameLeft) : 0;
        while (nextRun < runs.size() && from + runs[nextRun].line < n)
            ++nextRun;
        std::optional<TextMove> move;
        qreal runLeft = 0;
        qreal runRight = 0;
        if (nextRun < runs.size() && from + runs[nextRun].line == n) {
            const ChangedLines::Run &run = runs[nextRun];
            const int glyphsFrom = run.was == ChangedLines::Run::Was::AfterFirst ? run.start - 1 : run.start;
            if (drawnAlike(block, glyphsFrom, run.end)) {
                const qreal newX = line.cursorToX(run.start);
                const qreal endX = line.cursorToX(run.end);
                qreal oldX = before[size_t(run.line)].x;
                if (run.was == ChangedLines::Run::Was::AfterInsertion) {
                    oldX = line.cursorToX(at);
                } else if (run.was == ChangedLines::Run::Was::AfterFirst) {
                    // Its first character stands at the end of the line before now, as wide.
                    const QTextLine up = layout.lineAt(ParagraphLines::lineNumberAt(layout, run.start - 1));
                    oldX += up.cursorToX(run.start) - up.cursorToX(run.start - 1);
                }
                const qreal dx = newX - oldX;
                if (std::abs(dx - std::round(dx)) < 1.0 / 64 && endX > newX) {
                    runLeft = frameLeft + newX;
                    runRight = frameLeft + endX;
                    if (std::round(dx) != 0)
                        move = TextMove { QRectF(frameLeft + oldX, y, endX - newX, line.height()), std::round(dx) };
                }
            }
        }
        if (runRight <= runLeft) {
            pieces.push_back(QRectF(lineLeft, y, 1e9, line.height()));
            continue;
        }
        // The rest of the line is painted, a pixel into the run on either side: the run's
        // glyphs there are drawn again as they are.
        if (runLeft + 1 > lineLeft)
            pieces.push_back(QRectF(lineLeft, y, runLeft + 1 - lineLeft, line.height()));
        pieces.push_back(QRectF(runRight - 1, y, 1e9, line.height()));
        if (move)
            moves.push_back(*move);
    }
    // Lines past those looked at are painted whole.
    if (lastLine < lastChanged) {
        const QTextLine below = layout.lineAt(lastLine + 1);
        const QTextLine end = layout.lineAt(lastChanged);
        pieces.push_back(QRectF(0, origin + below.y(), 1e9, end.y() + end.height() - below.y()));
    }
    area->repaint = std::move(pieces);
    area->moves = std::move(moves);
}
