#include "tablecells.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

namespace TableCells {

bool hasTables(const QTextDocument &document)
{
    return !document.rootFrame()->childFrames().isEmpty();
}

Spot spotOf(const QTextBlock &block)
{
    Spot spot;
    if (!block.isValid())
        return spot;
    QTextTable *table = QTextCursor(block).currentTable();
    if (!table)
        return spot;
    const QTextTableCell cell = table->cellAt(block.position());
    if (!cell.isValid())
        return spot;
    spot.table = table;
    spot.row = cell.row();
    spot.column = cell.column();
    spot.firstInCell = block.position() == cell.firstPosition();
    spot.lastInCell = block.position() + block.length() - 1 == cell.lastPosition();
    spot.lastInRow = cell.column() + cell.columnSpan() >= table->columns();
    return spot;
}

CellBox boxOf(const QTextTable &table, int row, int column)
{
    CellBox box;
    const QTextTableCell cell = table.cellAt(row, column);
    const QTextCharFormat format = cell.format();
    const QTextCharFormat first = column == 0 ? format : table.cellAt(row, 0).format();
    const int left = first.hasProperty(LeftTwips) ? first.intProperty(LeftTwips) : 0;
    box.gapTwips = first.hasProperty(GapTwips) ? first.intProperty(GapTwips) : DefaultGapTwips;
    box.gapTwips = qBound(0, box.gapTwips, MaxTwips);
    // The left edge is the right edge of the cell before; a cell without one is as wide as
    // the default.
    int previousRight = qBound(-MaxTwips, left, MaxTwips);
    for (int c = 0; c < column; ++c) {
        const QTextCharFormat f = table.cellAt(row, c).format();
        const int right = f.hasProperty(RightTwips) ? f.intProperty(RightTwips) : previousRight + DefaultCellTwips;
        previousRight = qMax(previousRight, qBound(-MaxTwips, right, 2 * MaxTwips));
    }
    box.leftTwips = previousRight;
    const int right = format.hasProperty(RightTwips) ? format.intProperty(RightTwips) : previousRight + DefaultCellTwips;
    box.rightTwips = qMax(previousRight, qBound(-MaxTwips, right, 2 * MaxTwips));
    for (int side = 0; side < 4; ++side) {
        const int property = BorderTop + side;
        box.borders[side] = format.hasProperty(property) ? qBound(0, format.intProperty(property), MaxBorderTwips) : 0;
    }
    return box;
}

bool stepCell(QTextCursor &cursor, CellStep step)
{
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const QTextTableCell cell = table->cellAt(cursor.position());
    if (!cell.isValid())
        return false;
    int row = cell.row();
    int column = cell.column();
    if (step == CellStep::Next) {
        column += cell.columnSpan();
        if (column >= table->columns()) {
            column = 0;
            ++row;
        }
        if (row >= table->rows()) {
            // A new row, each cell as wide and bordered as the one above it.
            cursor.beginEditBlock();
            const int last = table->rows() - 1;
            table->appendRows(1);
            for (int c = 0; c < table->columns(); ++c) {
                QTextTableCell added = table->cellAt(row, c);
                added.setFormat(table->cellAt(last, c).format());
            }
            cursor.endEditBlock();
        }
    } else {
        if (column == 0 && row == 0)
            return true;
        if (--column < 0) {
            column = table->columns() - 1;
            --row;
        }
    }
    const QTextTableCell target = table->cellAt(row, column);
    if (!target.isValid())
        return true;
    cursor.setPosition(target.firstPosition());
    cursor.setPosition(target.lastPosition(), QTextCursor::KeepAnchor);
    return true;
}

} // namespace TableCells
