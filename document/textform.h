#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <vector>

// How a text file writes its characters and its line breaks. A text file is read as CP932
// unless it is valid UTF-8 with at least one byte above ASCII (or a byte-order mark); a file read
// as UTF-8 is written back as it came, in UTF-8, with its mark and its kind of line break, so
// that a save changes only what the user changed. New documents and CP932 files are written in
// CP932 with CR LF.
struct TextForm {
    enum class Encoding { Cp932, Utf8 };
    enum class LineBreak { CrLf, Lf, Cr };

    Encoding encoding = Encoding::Cp932;
    bool byteOrderMark = false; // UTF-8 only: EF BB BF before the text
    LineBreak lineBreak = LineBreak::CrLf;

    bool isUtf8() const { return encoding == Encoding::Utf8; }
    // What joins two paragraphs when the text is written.
    QStringView lineBreakText() const;

    friend bool operator==(const TextForm &, const TextForm &) = default;
};

// Finds a text's form from its bytes, which may come in pieces; one pass, stopping early once
// the bytes cannot be UTF-8.
class TextFormDetector {
public:
    void feed(QByteArrayView bytes);
    TextForm result() const;

    static TextForm detect(QByteArrayView bytes);
    static TextForm detect(const std::vector<QByteArray> &pieces);

private:
    void feedByte(unsigned char byte);

    int m_markBytes = 0; // leading bytes that match the byte-order mark; -1 once one does not
    bool m_valid = true;
    bool m_aboveAscii = false;
    int m_continuations = 0; // bytes still owed by the sequence being read
    unsigned char m_low = 0x80, m_high = 0xBF; // the range the next continuation byte may take
    bool m_breakSeen = false;
    bool m_lastWasCr = false; // a CR ended the last piece: its LF may start the next one
    TextForm::LineBreak m_lineBreak = TextForm::LineBreak::CrLf;
};

namespace Utf8Text {

// The UTF-8 counterpart of PlainText::pieceEnd: after the last LF before `limit`, else before a
// byte that starts a character; never between CR and LF, and never at 0 unless `bytes` is empty.
qsizetype pieceEnd(QByteArrayView bytes, qsizetype limit);

} // namespace Utf8Text
