#include "blockmetrics.h"

#include <algorithm>

namespace {

qint64 fieldOf(const BlockMetrics::Entry &e, int field)
{
    switch (field) {
    case 0:
        return 1;
    case 1:
        return e.height;
    case 2:
        return e.lines;
    default:
        return e.exact ? 0 : 1;
    }
}

} // namespace

BlockMetrics::Sums BlockMetrics::sumsOf(const Chunk &c)
{
    return { static_cast<qint64>(c.entries.size()), c.height, c.lines, c.inexact };
}

void BlockMetrics::Chunk::sum()
{
    height = 0;
    lines = 0;
    inexact = 0;
    for (const Entry &e : entries) {
        height += e.height;
        lines += e.lines;
        inexact += e.exact ? 0 : 1;
    }
}

void BlockMetrics::assign(int count, const Entry &value)
{
    m_chunks.clear();
    m_size = 0;
    replace(0, 0, count, value);
}

void BlockMetrics::rebuildTrees()
{
    std::vector<int64_t> values[FieldCount];
    for (auto &v : values)
        v.reserve(m_chunks.size());
    for (const Chunk &c : m_chunks) {
        values[Count].push_back(static_cast<int64_t>(c.entries.size()));
        values[Height].push_back(c.height);
        values[Lines].push_back(c.lines);
        values[Inexact].push_back(c.inexact);
    }
    for (int f = 0; f < FieldCount; ++f)
        m_trees[f].assign(values[f]);
}

void BlockMetrics::updateTrees(int chunk, const Sums &before)
{
    const Chunk &now = m_chunks[static_cast<size_t>(chunk)];
    const auto at = static_cast<size_t>(chunk);
    m_trees[Count].add(at, static_cast<int64_t>(now.entries.size()) - before.count);
    m_trees[Height].add(at, now.height - before.height);
    m_trees[Lines].add(at, now.lines - before.lines);
    m_trees[Inexact].add(at, now.inexact - before.inexact);
}

void BlockMetrics::locate(int index, int &chunk, int &offset) const
{
    if (m_chunks.empty()) {
        chunk = -1;
        offset = 0;
        return;
    }
    if (index >= m_size) {
        chunk = static_cast<int>(m_chunks.size()) - 1;
        offset = static_cast<int>(m_chunks.back().entries.size());
        return;
    }
    chunk = static_cast<int>(m_trees[Count].countWithin(index));
    offset = index - static_cast<int>(m_trees[Count].prefix(static_cast<size_t>(chunk)));
}

void BlockMetrics::splitLarge(int chunk)
{
    Chunk &c = m_chunks[static_cast<size_t>(chunk)];
    if (c.entries.size() <= static_cast<size_t>(2 * ChunkSize))
        return;
    std::vector<Entry> all = std::move(c.entries);
    std::vector<Chunk> pieces;
    for (size_t from = 0; from < all.size(); from += ChunkSize) {
        Chunk piece;
        const size_t to = std::min(all.size(), from + ChunkSize);
        piece.entries.assign(all.begin() + static_cast<std::ptrdiff_t>(from), all.begin() + static_cast<std::ptrdiff_t>(to));
        piece.sum();
        pieces.push_back(std::move(piece));
    }
    // A short remainder joins the piece before it.
    if (pieces.size() > 1 && pieces.back().entries.size() < static_cast<size_t>(ChunkSize / 4)) {
        Chunk &previous = pieces[pieces.size() - 2];
        previous.entries.insert(previous.entries.end(), pieces.back().entries.begin(), pieces.back().entries.end());
        previous.sum();
        pieces.pop_back();
    }
    const auto at = m_chunks.begin() + chunk;
    *at = std::move(pieces.front());
    m_chunks.insert(at + 1, std::make_move_iterator(pieces.begin() + 1), std::make_move_iterator(pieces.end()));
}

void BlockMetrics::mergeSmall(int chunk)
{
    if (m_chunks.size() < 2 || m_chunks[static_cast<size_t>(chunk)].entries.size() >= static_cast<size_t>(ChunkSize / 4))
        return;
    const int into = chunk + 1 < static_cast<int>(m_chunks.size()) ? chunk : chunk - 1;
    Chunk &a = m_chunks[static_cast<size_t>(into)];
    Chunk &b = m_chunks[static_cast<size_t>(into + 1)];
    a.entries.insert(a.entries.end(), b.entries.begin(), b.entries.end());
    a.sum();
    m_chunks.erase(m_chunks.begin() + into + 1);
    splitLarge(into);
}

void BlockMetrics::replace(int first, int removed, int added, const Entry &value)
{
    replace(first, removed, std::vector<Entry>(static_cast<size_t>(std::max(0, added)), value));
}

void BlockMetrics::replace(int first, int removed, const std::vector<Entry> &entries)
{
    const int added = static_cast<int>(entries.size());
    Q_ASSERT(first >= 0 && removed >= 0 && first + removed <= m_size);
    if (removed > 0) {
        int chunk = 0;
        int offset = 0;
        locate(first, chunk, offset);
        bool structural = false;
        int left = removed;
        int touched = chunk;
        while (left > 0) {
            Chunk &c = m_chunks[static_cast<size_t>(chunk)];
            const Sums before = sumsOf(c);
            const int take = std::min(left, static_cast<int>(c.entries.size()) - offset);
            c.entries.erase(c.entries.begin() + offset, c.entries.begin() + offset + take);
            c.sum();
            left -= take;
            if (c.entries.empty()) {
                m_chunks.erase(m_chunks.begin() + chunk);
                structural = true;
            } else {
                if (!structural)
                    updateTrees(chunk, before);
                touched = chunk;
                ++chunk;
            }
            offset = 0;
        }
        m_size -= removed;
        if (!m_chunks.empty()) {
            touched = std::min(touched, static_cast<int>(m_chunks.size()) - 1);
            const size_t count = m_chunks.size();
            mergeSmall(touched);
            structural = structural || m_chunks.size() != count;
        }
        if (structural)
            rebuildTrees();
    }
    if (added <= 0)
        return;
    if (m_chunks.empty()) {
        m_chunks.push_back({});
        m_chunks.back().entries = entries;
        m_chunks.back().sum();
        m_size = added;
        splitLarge(0);
        rebuildTrees();
        return;
    }
    int chunk = 0;
    int offset = 0;
    locate(first, chunk, offset);
    Chunk &c = m_chunks[static_cast<size_t>(chunk)];
    const Sums before = sumsOf(c);
    c.entries.insert(c.entries.begin() + offset, entries.begin(), entries.end());
    c.sum();
    m_size += added;
    const size_t count = m_chunks.size();
    splitLarge(chunk);
    if (m_chunks.size() != count)
        rebuildTrees();
    else
        updateTrees(chunk, before);
}

BlockMetrics::Entry BlockMetrics::at(int index) const
{
    int chunk = 0;
    int offset = 0;
    locate(index, chunk, offset);
    return m_chunks[static_cast<size_t>(chunk)].entries[static_cast<size_t>(offset)];
}

void BlockMetrics::set(int index, const Entry &entry)
{
    int chunk = 0;
    int offset = 0;
    locate(index, chunk, offset);
    Chunk &c = m_chunks[static_cast<size_t>(chunk)];
    Entry &old = c.entries[static_cast<size_t>(offset)];
    const auto at = static_cast<size_t>(chunk);
    m_trees[Height].add(at, entry.height - old.height);
    m_trees[Lines].add(at, static_cast<int64_t>(entry.lines) - old.lines);
    const int inexact = (entry.exact ? 0 : 1) - (old.exact ? 0 : 1);
    m_trees[Inexact].add(at, inexact);
    c.height += entry.height - old.height;
    c.lines += static_cast<qint64>(entry.lines) - old.lines;
    c.inexact += inexact;
    old = entry;
}

qint64 BlockMetrics::heightBefore(int index) const
{
    int chunk = 0;
    int offset = 0;
    locate(index, chunk, offset);
    if (chunk < 0)
        return 0;
    qint64 sum = m_trees[Height].prefix(static_cast<size_t>(chunk));
    const std::vector<Entry> &entries = m_chunks[static_cast<size_t>(chunk)].entries;
    for (int i = 0; i < offset; ++i)
        sum += entries[static_cast<size_t>(i)].height;
    return sum;
}

qint64 BlockMetrics::linesBefore(int index) const
{
    int chunk = 0;
    int offset = 0;
    locate(index, chunk, offset);
    if (chunk < 0)
        return 0;
    qint64 sum = m_trees[Lines].prefix(static_cast<size_t>(chunk));
    const std::vector<Entry> &entries = m_chunks[static_cast<size_t>(chunk)].entries;
    for (int i = 0; i < offset; ++i)
        sum += entries[static_cast<size_t>(i)].lines;
    return sum;
}

qint64 BlockMetrics::totalHeight() const
{
    return m_trees[Height].prefix(m_chunks.size());
}

qint64 BlockMetrics::totalLines() const
{
    return m_trees[Lines].prefix(m_chunks.size());
}

int BlockMetrics::inexactCount() const
{
    return static_cast<int>(m_trees[Inexact].prefix(m_chunks.size()));
}

int BlockMetrics::indexAt(Field field, qint64 value) const
{
    if (m_size == 0)
        return -1;
    if (value < 0)
        return 0;
    const size_t chunk = m_trees[field].countWithin(value);
    if (chunk >= m_chunks.size())
        return m_size - 1;
    qint64 rest = value - m_trees[field].prefix(chunk);
    const int base = static_cast<int>(m_trees[Count].prefix(chunk));
    const std::vector<Entry> &entries = m_chunks[chunk].entries;
    for (size_t i = 0; i < entries.size(); ++i) {
        const qint64 v = fieldOf(entries[i], field);
        if (rest < v)
            return base + static_cast<int>(i);
        rest -= v;
    }
    return std::min(m_size - 1, base + static_cast<int>(entries.size()));
}

int BlockMetrics::indexAtHeight(qint64 y) const
{
    return indexAt(Height, y);
}

int BlockMetrics::indexAtLine(qint64 line) const
{
    return indexAt(Lines, line);
}

int BlockMetrics::firstInexact(int from) const
{
    if (from < 0)
        from = 0;
    if (from >= m_size || inexactCount() == 0)
        return -1;
    int chunk = 0;
    int offset = 0;
    locate(from, chunk, offset);
    for (;;) {
        const Chunk &c = m_chunks[static_cast<size_t>(chunk)];
        if (c.inexact > 0) {
            for (size_t i = static_cast<size_t>(offset); i < c.entries.size(); ++i) {
                if (!c.entries[i].exact)
                    return static_cast<int>(m_trees[Count].prefix(static_cast<size_t>(chunk))) + static_cast<int>(i);
            }
        }
        // The next chunk holding one: the last chunk before which no more of them begin.
        const int64_t target = m_trees[Inexact].prefix(static_cast<size_t>(chunk) + 1);
        if (target >= inexactCount())
            return -1;
        chunk = static_cast<int>(m_trees[Inexact].countWithin(target));
        offset = 0;
    }
}
