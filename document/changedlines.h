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
    qreal x = 0; // where it begins
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

// A run of characters of a changed line that the line still shows as it did, only moved along
// it: characters behind an insertion that stay on its line, and those a line passes on to the
// next or takes up from it. Their pixels can be moved instead of painted again, when they were
// drawn from the same glyphs (the caller knows).
struct Run {
    enum class Was {
        AfterInsertion, // behind the inserted text, on its line: where the insertion now begins
        AtLineStart, // its line's first characters before
        AfterFirst, // behind its line's first character before (which moved up a line)
    };
    int line = 0; // in `after`
    int start = 0; // characters, from the paragraph's start, after the edit
    int end = 0;
    Was was = Was::AtLineStart;
};

// The runs of the changed lines `range` (from changed()) of an edit as changed() has it.
std::vector<Run> movedRuns(
    const std::vector<Line> &before, const std::vector<Line> &after, Range range, int at, int removed, int added);

} // namespace ChangedLines
