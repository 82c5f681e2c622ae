// The display-line queries of the editor's document layout and the laying out they need: every
// paragraph before the one asked about is laid out first, its lines then dropped unless recently
// used, so that line numbers are exact whatever was estimated.

#include "editordocumentlayout.h"

#include <QElapsedTimer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

void EditorDocumentLayout::ensureExactThrough(int number)
{
    layOutInexactThrough(number, -1);
}

bool EditorDocumentLayout::layOutInexactThrough(int number, int budgetMs)
{
    if (m_allDirty && canLayOut())
        rebuildAll();
    QElapsedTimer spent;
    spent.start();
    int next = m_metrics.firstInexact(0);
    QTextBlock block;
    while (next >= 0 && next <= number) {
        if (budgetMs >= 0 && spent.elapsed() >= budgetMs)
            return false;
        block = block.isValid() && block.blockNumber() + 1 == next ? block.next() : document()->findBlockByNumber(next);
        // A huge paragraph alone would take longer than any budget: it is left to the
        // background, in part meanwhile.
        if (budgetMs >= 0 && canBePartial(block, next))
            return false;
        layOutBlock(block, next, Keep::NumbersOnly, Correction::Report);
        next = m_metrics.firstInexact(next + 1);
    }
    return true;
}

bool EditorDocumentLayout::layOutThrough(int position, int budgetMs)
{
    if (!canLayOut())
        return true;
    QTextDocument *doc = document();
    const int number = doc->findBlock(qBound(0, position, qMax(0, doc->characterCount() - 1))).blockNumber();
    return layOutInexactThrough(number, budgetMs);
}

void EditorDocumentLayout::layOutAll()
{
    if (!canLayOut())
        return;
    ensureExactThrough(m_metrics.size() - 1);
}

int EditorDocumentLayout::lineOfPosition(int position, int *lineStart)
{
    if (canLayOut())
        layOutThrough(position, -1);
    bool exact = true;
    return lineOfPositionNow(position, lineStart, &exact);
}

int EditorDocumentLayout::lineOfPositionNow(int position, int *lineStart, bool *exact)
{
    QTextDocument *doc = document();
    position = qBound(0, position, qMax(0, doc->characterCount() - 1));
    const QTextBlock block = doc->findBlock(position);
    if (lineStart)
        *lineStart = block.position();
    *exact = true;
    if (!canLayOut())
        return 0;
    if (m_allDirty)
        rebuildAll();
    const int number = block.blockNumber();
    if (number >= m_metrics.size())
        return 0; // asked inside an edit block, before the change reaches the layout
    if (canBePartial(block, number)) {
        int start = 0;
        const int line = partLineOf(block, number, position - block.position(), &start);
        if (line >= 0) {
            const int firstInexact = m_metrics.firstInexact(0);
            *exact = firstInexact < 0 || firstInexact >= number;
            if (lineStart)
                *lineStart += start;
            return static_cast<int>(m_metrics.linesBefore(number)) + line;
        }
    }
    const QTextLayout *layout = readyLayout(block, number);
    const int firstInexact = m_metrics.firstInexact(0);
    *exact = firstInexact < 0 || firstInexact > number;
    const int before = static_cast<int>(m_metrics.linesBefore(number));
    if (layout->lineCount() == 0)
        return before;
    QTextLine line = layout->lineForTextPosition(position - block.position());
    if (!line.isValid())
        line = layout->lineAt(layout->lineCount() - 1);
    if (lineStart)
        *lineStart += line.textStart();
    return before + line.lineNumber();
}

int EditorDocumentLayout::lineStart(int line)
{
    if (line < 0 || !canLayOut())
        return -1;
    if (m_allDirty)
        rebuildAll();
    // The paragraph the line falls in may move as the estimates before it are made real.
    int number = m_metrics.indexAtLine(line);
    for (;;) {
        ensureExactThrough(number);
        const int now = m_metrics.indexAtLine(line);
        if (now <= number) {
            number = now;
            break;
        }
        number = now;
    }
    if (number < 0 || line >= m_metrics.linesBefore(number) + m_metrics.at(number).lines)
        return -1;
    const QTextBlock block = document()->findBlockByNumber(number);
    const QTextLayout *layout = readyLayout(block, number);
    const int inBlock = line - static_cast<int>(m_metrics.linesBefore(number));
    if (inBlock >= layout->lineCount())
        return block.position();
    return block.position() + layout->lineAt(inBlock).textStart();
}

int EditorDocumentLayout::lineCount()
{
    if (!canLayOut())
        return 1;
    layOutAll();
    return static_cast<int>(qMax<qint64>(1, m_metrics.totalLines()));
}
