#include "richdocument.h"

#include "backgroundload.h"
#include "cp932.h"
#include "documentfile.h"
#include "editordocumentlayout.h"
#include "formatrange.h"
#include "plaintext.h"
#include "rtf/rtfkept.h"
#include "rtf/rtflists.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"
#include "sjistext.h"
#include "tablecells.h"
#include "textpositionindex.h"

#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>

#include <limits>
#include <vector>

namespace {

// A text as the document's Shift-JIS text compares it: characters written with the same bytes
// are one character (〜 and ～, − and －, ‖ and ∥, ...). Same length, same indexes.
QString comparable(QStringView text)
{
    QString folded(text.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(folded.data());
    for (const QChar c : text)
        *out++ = Cp932::canonical(c.unicode());
    return folded;
}

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// Each line break of a text (CR LF, CR or LF) as one paragraph separator.
QString withParagraphBreaks(QString text)
{
    text.replace(QStringLiteral("\r\n"), QString(QChar::ParagraphSeparator));
    text.replace(u'\r', QChar::ParagraphSeparator);
    text.replace(u'\n', QChar::ParagraphSeparator);
    return text;
}

// Whether a line break of a find text may match the break between two paragraphs that follow
// each other: only when both stand in the same table cell, or both outside tables. A cell end
// (and the edge of a table) ends the cell's text, not a paragraph of it.
bool sameTextFlow(const QTextBlock &block, const QTextBlock &next, bool tables)
{
    if (!tables)
        return true;
    const TableCells::Spot here = TableCells::spotOf(block);
    const TableCells::Spot there = TableCells::spotOf(next);
    return here.table == there.table && (!here.table || (here.row == there.row && here.column == there.column));
}

// Runs bulk changes with no undo recording and no layout, and measures positions once after.
class BulkChange {
public:
    BulkChange(QTextDocument *document, TextPositionIndex &positions)
        : m_document(document)
        , m_positions(positions)
    {
        m_positions.suspend();
        m_document->setUndoRedoEnabled(false);
        m_document->setLayoutEnabled(false);
    }
    ~BulkChange()
    {
        // A caller that turned the layout off itself turns it on again.
        m_document->setLayoutEnabled(m_layoutWasEnabled);
        m_document->setUndoRedoEnabled(true);
        m_positions.resume();
    }
    BulkChange(const BulkChange &) = delete;
    BulkChange &operator=(const BulkChange &) = delete;

private:
    QTextDocument *m_document;
    TextPositionIndex &m_positions;
    const bool m_layoutWasEnabled = m_document->isLayoutEnabled();
};

} // namespace

RichDocument::RichDocument(QTextDocument *document, QObject *parent)
    : QObject(parent)
    , m_document(document)
    , m_positions(std::make_unique<TextPositionIndex>(document))
    , m_layout(new EditorDocumentLayout(document))
    , m_renderer(std::make_unique<FormatRangeRenderer>(*this))
    , m_windowText(Qt::black)
{
    document->setDocumentLayout(m_layout);
    // Tab stops every half inch (48 pixels at 96 to the inch): in the editor, and on the pages
    // of a document the converter prints.
    QTextOption option = document->defaultTextOption();
    option.setTabStopDistance(48);
    document->setDefaultTextOption(option);
    connect(document, &QTextDocument::contentsChange, this, [this] { ++m_changeCount; });
    const QFont font = document->defaultFont();
    m_defaultFormat.mask = CharFormat::AllFields;
    m_defaultFormat.faceName = font.family();
    m_defaultFormat.sizeTwips = qRound(font.pointSizeF() * TextFormats::TwipsPerPoint);
    m_defaultFormat.bold = font.bold();
    m_defaultFormat.italic = font.italic();
    m_defaultFormat.underline = font.underline();
    m_defaultFormat.strikeOut = font.strikeOut();
    m_defaultFormat.color = m_windowText;
}

RichDocument::~RichDocument() = default;

qint64 RichDocument::textLength() const
{
    return m_positions->byteLength();
}

qint64 RichDocument::characterCount() const
{
    return m_positions->characterCount();
}

qint64 RichDocument::bytePosition(int documentPosition) const
{
    return m_positions->bytePosition(documentPosition);
}

int RichDocument::documentPosition(qint64 bytePosition) const
{
    return m_positions->documentPosition(bytePosition);
}

qint64 RichDocument::charactersBefore(qint64 n) const
{
    return m_positions->charactersBefore(n);
}

int RichDocument::lineFromByte(qint64 bytePosition)
{
    return m_layout->lineOfPosition(documentPosition(bytePosition));
}

qint64 RichDocument::lineStartByte(int line)
{
    const int position = m_layout->lineStart(line);
    return position < 0 ? -1 : bytePosition(position);
}

RichDocument::CaretPlace RichDocument::caretPlace(int documentPosition)
{
    return caretPlace(documentPosition, -1);
}

RichDocument::CaretPlace RichDocument::caretPlace(int documentPosition, int budgetMs)
{
    m_layout->layOutThrough(documentPosition, budgetMs);
    CaretPlace place;
    int lineStart = 0;
    place.line = m_layout->lineOfPositionNow(documentPosition, &lineStart, &place.exact);
    const TextPositionIndex::CaretBytes bytes = m_positions->caretBytes(documentPosition, lineStart);
    place.byte = bytes.byte;
    place.charactersBefore = bytes.charactersBefore;
    place.lineStartByte = bytes.lineStartByte;
    return place;
}

int RichDocument::lineCount()
{
    return m_layout->lineCount();
}

QByteArray RichDocument::text() const
{
    // As positions count it: a table cell ends with a line break.
    return PlainText::write(*m_document, PlainText::CellEnd::LineBreak);
}

QString RichDocument::plainText() const
{
    return PlainText::documentText(*m_document);
}

void RichDocument::setDefaultCharFormat(const CharFormat &format)
{
    const unsigned mask = format.mask;
    CharFormat merged = m_defaultFormat;
    if (mask & CharFormat::Face)
        merged.faceName = TextFormats::truncatedFaceName(format.faceName);
    if (mask & CharFormat::Size)
        merged.sizeTwips = format.sizeTwips;
    if (mask & CharFormat::Bold)
        merged.bold = format.bold;
    if (mask & CharFormat::Italic)
        merged.italic = format.italic;
    if (mask & CharFormat::Underline)
        merged.underline = format.underline;
    if (mask & CharFormat::StrikeOut)
        merged.strikeOut = format.strikeOut;
    if (mask & CharFormat::Color) {
        merged.autoColor = format.autoColor;
        merged.color = format.autoColor ? m_windowText : format.color;
    }
    if (mask & CharFormat::CharSet)
        merged.charSet = format.charSet;
    if (mask & CharFormat::Pitch)
        merged.pitch = format.pitch;
    merged.mask = CharFormat::AllFields;
    m_defaultFormat = merged;
    m_document->setDefaultFont(TextFormats::atResolutionOf(TextFormats::displayFont(merged), m_layout->paintDevice()));
}

void RichDocument::followLayoutResolution()
{
    m_document->setDefaultFont(TextFormats::atResolutionOf(m_document->defaultFont(), m_layout->paintDevice()));
}

CharFormat RichDocument::charFormat(const QTextCursor &cursor) const
{
    QTextCharFormat format;
    if (cursor.hasSelection()) {
        QTextCursor first(m_document);
        first.setPosition(cursor.selectionStart() + 1);
        format = first.charFormat();
    } else {
        format = cursor.charFormat();
    }
    return TextFormats::fromTextCharFormat(format, m_defaultFormat, m_windowText);
}

void RichDocument::setCharFormat(QTextCursor &cursor, const CharFormat &format) const
{
    const QTextCharFormat modifier = TextFormats::toTextCharFormat(format);
    if (cursor.hasSelection() && !changesSelection(cursor, modifier))
        return; // nothing would look or save differently: no step in the history either
    cursor.mergeCharFormat(modifier);
}

bool RichDocument::changesSelection(const QTextCursor &cursor, const QTextCharFormat &modifier) const
{
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    // Compared as the editor reads formats: a field set to the value it had by default is no
    // change, but a size stated where the file left it to the reader's default is (it saves
    // differently). Each format of the document is looked at once.
    QSet<int> seen;
    const auto changes = [&](int index, const QTextCharFormat &now) {
        if (seen.contains(index))
            return false;
        seen.insert(index);
        QTextCharFormat merged = now;
        merged.merge(modifier);
        return TextFormats::fromTextCharFormat(merged, m_defaultFormat, m_windowText)
            != TextFormats::fromTextCharFormat(now, m_defaultFormat, m_windowText)
            || TextFormats::isSizeUnstated(merged) != TextFormats::isSizeUnstated(now);
    };
    for (QTextBlock block = m_document->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() >= end)
                break;
            if (fragment.position() + fragment.length() > start
                && changes(fragment.charFormatIndex(), fragment.charFormat()))
                return true;
        }
        // A selected paragraph break carries the format of the empty paragraph after it: the
        // format its text is typed in.
        const QTextBlock next = block.next();
        const int breakAt = block.position() + block.length() - 1;
        if (breakAt >= start && breakAt < end && next.isValid() && next.length() == 1
            && changes(next.charFormatIndex(), next.charFormat()))
            return true;
    }
    return false;
}

ParaFormat RichDocument::paraFormat(const QTextCursor &cursor) const
{
    const QTextBlock block = m_document->findBlock(cursor.selectionStart());
    // A numbered item is not a bullet: the bullet style stays off for it.
    const bool bullet = block.textList() && !RtfLists::isNumbered(block.textList());
    return TextFormats::fromBlockFormat(block.blockFormat(), bullet);
}

void RichDocument::setParaFormat(const QTextCursor &cursor, const ParaFormat &format)
{
    const QTextBlock first = m_document->findBlock(cursor.selectionStart());
    const QTextBlock last = m_document->findBlock(cursor.selectionEnd());
    QTextCursor editor(m_document);
    editor.beginEditBlock();
    QTextList *bulletList = nullptr;
    if (format.has(ParaFormat::Numbering) && format.numbering == ParaFormat::NumberingBullet) {
        // Continue the list of the paragraph above, as typing Enter in a bulleted one does.
        const QTextBlock above = first.previous();
        bulletList = above.isValid() ? above.textList() : nullptr;
    }
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        const ParaFormat before = TextFormats::fromBlockFormat(block.blockFormat(), block.textList() != nullptr);
        ParaFormat full = before;
        if (format.has(ParaFormat::Alignment))
            full.alignment = format.alignment;
        if (format.has(ParaFormat::FirstIndent))
            full.firstIndentTwips = format.firstIndentTwips;
        if (format.has(ParaFormat::LeftIndent))
            full.leftIndentTwips = format.leftIndentTwips;
        if (format.has(ParaFormat::RightIndent))
            full.rightIndentTwips = format.rightIndentTwips;
        if (format.has(ParaFormat::Numbering)) {
            full.numbering = format.numbering == ParaFormat::NumberingBullet ? ParaFormat::NumberingBullet
                                                                               : ParaFormat::NumberingNone;
            const bool indentGiven = format.has(ParaFormat::LeftIndent);
            if (full.numbering == ParaFormat::NumberingNone) {
                if (!indentGiven)
                    full.leftIndentTwips = 0;
                if (QTextList *list = block.textList())
                    list->remove(block);
            } else {
                if (!indentGiven)
                    full.leftIndentTwips = qMax(full.leftIndentTwips, ParaFormat::BulletMinimumIndentTwips);
                if (!block.textList()) {
                    if (bulletList) {
                        bulletList->add(block);
                    } else {
                        QTextCursor at(block);
                        bulletList = at.createList(TextFormats::bulletListFormat());
                    }
                } else {
                    bulletList = block.textList();
                }
            }
        }
        // A paragraph that already looks so is left alone: no step in the history for it.
        if (!(full == before)) {
            QTextBlockFormat blockFormat = block.blockFormat();
            TextFormats::applyToBlockFormat(blockFormat, full);
            QTextCursor at(block);
            at.setBlockFormat(blockFormat);
        }
        if (block == last)
            break;
    }
    editor.endEditBlock();
}

qint64 RichDocument::findLength(const QString &text)
{
    return SjisText::measure(withParagraphBreaks(text)).bytes;
}

qint64 RichDocument::find(const QString &text, qint64 minBytes, qint64 maxBytes, int flags) const
{
    finishLoading();
    if (text.isEmpty())
        return -1;
    const qint64 length = textLength();
    if (maxBytes < 0 || maxBytes > length)
        maxBytes = length;
    minBytes = qMax<qint64>(0, minBytes);
    if (minBytes >= maxBytes)
        return -1;
    const Qt::CaseSensitivity cs = (flags & FindMatchCase) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const bool wholeWord = (flags & FindWholeWord) != 0;

    // A break in the search text (CR LF, CR or LF) matches a paragraph break.
    const QString needle = withParagraphBreaks(comparable(text));
    const QStringList segments = needle.split(QChar::ParagraphSeparator);
    const bool tables = segments.size() > 1 && TableCells::hasTables(*m_document);

    const int startPosition = documentPosition(minBytes);
    for (QTextBlock block = m_document->findBlock(startPosition); block.isValid(); block = block.next()) {
        const qint64 blockBytes = bytePosition(block.position());
        if (blockBytes >= maxBytes)
            break;
        const QString blockText = comparable(block.text());
        const qsizetype from = qMax(0, startPosition - block.position());

        if (segments.size() > 1) {
            // The hit must end this paragraph with the first segment and run on through the next.
            const QString &head = segments.first();
            const qsizetype at = blockText.size() - head.size();
            if (at < from || QStringView(blockText).mid(at).compare(head, cs) != 0)
                continue;
            QTextBlock previous = block;
            QTextBlock next = block.next();
            bool matches = true;
            for (qsizetype s = 1; s < segments.size() && matches; ++s, previous = next, next = next.next()) {
                if (!next.isValid() || !sameTextFlow(previous, next, tables)) {
                    matches = false;
                    break;
                }
                const QString nextText = comparable(next.text());
                const QString &segment = segments.at(s);
                matches = s + 1 < segments.size() ? nextText.compare(segment, cs) == 0
                                                  : nextText.startsWith(segment, cs);
            }
            if (!matches)
                continue;
            const qint64 hit = blockBytes + SjisText::byteOffset(blockText, at);
            const qint64 end = hit + SjisText::measure(needle).bytes;
            if (hit < minBytes)
                continue;
            if (end > maxBytes)
                return -1;
            return hit;
        }

        qsizetype scanned = 0;
        qint64 scannedBytes = 0;
        for (qsizetype index = blockText.indexOf(needle, from, cs); index >= 0;
             index = blockText.indexOf(needle, index + 1, cs)) {
            scannedBytes += SjisText::measure(QStringView(blockText).mid(scanned, index - scanned)).bytes;
            scanned = index;
            const qint64 hit = blockBytes + scannedBytes;
            const qint64 end = hit + SjisText::measure(QStringView(blockText).mid(index, needle.size())).bytes;
            if (hit < minBytes)
                continue;
            if (end > maxBytes)
                return -1;
            if (wholeWord) {
                const qsizetype after = index + needle.size();
                if ((index > 0 && isWordCharacter(blockText.at(index - 1)))
                    || (after < blockText.size() && isWordCharacter(blockText.at(after))))
                    continue;
            }
            return hit;
        }
    }
    return -1;
}

void RichDocument::load(QByteArrayView data, StreamFormat format, const QTextCharFormat &textFormat)
{
    stopLoading();
    {
        BulkChange bulk(m_document, *m_positions);
        m_textForm = {};
        m_pageSetup = {};
        // Data that is not RTF is read again from its start as text.
        if (format == StreamFormat::Rtf && RtfReader::read(data, *m_document, m_defaultFormat)) {
            m_pageSetup = PageSetup::fromRtf(data);
        } else {
            m_textForm = TextFormDetector::detect(data);
            PlainText::read(*m_document, data, textFormat, qsizetype(1) << 20, m_textForm.encoding);
        }
    }
    noteKeptGroups();
    releaseFormatRange();
    emit loaded();
}

void RichDocument::load(std::vector<QByteArray> &&pieces, StreamFormat format, const QTextCharFormat &textFormat,
                        Rest rest)
{
    stopLoading();
    if (pieces.size() <= 1) {
        load(pieces.empty() ? QByteArrayView() : QByteArrayView(pieces.front()), format, textFormat);
        return;
    }
    // Data in several pieces is text (see DocumentFile::readPieces).
    m_textForm = TextFormDetector::detect(pieces);
    m_pageSetup = {};
    PlainText::PieceReader reader(std::move(pieces), qsizetype(1) << 20, m_textForm.encoding);
    {
        BulkChange bulk(m_document, *m_positions);
        QTextCursor cursor = PlainText::startReading(*m_document, textFormat);
        const bool later = rest == Rest::Later && reader.left() > LaterBytes;
        reader.insert(cursor, textFormat, later ? FirstPartBytes : std::numeric_limits<qsizetype>::max());
        cursor.endEditBlock();
    }
    m_keptGroups.clear(); // text holds none
    releaseFormatRange();
    if (!reader.atEnd()) {
        m_rest = std::make_unique<BackgroundLoad>(*m_document, std::move(reader), textFormat);
        connect(m_rest.get(), &BackgroundLoad::finished, this, &RichDocument::loadingFinished);
    }
    emit loaded();
}

bool RichDocument::isLoading() const
{
    return m_rest && !m_rest->isDone();
}

void RichDocument::finishLoading() const
{
    if (isLoading())
        m_rest->finish();
}

void RichDocument::stopLoading()
{
    m_rest.reset();
}

void RichDocument::noteKeptGroups()
{
    m_keptGroups = RtfKept::keptInText(*m_document);
}

QByteArray RichDocument::save(StreamFormat format, Unsaveable *unsaveable) const
{
    finishLoading();
    if (unsaveable && !m_keptGroups.empty())
        unsaveable->dropped = RtfKept::dropped(m_keptGroups, RtfKept::keptInText(*m_document));
    if (format == StreamFormat::Rtf)
        return m_pageSetup.insertedInto(RtfWriter::write(*m_document, m_defaultFormat, m_windowText));
    if (unsaveable)
        RtfKept::countLostInText(*m_document, *unsaveable);
    // UTF-8 holds every character: nothing to report.
    if (m_textForm.isUtf8())
        return PlainText::writeUtf8(*m_document, m_textForm);
    const QString text = PlainText::documentText(*m_document);
    Cp932::Replaced replaced;
    // Pictures have no text: the text written leaves them out.
    QByteArray bytes = Cp932::encode(text, unsaveable ? &replaced : nullptr, Cp932::Objects::Skipped);
    if (unsaveable && replaced.count > 0) {
        // Each line break of the text written is CR LF: two units there, one position here.
        const int breaks = int(QStringView(text).left(replaced.firstIndex).count(u'\n'));
        unsaveable->count = replaced.count;
        unsaveable->first = replaced.first;
        unsaveable->line = breaks + 1;
        unsaveable->documentPosition = int(replaced.firstIndex) - breaks;
    }
    return bytes;
}

QByteArray RichDocument::selectionRtf(const QTextCursor &cursor) const
{
    QTextDocument part;
    part.setDefaultFont(TextFormats::atDefaultResolution(m_document->defaultFont()));
    QTextCursor(&part).insertFragment(cursor.selection());
    return RtfWriter::write(part, m_defaultFormat, m_windowText);
}

QTextDocumentFragment RichDocument::rtfFragment(QByteArrayView rtf) const
{
    QTextDocument part;
    part.setDefaultFont(TextFormats::atDefaultResolution(m_document->defaultFont()));
    part.setUndoRedoEnabled(false);
    if (!RtfReader::read(rtf, part, m_defaultFormat))
        return {};
    return QTextDocumentFragment(&part);
}

void RichDocument::loadFile(const QString &path, StreamFormat format, const QTextCharFormat &textFormat)
{
    load(DocumentFile::readPieces(path), format, textFormat);
}

void RichDocument::saveFile(const QString &path, StreamFormat format, Unsaveable *unsaveable) const
{
    DocumentFile::write(path, save(format, unsaveable));
}

RichDocument::BatchEdit::BatchEdit(RichDocument &document)
    : m_document(document)
    , m_cursor(new QTextCursor(document.m_document))
    , m_layoutWasEnabled(document.m_document->isLayoutEnabled())
{
    QTextDocument *doc = m_document.m_document;
    doc->setUndoRedoEnabled(false);
    doc->setLayoutEnabled(false);
    m_cursor->beginEditBlock();
}

RichDocument::BatchEdit::~BatchEdit()
{
    QTextDocument *doc = m_document.m_document;
    m_cursor->endEditBlock(); // reports the whole change at once; positions re-measure its range
    delete m_cursor;
    doc->setUndoRedoEnabled(true);
    doc->setLayoutEnabled(m_layoutWasEnabled);
    doc->setModified(true);
}

qint64 RichDocument::BatchEdit::replace(qint64 start, qint64 end, const QString &text)
{
    const QString inserted = PlainText::breaksAsNewlines(text);
    const int from = m_document.documentPosition(start);
    const int to = m_document.documentPosition(end);
    m_cursor->setPosition(from);
    m_cursor->setPosition(to, QTextCursor::KeepAnchor);
    m_cursor->insertText(inserted);
    const int added = m_cursor->position() - from;
    // Inside the edit block the document reports nothing yet: tell the positions now.
    m_document.m_positions->noteChange(from, to - from, added);
    return m_document.bytePosition(m_cursor->position());
}

qint64 RichDocument::formatRange(const FormatRange &request)
{
    return m_renderer->formatRange(request);
}

void RichDocument::releaseFormatRange()
{
    m_renderer->release();
}

void RichDocument::holdFormatRange(bool on)
{
    m_renderer->hold(on);
}
