// Tables in the editor's document layout. A table row is laid out as a whole: each cell's
// paragraphs are broken to the cell's width (its edges from the cell format, in twips, less
// the row's gap on either side) and stacked in the cell; the row is as tall as its tallest cell.
// In the metrics tree the row's first paragraph carries the row's height and the others none,
// so that the sums that place paragraphs place rows, and an edit in a cell costs its row.

#include "editordocumentlayout.h"

#include "paragraphlines.h"
#include "tablecells.h"

#include <QPainter>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>

namespace {

// Space above and below a cell's text, pixels at 96 to the inch.
constexpr qreal CellPaddingPixels = 1;
// The narrowest text column a cell gets, pixels.
constexpr qreal NarrowestCellPixels = 4;

struct RowRange {
    QTextTable *table = nullptr;
    int row = 0;
    QTextBlock first;
    int firstNumber = 0;
};

RowRange rowOf(const QTextBlock &block)
{
    RowRange r;
    QTextTable *table = QTextCursor(block).currentTable();
    if (!table)
        return r;
    const QTextTableCell cell = table->cellAt(block.position());
    if (!cell.isValid())
        return r;
    r.table = table;
    r.row = cell.row();
    r.first = block.document()->findBlock(TableCells::firstCellOfRow(*table, r.row).firstPosition());
    r.firstNumber = r.first.blockNumber();
    return r;
}

} // namespace

qint64 EditorDocumentLayout::twipsToFixed(int twips) const
{
    return toFixed(twips / 15.0 * dpiScale());
}

EditorDocumentLayout::CellColumn EditorDocumentLayout::cellColumn(const QTextTable &table, int row, int column) const
{
    const TableCells::CellBox box = TableCells::boxOf(table, row, column);
    CellColumn c;
    c.left = twipsToFixed(box.leftTwips);
    c.right = qMax(c.left, twipsToFixed(box.rightTwips));
    c.textLeft = c.left + twipsToFixed(box.gapTwips);
    c.textRight = qMax(c.textLeft + toFixed(NarrowestCellPixels * dpiScale()), c.right - twipsToFixed(box.gapTwips));
    for (int side = 0; side < 4; ++side)
        c.borders[side] = box.borders[side] > 0 ? qMax<qint64>(64, twipsToFixed(box.borders[side])) : 0;
    return c;
}

bool EditorDocumentLayout::layOutTableRow(const QTextBlock &block, Keep keep, Correction correction)
{
    if (!m_hasTables)
        return false;
    const RowRange range = rowOf(block);
    if (!range.table)
        return false;
    QTextTable &table = *range.table;
    const qint64 padding = toFixed(CellPaddingPixels * dpiScale());
    struct Laid {
        QTextBlock block;
        qint64 x;
        qint64 y;
        int lines;
    };
    std::vector<Laid> laid;
    // The cells' texts start on one line, below the thickest top border of the row.
    std::vector<std::pair<QTextTableCell, CellColumn>> cells;
    qint64 top = 0;
    qint64 bottom = 0;
    for (int column = 0; column < table.columns(); ++column) {
        const QTextTableCell cell = table.cellAt(range.row, column);
        if (!cell.isValid() || cell.column() != column || cell.row() != range.row)
            continue;
        cells.emplace_back(cell, cellColumn(table, range.row, column));
        top = qMax(top, cells.back().second.borders[0]);
        bottom = qMax(bottom, cells.back().second.borders[2]);
    }
    qint64 rowHeight = 0;
    for (const auto &[cell, c] : cells) {
        qint64 y = padding + top;
        for (QTextBlock b = document()->findBlock(cell.firstPosition()); b.isValid() && b.position() <= cell.lastPosition();
             b = b.next()) {
            // The layout stands at the cell's text left, its lines within the cell's width: a
            // line's x is its indent, as in any paragraph, which the text control's update
            // rectangles (the block's top left plus the caret's x) rely on.
            qint64 rightIndent = 0;
            ParagraphLines::Geometry g = geometryOf(b, &rightIndent);
            g.right = c.textRight - c.textLeft - rightIndent;
            int lines = 0;
            if (b.isVisible()) {
                const ParagraphLines::Result r = ParagraphLines::layOut(b.layout(), g);
                lines = r.lines;
                laid.push_back({ b, c.textLeft, y, lines });
                y += r.height;
            } else {
                b.layout()->clearLayout();
                laid.push_back({ b, c.textLeft, y, 0 });
            }
        }
        rowHeight = qMax(rowHeight, y + padding + bottom);
        m_widest = qMax(m_widest, c.right);
    }
    m_largestRow = std::max(m_largestRow, laid.size());
    // The row's paragraphs in document order, the first carrying the row's height.
    std::sort(laid.begin(), laid.end(), [](const Laid &a, const Laid &b) { return a.block.position() < b.block.position(); });
    qint64 oldHeight = 0;
    bool wasExact = true;
    int number = range.firstNumber;
    for (const Laid &l : laid) {
        if (number >= m_metrics.size())
            break; // the metrics are being built: the rest are estimated and laid out later
        const BlockMetrics::Entry old = m_metrics.at(number);
        oldHeight += old.height;
        wasExact = wasExact && old.exact;
        BlockMetrics::Entry e;
        e.exact = true;
        e.lines = l.lines;
        e.height = number == range.firstNumber ? rowHeight : 0;
        m_metrics.set(number, e);
        m_cellPlaces[l.block.fragmentIndex()] = { l.x, l.y, number == range.firstNumber ? 0 : rowHeight };
        if (keep == Keep::Lines)
            touch(number);
        else if (!m_recentSet.count(number) && l.block.layout()->preeditAreaText().isEmpty())
            freeBlockLayout(l.block);
        ++number;
    }
    if (correction == Correction::Report && !wasExact && oldHeight != rowHeight) {
        const qreal oldBottom = toPixels(m_frame.top + m_metrics.heightBefore(range.firstNumber) + oldHeight);
        if (m_drawing) {
            m_sizePending = true;
            m_sizeTimer.start(0, this);
        } else {
            reportCorrection(oldBottom, rowHeight - oldHeight);
        }
    }
    return true;
}

const EditorDocumentLayout::CellPlace *EditorDocumentLayout::cellPlaceOf(const QTextBlock &block) const
{
    if (!m_hasTables)
        return nullptr;
    const auto found = m_cellPlaces.find(block.fragmentIndex());
    if (found == m_cellPlaces.end() || !QTextCursor(block).currentTable())
        return nullptr;
    return &found->second;
}

bool EditorDocumentLayout::placeCellLayout(QTextLayout *layout, const QTextBlock &block, int number) const
{
    const CellPlace *place = cellPlaceOf(block);
    if (!place)
        return false;
    const qint64 y = m_frame.top + m_metrics.heightBefore(number) - place->rowAbove + place->y;
    layout->setPosition(QPointF(toPixels(m_frame.left + place->x), toPixels(y)));
    return true;
}

qint64 EditorDocumentLayout::rowTopOf(const QTextBlock &block, int number) const
{
    const CellPlace *place = cellPlaceOf(block);
    return m_frame.top + m_metrics.heightBefore(number) - (place ? place->rowAbove : 0);
}

QRectF EditorDocumentLayout::tableRowRect(const QTextBlock &block)
{
    if (!canLayOut() || !m_hasTables)
        return QRectF();
    if (m_allDirty)
        rebuildAll();
    const RowRange range = rowOf(block);
    if (!range.table)
        return QRectF();
    readyLayout(range.first, range.firstNumber);
    const qint64 top = m_frame.top + m_metrics.heightBefore(range.firstNumber);
    const qint64 height = m_metrics.at(range.firstNumber).height;
    return QRectF(toPixels(m_frame.left), toPixels(top), toPixels(qMax(m_frame.contentWidth, m_widest)), toPixels(height));
}

bool EditorDocumentLayout::drawTableRow(QPainter *painter, const PaintContext &context, QTextBlock &block, int &number,
                                        const QRectF &frameClip)
{
    if (!m_hasTables)
        return false;
    const RowRange range = rowOf(block);
    if (!range.table)
        return false;
    QTextTable &table = *range.table;
    // Lay the row out (through its first paragraph) before reading where it is.
    readyLayout(range.first, range.firstNumber);
    const qint64 top = m_frame.top + m_metrics.heightBefore(range.firstNumber);
    const qint64 height = m_metrics.at(range.firstNumber).height;
    const QTextTableCell lastCell = TableCells::lastCellOfRow(table, range.row);
    fillRowShading(painter, table, range.row, top, height);
    fillSelectedCells(painter, context, table, range.row, top, height);
    QTextBlock b = range.first;
    int n = range.firstNumber;
    for (; b.isValid(); b = b.next(), ++n) {
        drawBlock(painter, context, b, readyLayout(b, n), frameClip);
        block = b;
        number = n;
        if (b.position() + b.length() - 1 >= lastCell.lastPosition())
            break;
    }
    drawRowBorders(painter, table, range.row, top, height, context.palette.color(QPalette::Text));
    return true;
}

void EditorDocumentLayout::fillRowShading(QPainter *painter, const QTextTable &table, int row, qint64 top,
                                          qint64 height) const
{
    const qreal x0 = toPixels(m_frame.left);
    for (int column = 0; column < table.columns(); ++column) {
        const QTextTableCell cell = table.cellAt(row, column);
        if (!cell.isValid() || cell.column() != column || !cell.format().hasProperty(TableCells::Shading))
            continue;
        const CellColumn c = cellColumn(table, row, column);
        const QColor color = QColor::fromRgb(QRgb(cell.format().intProperty(TableCells::Shading)));
        painter->fillRect(QRectF(x0 + toPixels(c.left), toPixels(top), toPixels(c.right - c.left), toPixels(height)),
                          color);
    }
}

void EditorDocumentLayout::drawRowBorders(QPainter *painter, const QTextTable &table, int row, qint64 top,
                                          qint64 height, const QColor &color) const
{
    painter->save();
    const qreal y0 = toPixels(top);
    const qreal y1 = toPixels(top + height);
    const qreal x0 = toPixels(m_frame.left);
    for (int column = 0; column < table.columns(); ++column) {
        const QTextTableCell cell = table.cellAt(row, column);
        if (!cell.isValid() || cell.column() != column)
            continue;
        const CellColumn c = cellColumn(table, row, column);
        const qreal left = x0 + toPixels(c.left);
        const qreal right = x0 + toPixels(c.right);
        const auto line = [&](qint64 width, QLineF l) {
            if (width <= 0)
                return;
            const qreal w = toPixels(width);
            painter->fillRect(QRectF(l.p1(), l.p2()).normalized().adjusted(0, 0, l.dx() == 0 ? w : 0, l.dy() == 0 ? w : 0),
                              color);
        };
        // A cell spanning rows has its top border in its first row, its bottom one in its last.
        if (cell.row() == row)
            line(c.borders[0], QLineF(left, y0, right, y0));
        if (cell.row() + cell.rowSpan() - 1 == row)
            line(c.borders[2], QLineF(left, y1 - toPixels(c.borders[2]), right, y1 - toPixels(c.borders[2])));
        line(c.borders[1], QLineF(left, y0, left, y1));
        line(c.borders[3], QLineF(right - toPixels(c.borders[3]), y0, right - toPixels(c.borders[3]), y1));
    }
    painter->restore();
}

bool EditorDocumentLayout::drawTableRowBorders(QPainter *painter, const QTextBlock &block, const QColor &color)
{
    if (!canLayOut() || !m_hasTables)
        return false;
    if (m_allDirty)
        rebuildAll();
    const RowRange range = rowOf(block);
    if (!range.table)
        return false;
    readyLayout(range.first, range.firstNumber);
    const qint64 top = m_frame.top + m_metrics.heightBefore(range.firstNumber);
    fillRowShading(painter, *range.table, range.row, top, m_metrics.at(range.firstNumber).height);
    drawRowBorders(painter, *range.table, range.row, top, m_metrics.at(range.firstNumber).height, color);
    return true;
}

bool EditorDocumentLayout::hitTestTableRow(const QTextBlock &block, const QPointF &point, Qt::HitTestAccuracy accuracy,
                                           int *position, bool *exact) const
{
    if (!m_hasTables)
        return false;
    const RowRange range = rowOf(block);
    if (!range.table)
        return false;
    EditorDocumentLayout *layoutSelf = self();
    QTextTable &table = *range.table;
    // The cell under x, or the nearest one.
    const qint64 x = toFixed(point.x()) - m_frame.left;
    QTextTableCell hit;
    qint64 nearest = -1;
    for (int column = 0; column < table.columns(); ++column) {
        const QTextTableCell cell = table.cellAt(range.row, column);
        if (!cell.isValid() || cell.column() != column)
            continue;
        const CellColumn c = cellColumn(table, range.row, column);
        const qint64 distance = x < c.left ? c.left - x : (x > c.right ? x - c.right : 0);
        if (nearest < 0 || distance < nearest) {
            nearest = distance;
            hit = cell;
        }
    }
    if (!hit.isValid())
        return false;
    // The paragraph of the cell under y: the last one whose top is above it.
    QTextBlock target = document()->findBlock(hit.firstPosition());
    int number = target.blockNumber();
    QTextLayout *layout = layoutSelf->readyLayout(target, number);
    for (QTextBlock b = target.next(); b.isValid() && b.position() <= hit.lastPosition(); b = b.next()) {
        QTextLayout *next = layoutSelf->readyLayout(b, number + 1);
        if (next->position().y() > point.y())
            break;
        target = b;
        layout = next;
        ++number;
    }
    // The paragraph's own lines, as they are now that the cell's paragraphs were asked for.
    layout = layoutSelf->readyLayout(target, number);
    *position = qMin(hitTestBlock(target, layout, point, accuracy, exact), hit.lastPosition());
    return true;
}

QRectF EditorDocumentLayout::tableBoundingRect(QTextFrame *frame) const
{
    if (!m_hasTables || !qobject_cast<QTextTable *>(frame))
        return QRectF();
    if (m_allDirty)
        self()->rebuildAll();
    const QTextBlock first = document()->findBlock(frame->firstPosition());
    const QTextBlock last = document()->findBlock(frame->lastPosition());
    if (!first.isValid() || !last.isValid() || last.blockNumber() >= m_metrics.size())
        return QRectF(); // asked inside an edit block, before the change reaches the layout
    // The first paragraph of each row carries the row's height: the table ends where the
    // paragraph after its last one begins.
    const qreal top = toPixels(rowTopOf(first, first.blockNumber()));
    const qreal bottom = toPixels(m_frame.top + m_metrics.heightBefore(last.blockNumber() + 1));
    return QRectF(0, top, documentSize().width(), qMax<qreal>(0, bottom - top));
}

void EditorDocumentLayout::collectCellSelections(const PaintContext &context)
{
    m_cellSelections.clear();
    if (!m_hasTables)
        return;
    for (int index = 0; index < context.selections.size(); ++index) {
        const QTextCursor &cursor = context.selections.at(index).cursor;
        if (!cursor.hasComplexSelection())
            continue;
        CellSelection cells;
        cells.index = index;
        cells.table = cursor.currentTable();
        cursor.selectedTableCells(&cells.firstRow, &cells.rows, &cells.firstColumn, &cells.columns);
        if (cells.table && cells.rows > 0 && cells.columns > 0)
            m_cellSelections.push_back(cells);
    }
}

const EditorDocumentLayout::CellSelection *EditorDocumentLayout::cellSelectionOf(int index) const
{
    for (const CellSelection &cells : m_cellSelections) {
        if (cells.index == index)
            return &cells;
    }
    return nullptr;
}

bool EditorDocumentLayout::coversBlock(const CellSelection &cells, const QTextBlock &block) const
{
    if (QTextCursor(block).currentTable() != cells.table)
        return false;
    const QTextTableCell cell = cells.table->cellAt(block.position());
    return cell.isValid() && cells.covers(cell.row(), cell.column());
}

void EditorDocumentLayout::fillSelectedCells(QPainter *painter, const PaintContext &context, const QTextTable &table,
                                             int row, qint64 top, qint64 height) const
{
    for (const CellSelection &cells : m_cellSelections) {
        if (cells.table != &table || row < cells.firstRow || row >= cells.firstRow + cells.rows)
            continue;
        const QBrush brush = context.selections.at(cells.index).format.background();
        for (int column = cells.firstColumn; column < cells.firstColumn + cells.columns; ++column) {
            const QTextTableCell cell = table.cellAt(row, column);
            if (!cell.isValid() || cell.column() != column)
                continue;
            const CellColumn c = cellColumn(table, row, column);
            painter->fillRect(QRectF(toPixels(m_frame.left + c.left), toPixels(top), toPixels(c.right - c.left),
                                     toPixels(height)),
                              brush);
        }
    }
}
