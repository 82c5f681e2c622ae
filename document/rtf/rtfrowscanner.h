#pragma once

// The look ahead of RtfTableReader: how many rows the table that begins at the reader's place
// has, read as the reader will read them, without decoding anything.

#include "rtftablereader.h"
#include "rtfwords.h"

#include <set>
#include <string_view>
#include <vector>

namespace RtfRowScanning {

using TableCells::MaxColumns;
using TableCells::MaxTwips;

// A table holds at most this many cells; the rows after them go into the next table.
inline constexpr int MaxTableCells = 1 << 16;
// A table whose rows differ in their cells holds at most this many: each cell spanning columns
// costs Qt the table's size to merge.
inline constexpr int MaxShapedCells = 1024;

inline bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The look ahead's reading of the data: braces, control words and text, nothing decoded.
class RowScanner {
public:
    RowScanner(const RtfTableReader::Ahead &ahead, int cellsDone, std::vector<int> edges = {})
        : m_p(ahead.data.data())
        , m_end(ahead.data.data() + ahead.data.size())
        , m_fieldCloses(qMax(0, ahead.fieldCloses))
        , m_documentCloses(qMax(0, ahead.documentCloses))
        , m_cells(cellsDone)
        , m_edges(std::move(edges))
    {
    }

    // Each row's cell right edges, where the rows differ in their cells (else empty).
    std::vector<std::vector<int>> shapes() const { return m_shaped ? m_shapes : std::vector<std::vector<int>>(); }

    int run(int *columns)
    {
        while (m_p < m_end && !m_stopped)
            step();
        if (m_cells > 0 || m_rows == 0)
            endRow();
        *columns = m_columns;
        return m_rows;
    }

private:
    void step()
    {
        const char c = *m_p++;
        switch (c) {
        case '{':
            m_stack.push_back(m_inTable);
            m_groupStart = m_p;
            m_ignorable = false;
            return;
        case '}':
            closeGroup();
            return;
        case '\r':
        case '\n':
            return;
        case '\\':
            control();
            return;
        default:
            if (c != ' ')
                m_ignorable = false;
            text();
        }
    }

    void closeGroup()
    {
        m_groupStart = nullptr;
        m_ignorable = false;
        if (m_stack.empty()) {
            // A group the table's first text is in: the one around is most likely in it too.
            if (m_skipFrom == 0)
                m_skipFrom = -1;
            if (m_fieldCloses > 0)
                --m_fieldCloses;
            if (m_documentCloses > 0 && --m_documentCloses == 0)
                m_stopped = true;
            return;
        }
        m_inTable = m_stack.back();
        m_stack.pop_back();
        const int depth = static_cast<int>(m_stack.size());
        if (m_skipFrom > depth)
            m_skipFrom = -1;
        if (m_fieldFrom > depth)
            m_fieldFrom = -1;
    }

    // Whether the word at `wordStart` opens its group, as the reader takes it.
    bool opensGroup(const char *wordStart) const
    {
        return m_groupStart && RtfWords::opensGroup(m_groupStart, wordStart);
    }

    // A word that says what its group holds: from a destination other than the text on, the
    // group holds none (the reader reads or keeps it elsewhere), nor does a field that opens in
    // a field (the reader keeps it whole). A field opened outside one holds text.
    bool destination(std::string_view name, const RtfWords::WordInfo &info, bool ignorable, const char *wordStart)
    {
        const int depth = static_cast<int>(m_stack.size());
        if (name == "field" && opensGroup(wordStart)) {
            if (m_fieldCloses > 0 || m_fieldFrom >= 0)
                m_skipFrom = depth;
            else
                m_fieldFrom = depth;
            return true;
        }
        using RtfWords::Word;
        const bool elsewhere = info.word == Word::Destination && info.destination != RtfWords::Destination::Text;
        if (elsewhere || (ignorable && info.word == Word::Unknown)) {
            m_skipFrom = depth;
            return true;
        }
        return false;
    }

    void control()
    {
        if (m_p >= m_end)
            return;
        const char *wordStart = m_p - 1;
        const bool ignorable = m_ignorable;
        m_ignorable = false;
        if (!isLetter(*m_p)) {
            const char symbol = *m_p++;
            if (symbol == '*') {
                m_ignorable = true;
            } else if (symbol == '\'') {
                // As the reader reads it: a byte when two hex digits follow, else nothing (what
                // follows is read on its own).
                if (m_end - m_p >= 2 && isHexDigit(m_p[0]) && isHexDigit(m_p[1])) {
                    m_p += 2;
                    text();
                }
            } else if (symbol == '\\' || symbol == '{' || symbol == '}' || symbol == '~' || symbol == '_') {
                text();
            }
            return;
        }
        const char *start = m_p;
        while (m_p < m_end && isLetter(*m_p))
            ++m_p;
        const std::string_view name(start, static_cast<size_t>(m_p - start));
        const bool negative = m_p < m_end && *m_p == '-';
        if (negative)
            ++m_p;
        long long value = 0;
        while (m_p < m_end && *m_p >= '0' && *m_p <= '9') {
            if (value < MaxTableCells * 1024LL)
                value = value * 10 + (*m_p - '0');
            ++m_p;
        }
        if (m_p < m_end && *m_p == ' ')
            ++m_p;
        if (name == "bin") {
            m_p += qMin<qsizetype>(static_cast<qsizetype>(value), m_end - m_p);
            return;
        }
        if (m_skipFrom >= 0)
            return;
        const RtfWords::WordInfo info = RtfWords::lookup(name);
        if (destination(name, info, ignorable, wordStart))
            return;
        switch (info.word) {
        case RtfWords::Word::Pard:
            m_inTable = false;
            return;
        case RtfWords::Word::InTable:
            m_inTable = true;
            return;
        case RtfWords::Word::TableDepth:
            m_inTable = value > 0;
            return;
        case RtfWords::Word::Cell:
            ++m_cells;
            return;
        case RtfWords::Word::Row:
            endRow();
            return;
        case RtfWords::Word::RowDefaults:
            m_edges.clear();
            return;
        case RtfWords::Word::CellRight:
            if (m_edges.size() < size_t(MaxColumns))
                m_edges.push_back(static_cast<int>(qMin<long long>(value, 2 * MaxTwips)) * (negative ? -1 : 1));
            return;
        case RtfWords::Word::Par:
            if (!m_inTable && name == "par")
                m_stopped = true;
            return;
        case RtfWords::Word::Character:
        case RtfWords::Word::U:
            text();
            return;
        default:
            return;
        }
    }

    void text()
    {
        if (m_skipFrom < 0 && !m_inTable)
            m_stopped = true;
    }

    void endRow()
    {
        const int cells = qBound(1, m_cells, MaxColumns);
        m_cells = 0;
        const bool defined = isShape(cells);
        if (m_rows == 0) {
            m_columns = cells;
            m_definedRows = defined;
        } else if (cells != m_columns && !(m_definedRows && defined && m_gridCells + cells <= MaxShapedCells)) {
            m_stopped = true; // another layout: another table
            return;
        }
        if (defined && m_definedRows) {
            std::set<int> grid = m_grid;
            grid.insert(m_edges.begin(), m_edges.end());
            if (grid.size() > size_t(MaxColumns)) {
                if (cells != m_columns) {
                    m_stopped = true;
                    return;
                }
                m_definedRows = false;
            }
            m_grid = std::move(grid);
        }
        m_shaped = m_shaped || cells != m_columns;
        m_definedRows = m_definedRows && defined;
        if (m_definedRows) {
            m_shapes.push_back(m_edges);
            m_gridCells += cells;
        }
        if (m_shaped && !m_definedRows) {
            m_stopped = true;
            return;
        }
        ++m_rows;
        if ((m_rows + 1) * m_columns > MaxTableCells || (m_shaped && m_gridCells >= MaxShapedCells))
            m_stopped = true;
    }

    // Whether the row definition gives each of the row's cells a right edge, left to right.
    bool isShape(int cells) const
    {
        if (static_cast<int>(m_edges.size()) != cells)
            return false;
        for (size_t i = 1; i < m_edges.size(); ++i) {
            if (m_edges[i] <= m_edges[i - 1])
                return false;
        }
        return true;
    }

    const char *m_p;
    const char *const m_end;
    std::vector<char> m_stack; // the in-table state of the groups around
    bool m_inTable = true; // the text that opened the table is in it
    int m_skipFrom = -1; // depth of a group whose content is not text
    const char *m_groupStart = nullptr; // just after the brace of the group under way, until a group closes
    bool m_ignorable = false; // a \* came right before
    // The field the text is in: the closing braces that end the one the look ahead began in,
    // or the depth of the group of one opened since (-1 none).
    int m_fieldCloses = 0;
    int m_fieldFrom = -1;
    int m_documentCloses = 0; // the closing braces that end the document (0: not known)
    int m_cells = 0;
    int m_rows = 0;
    int m_columns = 1;
    bool m_stopped = false;
    // Rows of different cells make one table while each row's definition gives its cells' edges.
    std::vector<int> m_edges; // the row definition in effect
    std::vector<std::vector<int>> m_shapes;
    std::set<int> m_grid; // the edges of all rows so far
    bool m_definedRows = true;
    bool m_shaped = false;
    int m_gridCells = 0;
};

} // namespace RtfRowScanning
