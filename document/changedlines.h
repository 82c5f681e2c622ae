#pragma once

#include <QRectF>

#include <vector>

class QTextLayout;

// Which lines of a paragraph an edit inside it changed: those whose text, place or size differ
// from what they were. The rest show what they showed and need not be painted again.
namespace ChangedLines {

// A line's characters (from the paragraph's start) and its box, in the layout's own units.
struct Line {
    int start = 0;
    int length = 0;
    qreal y = 0;
    qreal height = 0;
};

// At most this many lines are kept from before an edit: a long paragraph's lines further down
// count as changed (most are out of the window; the window clips the rest).
constexpr int MaxLines = 128;

// The lines of `layout` from `first` on, at most MaxLines.
std::vector<Line> linesOf(const QTextLayout &layout, int first);

// The first and last line that differ, or none (first < 0) when every line is as it was. A last
// past the paragraph's lines means all of them from the first on.
struct Range {
    int first = -1;
    int last = -1;
    bool isEmpty() const { return first < 0; }
};

// An edit at `at` that replaced `removed` characters by `added` turned the lines `before` into
// `after`, both numbered from the same line of the paragraph. A line counts as unchanged when
// its box is the same and it holds the same characters: wholly in front of the edit, or wholly
// behind it and moved along by what the edit added or removed. A line that touches the edit
// counts as changed (its shaping may join characters across it). Behind the edit, the first
// line that is as it was brings back all the lines after it, since lines are broken from the
// start of each: lines `before` does not reach count as changed until one is found.
Range changed(const std::vector<Line> &before, const std::vector<Line> &after, int at, int removed, int added);

} // namespace ChangedLines
