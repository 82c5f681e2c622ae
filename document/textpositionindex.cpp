#include "textpositionindex.h"

#include "sjistext.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {
constexpr qint64 BreakBytes = 2; // CR LF
}

TextPositionIndex::TextPositionIndex(QTextDocument *document, QObject *parent)
    : QObject(parent)
    , m_document(document)
{
    // A document without a layout never reports its changes: make sure it has one.
    document->documentLayout();
    connect(document, &QTextDocument::contentsChange, this, &TextPositionIndex::onContentsChange);
    rebuild();
}

void TextPositionIndex::suspend()
{
    m_suspended = true;
}

void TextPositionIndex::resume()
{
    m_suspended = false;
    rebuild();
}

TextPositionIndex::Paragraph TextPositionIndex::measureBlockNumber(int blockNumber) const
{
    const QString text = m_document->findBlockByNumber(blockNumber).text();
    const SjisText::TextMeasure m = SjisText::measure(text);
    return { m.bytes, m.characters };
}

void TextPositionIndex::rebuild()
{
    m_long = LongParagraph {};
    m_paragraphs.clear();
    m_paragraphs.reserve(static_cast<size_t>(m_document->blockCount()));
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        if (block.length() == 1) { // an empty paragraph: no text to fetch
            m_paragraphs.push_back({ 0, 0 });
            continue;
        }
        const SjisText::TextMeasure m = SjisText::measure(block.text());
        m_paragraphs.push_back({ m.bytes, m.characters });
    }
    m_treesStale = true;
}

void TextPositionIndex::rebuildTrees() const
{
    std::vector<int64_t> bytes;
    std::vector<int64_t> characters;
    bytes.reserve(m_paragraphs.size());
    characters.reserve(m_paragraphs.size());
    for (const Paragraph &p : m_paragraphs) {
        bytes.push_back(p.bytes + BreakBytes);
        characters.push_back(p.characters + BreakBytes);
    }
    m_byteTree.assign(bytes);
    m_characterTree.assign(characters);
    m_treesStale = false;
}

void TextPositionIndex::onContentsChange(int position, int charsRemoved, int charsAdded)
{
    if (m_suspended) {
        m_long = LongParagraph {};
        return;
    }
    const int newCount = m_document->blockCount();
    const int oldCount = static_cast<int>(m_paragraphs.size());
    const int lastPosition = qMax(0, m_document->characterCount() - 1);
    const int first = m_document->findBlock(qMin(position, lastPosition)).blockNumber();
    const int newLast = m_document->findBlock(qMin(position + charsAdded, lastPosition)).blockNumber();
    if (first < 0 || newLast < first) {
        rebuild();
        return;
    }
    // Paragraphs first..newLast now stand where first..oldLast stood; the rest are unchanged.
    const int oldLast = newLast - (newCount - oldCount);
    if (oldLast < first - 1 || oldLast >= oldCount) {
        rebuild();
        return;
    }
    if (newCount == oldCount && first == newLast && charsRemoved == 0 && charsAdded > 0
        && followInsertion(first, position, charsAdded))
        return;
    if (newCount == oldCount && first == newLast && charsAdded == 0 && charsRemoved > 0
        && followRemoval(first, position, charsRemoved))
        return;
    m_long = LongParagraph {};
    std::vector<Paragraph> replacement;
    replacement.reserve(static_cast<size_t>(newLast - first + 1));
    for (int b = first; b <= newLast; ++b)
        replacement.push_back(measureBlockNumber(b));

    // Paragraphs measured again where they stand; with new ones added at the end (a text read in
    // parts), the sums grow without a rebuild.
    const bool inPlace = newCount == oldCount;
    const bool appended = !m_treesStale && oldLast == oldCount - 1 && newCount > oldCount;
    if (inPlace || appended) {
        for (int b = first; b <= newLast; ++b) {
            const Paragraph &now = replacement[static_cast<size_t>(b - first)];
            if (b > oldLast) {
                m_paragraphs.push_back(now);
                m_byteTree.push_back(now.bytes + BreakBytes);
                m_characterTree.push_back(now.characters + BreakBytes);
                continue;
            }
            const Paragraph &old = m_paragraphs[static_cast<size_t>(b)];
            addToMeasure(b, now.bytes - old.bytes, now.characters - old.characters);
        }
        return;
    }
    auto begin = m_paragraphs.begin() + first;
    m_paragraphs.erase(begin, m_paragraphs.begin() + (oldLast + 1));
    m_paragraphs.insert(m_paragraphs.begin() + first, replacement.begin(), replacement.end());
    m_treesStale = true;
}

void TextPositionIndex::addToMeasure(int blockNumber, qint64 bytes, qint64 characters)
{
    Paragraph &p = m_paragraphs[static_cast<size_t>(blockNumber)];
    p.bytes += bytes;
    p.characters += characters;
    if (!m_treesStale) {
        m_byteTree.add(static_cast<size_t>(blockNumber), bytes);
        m_characterTree.add(static_cast<size_t>(blockNumber), characters);
    }
}

bool TextPositionIndex::followInsertion(int blockNumber, int position, int charsAdded)
{
    // Text typed into a paragraph adds its own measure: the paragraph (which may be very long)
    // is not measured again. Not where the insertion could pair with a neighbouring surrogate.
    // Within the paragraph: a range reaching into a table's next cell reads as a cell selection.
    const QTextBlock block = m_document->findBlockByNumber(blockNumber);
    const int start = qMax(block.position(), position - 1);
    QTextCursor range(m_document);
    range.setPosition(start);
    range.setPosition(qMin(block.position() + block.length() - 1, position + charsAdded + 1), QTextCursor::KeepAnchor);
    const QString around = range.selectedText();
    for (QChar c : around) {
        if (c.isSurrogate() || c == QChar::ParagraphSeparator)
            return false;
    }
    const QStringView inserted = QStringView(around).mid(position - start, charsAdded);
    const SjisText::TextMeasure m = SjisText::measure(inserted);
    if (m_long.blockNumber == blockNumber)
        m_long.insert(position - block.position(), inserted, m.bytes, m.characters);
    addToMeasure(blockNumber, m.bytes, m.characters);
    return true;
}

bool TextPositionIndex::followRemoval(int blockNumber, int position, int charsRemoved)
{
    // Text deleted from the long paragraph looked into last: the kept copy of its text says what
    // went, so the paragraph is not measured again. Not next to a surrogate, which could pair
    // with another after the deletion.
    if (m_long.blockNumber != blockNumber)
        return false;
    const QTextBlock block = m_document->findBlockByNumber(blockNumber);
    const qsizetype at = position - block.position();
    const QStringView text(m_long.text);
    if (at < 0 || at + charsRemoved > text.size() || text.size() - charsRemoved != block.length() - 1)
        return false;
    const qsizetype from = qMax<qsizetype>(0, at - 1);
    const qsizetype to = qMin(text.size(), at + charsRemoved + 1);
    for (QChar c : text.mid(from, to - from)) {
        if (c.isSurrogate() || c == QChar::ParagraphSeparator)
            return false;
    }
    const SjisText::TextMeasure m = SjisText::measure(text.mid(at, charsRemoved));
    m_long.remove(at, charsRemoved, m.bytes, m.characters);
    addToMeasure(blockNumber, -m.bytes, -m.characters);
    return true;
}

void TextPositionIndex::LongParagraph::insert(qsizetype at, QStringView added, qint64 addedBytes,
                                              qint64 addedCharacters)
{
    text.insert(at, added);
    for (size_t k = 0; k < units.size(); ++k) {
        if (units[k] <= at)
            continue;
        units[k] += added.size();
        bytes[k] += addedBytes;
        characters[k] += addedCharacters;
    }
}

void TextPositionIndex::LongParagraph::remove(qsizetype at, qsizetype removed, qint64 removedBytes,
                                              qint64 removedCharacters)
{
    text.remove(at, removed);
    size_t kept = 0;
    for (size_t k = 0; k < units.size(); ++k) {
        // A checkpoint inside the deleted text goes with it.
        if (units[k] > at && units[k] < at + removed)
            continue;
        if (units[k] > at) {
            units[k] -= removed;
            bytes[k] -= removedBytes;
            characters[k] -= removedCharacters;
        }
        units[kept] = units[k];
        bytes[kept] = bytes[k];
        characters[kept] = characters[k];
        ++kept;
    }
    units.resize(kept);
    bytes.resize(kept);
    characters.resize(kept);
}

qint64 TextPositionIndex::byteLength() const
{
    if (m_treesStale)
        rebuildTrees();
    return m_byteTree.prefix(m_paragraphs.size()) - BreakBytes;
}

qint64 TextPositionIndex::characterCount() const
{
    if (m_treesStale)
        rebuildTrees();
    return m_characterTree.prefix(m_paragraphs.size()) - BreakBytes;
}

qint64 TextPositionIndex::bytePosition(int documentPosition) const
{
    if (m_treesStale)
        rebuildTrees();
    documentPosition = qBound(0, documentPosition, qMax(0, m_document->characterCount() - 1));
    const QTextBlock block = m_document->findBlock(documentPosition);
    const int number = block.blockNumber();
    const qint64 start = m_byteTree.prefix(static_cast<size_t>(number));
    const int inBlock = documentPosition - block.position();
    if (inBlock == 0)
        return start;
    return start + byteOffsetIn(number, inBlock);
}

TextPositionIndex::CaretBytes TextPositionIndex::caretBytes(int documentPosition, int lineStartPosition) const
{
    if (m_treesStale)
        rebuildTrees();
    documentPosition = qBound(0, documentPosition, qMax(0, m_document->characterCount() - 1));
    const QTextBlock block = m_document->findBlock(documentPosition);
    const auto number = static_cast<size_t>(block.blockNumber());
    CaretBytes place;
    if (m_suspended || m_paragraphs.size() != static_cast<size_t>(m_document->blockCount())) {
        // In the middle of a bulk change the paragraphs are not followed: the separate answers,
        // which keep within what is known.
        place.byte = bytePosition(documentPosition);
        place.charactersBefore = charactersBefore(place.byte);
        place.lineStartByte = bytePosition(lineStartPosition);
        return place;
    }
    const qint64 startByte = m_byteTree.prefix(number);
    const int inBlock = documentPosition - block.position();
    const int lineIn = qBound(0, lineStartPosition - block.position(), inBlock);
    place.byte = startByte;
    place.charactersBefore = m_characterTree.prefix(number);
    place.lineStartByte = startByte;
    if (inBlock == 0)
        return place;
    const int blockNumber = static_cast<int>(number);
    const qint64 bytesIn = byteOffsetIn(blockNumber, inBlock);
    place.byte += bytesIn;
    place.lineStartByte += lineIn == 0 ? 0 : byteOffsetIn(blockNumber, lineIn);
    const Paragraph &p = m_paragraphs[number];
    place.charactersBefore += bytesIn >= p.bytes ? p.characters : charactersBeforeIn(blockNumber, bytesIn);
    return place;
}

int TextPositionIndex::paragraphAtByte(qint64 &pos) const
{
    const qint64 length = byteLength();
    pos = qBound<qint64>(0, pos, length);
    size_t index = m_byteTree.countWithin(pos);
    if (index >= m_paragraphs.size())
        index = m_paragraphs.size() - 1;
    pos -= m_byteTree.prefix(index);
    return static_cast<int>(index);
}

int TextPositionIndex::documentPosition(qint64 bytePosition) const
{
    if (m_treesStale)
        rebuildTrees();
    qint64 inParagraph = bytePosition;
    const int index = paragraphAtByte(inParagraph);
    const QTextBlock block = m_document->findBlockByNumber(index);
    if (inParagraph == 0)
        return block.position();
    const Paragraph &p = m_paragraphs[static_cast<size_t>(index)];
    if (inParagraph >= p.bytes) // at the end, or on the LF of the break
        return block.position() + block.length() - 1;
    return block.position() + static_cast<int>(utf16OffsetIn(index, inParagraph));
}

qint64 TextPositionIndex::charactersBefore(qint64 n) const
{
    if (n <= 0)
        return 0;
    if (m_treesStale)
        rebuildTrees();
    qint64 inParagraph = n;
    const int index = paragraphAtByte(inParagraph);
    const qint64 before = m_characterTree.prefix(static_cast<size_t>(index));
    if (inParagraph == 0)
        return before;
    const Paragraph &p = m_paragraphs[static_cast<size_t>(index)];
    if (inParagraph >= p.bytes) // the CR counts; the LF too once past it
        return before + p.characters + qMin<qint64>(inParagraph - p.bytes, BreakBytes);
    return before + charactersBeforeIn(index, inParagraph);
}

const TextPositionIndex::LongParagraph *TextPositionIndex::longParagraph(int number) const
{
    if (m_long.blockNumber == number)
        return &m_long;
    const QTextBlock block = m_document->findBlockByNumber(number);
    if (block.length() <= LongParagraph::MinimumUnits)
        return nullptr;
    LongParagraph p;
    p.blockNumber = number;
    p.text = block.text();
    const QStringView text(p.text);
    qsizetype at = 0;
    qint64 bytes = 0;
    qint64 characters = 0;
    while (true) {
        p.units.push_back(at);
        p.bytes.push_back(bytes);
        p.characters.push_back(characters);
        if (at >= text.size())
            break;
        qsizetype next = qMin(at + LongParagraph::Stride, text.size());
        if (next < text.size() && text.at(next - 1).isHighSurrogate() && text.at(next).isLowSurrogate())
            ++next;
        const SjisText::TextMeasure m = SjisText::measure(text.mid(at, next - at));
        bytes += m.bytes;
        characters += m.characters;
        at = next;
    }
    m_long = std::move(p);
    return &m_long;
}

size_t TextPositionIndex::checkpointAtUnit(const LongParagraph &p, qsizetype utf16Offset)
{
    const auto it = std::upper_bound(p.units.begin(), p.units.end(), utf16Offset);
    return static_cast<size_t>(qMax<qsizetype>(0, (it - p.units.begin()) - 1));
}

size_t TextPositionIndex::checkpointAtByte(const LongParagraph &p, qint64 byteOffset)
{
    const auto it = std::upper_bound(p.bytes.begin(), p.bytes.end(), byteOffset);
    return static_cast<size_t>(qMax<qsizetype>(0, (it - p.bytes.begin()) - 1));
}

qint64 TextPositionIndex::byteOffsetIn(int number, qsizetype utf16Offset) const
{
    const LongParagraph *p = longParagraph(number);
    if (!p)
        return SjisText::byteOffset(m_document->findBlockByNumber(number).text(), utf16Offset);
    utf16Offset = qBound<qsizetype>(0, utf16Offset, p->text.size());
    const size_t k = checkpointAtUnit(*p, utf16Offset);
    return p->bytes[k] + SjisText::byteOffset(QStringView(p->text).mid(p->units[k]), utf16Offset - p->units[k]);
}

qsizetype TextPositionIndex::utf16OffsetIn(int number, qint64 byteOffset) const
{
    const LongParagraph *p = longParagraph(number);
    if (!p)
        return SjisText::utf16Offset(m_document->findBlockByNumber(number).text(), byteOffset);
    byteOffset = qMax<qint64>(0, byteOffset);
    const size_t k = checkpointAtByte(*p, byteOffset);
    return p->units[k] + SjisText::utf16Offset(QStringView(p->text).mid(p->units[k]), byteOffset - p->bytes[k]);
}

qint64 TextPositionIndex::charactersBeforeIn(int number, qint64 byteOffset) const
{
    const LongParagraph *p = longParagraph(number);
    if (!p)
        return SjisText::charactersBefore(m_document->findBlockByNumber(number).text(), byteOffset);
    if (byteOffset <= 0)
        return 0;
    // A character whose first byte lies before the offset counts: start at the last checkpoint
    // strictly before it.
    const size_t k = checkpointAtByte(*p, byteOffset - 1);
    return p->characters[k]
        + SjisText::charactersBefore(QStringView(p->text).mid(p->units[k]), byteOffset - p->bytes[k]);
}
