#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class QTextTable;

// Merged cells as RTF marks them in the row definitions: \clmgf and \clmrg for the first and the
// following cells of a horizontal merge, \clvmgf and \clvmrg for the first and the following
// rows of a vertical one (the following cells are empty in the data). The table reader notes
// each row's cells as the row ends and makes the merges when the table is complete, so that the
// text of every cell first goes where the data puts it. A mark without its first cell (a
// \clvmrg with nothing above, a \clmrg after an unmerged cell, a run whose columns differ
// from the row above) leaves its cell on its own. Each table gets at most MaxMerges merges.
class RtfCellMerges {
public:
    enum Flag : uint8_t { First = 1, Next = 2, VerticalFirst = 4, VerticalNext = 8 };
    // Each merge costs Qt a walk over the table's cells.
    static constexpr size_t MaxMerges = 1024;

    // One cell of a row definition: the table columns it covers, its right edge and its marks.
    struct Slot {
        int column = 0;
        int columnEnd = 1;
        int rightTwips = 0;
        uint8_t flags = 0;
    };

    void clear();
    // The cells of row `row`, left to right; rows are noted in order, each once.
    void noteRow(int row, const std::vector<Slot> &places);
    // Merges the cells noted in the first `rows` rows of `table`. A cell merged from several
    // cells of a row keeps their right edges (TableCells::MergedRights) to write them again.
    void apply(QTextTable &table, int rows);

private:
    struct Merge {
        int row = 0;
        int column = 0;
        int rows = 1;
        int columns = 1;
        int rightTwips = 0;
        QString rights; // the right edges of the merged row cells but the last
    };
    // A merge whose cell the next row may continue.
    struct Open {
        int column = 0;
        int columnEnd = 0;
        size_t merge = 0;
    };
    std::vector<Merge> m_merges;
    std::vector<Open> m_open; // those of the row noted last, left to right
    int m_lastRow = -1;
};
