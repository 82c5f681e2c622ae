#include "changedlines.h"

#include <QTextLayout>

#include <algorithm>
#include <climits>

namespace ChangedLines {

std::vector<Line> linesOf(const QTextLayout &layout, int first)
{
    std::vector<Line> lines;
    const int end = std::min(layout.lineCount(), std::max(0, first) + MaxLines);
    lines.reserve(static_cast<size_t>(std::max(0, end - first)));
    for (int n = std::max(0, first); n < end; ++n) {
        const QTextLine line = layout.lineAt(n);
        lines.push_back({ line.textStart(), line.textLength(), line.y(), line.height(), line.x() });
    }
    return lines;
}

Range changed(const std::vector<Line> &before, const std::vector<Line> &after, int at, int removed, int added)
{
    const qint64 shift = qint64(added) - removed;
    const qint64 editEnd = qint64(at) + removed; // in the text before the edit
    Range range;
    const size_t count = std::max(before.size(), after.size());
    for (size_t n = 0; n < count; ++n) {
        bool same = false;
        if (n < before.size() && n < after.size()) {
            const Line &was = before[n];
            const Line &is = after[n];
            const bool box = was.y == is.y && was.height == is.height && was.length == is.length;
            if (box && qint64(was.start) + was.length < at) {
                same = was.start == is.start;
            } else if (box && was.start > editEnd) {
                same = qint64(was.start) + shift == is.start;
                if (same)
                    return range; // the rest is broken as it was
            }
        }
        if (same)
            continue;
        if (range.isEmpty())
            range.first = static_cast<int>(n);
        range.last = static_cast<int>(n);
    }
    // Lines past what was kept of the old ones may still differ.
    if (!range.isEmpty() && before.size() >= size_t(MaxLines))
        range.last = INT_MAX;
    return range;
}

std::vector<Run> movedRuns(
    const std::vector<Line> &before, const std::vector<Line> &after, Range range, int at, int removed, int added)
{
    std::vector<Run> runs;
    if (range.isEmpty())
        return runs;
    const qint64 shift = qint64(added) - removed;
    const qint64 editEnd = qint64(at) + removed;
    const size_t last = std::min({ size_t(range.last) + 1, before.size(), after.size() });
    for (size_t n = size_t(range.first); n < last; ++n) {
        const Line &was = before[n];
        const Line &is = after[n];
        if (was.y != is.y || was.height != is.height)
            continue;
        const qint64 wasEnd = qint64(was.start) + was.length + shift; // in the text after the edit
        const qint64 isEnd = qint64(is.start) + is.length;
        Run run;
        run.line = static_cast<int>(n);
        qint64 start = 0;
        if (removed == 0 && added > 0 && is.start == was.start && is.start <= at && at < isEnd
            && at <= wasEnd - added) {
            start = qint64(at) + added;
            run.was = Run::Was::AfterInsertion;
        } else if (was.start > editEnd && is.start <= qint64(was.start) + shift) {
            start = qint64(was.start) + shift;
            run.was = Run::Was::AtLineStart;
        } else if (was.start > editEnd && is.start == qint64(was.start) + shift + 1 && was.length > 1) {
            start = is.start;
            run.was = Run::Was::AfterFirst;
        } else {
            continue;
        }
        const qint64 end = std::min(isEnd, wasEnd);
        if (end - start < 1)
            continue;
        run.start = static_cast<int>(start);
        run.end = static_cast<int>(end);
        runs.push_back(run);
    }
    return runs;
}

} // namespace ChangedLines
