#pragma once

#include "document/tablecells.h"
#include "rtfcellmerges.h"
#include "rtftables.h"
#include "rtfwords.h"

#include <QByteArrayView>
#include <QTextCursor>

#include <vector>

class QTextTable;

// The tables of an RTF file as the reader meets them: row definitions (\trowd, \trgaph,
// \trleft, \clbrdr* with \brdr*, \cellx) and where the text of \intbl paragraphs goes. A table
// is made at once with as many rows as a look ahead at the data finds for it (rows with the same
// number of cells, up to the first paragraph outside the table), so that reading costs the
// same for each row however long the table is. A row with more cells than its table keeps the
// extra cells' text in its last cell after a tab. Rows whose definitions differ in their cells
// share one table (up to MaxShapedCells cells): its columns stand at all their cells' right
// edges, each cell spanning the columns it covers. A table that runs out of rows is followed by
// another; rows the look ahead found but the text did not fill are removed. Nested tables
// (\nestcell, \nestrow) are read as text of their cell. Cells marked as merged (see
// RtfCellMerges) are merged when the table is complete. Every number is clamped.
class RtfTableReader {
public:
    // `colors`: the file's colour table, for the cells' shading.
    RtfTableReader(QTextCursor &cursor, const RtfTables::ColorTable &colors)
        : m_cursor(cursor)
        , m_colors(colors)
    {
    }

    // The words of a row definition (\trowd, \trgaph, \trleft, \clbrdr* with \brdr*, \cellx);
    // false for the other words. `side` is the word's WordInfo::character.
    bool applyWord(RtfWords::Word word, char16_t side, bool hasParameter, int parameter);

    // -- Text --
    // Where the look ahead starts: the rest of the data, and the closing braces after which the
    // field the reader is in ends (0: it is in none), for the fields the reader keeps whole, and
    // after which the document ends (0: not known), past which the reader reads nothing.
    struct Ahead {
        QByteArrayView data;
        int fieldCloses = 0;
        int documentCloses = 0;
    };
    bool isOpen() const { return m_table != nullptr; }
    // Whether text of a paragraph in or outside a table can go where the cursor is.
    bool isPlaced(bool inTable) const;
    enum class Move { None, NewBlock };
    // Moves the cursor to where such text goes, opening or closing a table; `ahead` is the rest
    // of the data, for the look ahead. NewBlock: the cursor is at the start of a paragraph
    // not yet written to. A tab the text needs before it is inserted in `format`.
    // `cellsDone`: cells of the first row already ended (a table opened by \cell).
    Move place(bool inTable, const Ahead &ahead, const QTextCharFormat &format, int cellsDone = 0);
    void endCell(); // \cell
    // Whether the row's last cell has ended and its \row not yet come.
    bool afterLastCell() const;
    void endRow(); // \row
    // Ends the table at the end of the data.
    void finish();

    // The look ahead: rows of the table starting at `data`, and the cells in its first row.
    static int countRows(const Ahead &ahead, int *columns, int cellsDone = 0);

private:
    struct Cell {
        int rightTwips = 0;
        int borders[4] = { 0, 0, 0, 0 };
        // Shading: colour table indices of the background and the pattern, and how much of the
        // pattern covers the background, in hundredths of a percent.
        int background = 0;
        int pattern = 0;
        int shading = 0;
        uint8_t merge = 0; // RtfCellMerges::Flag
    };
    // The colour a cell's shading shows; false for none.
    bool shadingOf(const Cell &cell, QRgb *rgb) const;
    void open(const Ahead &ahead, int cellsDone);
    // Rows that differ in their cells (their right edges, `shapes`) share the columns of all
    // their edges, each cell spanning those it covers: returns those edges (empty for rows
    // alike) and notes where each cell starts.
    std::vector<int> shapeRows(const std::vector<std::vector<int>> &shapes);
    void mergeShapedRows(int columns);
    int cellsIn(int row) const { return m_rowCells.empty() ? m_columns : m_rowCells[size_t(row)]; }
    int cellsBefore(int row) const { return m_rowCells.empty() ? row * m_columns : m_cellsBefore[size_t(row)]; }
    int columnOf(int row, int cell) const { return m_rowCells.empty() ? cell : m_starts[size_t(row)][size_t(cell)]; }
    void close();
    void applyRowFormat(int row);

    QTextCursor &m_cursor;
    const RtfTables::ColorTable &m_colors;
    // The row definition in effect.
    std::vector<Cell> m_cells;
    int m_gapTwips = TableCells::DefaultGapTwips;
    bool m_gapGiven = false; // \trgaph seen in this row
    int m_leftTwips = 0;
    Cell m_pendingBorders;
    int m_borderSide = -1;

    QTextTable *m_table = nullptr;
    int m_rows = 0;
    int m_columns = 0;
    int m_row = 0; // where the next text goes
    int m_column = 0;
    int m_placedCell = 0; // the cell the cursor is in (row * columns + column)
    bool m_tabPlaced = false; // the extra cell under way has its tab
    // Where the rows differ in their cells: each row's count, the cells before it, and the
    // column each cell starts at. Empty for a table of rows alike.
    std::vector<int> m_rowCells;
    std::vector<int> m_cellsBefore;
    std::vector<std::vector<int>> m_starts;
    RtfCellMerges m_merges;
};
