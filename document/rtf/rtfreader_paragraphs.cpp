// The RTF reader: paragraphs, their lists and tables, and the pictures among their text.

#include "rtfreading.h"

#include <QTextBlock>
#include <private/qtextdocument_p.h>
#include <QTextDocument>
#include <QTextList>

namespace RtfReading {

void Reader::beginPicture()
{
    if (m_picture.isActive() && m_stack.depth() == m_picture.depth())
        return; // \pict again in the picture's own group
    const std::optional<RtfPicture::Source> source = RtfPicture::sourceIn(group().destination);
    const bool read = source && !group().chars.hidden && !m_picture.isActive();
    setDestination(read ? Destination::Picture : Destination::Skip);
    if (read)
        m_picture.begin(*source, m_stack.depth());
}

void Reader::insertPicture()
{
    const Picture picture = m_picture.finish();
    if (picture.isNull())
        return;
    // Where text would go: a picture first in a table cell goes into the cell.
    placeForTable(group().para.inTable);
    flushText();
    startPendingParagraph();
    const RtfPicture::Placement placement = m_picture.place(cursor().position());
    if (placement.replacePrevious)
        cursor().deletePreviousChar();
    if (placement.keep) {
        // A field's result: the picture is written back inside its field, which it stands for.
        const QTextCharFormat format = Pictures::charFormat(picture, formatFor(group().chars));
        cursor().insertText(QString(QChar::ObjectReplacementCharacter), m_field ? fieldFormat(format) : format);
        m_paragraphHasContent = true;
    }
    m_picture.placed(placement, cursor().position());
}

void Reader::paragraphBreak()
{
    // Only a break in the text ends a section: "\<line break>" in a header kept with the
    // section is the header's.
    const Destination d = group().destination;
    if (d != Destination::Text)
        return;
    if (m_section)
        endSection();
    fieldShapesText();
    placeForTable(group().para.inTable);
    flushText();
    startPendingParagraph();
    finishParagraph();
    // The break takes effect when something follows it: the last \par of a file ends its
    // last paragraph rather than starting an empty one.
    m_breakPending = true;
    m_paragraphHasContent = false;
}

void Reader::startPendingParagraph()
{
    if (!m_breakPending)
        return;
    m_breakPending = false;
    // In the format of the paragraph before, in its list while that has room: the next one
    // most often shares them, and then needs no format of its own when it ends.
    QTextBlockFormat format = m_blockFormatKnown ? m_blockFormat : QTextBlockFormat();
    m_insertedInList = m_lastInList && m_list && m_list->count() < MaxListItems;
    if (m_insertedInList)
        format.setObjectIndex(m_list->objectIndex());
    insertBlockAtCursor(format, formatFor(group().chars));
    m_insertedKnown = m_blockFormatKnown;
    m_insertedKey = m_blockKey;
    ++m_blockNumber;
}

// A paragraph break at the reader's cursor, through the document's own store: the cursor's way
// looks both formats up in the document's table at every break, which in a file of little but
// paragraph breaks is a good part of its reading. The reader's edit block is open throughout.
// At the document's end (as nearly always) the break goes straight into the store.
void Reader::insertBlockAtCursor(const QTextBlockFormat &format, const QTextCharFormat &chars)
{
    QTextDocumentPrivate *store = QTextDocumentPrivate::get(&m_document);
    QTextFormatCollection *formats = store->formatCollection();
    if (m_storedBlockIndex < 0 || format != m_storedBlockFormat) {
        m_storedBlockFormat = format;
        m_storedBlockIndex = formats->indexForFormat(format);
    }
    if (m_storedCharIndex < 0 || chars != m_storedCharFormat) {
        m_storedCharFormat = chars;
        // As the cursor does: a break's character format is never an object's.
        QTextCharFormat plain = chars;
        plain.clearProperty(QTextFormat::ObjectIndex);
        m_storedCharIndex = formats->indexForFormat(plain);
    }
    if (appendable(m_storedCharIndex) && m_store.acceptsBreak(m_storedBlockIndex, m_storedCharIndex)) {
        m_store.appendBreak(m_storedBlockIndex, m_storedCharIndex);
        return;
    }
    store->insertBlock(cursor().position(), m_storedBlockIndex, m_storedCharIndex);
}

bool Reader::appendable(int charFormat) const
{
    // Once text is pending the reader is at the end by construction; before, its cursor says.
    return m_store.usable() && m_store.acceptsText(charFormat)
        && (m_store.pending() > 0 || (!m_cursor.hasSelection() && m_cursor.position() == m_store.position()));
}

bool Reader::isBulletList(const ParaState &para) const
{
    if (para.pnBullet)
        return true;
    if (para.listNumber <= 0 && !m_markerParagraph)
        return false;
    bool known = false;
    const bool bullet = para.listNumber > 0 && m_lists.isBullet(para.listNumber, para.listLevel, &known);
    if (known)
        return bullet;
    // No list table: judge by the marker the writer put before the text.
    const QString marker = m_marker.trimmed();
    return marker.size() == 1
        && QStringView(u"\u2022\u00B7\u30FB\u25CF\u25A0\u25C6\u25CB\u25A1\uF0B7\uF0A7\uF076\uF0D8\uF0FC-*")
               .contains(marker.at(0));
}

QTextListFormat::Style Reader::numberedStyle(const ParaState &para) const
{
    const int levelFormat = para.listNumber > 0 ? m_lists.levelFormat(para.listNumber, para.listLevel) : -1;
    return levelFormat >= 0 ? RtfLists::styleOfLevelFormat(levelFormat) : RtfLists::styleOfMarker(m_marker);
}

void Reader::finishParagraph()
{
    if (m_finishedParagraph == m_blockNumber && m_breakPending)
        return;
    // In a table or not as the paragraph landed, whatever its words said: a \cell puts one
    // without \intbl in its cell, and text before an \intbl stays outside.
    ParaState para = group().para;
    para.inTable = m_tables.isOpen();
    markerText(QString());
    const bool bullet = isBulletList(para);
    const bool listed = para.pnNumbered || para.listNumber > 0 || !m_marker.isEmpty();
    const QTextListFormat::Style numbered = bullet || !listed ? QTextListFormat::ListStyleUndefined : numberedStyle(para);
    const int level = para.listNumber > 0 ? qMin(int(para.listLevel), RtfLists::MaxLevel) : 0;
    const QTextListFormat::Style bulletStyle = RtfLists::bulletStyle(m_marker, level);
    if (!bullet && listed && !m_marker.isEmpty() && numbered == QTextListFormat::ListStyleUndefined) {
        // A numbered list: its numbers exist only in the marker text, so they become text.
        const int start = cursor().block().position();
        QTextCursor at(&m_document);
        at.setPosition(start);
        at.insertText(m_marker, m_markerFormat);
    }
    m_marker.clear();
    m_markerFormatSet = false;
    m_markerParagraph = false;

    const BlockKey key { para, bullet };
    if (!m_blockFormatKnown || !(key == m_blockKey)) {
        int leftTwips = para.leftTwips;
        int firstTwips = para.firstTwips;
        if (!para.indentGiven && listed)
            m_lists.levelIndents(para.listNumber, para.listLevel, &leftTwips, &firstTwips);
        ParaFormat p;
        p.mask = ParaFormat::AllFields;
        p.alignment = para.alignment;
        p.firstIndentTwips = TextFormats::clampedIndent(qint64(leftTwips) + firstTwips);
        p.leftIndentTwips = -firstTwips;
        p.rightIndentTwips = para.rightTwips;
        p.numbering = bullet ? ParaFormat::NumberingBullet : ParaFormat::NumberingNone;
        m_blockFormat = QTextBlockFormat();
        TextFormats::applyToBlockFormat(m_blockFormat, p);
        TextFormats::applySpacing(
            m_blockFormat, { para.spaceBefore, para.spaceAfter, para.lineSpacing, para.lineMultiple });
        applyTabsAndBreak(para);
        m_blockKey = key;
        m_blockFormatKnown = true;
    }
    const bool formatRight = m_insertedKnown && m_insertedKey == key;
    if (!bullet) {
        if (!formatRight || m_insertedInList)
            cursor().setBlockFormat(m_blockFormat);
        if (numbered != QTextListFormat::ListStyleUndefined)
            m_numbered.place(cursor(), numbered, para.listNumber, para.listLevel);
    } else {
        placeBullet(formatRight, bulletStyle, level);
    }
    m_lastInList = bullet;
    m_finishedParagraph = m_blockNumber;
    // A break ends on the first paragraph after it; in a table it has no page to start.
    if (m_pageBreakNext && !m_tables.isOpen() && !para.pageBreakBefore) {
        QTextBlockFormat breaking;
        breaking.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        cursor().mergeBlockFormat(breaking);
    }
    m_pageBreakNext = false;
}

void Reader::placeBullet(bool formatRight, QTextListFormat::Style style, int level)
{
    QPointer<QTextList> &list = m_bulletLists[level];
    const bool continues = list && m_lastInList && list->count() < MaxListItems && list->format().style() == style;
    if (continues && list == m_list && formatRight && m_insertedInList)
        return; // inserted into it, in its format
    if (continues) {
        QTextBlockFormat inList = m_blockFormat;
        inList.setObjectIndex(list->objectIndex());
        cursor().setBlockFormat(inList);
    } else {
        if (!formatRight || m_insertedInList)
            cursor().setBlockFormat(m_blockFormat);
        list = cursor().createList(RtfLists::bulletFormat(style, level));
    }
    m_list = list;
}

void Reader::pageBreak()
{
    if (group().para.inTable)
        return;
    placeHeldAnchors(false); // in a paragraph before the break, as they were read
    if (m_paragraphHasContent || !m_pendingText.isEmpty() || !m_pendingBytes.isEmpty())
        paragraphBreak();
    m_pageBreakNext = true;
}

void Reader::tabWord(const WordInfo &info, int parameter)
{
    Group g = group();
    ParaState &para = g.para;
    switch (info.word) {
    case Word::TabKind:
        para.tabKind = static_cast<uint8_t>(info.character);
        break;
    case Word::TabLeader:
        para.tabLeader = static_cast<uint8_t>(info.character);
        break;
    default: {
        TabStops::Stop stop;
        stop.twips = static_cast<int16_t>(qBound(0, parameter, TabStops::MaxTwips));
        stop.kind = info.word == Word::BarTab ? TabStops::Kind::Bar : static_cast<TabStops::Kind>(para.tabKind);
        stop.leader = static_cast<TabStops::Leader>(para.tabLeader);
        para.tabSet = m_tabSets.with(para.tabSet, stop);
        para.tabKind = 0;
        para.tabLeader = 0;
        break;
    }
    }
    m_stack.set(g);
}

void Reader::applyTabsAndBreak(const ParaState &para)
{
    if (para.tabSet != RtfTables::TabSets::NoStops) {
        const std::vector<TabStops::Stop> stops = m_tabSets.stops(para.tabSet);
        TabStops::apply(m_blockFormat, stops.data(), static_cast<int>(stops.size()));
    }
    if (para.pageBreakBefore && !para.inTable)
        m_blockFormat.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
}

void Reader::placeForTable(bool inTable, int cellsDone)
{
    placeHeldAnchors(inTable);
    if (m_tables.isPlaced(inTable))
        return;
    settleParagraph();
    // The look ahead counts cells as this reader will read them: not in a field kept whole.
    RtfTableReader::Ahead ahead { QByteArrayView(m_p, m_end - m_p) };
    ahead.documentCloses = static_cast<int>(m_stack.depth());
    if (m_field && !m_keep)
        ahead.fieldCloses = static_cast<int>(m_stack.depth() + 1 - qMin(m_stack.depth() + 1, m_field->depth));
    m_store.finish(); // the table reader works with the cursor
    const auto move = m_tables.place(inTable, ahead, formatFor(group().chars), cellsDone);
    if (move == RtfTableReader::Move::NewBlock) {
        // A paragraph the table made: its format is set when it ends.
        ++m_blockNumber;
        if (!inTable)
            markParagraphAfterTable();
        m_insertedKnown = false;
        m_insertedInList = false;
        m_lastInList = false;
        m_paragraphHasContent = false;
    }
}

void Reader::markParagraphAfterTable()
{
    // Its mark (all an empty paragraph has to show) takes the formatting in effect, as a
    // paragraph the reader makes itself does.
    QTextCharFormat mark = formatFor(group().chars);
    mark.clearProperty(QTextFormat::ObjectIndex);
    cursor().setBlockCharFormat(mark);
}

void Reader::settleParagraph(Break pending)
{
    flushText();
    if (m_breakPending && pending == Break::Keep)
        startPendingParagraph();
    if (m_breakPending)
        m_breakPending = false;
    else if (m_finishedParagraph != m_blockNumber)
        finishParagraph();
}

void Reader::promoteMarker()
{
    Group g = group();
    g.destination = Destination::Text;
    if (g.para.listNumber <= 0 && !g.para.pnBullet) {
        g.para.listNumber = m_markerPara.listNumber;
        g.para.listLevel = m_markerPara.listLevel;
        g.para.pnBullet = m_markerPara.pnBullet;
    }
    // A marker of nothing but its tab, in no list: the writer lost the bullet, not the item.
    markerText(QString());
    if (g.para.listNumber <= 0 && !g.para.pnBullet && !g.para.pnNumbered && m_marker.trimmed().isEmpty())
        g.para.pnBullet = true;
    g.para.inTable = g.para.inTable || m_markerPara.inTable;
    m_stack.set(g);
    m_markerParagraph = true;
}

} // namespace RtfReading
