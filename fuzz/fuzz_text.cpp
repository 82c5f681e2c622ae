// libFuzzer target for the CP932 codec, Shift-JIS counting, the byte-position index and the
// reading of text into the document's store.
//
// The input is read three ways: as CP932 bytes (decode, encode, counting), as UTF-16LE units
// (text the codec never produces, such as lone surrogates and U+2028, but that editing can put
// into a document), and as a document loaded through RichDocument::load that is then edited
// with QTextCursor. Every check compares the cheap answer against one worked out another way:
// the incremental per-paragraph index against a fresh one and against a walk over the bytes
// text() writes; SjisText's arithmetic against what the encoder actually produced.
//
// A failed check prints what differs and aborts, so libFuzzer keeps the input as a crash file.

#include "document/cp932.h"
#include "document/plaintext.h"
#include "document/richdocument.h"
#include "document/sjistext.h"
#include "document/storeappender.h"
#include "document/textpositionindex.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <vector>

namespace {

// Exhaustive position checks cost O(positions x paragraph length) (each conversion walks its
// paragraph). They run after the load and after the last edit; the edits in between, and
// documents above these sizes, get sampled positions, so that one run stays near milliseconds.
constexpr int AllDocumentPositionsBelow = 2000;
constexpr qint64 AllBytePositionsUpTo = 1024;
constexpr int AllPositionsBetweenEditsBelow = 128;
constexpr int MaxEdits = 8;
constexpr int MaxInsertUnits = 64;

QByteArray cEscaped(QByteArrayView bytes, qsizetype limit = 512)
{
    QByteArray out;
    const qsizetype n = qMin(bytes.size(), limit);
    for (qsizetype i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\\' || b == '"') {
            out += '\\';
            out += static_cast<char>(b);
        } else if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", b);
            out += buffer;
            // A following hex digit would extend the escape: break the literal there.
            if (i + 1 < n && std::isxdigit(static_cast<unsigned char>(bytes[i + 1])))
                out += "\"\"";
        }
    }
    if (n < bytes.size())
        out += "...";
    return out;
}

QByteArray unitsEscaped(QStringView text, qsizetype limit = 256)
{
    QByteArray out;
    const qsizetype n = qMin(text.size(), limit);
    for (qsizetype i = 0; i < n; ++i) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "%s%04X", i ? " " : "", text[i].unicode());
        out += buffer;
    }
    if (n < text.size())
        out += " ...";
    return out;
}

// What is being checked when a check fails, for the report.
const char *g_stage = "";
QByteArray g_context;

[[noreturn]] void fail(const char *condition, int line, const char *detail)
{
    std::fprintf(stderr, "\n==== INVARIANT FAILED (fuzz_text.cpp:%d, stage: %s)\n  %s\n  %s\n", line, g_stage,
                 condition, detail);
    if (!g_context.isEmpty())
        std::fprintf(stderr, "  context: %s\n", g_context.constData());
    std::fflush(stderr);
    std::abort();
}

#define CHECK(condition, ...)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            char detail_[1024];                                                                    \
            std::snprintf(detail_, sizeof detail_, __VA_ARGS__);                                   \
            fail(#condition, __LINE__, detail_);                                                   \
        }                                                                                          \
    } while (false)

// Double-byte codes that decode to a character some other code decodes to as well (NEC and IBM
// duplicates): the encoder can write only one of them, so those are the only codes a decode and
// encode may change. Worked out from decoding alone, so it does not trust the encoder.
std::vector<bool> g_sharedCode;

void buildSharedCodes()
{
    std::vector<std::vector<uint16_t>> byCharacter(65536);
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!SjisText::isLeadByte(static_cast<unsigned char>(lead)))
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            const char pair[2] = { static_cast<char>(lead), static_cast<char>(trail) };
            const QString s = Cp932::decode(QByteArrayView(pair, 2));
            if (s.size() == 1 && s[0] != QChar::ReplacementCharacter)
                byCharacter[s[0].unicode()].push_back(static_cast<uint16_t>(lead << 8 | trail));
        }
    }
    g_sharedCode.assign(65536, false);
    for (const auto &codes : byCharacter) {
        if (codes.size() > 1)
            for (uint16_t code : codes)
                g_sharedCode[code] = true;
    }
}

// Byte length of the character starting at i of CP932 bytes, the way SjisText counts them.
qsizetype sjisStep(QByteArrayView bytes, qsizetype i)
{
    return SjisText::isLeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
}

// ---- The codec on raw bytes -------------------------------------------------------------------

void checkCounting(QByteArrayView x)
{
    g_stage = "countCharacters on raw bytes";
    const qsizetype size = x.size();
    qsizetype ns[] = { -3, 0, 1, size / 2, size, size + 5 };
    std::sort(std::begin(ns), std::end(ns));
    qsizetype previous = 0;
    for (qsizetype n : ns) {
        const qsizetype c = SjisText::countCharacters(x, n);
        CHECK(c >= previous, "countCharacters(x, %lld) = %lld < %lld for a smaller n", (long long)n,
              (long long)c, (long long)previous);
        CHECK(c <= qMax<qsizetype>(0, qMin(n, size)), "countCharacters(x, %lld) = %lld exceeds the bytes",
              (long long)n, (long long)c);
        previous = c;
    }
    CHECK(SjisText::countCharacters(x, 0) == 0, "countCharacters(x, 0) != 0");
    CHECK(SjisText::countCharacters(x, size + 5) == SjisText::countCharacters(x),
          "counting past the end differs from counting to the end");
}

void checkCodec(QByteArrayView x)
{
    g_stage = "Cp932 decode/encode of the input";
    const QString s = Cp932::decode(x);
    CHECK(s.size() <= x.size(), "decode gave %lld units for %lld bytes", (long long)s.size(), (long long)x.size());
    const QByteArray e = Cp932::encode(s);
    const SjisText::TextMeasure m = SjisText::measure(s);
    CHECK(e.size() == m.bytes, "encode(decode(x)) has %lld bytes, measure says %lld", (long long)e.size(),
          (long long)m.bytes);
    CHECK(SjisText::countCharacters(e) == m.characters,
          "encoded bytes count %lld characters, measure says %lld", (long long)SjisText::countCharacters(e),
          (long long)m.characters);

    // Every code the table decodes re-encodes to a code decoding to the same character (checked
    // over the whole table when this target was written); a bad sequence is written as "?".
    QString expected = s;
    expected.replace(QChar::ReplacementCharacter, u'?');
    const QString again = Cp932::decode(e);
    if (again != expected) {
        g_context = "decode(encode(decode(x))) units: " + unitsEscaped(again) + " / expected: " + unitsEscaped(expected);
        CHECK(again == expected, "text changed in an encode/decode round trip");
    }

    if (s.contains(QChar::ReplacementCharacter) || again != s)
        return;
    // Valid input: decoding splits it exactly where the lead-byte rule does, and encoding gives
    // back every code except those sharing their character with another code.
    CHECK(SjisText::countCharacters(x) == s.size(), "valid input: %lld characters by lead bytes, %lld decoded",
          (long long)SjisText::countCharacters(x), (long long)s.size());
    qsizetype i = 0;
    qsizetype j = 0;
    for (qsizetype k = 0; k < s.size(); ++k) {
        const qsizetype wi = sjisStep(x, i);
        const qsizetype wj = sjisStep(e, j);
        const QByteArrayView original = x.sliced(i, wi);
        const QByteArrayView written = QByteArrayView(e).sliced(j, wj);
        if (original != written) {
            const bool shared = wi == 2 && wj == 2
                && g_sharedCode[static_cast<unsigned char>(original[0]) << 8 | static_cast<unsigned char>(original[1])];
            g_context = "original \"" + cEscaped(original) + "\" written \"" + cEscaped(written) + '"';
            CHECK(shared, "character %lld (U+%04X) written with a different code", (long long)k, s[k].unicode());
        }
        i += wi;
        j += wj;
    }
    g_context.clear();
    CHECK(i == x.size() && j == e.size(), "round trip walk ended at %lld/%lld and %lld/%lld", (long long)i,
          (long long)x.size(), (long long)j, (long long)e.size());
}

// ---- SjisText on arbitrary UTF-16 (what editing can put into a document) --------------------

void checkUtf16(QByteArrayView x)
{
    g_stage = "SjisText on the input as UTF-16";
    QString u;
    u.resize(x.size() / 2);
    for (qsizetype i = 0; i < u.size(); ++i)
        u[i] = QChar(static_cast<char16_t>(static_cast<unsigned char>(x[2 * i])
                                           | static_cast<unsigned char>(x[2 * i + 1]) << 8));
    const QByteArray e = Cp932::encode(u);
    const SjisText::TextMeasure m = SjisText::measure(u);
    if (e.size() != m.bytes || SjisText::countCharacters(e) != m.characters)
        g_context = "units: " + unitsEscaped(u) + " encoded: \"" + cEscaped(e) + '"';
    CHECK(e.size() == m.bytes, "encode gave %lld bytes, measure says %lld", (long long)e.size(), (long long)m.bytes);
    CHECK(SjisText::countCharacters(e) == m.characters, "encoded bytes count %lld characters, measure says %lld",
          (long long)SjisText::countCharacters(e), (long long)m.characters);

    // Offsets: byteOffset of every UTF-16 offset, and back.
    if (u.size() > 256)
        return;
    qint64 previous = 0;
    for (qsizetype k = 0; k <= u.size(); ++k) {
        const qint64 b = SjisText::byteOffset(u, k);
        CHECK(b >= previous && b <= m.bytes, "byteOffset(%lld) = %lld not monotonic within [%lld, %lld]",
              (long long)k, (long long)b, (long long)previous, (long long)m.bytes);
        previous = b;
        const bool inPair = k > 0 && k < u.size() && u[k - 1].isHighSurrogate() && u[k].isLowSurrogate();
        const qsizetype back = SjisText::utf16Offset(u, b);
        CHECK(back == (inPair ? k - 1 : k), "utf16Offset(byteOffset(%lld) = %lld) = %lld", (long long)k,
              (long long)b, (long long)back);
    }
    for (qint64 n = -1; n <= m.bytes + 2; ++n) {
        const qint64 c = SjisText::charactersBefore(u, n);
        const qsizetype expected = SjisText::countCharacters(e, static_cast<qsizetype>(n));
        CHECK(c == expected, "charactersBefore(%lld) = %lld, the encoded bytes give %lld", (long long)n,
              (long long)c, (long long)expected);
    }
    g_context.clear();
}

// ---- Positions of a document ------------------------------------------------------------------

enum class Depth { Sampled, Exhaustive };

void checkDocument(const RichDocument &rd, QTextDocument &doc, const std::vector<qint64> &probes, Depth depth)
{
    const qint64 allBytesUpTo = depth == Depth::Exhaustive ? AllBytePositionsUpTo : AllPositionsBetweenEditsBelow;
    const int allPositionsBelow = depth == Depth::Exhaustive ? AllDocumentPositionsBelow : AllPositionsBetweenEditsBelow;
    // Text read straight into the document's store leaves it as Qt's own insertions would.
    const QString storeFault = StoreAppender::storeFault(doc);
    CHECK(storeFault.isEmpty(), "the document's store: %s", qPrintable(storeFault));
    const QByteArray bytes = rd.text();
    const qint64 len = rd.textLength();
    g_context = "text() = \"" + cEscaped(bytes, 160) + '"';
    CHECK(len == bytes.size(), "textLength() %lld, text().size() %lld", (long long)len, (long long)bytes.size());
    const qsizetype allCharacters = SjisText::countCharacters(bytes);
    CHECK(rd.characterCount() == allCharacters, "characterCount() %lld, counted in text() %lld",
          (long long)rd.characterCount(), (long long)allCharacters);
    CHECK(rd.charactersBefore(len) == allCharacters, "charactersBefore(textLength()) %lld, counted %lld",
          (long long)rd.charactersBefore(len), (long long)allCharacters);

    // A recount from scratch: the incremental index must agree with it everywhere.
    const TextPositionIndex fresh(&doc);
    CHECK(fresh.byteLength() == len, "incremental length %lld, recount %lld", (long long)len,
          (long long)fresh.byteLength());
    CHECK(fresh.characterCount() == rd.characterCount(), "incremental characters %lld, recount %lld",
          (long long)rd.characterCount(), (long long)fresh.characterCount());

    // Where characters start in the written bytes; a CR LF is one stop (its LF is no position).
    // Alongside, the characters before every byte position the way countCharacters counts them
    // (CR and LF one each), so that the exhaustive loops below stay linear.
    std::vector<bool> isStart(static_cast<size_t>(len) + 1, false);
    std::vector<qint64> nextStart(static_cast<size_t>(len) + 1, len);
    std::vector<qint64> countedBefore(static_cast<size_t>(len) + 1, 0);
    {
        qint64 counted = 0;
        for (qsizetype i = 0; i < bytes.size();) {
            isStart[static_cast<size_t>(i)] = true;
            const bool crlf = bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n';
            const qsizetype w = crlf ? 2 : sjisStep(bytes, i);
            for (qsizetype k = i; k < i + w; ++k) {
                nextStart[static_cast<size_t>(k)] = i + w;
                countedBefore[static_cast<size_t>(k + 1)] = counted + (crlf && k > i ? 2 : 1);
            }
            counted += crlf ? 2 : 1;
            i += w;
        }
        isStart[static_cast<size_t>(len)] = true;
        CHECK(counted == allCharacters, "walk counted %lld characters, countCharacters %lld", (long long)counted,
              (long long)allCharacters);
    }

    const int maxPosition = doc.characterCount() - 1;

    // The exhaustive loops leave the recount out: there the walk alone pins every answer down,
    // and the recount would double the cost.
    auto checkByte = [&](qint64 p, bool againstRecount) {
        const int d = rd.documentPosition(p);
        CHECK(d >= 0 && d <= maxPosition, "documentPosition(%lld) = %d outside [0, %d]", (long long)p, d, maxPosition);
        CHECK(!againstRecount || d == fresh.documentPosition(p), "documentPosition(%lld) = %d, recount %d",
              (long long)p, d, fresh.documentPosition(p));
        const qint64 q = rd.bytePosition(d);
        const qint64 clamped = qBound<qint64>(0, p, len);
        CHECK(q <= clamped, "bytePosition(documentPosition(%lld) = %d) = %lld is after it", (long long)p, d, (long long)q);
        CHECK(q >= 0 && isStart[static_cast<size_t>(q)], "bytePosition(documentPosition(%lld)) = %lld starts no character",
              (long long)p, (long long)q);
        // Snaps to the character holding p, not to an earlier one.
        CHECK(clamped == len ? q == len : nextStart[static_cast<size_t>(q)] > clamped,
              "byte %lld snapped to %lld, but a character starts at %lld", (long long)p, (long long)q,
              (long long)nextStart[static_cast<size_t>(q)]);
        const qint64 c = rd.charactersBefore(p);
        const qint64 expected = countedBefore[static_cast<size_t>(clamped)];
        CHECK(c == expected, "charactersBefore(%lld) = %lld, counted in text() %lld", (long long)p, (long long)c,
              (long long)expected);
        CHECK(!againstRecount || c == fresh.charactersBefore(p), "charactersBefore(%lld) = %lld, recount %lld", (long long)p,
              (long long)c, (long long)fresh.charactersBefore(p));
    };

    CHECK(rd.documentPosition(-1) == 0, "documentPosition(-1) = %d", rd.documentPosition(-1));
    CHECK(rd.charactersBefore(-5) == 0, "charactersBefore(-5) = %lld", (long long)rd.charactersBefore(-5));
    for (qint64 p : { qint64(0), qint64(1), len / 2, len - 1, len, len + 1, len + 7 })
        if (p >= 0)
            checkByte(p, true);
    for (qint64 p : probes) {
        checkByte(p % (len + 3), true);
        const qsizetype n = static_cast<qsizetype>(p % (len + 3));
        CHECK(SjisText::countCharacters(bytes, n) == countedBefore[static_cast<size_t>(qMin<qint64>(n, len))],
              "countCharacters(text(), %lld) = %lld, walk %lld", (long long)n,
              (long long)SjisText::countCharacters(bytes, n), (long long)countedBefore[static_cast<size_t>(qMin<qint64>(n, len))]);
    }
    if (len <= allBytesUpTo) {
        for (qint64 p = 0; p <= len; ++p)
            checkByte(p, false);
    } else {
        for (qint64 k = 1; k < 16; ++k)
            checkByte(len * k / 16, true);
    }

    auto checkDocumentPosition = [&](int d, qint64 &previous, bool againstRecount) {
        const qint64 b = rd.bytePosition(d);
        CHECK(!againstRecount || b == fresh.bytePosition(d), "bytePosition(%d) = %lld, recount %lld", d, (long long)b,
              (long long)fresh.bytePosition(d));
        CHECK(b >= previous && b <= len && isStart[static_cast<size_t>(b)],
              "bytePosition(%d) = %lld: before %lld, past %lld, or no character start", d, (long long)b,
              (long long)previous, (long long)len);
        // Walking every position, the previous answer is that of d - 1.
        const qint64 before = againstRecount && d > 0 ? rd.bytePosition(d - 1) : previous;
        previous = b;
        const bool inPair = d > 0 && doc.characterAt(d - 1).isHighSurrogate() && doc.characterAt(d).isLowSurrogate();
        if (inPair) {
            CHECK(b == before, "bytePosition(%d) inside a surrogate pair = %lld, pair starts at %lld", d, (long long)b,
                  (long long)before);
        } else {
            const int back = rd.documentPosition(b);
            CHECK(back == d, "documentPosition(bytePosition(%d) = %lld) = %d", d, (long long)b, back);
        }
    };
    qint64 previous = 0;
    if (maxPosition + 1 < allPositionsBelow) {
        for (int d = 0; d <= maxPosition; ++d)
            checkDocumentPosition(d, previous, false);
    } else {
        std::vector<int> sample { 0, 1, maxPosition - 1, maxPosition };
        for (int k = 1; k < 16; ++k)
            sample.push_back(static_cast<int>(qint64(maxPosition) * k / 16));
        for (qint64 p : probes)
            sample.push_back(static_cast<int>(p % (maxPosition + 1)));
        std::sort(sample.begin(), sample.end());
        for (int d : sample)
            if (d >= 0 && d <= maxPosition)
                checkDocumentPosition(d, previous, true);
    }
    CHECK(rd.bytePosition(maxPosition) == len, "bytePosition(end %d) = %lld, length %lld", maxPosition,
          (long long)rd.bytePosition(maxPosition), (long long)len);
    CHECK(rd.bytePosition(maxPosition + 5) == len && rd.bytePosition(-3) == 0, "bytePosition does not clamp");
    g_context.clear();
}

// What a plain-text load must leave, as plainText() writes it: each CR LF, lone CR or lone LF
// one paragraph break, written back as CR LF. (QTextCursor also breaks paragraphs at U+2029 and
// U+FDD0/U+FDD1, but CP932 decoding never yields those.)
QString normalisedLoad(QStringView decoded)
{
    QString text = decoded.toString();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

// Text that editing can put into a document, mostly what CP932 decoding never produces: line
// and paragraph separators, lone and reversed surrogates, a pair, characters CP932 lacks.
const char16_t *const Fragments[] = {
    u"\u2028", u"\u2029", u"\n", u"\r", u"\r\n", u"\xD83D", u"\xDE00", u"\xD83D\xDE00", u"\xFFFD",
    u"\u3042", u"\uFF5E", u"\uFEFF", u"\uFFFC", u"\uFDD0", u"a\u2028b", u"\xDE00\xD83D",
};

int documentPositionFrom(FuzzedDataProvider &fdp, const QTextDocument &doc)
{
    return fdp.ConsumeIntegralInRange<int>(0, qMax(0, doc.characterCount() - 1));
}

QString sliceFrom(FuzzedDataProvider &fdp, const QString &decoded)
{
    if (decoded.isEmpty())
        return QString();
    const auto from = fdp.ConsumeIntegralInRange<qsizetype>(0, decoded.size() - 1);
    const auto n = fdp.ConsumeIntegralInRange<qsizetype>(0, MaxInsertUnits);
    return decoded.mid(from, n);
}

void select(QTextCursor &cursor, FuzzedDataProvider &fdp, const QTextDocument &doc)
{
    cursor.setPosition(documentPositionFrom(fdp, doc));
    cursor.setPosition(documentPositionFrom(fdp, doc), QTextCursor::KeepAnchor);
}

// One change made the way the editor (a QTextEdit over the document) makes them. Nested ones,
// inside an edit block, are the plain cursor edits only.
const char *edit(FuzzedDataProvider &fdp, RichDocument &rd, QTextDocument &doc, const QString &decoded,
                 QByteArrayView x, bool nested = false)
{
    QTextCursor cursor(&doc);
    switch (fdp.ConsumeIntegralInRange<int>(0, nested ? 7 : 14)) {
    case 0:
        cursor.setPosition(documentPositionFrom(fdp, doc));
        cursor.insertText(sliceFrom(fdp, decoded));
        return "insert decoded text";
    case 1:
        select(cursor, fdp, doc);
        cursor.removeSelectedText();
        return "remove a range";
    case 2:
        cursor.setPosition(documentPositionFrom(fdp, doc));
        cursor.insertText(QString::fromUtf16(fdp.PickValueInArray(Fragments)));
        return "insert a fragment";
    case 3:
        select(cursor, fdp, doc);
        cursor.insertText(sliceFrom(fdp, decoded));
        return "replace a range";
    case 4:
        cursor.setPosition(documentPositionFrom(fdp, doc));
        cursor.insertBlock();
        return "insert a paragraph break";
    case 5:
        // Backspace: removes a whole surrogate pair, or the selection.
        select(cursor, fdp, doc);
        cursor.deletePreviousChar();
        return "delete the previous character";
    case 6:
        select(cursor, fdp, doc);
        cursor.deleteChar();
        return "delete a character";
    case 7: {
        // A format change notifies the same count removed and added.
        select(cursor, fdp, doc);
        QTextCharFormat bold;
        bold.setFontWeight(fdp.ConsumeBool() ? QFont::Bold : QFont::Normal);
        cursor.mergeCharFormat(bold);
        return "format a range";
    }
    case 8: {
        // Several changes in one edit block reach the index as one notification.
        cursor.beginEditBlock();
        const int n = fdp.ConsumeIntegralInRange<int>(1, 3);
        for (int i = 0; i < n; ++i)
            edit(fdp, rd, doc, decoded, x, true);
        cursor.endEditBlock();
        return "edit block";
    }
    case 9:
        doc.undo();
        return "undo";
    case 10:
        doc.redo();
        return "redo";
    case 11:
        // The editor's replacement that cannot be undone.
        select(cursor, fdp, doc);
        doc.setUndoRedoEnabled(false);
        cursor.insertText(sliceFrom(fdp, decoded));
        doc.setUndoRedoEnabled(true);
        return "replace a range without undo";
    case 12: {
        const auto from = fdp.ConsumeIntegralInRange<qsizetype>(0, x.size());
        const auto n = fdp.ConsumeIntegralInRange<qsizetype>(0, x.size() - from);
        rd.load(x.sliced(from, n), StreamFormat::PlainText, QTextCharFormat());
        return "load again";
    }
    case 13:
        // Replacing the content behind RichDocument's back must be followed all the same.
        doc.setPlainText(sliceFrom(fdp, decoded));
        return "setPlainText";
    default:
        doc.clear();
        return "clear";
    }
}

void checkDocumentRuns(QByteArrayView x)
{
    g_stage = "load";
    QTextDocument doc;
    RichDocument rd(&doc);
    try {
        rd.load(x, StreamFormat::PlainText, QTextCharFormat());
    } catch (const std::exception &e) {
        CHECK(false, "plain-text load threw: %s", e.what());
    }
    // A text that is UTF-8 reads as UTF-8 (its byte-order mark not part of it), any other as CP932.
    const TextForm form = TextFormDetector::detect(x);
    CHECK(rd.textForm() == form, "the document's text form is not the one its bytes have");
    const QString decoded = !form.isUtf8() ? Cp932::decode(x)
        : QString::fromUtf8(form.byteOrderMark ? x.sliced(3) : x);
    const QString expected = normalisedLoad(decoded);
    const QString loaded = rd.plainText();
    if (loaded != expected) {
        g_context = "loaded: " + unitsEscaped(loaded) + " / expected: " + unitsEscaped(expected);
        CHECK(loaded == expected, "the loaded text is not the decoded text with its breaks made CR LF");
    }
    if (form.isUtf8()) {
        // What a UTF-8 text saves is read back as the same text, in the same form.
        QTextDocument againDoc;
        RichDocument again(&againDoc);
        again.load(rd.save(StreamFormat::PlainText), StreamFormat::PlainText, QTextCharFormat());
        CHECK(again.plainText() == QString(loaded).remove(QChar::ObjectReplacementCharacter),
              "a saved UTF-8 text reads back otherwise");
        CHECK(again.textForm() == form || !again.textForm().isUtf8(), "a saved UTF-8 text changes its form");
    }

    // Byte positions taken from the input itself, so that mutations steer them.
    std::vector<qint64> probes;
    for (qsizetype i = 0; i + 1 < x.size() && i < 8; i += 2)
        probes.push_back(static_cast<unsigned char>(x[i]) | static_cast<unsigned char>(x[i + 1]) << 8);
    checkDocument(rd, doc, probes, Depth::Exhaustive);

    // Edits are driven from the end of the input (FuzzedDataProvider reads integers from there).
    FuzzedDataProvider fdp(reinterpret_cast<const uint8_t *>(x.data()), static_cast<size_t>(x.size()));
    const int edits = fdp.ConsumeIntegralInRange<int>(0, MaxEdits);
    for (int i = 0; i < edits && fdp.remaining_bytes() > 0; ++i) {
        g_stage = edit(fdp, rd, doc, decoded, x);
        const bool last = i + 1 == edits || fdp.remaining_bytes() == 0;
        checkDocument(rd, doc, probes, last ? Depth::Exhaustive : Depth::Sampled);
    }
}

// A text read in pieces, a part at a time (as a long file is read into the editor), gives the
// document a read of the whole gives: cut points and part sizes come from the input's end.
void checkPieces(QByteArrayView x)
{
    FuzzedDataProvider fdp(reinterpret_cast<const uint8_t *>(x.data()), static_cast<size_t>(x.size()));
    const qsizetype pieceBytes = fdp.ConsumeIntegralInRange<qsizetype>(1, 300);
    const qsizetype partBytes = fdp.ConsumeIntegralInRange<qsizetype>(1, 500);
    // The form the bytes were found in, or UTF-8 whatever they hold: the reader must stand any,
    // though only text found to be UTF-8 is read the same whatever the cuts.
    const TextForm::Encoding found = TextFormDetector::detect(x).encoding;
    const TextForm::Encoding encoding = fdp.ConsumeBool() ? found : TextForm::Encoding::Utf8;
    std::vector<QByteArray> pieces;
    for (qsizetype at = 0; at < x.size();) {
        const qsizetype length = std::min<qsizetype>(x.size() - at, fdp.ConsumeIntegralInRange<qsizetype>(1, 700));
        pieces.push_back(x.sliced(at, length).toByteArray());
        at += length;
    }
    QTextDocument whole;
    PlainText::read(whole, x, {}, qsizetype(1) << 20, encoding);
    QTextDocument parts;
    QTextCursor cursor = PlainText::startReading(parts, {});
    cursor.endEditBlock();
    CHECK(TextFormDetector::detect(pieces) == TextFormDetector::detect(x), "the form depends on the cuts");
    PlainText::PieceReader reader(std::move(pieces), pieceBytes, encoding);
    while (reader.insert(cursor, {}, partBytes))
        CHECK(reader.left() > 0, "a part was asked for with nothing left");
    CHECK(reader.left() == 0, "%lld bytes never read", static_cast<long long>(reader.left()));
    CHECK(encoding != found || PlainText::documentText(parts) == PlainText::documentText(whole),
          "pieces of %lld, parts of %lld",
          static_cast<long long>(pieceBytes), static_cast<long long>(partBytes));
}

void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // Qt's warnings (fonts and the like) would flood the fuzzer's output; fatal ones still show.
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "Qt: %s\n", message.toLocal8Bit().constData());
}

} // namespace

// fontconfig's caches (reached through QFont in QTextDocument) are still held at exit and some
// are unreachable by then: that is the system library, not ours, and would end every session.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// The build compiles UBSan checks recoverable: without this a report would scroll past and the
// run go on, so undefined behaviour would never become a kept crash input.
extern "C" const char *__ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // QTextDocument needs a QGuiApplication; no display exists here.
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    if (qEnvironmentVariableIsEmpty("PENLOFT_FUZZ_VERBOSE"))
        qInstallMessageHandler(quietMessages);
    static int argc = 1;
    static char name[] = "fuzz_text";
    static char *argv[] = { name, nullptr };
    static QGuiApplication app(argc, argv);
    buildSharedCodes();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return -1; // keeps one run fast; run.sh passes -max_len=4096 as well
    const QByteArrayView x(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    g_context.clear();
    checkCounting(x);
    checkCodec(x);
    checkUtf16(x);
    checkDocumentRuns(x);
    checkPieces(x);
    return 0;
}
