#include "rtftablewriter.h"

#include "document/tablecells.h"

#include <QTextTable>

namespace RtfTableWriter {

QByteArray rowDefinition(const QTextTable &table, int row, const std::function<int(QRgb)> &colorIndex)
{
    QByteArray out;
    const int columns = table.columns();
    const TableCells::CellBox first = TableCells::boxOf(table, row, 0);
    out += "\\trowd\\trgaph" + QByteArray::number(first.gapTwips) + "\\trleft" + QByteArray::number(first.leftTwips);
    static const char *const sides[4] = { "\\clbrdrt", "\\clbrdrl", "\\clbrdrb", "\\clbrdrr" };
    for (int column = 0; column < columns; ++column) {
        const QTextTableCell cell = table.cellAt(row, column);
        if (cell.column() != column)
            continue; // a cell spanning columns is written once, at its right edge
        const int last = column + cell.columnSpan() - 1;
        const TableCells::CellBox box = TableCells::boxOf(table, row, last);
        const TableCells::CellBox own = last == column ? box : TableCells::boxOf(table, row, column);
        for (int side = 0; side < 4; ++side) {
            if (own.borders[side] > 0)
                out += QByteArray(sides[side]) + "\\brdrs\\brdrw" + QByteArray::number(own.borders[side]);
        }
        const QTextCharFormat format = cell.format();
        if (format.hasProperty(TableCells::Shading))
            out += "\\clcbpat" + QByteArray::number(colorIndex(QRgb(format.intProperty(TableCells::Shading))));
        out += "\\cellx" + QByteArray::number(box.rightTwips);
    }
    out += "\r\n";
    return out;
}

} // namespace RtfTableWriter
