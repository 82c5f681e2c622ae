#include "rtfcellmerges.h"

#include "document/tablecells.h"
#include "rtfkept.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

namespace {

// Groups the file keeps between cells (after a cell's \cell) are read into the next cell. A cell
// merged away that holds nothing else gives them to the end of the cell before it, so that the
// merge adds no paragraph of theirs to the merged cell.
void moveKeptGroups(QTextTable &table, const QTextTableCell &cell)
{
    if (cell.firstPosition() >= cell.lastPosition())
        return;
    QTextDocument *document = cell.firstCursorPosition().document();
    std::vector<QTextCharFormat> anchors;
    for (QTextBlock block = document->findBlock(cell.firstPosition()); block.isValid() && block.position() <= cell.lastPosition();
         block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (RtfKept::keptGroup(fragment.charFormat()).isEmpty()
                || fragment.text() != QString(fragment.length(), QChar::ObjectReplacementCharacter))
                return;
            anchors.insert(anchors.end(), size_t(fragment.length()), fragment.charFormat());
        }
    }
    const QTextTableCell before = table.cellAt(cell.firstPosition() - 1);
    if (!before.isValid())
        return;
    QTextCursor cursor(document);
    cursor.setPosition(cell.firstPosition());
    cursor.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.setPosition(before.lastPosition());
    for (const QTextCharFormat &format : anchors)
        cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
}

} // namespace

void RtfCellMerges::clear()
{
    m_merges.clear();
    m_open.clear();
    m_lastRow = -1;
}

void RtfCellMerges::noteRow(int row, const std::vector<Slot> &places)
{
    // Runs from the row above continue only into the row just below.
    if (row != m_lastRow + 1)
        m_open.clear();
    m_lastRow = row;
    std::vector<Open> open;
    size_t above = 0;
    for (size_t k = 0; k < places.size();) {
        size_t end = k + 1;
        if (places[k].flags & First) {
            while (end < places.size() && (places[end].flags & (First | Next)) == Next)
                ++end;
        }
        const int column = places[k].column;
        const int columnEnd = places[end - 1].columnEnd;
        while (above < m_open.size() && m_open[above].column < column)
            ++above;
        if ((places[k].flags & VerticalNext) && above < m_open.size() && m_open[above].column == column
            && m_open[above].columnEnd == columnEnd) {
            Merge &merge = m_merges[m_open[above].merge];
            merge.rows = row - merge.row + 1;
            open.push_back(m_open[above]);
        } else if ((end - k > 1 || (places[k].flags & VerticalFirst)) && m_merges.size() < MaxMerges) {
            Merge merge { row, column, 1, columnEnd - column, places[end - 1].rightTwips, {} };
            for (size_t s = k; s + 1 < end; ++s)
                merge.rights += (s > k ? QStringLiteral(",") : QString()) + QString::number(places[s].rightTwips);
            if (places[k].flags & VerticalFirst)
                open.push_back({ column, columnEnd, m_merges.size() });
            m_merges.push_back(std::move(merge));
        }
        k = end;
    }
    m_open = std::move(open);
}

void RtfCellMerges::apply(QTextTable &table, int rows)
{
    for (const Merge &merge : m_merges) {
        if (merge.row >= rows)
            continue;
        const int spanRows = qMin(merge.rows, rows - merge.row);
        for (int r = merge.row; r < merge.row + spanRows; ++r) {
            for (int c = merge.column; c < merge.column + merge.columns; ++c) {
                const QTextTableCell covered = table.cellAt(r, c);
                if ((r > merge.row || c > merge.column) && covered.row() == r && covered.column() == c)
                    moveKeptGroups(table, covered);
            }
        }
        if (spanRows > 1 || merge.columns > 1)
            table.mergeCells(merge.row, merge.column, spanRows, merge.columns);
        QTextTableCell cell = table.cellAt(merge.row, merge.column);
        if (!cell.isValid() || merge.rights.isEmpty())
            continue;
        QTextCharFormat format = cell.format();
        format.setProperty(TableCells::RightTwips, merge.rightTwips);
        format.setProperty(TableCells::MergedRights, merge.rights);
        cell.setFormat(format);
    }
    clear();
}
