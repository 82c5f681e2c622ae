#include "plaintext.h"

#include "cp932.h"
#include "storeappender.h"
#include "tablecells.h"

#include <algorithm>
#include <limits>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <private/qtextdocument_p.h>

namespace PlainText {

namespace {

constexpr QByteArrayView ByteOrderMark("\xEF\xBB\xBF");

QString decode(QByteArrayView bytes, TextForm::Encoding encoding)
{
    return encoding == TextForm::Encoding::Utf8 ? QString::fromUtf8(bytes) : Cp932::decode(bytes);
}

qsizetype cut(QByteArrayView bytes, qsizetype limit, TextForm::Encoding encoding)
{
    return encoding == TextForm::Encoding::Utf8 ? Utf8Text::pieceEnd(bytes, limit) : pieceEnd(bytes, limit);
}

bool endsParagraph(QChar c)
{
    // What the cursor's insertion takes as a paragraph break (CR is gone by now).
    return c == u'\n' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

// Inserts text read from a file at the cursor, as QTextCursor::insertText does: each line
// break starts a paragraph in the format of the cursor's. At the document's end the pieces go
// straight into its store (a file of short lines is read several times faster so); the
// cursor ends up after them either way.
void insertRead(QTextCursor &cursor, const QString &text, const QTextCharFormat &format)
{
    QTextDocument *document = cursor.document();
    StoreAppender store(*document);
    if (!store.usable() || cursor.hasSelection() || cursor.position() != store.position()) {
        cursor.insertText(text, format);
        return;
    }
    QTextFormatCollection *formats = QTextDocumentPrivate::get(document)->formatCollection();
    QTextCharFormat chars = format;
    chars.clearProperty(QTextFormat::ObjectIndex);
    const int charFormat = formats->indexForFormat(chars);
    const int blockFormat = formats->indexForFormat(cursor.blockFormat());
    if (!store.acceptsBreak(blockFormat, charFormat)) {
        cursor.insertText(text, format);
        return;
    }
    const QChar *const begin = text.constData();
    const QChar *const end = begin + text.size();
    const QChar *start = begin;
    for (const QChar *c = begin; c < end; ++c) {
        if (!endsParagraph(*c))
            continue;
        store.appendText(QStringView(start, c), charFormat);
        store.appendBreak(blockFormat, charFormat);
        start = c + 1;
    }
    store.appendText(QStringView(start, end), charFormat);
    store.finish();
}

} // namespace

QString breaksAsNewlines(QString text)
{
    if (!text.contains(u'\r'))
        return text;
    // One pass, in place: QString::replace moves the rest of the text for each CR LF, which took
    // seconds in a 100 MB file of short lines.
    char16_t *const begin = reinterpret_cast<char16_t *>(text.data());
    const char16_t *const end = begin + text.size();
    char16_t *out = begin;
    for (const char16_t *in = begin; in < end; ++in) {
        if (*in == u'\r') {
            *out++ = u'\n';
            if (in + 1 < end && in[1] == u'\n')
                ++in;
        } else {
            *out++ = *in;
        }
    }
    text.truncate(out - begin);
    return text;
}

qsizetype pieceEnd(QByteArrayView bytes, qsizetype limit)
{
    if (limit >= bytes.size())
        return bytes.size();
    limit = std::max<qsizetype>(limit, 1);
    const auto *const data = reinterpret_cast<const unsigned char *>(bytes.data());
    // A CR at the cut would read as a break of its own with the LF after it as another.
    const auto cutAfter = [&](qsizetype i) { return data[i] != '\r' || data[i + 1] != '\n'; };
    for (qsizetype i = limit - 1; i >= 0; --i) {
        if (data[i] == '\n')
            return i + 1;
    }
    // A long line. A byte below 0x40 is never the second byte of a character.
    const qsizetype nearest = std::max<qsizetype>(0, limit - 4096);
    for (qsizetype i = limit - 1; i >= nearest; --i) {
        if (data[i] < 0x40 && cutAfter(i))
            return i + 1;
    }
    const qsizetype boundary = Cp932::characterBoundary(bytes, limit);
    if (boundary > 0 && !cutAfter(boundary - 1))
        return boundary + 1;
    return boundary > 0 ? boundary : std::min<qsizetype>(2, bytes.size());
}

// In an edit block: otherwise the insertion measures where the caret stands in its line, which
// analyses the whole paragraph's text (a 10 MB line: 67 MB and a second).
QTextCursor startReading(QTextDocument &document, const QTextCharFormat &format)
{
    document.clear();
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    cursor.setCharFormat(format);
    return cursor;
}

void read(QTextDocument &document, QByteArrayView bytes, const QTextCharFormat &format, qsizetype pieceBytes,
          TextForm::Encoding encoding)
{
    QTextCursor cursor = startReading(document, format);
    pieceBytes = std::max<qsizetype>(pieceBytes, 1);
    if (encoding == TextForm::Encoding::Utf8 && bytes.startsWith(ByteOrderMark))
        bytes = bytes.sliced(ByteOrderMark.size());
    while (!bytes.isEmpty()) {
        const qsizetype end = cut(bytes, pieceBytes, encoding);
        insertRead(cursor, breaksAsNewlines(decode(bytes.first(end), encoding)), format);
        bytes = bytes.sliced(end);
    }
    cursor.endEditBlock();
}

void read(QTextDocument &document, std::vector<QByteArray> &&pieces, const QTextCharFormat &format,
          qsizetype pieceBytes, TextForm::Encoding encoding)
{
    QTextCursor cursor = startReading(document, format);
    PieceReader reader(std::move(pieces), pieceBytes, encoding);
    reader.insert(cursor, format, std::numeric_limits<qsizetype>::max());
    cursor.endEditBlock();
}

PieceReader::PieceReader(std::vector<QByteArray> &&pieces, qsizetype pieceBytes, TextForm::Encoding encoding)
    : m_pieces(std::move(pieces))
    , m_pieceBytes(std::max<qsizetype>(pieceBytes, 1))
    , m_encoding(encoding)
{
}

bool PieceReader::insert(QTextCursor &cursor, const QTextCharFormat &format, qsizetype bytes)
{
    qsizetype inserted = 0;
    while (inserted < bytes) {
        const qsizetype rest = m_current.size() - m_offset;
        // Enough is joined to see a UTF-8 character (and the byte-order mark) whole.
        const qsizetype joinUpTo = m_encoding == TextForm::Encoding::Utf8 ? std::max<qsizetype>(m_pieceBytes, 4) : m_pieceBytes;
        if (m_next < m_pieces.size() && rest <= joinUpTo) {
            // The cut before what is left must see the bytes after it: the next piece joins it.
            if (rest == 0)
                m_current = std::move(m_pieces[m_next]);
            else
                m_current = QByteArrayView(m_current).sliced(m_offset).toByteArray() + m_pieces[m_next];
            m_pieces[m_next++] = QByteArray();
            m_offset = 0;
            continue;
        }
        if (rest == 0)
            break;
        if (!m_started) {
            m_started = true;
            if (m_encoding == TextForm::Encoding::Utf8 && QByteArrayView(m_current).startsWith(ByteOrderMark)) {
                m_offset += ByteOrderMark.size();
                continue;
            }
        }
        const QByteArrayView bytesLeft = QByteArrayView(m_current).sliced(m_offset);
        const qsizetype end = cut(bytesLeft, m_pieceBytes, m_encoding);
        insertRead(cursor, breaksAsNewlines(decode(bytesLeft.first(end), m_encoding)), format);
        m_offset += end;
        inserted += end;
    }
    if (m_offset == m_current.size()) {
        m_current = QByteArray();
        m_offset = 0;
    }
    return !atEnd();
}

bool PieceReader::atEnd() const
{
    return m_next >= m_pieces.size() && m_offset >= m_current.size();
}

qint64 PieceReader::left() const
{
    qint64 bytes = m_current.size() - m_offset;
    for (size_t i = m_next; i < m_pieces.size(); ++i)
        bytes += m_pieces[i].size();
    return bytes;
}

QString documentText(const QTextDocument &document, CellEnd cellEnd, QStringView lineBreak)
{
    QString text;
    text.reserve(document.characterCount() + document.blockCount());
    bool first = true;
    // A table row is its cells' texts, each cell ended by a tab but the last.
    const bool tables = cellEnd == CellEnd::Tab && TableCells::hasTables(document);
    bool cellEnded = false;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!first)
            text += cellEnded ? QStringView(u"\t") : lineBreak;
        first = false;
        if (tables) {
            const TableCells::Spot spot = TableCells::spotOf(block);
            cellEnded = spot.table && spot.lastInCell && !spot.lastInRow;
        }
        if (block.length() > 1) // an empty paragraph has no text to fetch
            text += block.text();
    }
    if (text.contains(QChar::LineSeparator))
        text.replace(QChar::LineSeparator, lineBreak.toString());
    return text;
}

QByteArray write(const QTextDocument &document, CellEnd cellEnd)
{
    return Cp932::encode(documentText(document, cellEnd));
}

QByteArray writeUtf8(const QTextDocument &document, const TextForm &form)
{
    QString text = documentText(document, CellEnd::Tab, form.lineBreakText());
    text.remove(QChar::ObjectReplacementCharacter);
    QByteArray bytes;
    bytes.reserve((form.byteOrderMark ? ByteOrderMark.size() : 0) + text.size() * 3);
    if (form.byteOrderMark)
        bytes += ByteOrderMark;
    bytes += text.toUtf8();
    return bytes;
}

} // namespace PlainText
