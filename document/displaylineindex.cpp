#include "displaylineindex.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

DisplayLineIndex::DisplayLineIndex(QTextDocument *document, QObject *parent)
    : QObject(parent)
    , m_document(document)
{
    connect(document, &QTextDocument::contentsChange, this, &DisplayLineIndex::onContentsChange);
    invalidateAll();
}

void DisplayLineIndex::invalidateAll()
{
    m_counts.assign(static_cast<size_t>(m_document->blockCount()), Unknown);
    m_forgotten.clear();
    m_frontier = 0;
    m_treeStale = true;
    m_width = m_document->textWidth();
}

void DisplayLineIndex::resume()
{
    m_suspended = false;
    invalidateAll();
}

void DisplayLineIndex::checkLayoutWidth()
{
    if (m_document->textWidth() != m_width)
        invalidateAll();
}

void DisplayLineIndex::onContentsChange(int position, int /*charsRemoved*/, int charsAdded)
{
    if (m_suspended)
        return;
    const int newCount = m_document->blockCount();
    const int oldCount = static_cast<int>(m_counts.size());
    const int lastPosition = qMax(0, m_document->characterCount() - 1);
    const int first = m_document->findBlock(qMin(position, lastPosition)).blockNumber();
    const int newLast = m_document->findBlock(qMin(position + charsAdded, lastPosition)).blockNumber();
    const int delta = newCount - oldCount;
    const int oldLast = newLast - delta;
    if (first < 0 || newLast < first || oldLast < first - 1 || oldLast >= oldCount) {
        invalidateAll();
        return;
    }
    if (delta == 0) {
        for (int b = first; b <= newLast; ++b) {
            int &count = m_counts[static_cast<size_t>(b)];
            if (count != Unknown) {
                if (!m_treeStale)
                    m_tree.add(static_cast<size_t>(b), -count);
                count = Unknown;
                m_forgotten.push_back(b);
            }
        }
        return;
    }
    m_counts.erase(m_counts.begin() + first, m_counts.begin() + (oldLast + 1));
    m_counts.insert(m_counts.begin() + first, static_cast<size_t>(newLast - first + 1), Unknown);
    // Forgotten paragraphs after the change move with it; those inside it are gone.
    std::vector<int> kept;
    kept.reserve(m_forgotten.size());
    for (int b : m_forgotten) {
        if (b < first)
            kept.push_back(b);
        else if (b > oldLast)
            kept.push_back(b + delta);
    }
    m_forgotten.swap(kept);
    if (first < m_frontier) {
        m_frontier = qMax(first, m_frontier + delta);
        for (int b = first; b <= newLast && b < m_frontier; ++b)
            m_forgotten.push_back(b);
    }
    m_treeStale = true;
}

int DisplayLineIndex::layoutLineCount(int blockNumber) const
{
    const QTextBlock block = m_document->findBlockByNumber(blockNumber);
    const QTextLayout *layout = block.layout();
    return layout ? qMax(1, layout->lineCount()) : 1;
}

void DisplayLineIndex::learn(int blockNumber, int lineCount)
{
    m_counts[static_cast<size_t>(blockNumber)] = lineCount;
    if (!m_treeStale)
        m_tree.add(static_cast<size_t>(blockNumber), lineCount);
}

void DisplayLineIndex::learnUpTo(int blockNumber)
{
    checkLayoutWidth();
    blockNumber = qMin(blockNumber, static_cast<int>(m_counts.size()) - 1);
    if (blockNumber < 0)
        return;
    // Laying out through the last paragraph needed also relays every changed one before it.
    int needed = blockNumber;
    if (m_frontier > blockNumber)
        needed = -1;
    for (int b : m_forgotten) {
        if (b <= blockNumber)
            needed = qMax(needed, b);
    }
    if (needed >= 0) {
        const QTextBlock last = m_document->findBlockByNumber(needed);
        m_document->documentLayout()->blockBoundingRect(last);
    }
    auto it = std::partition(m_forgotten.begin(), m_forgotten.end(),
                             [blockNumber](int b) { return b > blockNumber; });
    for (auto learnt = it; learnt != m_forgotten.end(); ++learnt) {
        if (m_counts[static_cast<size_t>(*learnt)] == Unknown)
            learn(*learnt, layoutLineCount(*learnt));
    }
    m_forgotten.erase(it, m_forgotten.end());
    if (m_frontier <= blockNumber) {
        QTextBlock block = m_document->findBlockByNumber(m_frontier);
        for (int b = m_frontier; b <= blockNumber && block.isValid(); ++b, block = block.next()) {
            const QTextLayout *layout = block.layout();
            learn(b, layout ? qMax(1, layout->lineCount()) : 1);
        }
        m_frontier = blockNumber + 1;
    }
}

void DisplayLineIndex::ensureTree()
{
    if (!m_treeStale)
        return;
    std::vector<int64_t> values(m_counts.begin(), m_counts.end());
    for (int64_t &v : values)
        v = qMax<int64_t>(v, 0);
    m_tree.assign(values);
    m_treeStale = false;
}

int DisplayLineIndex::lineOfPosition(int documentPosition, int *lineStart)
{
    documentPosition = qBound(0, documentPosition, qMax(0, m_document->characterCount() - 1));
    const QTextBlock block = m_document->findBlock(documentPosition);
    const int number = block.blockNumber();
    learnUpTo(number);
    ensureTree();
    const int before = static_cast<int>(m_tree.prefix(static_cast<size_t>(number)));
    const QTextLayout *layout = block.layout();
    if (lineStart)
        *lineStart = block.position();
    if (!layout || layout->lineCount() == 0)
        return before;
    QTextLine line = layout->lineForTextPosition(documentPosition - block.position());
    if (!line.isValid())
        line = layout->lineAt(layout->lineCount() - 1);
    if (lineStart)
        *lineStart += line.textStart();
    return before + line.lineNumber();
}

int DisplayLineIndex::lineStart(int line)
{
    if (line < 0)
        return -1;
    const int blocks = static_cast<int>(m_counts.size());
    // Learn paragraphs in growing steps until the line is reached or the document ends.
    int learnt = qMin(qMax(m_frontier, 64), blocks) - 1;
    for (;;) {
        learnUpTo(learnt);
        ensureTree();
        if (m_tree.prefix(static_cast<size_t>(learnt + 1)) > line || learnt >= blocks - 1)
            break;
        learnt = qMin(blocks - 1, learnt + qMax(64, learnt));
    }
    const size_t index = m_tree.countWithin(line);
    if (index >= m_counts.size() || static_cast<int>(index) > learnt)
        return -1;
    const QTextBlock block = m_document->findBlockByNumber(static_cast<int>(index));
    const int inBlock = line - static_cast<int>(m_tree.prefix(index));
    const QTextLayout *layout = block.layout();
    if (!layout || inBlock >= layout->lineCount())
        return block.position();
    return block.position() + layout->lineAt(inBlock).textStart();
}

int DisplayLineIndex::lineCount()
{
    learnUpTo(static_cast<int>(m_counts.size()) - 1);
    return lineOfPosition(qMax(0, m_document->characterCount() - 1)) + 1;
}
