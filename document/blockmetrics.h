#pragma once

#include "fenwicktree.h"

#include <QtGlobal>

#include <vector>

// The height and the display-line count of every paragraph of a laid-out document, in document
// order, with running sums. Paragraphs are kept in chunks of a few hundred, and a Fenwick tree
// over the chunks sums their counts, heights, lines and paragraphs not laid out yet: a sum
// before a paragraph, the paragraph at a height or at a line, and replacing a run of paragraphs
// cost O(log n) over the chunks plus one chunk's length, whatever the document's size.
//
// Heights are in 1/64 pixel (the text layout's fixed-point unit), so that sums are exact.
class BlockMetrics {
public:
    struct Entry {
        qint64 height = 0; // including the space above the paragraph
        qint32 lines = 0;
        qint32 margin = 0; // the space above, in 1/64 pixel; part of height
        bool exact = false; // false: an estimate, until the paragraph is laid out
    };

    int size() const { return m_size; }
    void assign(int count, const Entry &value);
    // Replaces the `removed` entries from `first` on by `added` copies of `value`.
    void replace(int first, int removed, int added, const Entry &value);
    void replace(int first, int removed, const std::vector<Entry> &entries);

    Entry at(int index) const;
    void set(int index, const Entry &entry);

    // Sums over the entries before `index` (0 <= index <= size()).
    qint64 heightBefore(int index) const;
    qint64 linesBefore(int index) const;
    qint64 totalHeight() const;
    qint64 totalLines() const;
    int inexactCount() const;

    // The entry in whose extent height y (from 0) or line number `line` falls: the first entry
    // whose running sum passes it. Below 0 gives 0; at or beyond the end, the last entry
    // (-1 when empty).
    int indexAtHeight(qint64 y) const;
    int indexAtLine(qint64 line) const;
    // The first entry from `from` on that is not exact, or -1.
    int firstInexact(int from) const;

private:
    static constexpr int ChunkSize = 512; // chunks hold ChunkSize / 4 to 2 * ChunkSize entries

    struct Chunk {
        std::vector<Entry> entries;
        qint64 height = 0;
        qint64 lines = 0;
        int inexact = 0;
        void sum();
    };
    struct Sums {
        qint64 count;
        qint64 height;
        qint64 lines;
        int inexact;
    };
    enum Field { Count, Height, Lines, Inexact, FieldCount };

    static Sums sumsOf(const Chunk &c);

    // The chunk holding entry `index` and the index within it (index == size(): past the last).
    void locate(int index, int &chunk, int &offset) const;
    int indexAt(Field field, qint64 value) const;
    void rebuildTrees();
    void updateTrees(int chunk, const Sums &before);
    void splitLarge(int chunk);
    void mergeSmall(int chunk);

    std::vector<Chunk> m_chunks;
    FenwickTree m_trees[FieldCount];
    int m_size = 0;
};
