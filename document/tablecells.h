#pragma once

#include <QTextFormat>

class QTextBlock;
class QTextCursor;
class QTextDocument;
class QTextDocumentFragment;
class QTextTable;
class QTextTableCell;

// Tables as the document keeps them: a QTextTable per table, each cell's geometry and borders as
// RTF gives them, in twips, on the cell's format (its right edge from the row's left, the
// space between text and cell edge, borders per side), so that they read back and write out
// unchanged whatever the screen's resolution. A row of cells is a row of the table; every
// cell holds at least one paragraph.
namespace TableCells {

enum Property {
    RightTwips = QTextFormat::UserProperty + 0x1900, // \cellx: right edge, from the page's left margin
    GapTwips, // \trgaph: half the space between the texts of two cells
    LeftTwips, // \trleft: where the row begins, from the page's left margin
    BorderTop, // border widths in twips, absent: no border
    BorderLeft,
    BorderBottom,
    BorderRight,
    Shading, // the cell's background as a QRgb (\clcbpat, \clcfpat, \clshdng); absent: none
    // A cell merged from several cells of its row (\clmgf, \clmrg): the right edges of those
    // cells but the last, "1800,3600"; absent: a cell of its own, however many columns it spans.
    MergedRights,
};

// Word processors allow at most this many cells in a row.
constexpr int MaxColumns = 63;
constexpr int MaxTwips = 31680; // 22 inches: no page is wider
constexpr int MaxBorderTwips = 255;
// Without a width, a cell is this wide (1.25 inches).
constexpr int DefaultCellTwips = 1800;
constexpr int DefaultGapTwips = 108;
constexpr int ThinBorderTwips = 10;

// The cell geometry of one cell, from its format (defaults where it says nothing).
struct CellBox {
    int leftTwips = 0; // the cell's left edge
    int rightTwips = 0;
    int gapTwips = 0;
    int borders[4] = { 0, 0, 0, 0 }; // top, left, bottom, right; 0: none
};

// Where a paragraph stands in a table.
struct Spot {
    QTextTable *table = nullptr; // null: not in a table
    int row = 0;
    int column = 0;
    bool firstInCell = false;
    bool lastInCell = false;
    bool lastInRow = false; // the last cell of its row
};

// True when the document holds a table at all: the checks below can then be skipped.
bool hasTables(const QTextDocument &document);
// The spot of a paragraph; O(log n).
Spot spotOf(const QTextBlock &block);
// The first and the last cell that begins in a row (a row whose every cell is merged into the
// row above has none: an invalid cell). A row's paragraphs run from the one to the other.
QTextTableCell firstCellOfRow(const QTextTable &table, int row);
QTextTableCell lastCellOfRow(const QTextTable &table, int row);
// The geometry of a cell of a table row (column from 0): a cell without widths of its own
// follows the one before it.
CellBox boxOf(const QTextTable &table, int row, int column);

// Tab and Shift+Tab in a table, as in a word processor: the caret goes to the next (previous)
// cell, in the order the cells' texts stand (a merged cell comes once, where it begins), and
// selects its text; Tab in the last cell adds a row like the last one and goes there,
// Shift+Tab in the first cell stays. False when the cursor is not in a table.
enum class CellStep { Next, Previous };
bool stepCell(QTextCursor &cursor, CellStep step);

// -- Deleting in and around tables, as a word processor does --
//
// A selection from one cell into another selects whole cells (QTextCursor's complex
// selection): deleting it empties exactly those cells and keeps the table as it is. A
// selection that leaves a table covers the whole table (Qt widens it to the table's edges):
// deleting it removes the table, and the paragraph breaks at the table's edges, which belong to
// the table, stay as one break, so the text before the table and the text after it stay in
// paragraphs of their own. A cell left empty keeps its text's character format, which text
// typed into it takes.

// Whether the cursor's selection is one of those: whole cells, or over a table's edge.
bool selectsAcrossCells(const QTextCursor &cursor);
// Deletes the selection as described, as one undo step. The cursor is left where text typed
// next goes: in the first selected cell, where the selection began, or (when the selection
// began at a table's edge) at the start of the paragraph after the table; in a cell with the
// format of the first character selected, which text typed in its place takes.
void removeSelection(QTextCursor &cursor);
// A fragment to insert into a table cell: its tables, which a cell cannot hold, as their cells'
// paragraphs one after the other. Any other fragment comes back as it is.
QTextDocumentFragment withoutTables(const QTextDocumentFragment &fragment);

// The character format of a cell's text: its first character's, or for an empty cell the one
// it keeps; without the cell's own properties and without a picture.
QTextCharFormat textFormatOf(const QTextTableCell &cell);
// Makes `text` the format an empty cell keeps for its text (on the cell's format, as the empty
// paragraph's character format, which sizes its line and which text typed there takes).
void keepTextFormat(QTextTableCell &cell, const QTextCharFormat &text);
// The format text typed at the cursor should take, when the cursor's own format is a cell's
// (the cursor is in an empty cell): the text part of it. False when it needs no change.
bool typingFormat(const QTextCursor &cursor, QTextCharFormat *format);

} // namespace TableCells
