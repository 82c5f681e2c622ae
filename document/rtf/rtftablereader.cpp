#include "rtftablereader.h"

#include "rtfwords.h"

#include <QTextTable>

#include <string_view>

namespace {

using TableCells::MaxColumns;
using TableCells::MaxTwips;

// A table holds at most this many cells; the rows after them go into the next table.
constexpr int MaxTableCells = 1 << 16;
// Rows the look ahead found but no text reached are removed up to this many cells (removing
// costs Qt the table's size for each cell); beyond, they stay as empty rows.
constexpr int MaxRemovedCells = 1024;

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The look ahead's reading of the data: braces, control words and text, nothing decoded.
class RowScanner {
public:
    RowScanner(QByteArrayView data, int cellsDone)
        : m_p(data.data())
        , m_end(data.data() + data.size())
        , m_cells(cellsDone)
    {
    }

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
            openGroup();
            return;
        case '}':
            if (m_stack.empty())
                return; // a group the table's first text is in: the one around is most likely in it too
            m_inTable = m_stack.back();
            m_stack.pop_back();
            if (m_skipFrom > static_cast<int>(m_stack.size()))
                m_skipFrom = -1;
            return;
        case '\r':
        case '\n':
            return;
        case '\\':
            control();
            return;
        default:
            text();
        }
    }

    void openGroup()
    {
        m_stack.push_back(m_inTable);
        if (m_skipFrom >= 0 || m_p >= m_end || *m_p != '\\')
            return;
        if (m_p + 1 < m_end && m_p[1] == '*') {
            m_skipFrom = static_cast<int>(m_stack.size());
            return;
        }
        const char *q = m_p + 1;
        while (q < m_end && isLetter(*q))
            ++q;
        const RtfWords::WordInfo info = RtfWords::lookup(std::string_view(m_p + 1, static_cast<size_t>(q - m_p - 1)));
        if (info.word == RtfWords::Word::Destination && info.destination != RtfWords::Destination::Text)
            m_skipFrom = static_cast<int>(m_stack.size());
    }

    void control()
    {
        if (m_p >= m_end)
            return;
        if (!isLetter(*m_p)) {
            const char symbol = *m_p++;
            if (symbol == '\'') {
                m_p += qMin<qsizetype>(2, m_end - m_p);
                text();
            } else if (symbol == '\\' || symbol == '{' || symbol == '}' || symbol == '~' || symbol == '_') {
                text();
            }
            return;
        }
        const char *start = m_p;
        while (m_p < m_end && isLetter(*m_p))
            ++m_p;
        const std::string_view name(start, static_cast<size_t>(m_p - start));
        if (m_p < m_end && *m_p == '-')
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
        if (m_rows == 0) {
            m_columns = cells;
        } else if (cells != m_columns) {
            m_stopped = true; // another layout: another table
            return;
        }
        ++m_rows;
        if ((m_rows + 1) * m_columns > MaxTableCells)
            m_stopped = true;
    }

    const char *m_p;
    const char *const m_end;
    std::vector<char> m_stack; // the in-table state of the groups around
    bool m_inTable = true; // the text that opened the table is in it
    int m_skipFrom = -1; // depth of a group whose content is not text
    int m_cells = 0;
    int m_rows = 0;
    int m_columns = 1;
    bool m_stopped = false;
};

} // namespace

int RtfTableReader::countRows(QByteArrayView data, int *columns, int cellsDone)
{
    return RowScanner(data, cellsDone).run(columns);
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
    return m_placedCell == m_row * m_columns + qMin(m_column, m_columns - 1) && (m_column < m_columns || m_tabPlaced);
}

RtfTableReader::Move RtfTableReader::place(bool inTable, QByteArrayView ahead, const QTextCharFormat &format,
                                           int cellsDone)
{
    if (!inTable) {
        if (!m_table)
            return Move::None;
        close();
        return Move::NewBlock;
    }
    if (m_table && m_row >= m_rows)
        close(); // full: the rows that follow make the next table
    if (!m_table) {
        open(ahead, cellsDone);
        return Move::NewBlock;
    }
    Move move = Move::None;
    const int target = m_row * m_columns + qMin(m_column, m_columns - 1);
    while (m_placedCell < target) {
        // The cursor is in the last paragraph of its cell: the next one starts the next cell.
        // (By position: a move by block would ask the layout, which has not seen the edit yet.)
        m_cursor.setPosition(m_cursor.block().next().position());
        ++m_placedCell;
        move = Move::NewBlock;
    }
    if (m_column >= m_columns && !m_tabPlaced) {
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
    m_column = qMin(m_column + 1, m_columns);
    m_tabPlaced = false;
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

void RtfTableReader::open(QByteArrayView ahead, int cellsDone)
{
    int columns = 1;
    const int rows = qMax(1, countRows(ahead, &columns, cellsDone));
    QTextTableFormat format;
    // For layouts that know only one width per column (Qt's own): the row definition at hand.
    format.setBorder(0);
    format.setCellSpacing(0);
    format.setCellPadding(m_gapTwips / 15.0);
    format.setLeftMargin(qMax(0, m_leftTwips) / 15.0);
    if (static_cast<int>(m_cells.size()) == columns) {
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
    m_cursor.setPosition(m_table->lastPosition() + 1);
    m_table = nullptr;
}

void RtfTableReader::applyRowFormat(int row)
{
    for (int column = 0; column < m_columns; ++column) {
        QTextTableCell cell = m_table->cellAt(row, column);
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
        }
        cell.setFormat(format);
    }
}
