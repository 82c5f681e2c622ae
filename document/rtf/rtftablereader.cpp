#include "rtftablereader.h"

#include "rtfwords.h"

#include <QTextTable>

#include <algorithm>
#include <set>
#include <string_view>

namespace {

using TableCells::MaxColumns;
using TableCells::MaxTwips;

// A table holds at most this many cells; the rows after them go into the next table.
constexpr int MaxTableCells = 1 << 16;
// A table whose rows differ in their cells holds at most this many: each cell spanning columns
// costs Qt the table's size to merge.
constexpr int MaxShapedCells = 1024;
// Rows the look ahead found but no text reached are removed up to this many cells (removing
// costs Qt the table's size for each cell); beyond, they stay as empty rows.
constexpr int MaxRemovedCells = 1024;

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isHexDigit(char c)
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

    // Whether the word at `wordStart` opens its group, as the reader takes it: after line
    // breaks, and a \* with its own (a space is text).
    bool opensGroup(const char *wordStart) const
    {
        const char *c = m_groupStart;
        if (!c)
            return false;
        auto skipBreaks = [&c, wordStart] {
            while (c < wordStart && (*c == '\r' || *c == '\n'))
                ++c;
        };
        skipBreaks();
        if (wordStart - c >= 2 && c[0] == '\\' && c[1] == '*') {
            c += 2;
            skipBreaks();
        }
        return c == wordStart;
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

} // namespace

int RtfTableReader::countRows(const Ahead &ahead, int *columns, int cellsDone)
{
    return RowScanner(ahead, cellsDone).run(columns);
}

bool RtfTableReader::applyWord(RtfWords::Word word, char16_t side, bool hasParameter, int parameter)
{
    using RtfWords::Word;
    switch (word) {
    case Word::RowDefaults:
        m_cells.clear();
        m_gapTwips = TableCells::DefaultGapTwips;
        m_gapGiven = false;
        m_leftTwips = 0;
        m_pendingBorders = {};
        m_borderSide = -1;
        return true;
    case Word::RowGap:
        m_gapTwips = qBound(0, parameter, MaxTwips);
        m_gapGiven = true;
        return true;
    case Word::RowPadding:
        // Writers that give cell padding instead of a gap (the last one given stands).
        if (!m_gapGiven)
            m_gapTwips = qBound(0, parameter, MaxTwips);
        return true;
    case Word::RowLeft:
        m_leftTwips = qBound(-MaxTwips, parameter, MaxTwips);
        return true;
    case Word::CellBorder:
        m_borderSide = static_cast<int>(side) - 1;
        return true;
    case Word::BorderStyle:
        if (m_borderSide >= 0 && m_pendingBorders.borders[m_borderSide] == 0)
            m_pendingBorders.borders[m_borderSide] = TableCells::ThinBorderTwips;
        return true;
    case Word::BorderNone:
        if (m_borderSide >= 0)
            m_pendingBorders.borders[m_borderSide] = -1; // none, whatever width follows
        return true;
    case Word::BorderWidth:
        if (m_borderSide >= 0 && m_pendingBorders.borders[m_borderSide] >= 0)
            m_pendingBorders.borders[m_borderSide] = hasParameter ? qBound(1, parameter, TableCells::MaxBorderTwips) : 0;
        return true;
    case Word::CellShading:
        if (side == 3)
            m_pendingBorders.shading = qBound(0, parameter, 10000);
        else
            (side == 1 ? m_pendingBorders.background : m_pendingBorders.pattern) = qMax(0, parameter);
        return true;
    case Word::CellMerge:
        m_pendingBorders.merge |= uint8_t(1 << (side - 1));
        return true;
    case Word::CellRight:
        if (static_cast<int>(m_cells.size()) < MaxColumns) {
            Cell cell = m_pendingBorders;
            cell.rightTwips = qBound(-MaxTwips, parameter, 2 * MaxTwips);
            m_cells.push_back(cell);
        }
        m_pendingBorders = {};
        m_borderSide = -1;
        return true;
    default:
        return false;
    }
}

bool RtfTableReader::isPlaced(bool inTable) const
{
    if (!inTable)
        return !m_table;
    if (!m_table || m_row >= m_rows)
        return false;
    const int cells = cellsIn(m_row);
    return m_placedCell == cellsBefore(m_row) + qMin(m_column, cells - 1) && (m_column < cells || m_tabPlaced);
}

RtfTableReader::Move RtfTableReader::place(bool inTable, const Ahead &ahead, const QTextCharFormat &format,
                                           int cellsDone)
{
    if (!inTable) {
        if (!m_table)
            return Move::None;
        close();
        return Move::NewBlock;
    }
    if (m_table && m_row >= m_rows) {
        close(); // full: the rows that follow make the next table
        // The paragraph between the two takes the formatting in effect, as the one after a
        // table does: else it keeps the last cell's mark, which says nothing of its format.
        QTextCharFormat mark = format;
        mark.clearProperty(QTextFormat::ObjectIndex);
        m_cursor.setBlockCharFormat(mark);
    }
    if (!m_table) {
        open(ahead, cellsDone);
        return Move::NewBlock;
    }
    Move move = Move::None;
    const int cells = cellsIn(m_row);
    const int target = cellsBefore(m_row) + qMin(m_column, cells - 1);
    while (m_placedCell < target) {
        // The cursor is in the last paragraph of its cell: the next one starts the next cell.
        // (By position: a move by block would ask the layout, which has not seen the edit yet.)
        m_cursor.setPosition(m_cursor.block().next().position());
        ++m_placedCell;
        move = Move::NewBlock;
    }
    if (m_column >= cells && !m_tabPlaced) {
        m_cursor.setPosition(m_cursor.block().position() + m_cursor.block().length() - 1);
        m_cursor.insertText(QStringLiteral("\t"), format);
        m_tabPlaced = true;
    }
    return move;
}

void RtfTableReader::endCell()
{
    if (!m_table)
        return;
    m_column = qMin(m_column + 1, m_row < m_rows ? cellsIn(m_row) : m_columns);
    m_tabPlaced = false;
}

bool RtfTableReader::afterLastCell() const
{
    return m_table && m_row < m_rows && m_column >= cellsIn(m_row);
}

void RtfTableReader::endRow()
{
    if (!m_table || m_row >= m_rows)
        return;
    applyRowFormat(m_row);
    ++m_row;
    m_column = 0;
    m_tabPlaced = false;
}

void RtfTableReader::finish()
{
    if (m_table)
        close();
}

void RtfTableReader::open(const Ahead &ahead, int cellsDone)
{
    int columns = 1;
    std::vector<int> edges;
    for (const Cell &cell : m_cells)
        edges.push_back(cell.rightTwips);
    RowScanner scanner(ahead, cellsDone, std::move(edges));
    const int rows = qMax(1, scanner.run(&columns));
    const std::vector<int> grid = shapeRows(scanner.shapes());
    if (!grid.empty())
        columns = static_cast<int>(grid.size());
    QTextTableFormat format;
    // For layouts that know only one width per column (Qt's own): the row definition at hand.
    format.setBorder(0);
    format.setCellSpacing(0);
    format.setCellPadding(m_gapTwips / 15.0);
    format.setLeftMargin(qMax(0, m_leftTwips) / 15.0);
    if (!grid.empty()) {
        QList<QTextLength> widths;
        int left = m_leftTwips;
        for (const int edge : grid) {
            widths.append(QTextLength(QTextLength::FixedLength, qMax(0, edge - left) / 15.0));
            left = qMax(left, edge);
        }
        format.setColumnWidthConstraints(widths);
    } else if (static_cast<int>(m_cells.size()) == columns) {
        QList<QTextLength> widths;
        int left = m_leftTwips;
        for (const Cell &cell : m_cells) {
            widths.append(QTextLength(QTextLength::FixedLength, qMax(0, cell.rightTwips - left) / 15.0));
            left = qMax(left, cell.rightTwips);
        }
        format.setColumnWidthConstraints(widths);
    }
    format.setAlignment(Qt::AlignLeft);
    m_table = m_cursor.insertTable(rows, columns, format);
    mergeShapedRows(columns);
    m_merges.clear();
    m_rows = rows;
    m_columns = columns;
    m_row = 0;
    m_column = 0;
    m_placedCell = 0;
    m_tabPlaced = false;
}

void RtfTableReader::close()
{
    if (m_column > 0 && m_row < m_rows) {
        applyRowFormat(m_row); // a row the data did not end
        ++m_row;
    }
    const int used = qMax(1, m_row);
    if (used < m_rows && (m_rows - used) * m_columns <= MaxRemovedCells)
        m_table->removeRows(used, m_rows - used);
    m_merges.apply(*m_table, qMin(used, m_rows));
    m_cursor.setPosition(m_table->lastPosition() + 1);
    m_table = nullptr;
}

void RtfTableReader::applyRowFormat(int row)
{
    std::vector<RtfCellMerges::Slot> places;
    for (int column = 0; column < cellsIn(row); ++column) {
        const int end = column + 1 < cellsIn(row) ? columnOf(row, column + 1) : m_columns;
        const Cell *defined = column < static_cast<int>(m_cells.size()) ? &m_cells[static_cast<size_t>(column)] : nullptr;
        places.push_back({ columnOf(row, column), end, defined ? defined->rightTwips : 0,
                          defined ? defined->merge : uint8_t(0) });
        QTextTableCell cell = m_table->cellAt(row, columnOf(row, column));
        if (!cell.isValid())
            continue;
        QTextCharFormat format = cell.format();
        format.setProperty(TableCells::GapTwips, m_gapTwips);
        format.setProperty(TableCells::LeftTwips, m_leftTwips);
        if (column < static_cast<int>(m_cells.size())) {
            const Cell &c = m_cells[static_cast<size_t>(column)];
            format.setProperty(TableCells::RightTwips, c.rightTwips);
            for (int side = 0; side < 4; ++side) {
                if (c.borders[side] > 0)
                    format.setProperty(TableCells::BorderTop + side, c.borders[side]);
                else
                    format.clearProperty(TableCells::BorderTop + side);
            }
            QRgb shading = 0;
            if (shadingOf(c, &shading))
                format.setProperty(TableCells::Shading, static_cast<int>(shading));
            else
                format.clearProperty(TableCells::Shading);
        }
        cell.setFormat(format);
    }
    m_merges.noteRow(row, places);
}

bool RtfTableReader::shadingOf(const Cell &cell, QRgb *rgb) const
{
    QRgb background = qRgb(255, 255, 255);
    QRgb pattern = qRgb(0, 0, 0);
    const bool hasBackground = cell.background > 0 && m_colors.colorAt(cell.background, &background);
    if (!hasBackground && cell.shading == 0)
        return false;
    if (cell.pattern > 0)
        m_colors.colorAt(cell.pattern, &pattern);
    // The pattern's colour over the background's, as much as the shading says.
    const int cover = cell.shading;
    auto mix = [cover](int under, int over) { return (under * (10000 - cover) + over * cover) / 10000; };
    *rgb = qRgb(mix(qRed(background), qRed(pattern)), mix(qGreen(background), qGreen(pattern)),
                mix(qBlue(background), qBlue(pattern)));
    return true;
}

std::vector<int> RtfTableReader::shapeRows(const std::vector<std::vector<int>> &shapes)
{
    m_rowCells.clear();
    m_cellsBefore.clear();
    m_starts.clear();
    std::vector<int> grid;
    for (const std::vector<int> &row : shapes)
        grid.insert(grid.end(), row.begin(), row.end());
    std::sort(grid.begin(), grid.end());
    grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
    if (shapes.empty() || grid.empty() || grid.size() > size_t(MaxColumns))
        return {};
    int before = 0;
    for (const std::vector<int> &row : shapes) {
        // Each cell from the column after the previous cell's edge; the last to the table's end.
        std::vector<int> starts { 0 };
        for (size_t k = 0; k + 1 < row.size(); ++k)
            starts.push_back(int(std::lower_bound(grid.begin(), grid.end(), row[k]) - grid.begin()) + 1);
        m_rowCells.push_back(static_cast<int>(row.size()));
        m_cellsBefore.push_back(before);
        before += static_cast<int>(row.size());
        m_starts.push_back(std::move(starts));
    }
    return grid;
}

void RtfTableReader::mergeShapedRows(int columns)
{
    for (size_t row = 0; row < m_starts.size(); ++row) {
        const std::vector<int> &starts = m_starts[row];
        for (size_t k = 0; k < starts.size(); ++k) {
            const int end = k + 1 < starts.size() ? starts[k + 1] : columns;
            if (end - starts[k] > 1)
                m_table->mergeCells(static_cast<int>(row), starts[k], 1, end - starts[k]);
        }
    }
}
