#include "rtftablereader.h"

#include "rtfrowscanner.h"
#include "rtfwords.h"

#include <QTextTable>

#include <algorithm>

namespace {

using TableCells::MaxColumns;
using TableCells::MaxTwips;

// Rows the look ahead found but no text reached are removed up to this many cells (removing
// costs Qt the table's size for each cell); beyond, they stay as empty rows.
constexpr int MaxRemovedCells = 1024;

} // namespace

int RtfTableReader::countRows(const Ahead &ahead, int *columns, int cellsDone)
{
    return RtfRowScanning::RowScanner(ahead, cellsDone).run(columns);
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
    RtfRowScanning::RowScanner scanner(ahead, cellsDone, std::move(edges));
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
