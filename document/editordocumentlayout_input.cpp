// Lines kept across changes that Qt reports only in part: an input method's events, and a
// paragraph split in two.

#include "editordocumentlayout.h"

#include "paragraphlines.h"

#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

void EditorDocumentLayout::holdLinesForInput(const QTextBlock &block)
{
    dropHeldLines();
    QTextLayout *layout = ParagraphLines::existingLayout(block);
    const int number = block.blockNumber();
    if (!layout || m_allDirty || number < 0 || number >= m_metrics.size())
        return;
    const BlockMetrics::Entry e = m_metrics.at(number);
    if (!e.exact)
        return;
    m_inputHold.lines = ParagraphLines::copyLines(layout, e.height - e.margin);
    if (!m_inputHold.lines)
        return;
    m_inputHold.number = number;
    m_inputHold.text = ParagraphLines::layoutText(layout);
}

void EditorDocumentLayout::dropHeldLines()
{
    m_inputHold.number = -1;
    m_inputHold.text.clear();
    m_inputHold.lines.reset();
}

void EditorDocumentLayout::keepHeldLines(int number, QTextLayout *layout)
{
    // The change is what lies between the texts' common start and common end.
    const QString now = ParagraphLines::layoutText(layout);
    const QString &before = m_inputHold.text;
    const qsizetype shorter = std::min(before.size(), now.size());
    qsizetype start = 0;
    while (start < shorter && before.at(start) == now.at(start))
        ++start;
    qsizetype end = 0;
    while (end < shorter - start && before.at(before.size() - 1 - end) == now.at(now.size() - 1 - end))
        ++end;
    m_inputHold.lines->setEdit(int(start), int(before.size() - start - end), int(now.size() - start - end));
    m_kept[number] = std::move(m_inputHold.lines);
    dropHeldLines();
}

// The paragraph that was `first` alone now ends where the inserted text's paragraph break
// stands: its lines, still in the first half's layout, serve both halves.
void EditorDocumentLayout::keepLinesAcrossSplit(const QTextBlock &first, int at, int removed, int added)
{
    const int number = first.blockNumber();
    QTextLayout *layout = ParagraphLines::existingLayout(first);
    if (!layout || number < 0 || number >= m_metrics.size() || !layout->preeditAreaText().isEmpty())
        return;
    const BlockMetrics::Entry e = m_metrics.at(number);
    if (!e.exact)
        return;
    const int firstAdded = first.length() - 1 - at; // the inserted text before the break
    const int secondAdded = added - firstAdded - 1; // and after it
    auto head = ParagraphLines::copyLines(layout, e.height - e.margin);
    auto tail = ParagraphLines::copyLines(layout, e.height - e.margin);
    if (!head || !tail || firstAdded < 0 || secondAdded < 0)
        return;
    const int oldLength = head->expectedLength();
    head->setEdit(at, oldLength - at, firstAdded);
    tail->setEdit(0, at + removed, secondAdded);
    if (head->expectedLength() != first.length() - 1 || tail->expectedLength() != first.next().length() - 1)
        return;
    m_kept[number] = std::move(head);
    m_kept[number + 1] = std::move(tail);
}
