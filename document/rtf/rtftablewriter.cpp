#include "rtftablewriter.h"

#include "document/tablecells.h"

#include <QTextTable>

#include <vector>

namespace {

// One cell of a row as the RTF has it.
struct Slot {
    QTextTableCell cell;
    int column = 0; // the table column the Qt cell starts at
    int rightTwips = 0;
    const char *horizontal = nullptr; // "clmgf", "clmrg" or none
    const char *vertical = nullptr; // "clvmgf", "clvmrg" or none
    bool holdsText = false; // the cell's paragraphs are written here
};

// The right edges of a cell merged from several cells of its row: those it keeps, then its own.
// Each of those cells is written again, even where the file gave them no width or edges out of
// order (each is then kept between its neighbours): the row has as many cells as the file's,
// and reads back as the same row.
std::vector<int> rightsOf(const QTextTableCell &cell, int leftTwips, int rightTwips)
{
    std::vector<int> rights;
    const QTextCharFormat format = cell.format();
    if (format.hasProperty(TableCells::MergedRights)) {
        int before = leftTwips;
        const QStringList parts = format.stringProperty(TableCells::MergedRights).split(u',');
        for (const QString &part : parts) {
            bool ok = false;
            const int edge = part.toInt(&ok);
            if (!ok || rights.size() + 1 >= size_t(TableCells::MaxColumns))
                return { rightTwips };
            before = qBound(before, edge, rightTwips);
            rights.push_back(before);
        }
    }
    rights.push_back(rightTwips);
    return rights;
}

// The row's cells left to right, their edges found as TableCells::boxOf finds them, in one pass.
std::vector<Slot> slotsOf(const QTextTable &table, int row)
{
    using namespace TableCells;
    std::vector<Slot> places;
    const QTextCharFormat first = table.cellAt(row, 0).format();
    int previousRight = qBound(-MaxTwips, first.hasProperty(LeftTwips) ? first.intProperty(LeftTwips) : 0, MaxTwips);
    for (int column = 0; column < table.columns(); ++column) {
        const QTextTableCell cell = table.cellAt(row, column);
        if (!cell.isValid())
            break;
        const QTextCharFormat format = cell.format();
        const int given = format.hasProperty(RightTwips) ? format.intProperty(RightTwips) : previousRight + DefaultCellTwips;
        const int right = qMax(previousRight, qBound(-MaxTwips, given, 2 * MaxTwips));
        if (cell.column() == column) {
            const std::vector<int> rights = rightsOf(cell, previousRight, right);
            const char *vertical = cell.rowSpan() < 2 ? nullptr : cell.row() == row ? "clvmgf" : "clvmrg";
            for (size_t i = 0; i < rights.size(); ++i) {
                const char *horizontal = rights.size() < 2 ? nullptr : i == 0 ? "clmgf" : "clmrg";
                places.push_back({ cell, column, rights[i], horizontal, vertical, i == 0 && cell.row() == row });
            }
        }
        previousRight = right;
    }
    return places;
}

// Empty cells, each in a paragraph of the table.
QByteArray emptyCells(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "\\intbl\\cell ";
    return out;
}

} // namespace

namespace RtfTableWriter {

QByteArray rowDefinition(const QTextTable &table, int row, const ColorIndex &colorIndex)
{
    QByteArray out;
    const TableCells::CellBox first = TableCells::boxOf(table, row, 0);
    out += "\\trowd\\trgaph" + QByteArray::number(first.gapTwips) + "\\trleft" + QByteArray::number(first.leftTwips);
    static const char *const sides[4] = { "\\clbrdrt", "\\clbrdrl", "\\clbrdrb", "\\clbrdrr" };
    for (const Slot &slot : slotsOf(table, row)) {
        if (slot.vertical)
            out += QByteArray("\\") + slot.vertical;
        if (slot.horizontal)
            out += QByteArray("\\") + slot.horizontal;
        const TableCells::CellBox own = TableCells::boxOf(table, row, slot.column);
        for (int side = 0; side < 4; ++side) {
            if (own.borders[side] > 0)
                out += QByteArray(sides[side]) + "\\brdrs\\brdrw" + QByteArray::number(own.borders[side]);
        }
        const QTextCharFormat format = slot.cell.format();
        if (format.hasProperty(TableCells::Shading))
            out += "\\clcbpat" + QByteArray::number(colorIndex(QRgb(format.intProperty(TableCells::Shading))));
        out += "\\cellx" + QByteArray::number(slot.rightTwips);
    }
    out += "\r\n";
    return out;
}

QByteArray beforeCell(const QTextTable &table, int row, int column, const ColorIndex &colorIndex)
{
    const std::vector<Slot> places = slotsOf(table, row);
    int empty = 0;
    bool first = true;
    for (const Slot &slot : places) {
        if (slot.holdsText && slot.column == column)
            break;
        if (slot.holdsText) {
            first = false;
            empty = 0;
        } else {
            ++empty;
        }
    }
    return (first ? rowDefinition(table, row, colorIndex) : QByteArray()) + emptyCells(first ? empty : 0);
}

QByteArray afterCell(const QTextTable &table, int row, int column, const ColorIndex &colorIndex)
{
    const std::vector<Slot> places = slotsOf(table, row);
    size_t k = 0;
    while (k < places.size() && !(places[k].holdsText && places[k].column == column))
        ++k;
    int empty = 0;
    for (++k; k < places.size() && !places[k].holdsText; ++k)
        ++empty;
    QByteArray out = emptyCells(empty);
    if (k < places.size())
        return out;
    out += "\\row ";
    // Rows whose every cell continues a cell from above have no paragraph of their own.
    for (int next = row + 1; next < table.rows() && !TableCells::firstCellOfRow(table, next).isValid(); ++next) {
        out += "\r\n" + rowDefinition(table, next, colorIndex);
        out += emptyCells(static_cast<int>(slotsOf(table, next).size())) + "\\row ";
    }
    return out;
}

} // namespace RtfTableWriter
