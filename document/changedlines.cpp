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
        lines.push_back({ line.textStart(), line.textLength(), line.y(), line.height() });
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

} // namespace ChangedLines
