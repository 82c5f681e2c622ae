// What an edit shows: the area of the editor's document layout that an edit inside a paragraph
// changed, repainted and no more.

#include "editordocumentlayout.h"

#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// True when nothing in `text` is written right to left: there the characters in front of a
// position stand to its left.
bool allLeftToRight(QStringView text)
{
    for (const QChar c : text) {
        switch (c.direction()) {
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
    const QTextLine line = layout->lineForTextPosition(at);
    if (!line.isValid() || line.lineNumber() < 3)
        return top;
    return top + toPixels(e.margin) + layout->lineAt(line.lineNumber() - 2).y();
}

std::vector<ChangedLines::Line> EditorDocumentLayout::keepLinesAround(const QTextLayout &layout, int at, int *from)
{
    // An input method's text in the layout is not the paragraph's: its lines say nothing of it.
    if (layout.lineCount() == 0 || !layout.preeditAreaText().isEmpty())
        return {};
    const QTextLine line = layout.lineForTextPosition(at);
    *from = line.isValid() ? std::max(0, line.lineNumber() - 1) : 0;
    return ChangedLines::linesOf(layout, *from);
}

std::optional<QRectF> EditorDocumentLayout::changedArea(const QTextBlock &block, int number, int from,
                                                        const std::vector<ChangedLines::Line> &before, int at,
                                                        int removed, int added) const
{
    const BlockMetrics::Entry e = m_metrics.at(number);
    const QTextLayout *layout = ParagraphLines::existingLayout(block);
    if (!e.exact || !layout || layout->lineCount() <= from || !layout->preeditAreaText().isEmpty())
        return std::nullopt;
    const ChangedLines::Range range
        = ChangedLines::changed(before, ChangedLines::linesOf(*layout, from), at, removed, added);
    if (range.isEmpty())
        return QRectF();
    const int firstLine = from + range.first;
    const int lastLine = range.last >= layout->lineCount() - from ? layout->lineCount() - 1 : from + range.last;
    const QTextLine first = layout->lineAt(firstLine);
    const QTextLine last = layout->lineAt(lastLine);
    const qreal origin = toPixels(m_frame.top + m_metrics.heightBefore(number) + e.margin);
    // A little of the lines above and below in the paragraph is painted as well, and so drawn
    // again: ink that reaches beyond a line's box, theirs and the changed lines', is painted
    // whole. At its first and last line, the paragraph's own box is the edge.
    const qreal ink = std::ceil(first.height() / 4);
    const qreal top = firstLine == 0 ? toPixels(m_frame.top + m_metrics.heightBefore(number))
                                     : origin + first.y() - ink;
    const qreal bottom = lastLine == layout->lineCount() - 1
        ? toPixels(m_frame.top + m_metrics.heightBefore(number + 1))
        : origin + last.y() + last.height() + ink;
    qreal left = 0;
    // One line changed from the edit on, and what stands in front of it stays where it is
    // (not so when the line is centred, justified or aligned right, or holds text written
    // right to left): from a character's width before the edit, for a glyph that joins it.
    const QTextOption option = layout->textOption();
    if (firstLine == lastLine && option.textDirection() == Qt::LeftToRight
        && (option.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute) == Qt::AlignLeft
        && at >= first.textStart() && at <= first.textStart() + first.textLength()
        && allLeftToRight(QStringView(block.text()).mid(first.textStart(), first.textLength()))) {
        left = std::max(0.0, toPixels(m_frame.left) + first.cursorToX(at) - first.height());
    }
    return QRectF(left, top, 1e9, bottom - top);
}
