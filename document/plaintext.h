#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "textform.h"

#include <vector>

class QTextCharFormat;
class QTextCursor;
class QTextDocument;

// Plain text with the document, in code page 932 or in UTF-8 (see TextForm): CR, LF and CR LF
// each end a paragraph on reading; paragraphs are joined by CR LF on writing (or by the line
// break a UTF-8 file came with), with no break after the last one.
namespace PlainText {

// One paragraph break per CR LF, lone CR or lone LF: the text with each as a newline, as the
// document takes paragraph breaks from inserted text. A text without CR comes back as it is.
QString breaksAsNewlines(QString text);

// Replaces the document's whole content with the decoded text, every character in `format`.
// Bad bytes read as U+FFFD; reading never fails. The bytes are decoded and inserted in pieces of
// about `pieceBytes`, so that the decoded text is never held whole beside the document's copy.
// A UTF-8 text's byte-order mark is not part of the text.
void read(QTextDocument &document, QByteArrayView bytes, const QTextCharFormat &format,
          qsizetype pieceBytes = qsizetype(1) << 20, TextForm::Encoding encoding = TextForm::Encoding::Cp932);
// The same from bytes in pieces, as a file is read: each piece is let go once it is inserted,
// so that the bytes and the document are not held whole side by side.
void read(QTextDocument &document, std::vector<QByteArray> &&pieces, const QTextCharFormat &format,
          qsizetype pieceBytes = qsizetype(1) << 20, TextForm::Encoding encoding = TextForm::Encoding::Cp932);

// Empties the document and returns a cursor in it, in an edit block, to insert text in `format`.
QTextCursor startReading(QTextDocument &document, const QTextCharFormat &format);

// Reads text in pieces into a document a part at a time: a part of a file can be shown while
// the rest is still to be read. Each piece is let go once it is inserted.
class PieceReader {
public:
    explicit PieceReader(std::vector<QByteArray> &&pieces, qsizetype pieceBytes = qsizetype(1) << 20,
                         TextForm::Encoding encoding = TextForm::Encoding::Cp932);
    // Inserts at least `bytes` more (all that is left when fewer) at the cursor, decoded as
    // read() decodes; returns false once everything is in.
    bool insert(QTextCursor &cursor, const QTextCharFormat &format, qsizetype bytes);
    bool atEnd() const;
    // Bytes not inserted yet.
    qint64 left() const;

private:
    std::vector<QByteArray> m_pieces;
    size_t m_next = 0;
    QByteArray m_current; // the piece being inserted, with what the last one left
    qsizetype m_offset = 0; // what of it is in
    qsizetype m_pieceBytes;
    TextForm::Encoding m_encoding;
    bool m_started = false; // a UTF-8 byte-order mark is looked for at the very start
};

// Where the piece of `bytes` that ends near `limit` ends: after the last LF before it, else after
// the last byte that is a character of its own, else at a character boundary; never between
// CR and LF, and never at 0 unless `bytes` is empty.
qsizetype pieceEnd(QByteArrayView bytes, qsizetype limit);

// The document's text with CR LF between paragraphs (U+2028 inside a paragraph is CR LF too);
// a table row is its cells' texts separated by tabs, ended by CR LF. With CellEnd::LineBreak
// every cell ends with CR LF instead, as positions count it (a cell end is a line end).
// `lineBreak` stands for CR LF throughout when a text is written with another break.
enum class CellEnd { Tab, LineBreak };
QString documentText(const QTextDocument &document, CellEnd cellEnd = CellEnd::Tab, QStringView lineBreak = u"\r\n");

// documentText() in CP932; characters CP932 cannot hold are written "?".
QByteArray write(const QTextDocument &document, CellEnd cellEnd = CellEnd::Tab);

// The document as a text file of the given UTF-8 form: every character as it is, pictures left
// out, paragraphs joined by the form's line break, the byte-order mark first when it has one.
QByteArray writeUtf8(const QTextDocument &document, const TextForm &form);

} // namespace PlainText
