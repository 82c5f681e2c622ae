#pragma once

#include <QByteArray>
#include <QRgb>

#include <functional>

class QTextTable;

// The RTF of tables: a row definition before each row's first paragraph, as word processors
// write it and read it back. A row's cells in the RTF are the cells that begin in it and, for
// merged cells, the places they cover: a cell merged from several cells of its row
// (TableCells::MergedRights) is written as those cells (\clmgf, then \clmrg), and a cell
// spanning rows is written in each of them (\clvmgf, then \clvmrg). The places a merged cell
// covers hold no text: each is an empty cell in the data.
namespace RtfTableWriter {

using ColorIndex = std::function<int(QRgb)>;

// "\trowd\trgaphG\trleftL" with, for each cell of the row, its merge marks, its borders
// (\clbrdrX\brdrs\brdrwN), a shaded cell's colour (\clcbpatN, by the index `colorIndex` gives
// it in the colour table) and "\cellxN", from the cells' formats.
QByteArray rowDefinition(const QTextTable &table, int row, const ColorIndex &colorIndex);

// What goes before the first paragraph of the cell at `row`, `column` (where a cell begins):
// at a row's first cell, the row's definition; then the empty cells that come before it.
QByteArray beforeCell(const QTextTable &table, int row, int column, const ColorIndex &colorIndex);
// What goes after the "\cell" of that cell: the empty cells after it up to the row's next
// cell; after the row's last cell, "\row", and the rows after it that hold no cell of their
// own (each with its definition and empty cells).
QByteArray afterCell(const QTextTable &table, int row, int column, const ColorIndex &colorIndex);

} // namespace RtfTableWriter
