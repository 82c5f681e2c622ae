#include "tablecells.h"

#include "pictures.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>

namespace TableCells {

namespace {

// Properties that make a cell's format a cell's, not its text's: its place in the table, its
// geometry and borders.
bool isCellProperty(int property)
{
    return property == QTextFormat::ObjectIndex || property == QTextFormat::ObjectType
        || (property >= QTextFormat::TableCellRowSpan && property <= QTextFormat::TableCellRightBorderBrush)
        || (property >= RightTwips && property <= MergedRights);
}

// The text part of a format: what is not a cell's, and no picture.
QTextCharFormat textPart(QTextCharFormat format)
{
    const auto properties = format.properties();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        if (isCellProperty(it.key()))
            format.clearProperty(it.key());
    }
    Pictures::withoutPicture(format);
    format.clearProperty(QTextFormat::ObjectType);
    return format;
}

// The top-level table whose frame begins (position) or ends (position + 1, after its end) at a
// position, or null.
QTextTable *tableWithEdgeAt(const QTextDocument &document, int position, bool atEnd)
{
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    for (QTextFrame *frame : frames) {
        // The frame's begin and end marks stand just before its first and after its last position.
        if ((atEnd ? frame->lastPosition() + 1 : frame->firstPosition() - 1) == position)
            return qobject_cast<QTextTable *>(frame);
    }
    return nullptr;
}

// Empties a cell of its text, keeping the text's format on it.
void emptyCell(QTextTableCell &cell)
{
    if (cell.firstPosition() >= cell.lastPosition())
        return;
    const QTextCharFormat text = textFormatOf(cell);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    keepTextFormat(cell, text);
}

void clearSelectedCells(QTextCursor &cursor)
{
    QTextTable *table = cursor.currentTable();
    int firstRow = 0;
    int rows = 0;
    int firstColumn = 0;
    int columns = 0;
    cursor.selectedTableCells(&firstRow, &rows, &firstColumn, &columns);
    if (!table || rows <= 0 || columns <= 0)
        return;
    for (int row = firstRow; row < firstRow + rows; ++row) {
        for (int column = firstColumn; column < firstColumn + columns; ++column) {
            QTextTableCell cell = table->cellAt(row, column);
            // A merged cell is emptied where the selection first meets it.
            if (cell.isValid() && (cell.row() == row || row == firstRow)
                && (cell.column() == column || column == firstColumn))
                emptyCell(cell);
        }
    }
    cursor.setPosition(table->cellAt(firstRow, firstColumn).firstPosition());
}

// A selection in one cell, or one that runs over whole tables.
void removeRange(QTextCursor &cursor)
{
    QTextDocument &document = *cursor.document();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    if (QTextTable *table = cursor.currentTable()) {
        QTextTableCell cell = table->cellAt(start);
        const QTextCharFormat text = textFormatOf(cell);
        cursor.removeSelectedText();
        if (cell.firstPosition() == cell.lastPosition())
            keepTextFormat(cell, text);
        return;
    }
    // A paragraph break at a table's edge belongs to the table; with the table gone, one stays.
    const bool fromEdge = start > 0 && tableWithEdgeAt(document, start, false);
    const bool toEdge = tableWithEdgeAt(document, end, true);
    if (!fromEdge && !toEdge) {
        cursor.removeSelectedText();
        return;
    }
    const QTextBlock after = document.findBlock(end);
    const QTextBlockFormat afterFormat = after.blockFormat();
    const QTextCharFormat afterCharFormat = after.charFormat();
    cursor.removeSelectedText();
    cursor.insertBlock(afterFormat, afterCharFormat);
    if (!fromEdge)
        cursor.setPosition(start);
}

} // namespace

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
    spot.lastInRow = lastCellOfRow(*table, cell.row()).column() == cell.column();
    return spot;
}

QTextTableCell firstCellOfRow(const QTextTable &table, int row)
{
    for (int column = 0; column < table.columns();) {
        const QTextTableCell cell = table.cellAt(row, column);
        if (!cell.isValid())
            break;
        if (cell.row() == row)
            return cell;
        column = cell.column() + cell.columnSpan();
    }
    return {};
}

QTextTableCell lastCellOfRow(const QTextTable &table, int row)
{
    for (int column = table.columns() - 1; column >= 0;) {
        const QTextTableCell cell = table.cellAt(row, column);
        if (!cell.isValid())
            break;
        if (cell.row() == row)
            return cell;
        column = cell.column() - 1;
    }
    return {};
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
    // Cells in the order their texts stand: a merged cell once, where it begins.
    QTextTableCell target;
    if (step == CellStep::Next) {
        if (cell.lastPosition() < table->lastPosition()) {
            target = table->cellAt(cell.lastPosition() + 1);
        } else {
            // A new row, each cell as wide and bordered as the one above it, its text to come
            // in the format of the text above it.
            cursor.beginEditBlock();
            const int row = table->rows();
            table->appendRows(1);
            for (int c = 0; c < table->columns(); ++c) {
                const QTextTableCell above = table->cellAt(row - 1, c);
                QTextCharFormat format = above.format();
                format.clearProperty(MergedRights);
                QTextTableCell added = table->cellAt(row, c);
                added.setFormat(format);
                keepTextFormat(added, textFormatOf(above));
            }
            cursor.endEditBlock();
            target = table->cellAt(row, 0);
        }
    } else {
        if (cell.firstPosition() <= table->firstPosition())
            return true;
        target = table->cellAt(cell.firstPosition() - 1);
    }
    if (!target.isValid())
        return true;
    cursor.setPosition(target.firstPosition());
    cursor.setPosition(target.lastPosition(), QTextCursor::KeepAnchor);
    return true;
}

bool selectsAcrossCells(const QTextCursor &cursor)
{
    if (!cursor.hasSelection() || !hasTables(*cursor.document()))
        return false;
    if (cursor.hasComplexSelection())
        return true;
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    const QList<QTextFrame *> frames = cursor.document()->rootFrame()->childFrames();
    for (const QTextFrame *frame : frames) {
        if (start < frame->firstPosition() && frame->lastPosition() < end)
            return true;
    }
    return false;
}

void removeSelection(QTextCursor &cursor)
{
    if (!cursor.hasSelection())
        return;
    QTextCharFormat typing;
    cursor.beginEditBlock();
    if (cursor.hasComplexSelection()) {
        clearSelectedCells(cursor);
        typing = textPart(cursor.charFormat());
    } else {
        if (cursor.currentTable()) {
            QTextCursor first = cursor;
            first.setPosition(cursor.selectionStart() + 1);
            typing = textPart(first.charFormat());
        }
        removeRange(cursor);
    }
    cursor.endEditBlock();
    if (typing.isValid() && !typing.properties().isEmpty())
        cursor.setCharFormat(typing);
}

QTextDocumentFragment withoutTables(const QTextDocumentFragment &fragment)
{
    QTextDocument source;
    source.setUndoRedoEnabled(false);
    QTextCursor(&source).insertFragment(fragment);
    if (!hasTables(source))
        return fragment;
    // The empty paragraphs a document keeps before a table at its start and after one at its
    // end are no text of the fragment.
    QTextBlock first = source.begin();
    if (first.length() == 1 && QTextCursor(first.next()).currentTable())
        first = first.next();
    QTextBlock last = source.lastBlock();
    if (last != first && last.length() == 1 && QTextCursor(last.previous()).currentTable())
        last = last.previous();
    QTextDocument flat;
    flat.setUndoRedoEnabled(false);
    QTextCursor out(&flat);
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        // Format indexes belong to their document: list membership does not travel.
        QTextBlockFormat blockFormat = block.blockFormat();
        blockFormat.clearProperty(QTextFormat::ObjectIndex);
        const QTextCharFormat charFormat = textPart(block.charFormat());
        if (block == first) {
            out.setBlockFormat(blockFormat);
            out.setBlockCharFormat(charFormat);
        } else {
            out.insertBlock(blockFormat, charFormat);
        }
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment piece = it.fragment();
            if (piece.isValid())
                out.insertText(piece.text(), piece.charFormat());
        }
        if (block == last)
            break;
    }
    return QTextDocumentFragment(&flat);
}

QTextCharFormat textFormatOf(const QTextTableCell &cell)
{
    const QTextDocument *document = cell.firstCursorPosition().document();
    const int last = cell.lastPosition();
    for (QTextBlock block = document->findBlock(cell.firstPosition()); block.isValid() && block.position() <= last;
         block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().isValid())
                return textPart(it.fragment().charFormat());
        }
    }
    return textPart(cell.format());
}

void keepTextFormat(QTextTableCell &cell, const QTextCharFormat &text)
{
    const QTextCharFormat old = cell.format();
    QTextCharFormat format;
    const auto own = old.properties();
    for (auto it = own.cbegin(); it != own.cend(); ++it) {
        if (isCellProperty(it.key()))
            format.setProperty(it.key(), it.value());
    }
    const auto kept = textPart(text).properties();
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        format.setProperty(it.key(), it.value());
    if (format != old)
        cell.setFormat(format);
}

bool typingFormat(const QTextCursor &cursor, QTextCharFormat *format)
{
    const QTextCharFormat current = cursor.charFormat();
    if (current.objectType() != QTextFormat::TableCellObject)
        return false;
    *format = textPart(current);
    return true;
}

} // namespace TableCells
