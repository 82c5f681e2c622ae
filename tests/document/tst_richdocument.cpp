#include "document/plaintext.h"
#include "document/richdocument.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(CharFormat)
Q_DECLARE_METATYPE(ParaFormat)

namespace {

QTextCursor selection(QTextDocument &doc, int from, int to)
{
    QTextCursor c(&doc);
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    return c;
}

CharFormat fullCharFormat()
{
    CharFormat f;
    f.mask = CharFormat::AllFields;
    f.faceName = u"ＭＳ 明朝"_s;
    f.sizeTwips = 225;
    f.charSet = 128;
    return f;
}

} // namespace

class tst_RichDocument : public QObject {
    Q_OBJECT
private slots:
    void unsaveableCharactersReported_data();
    void unsaveableCharactersReported();
    void charFormatReadsBackExactly_data();
    void charFormatReadsBackExactly();
    void charFormatWritesOnlyMaskedFields();
    void emptySelectionFormatsTheNextText();
    void faceNameIsCutAtThirtyOneBytes();
    void defaultFormat();
    void paraFormatReadsBackExactly_data();
    void paraFormatReadsBackExactly();
    void numberingSetsLeftIndent_data();
    void numberingSetsLeftIndent();
    void paraFormatCoversEveryTouchedParagraph();
    void find_data();
    void find();
    void plainTextLoad_data();
    void plainTextLoad();
    void plainTextReadInPiecesIsTheWholeText();
    void plainTextRoundTrip();
    void loadReplacesEverythingAndClearsHistory();
    void rtfDataIsNotReadAsText();
};

void tst_RichDocument::charFormatReadsBackExactly_data()
{
    QTest::addColumn<CharFormat>("format");
    CharFormat f = fullCharFormat();
    QTest::newRow("Mincho 11.25 pt Shift-JIS") << f;
    f.faceName = u"Default"_s;
    QTest::newRow("face that is not installed") << f;
    f.sizeTwips = 0;
    QTest::newRow("size 0") << f;
    f.sizeTwips = 1999; // not a whole point
    QTest::newRow("odd twips") << f;
    f.sizeTwips = 2000;
    f.bold = f.italic = f.underline = f.strikeOut = true;
    QTest::newRow("all four styles") << f;
    f.bold = false;
    f.strikeOut = false;
    f.autoColor = false;
    f.color = QColor(0x12, 0x34, 0x56);
    QTest::newRow("explicit colour") << f;
    f.color = QColor(Qt::black);
    QTest::newRow("explicit black is not automatic") << f;
    f.charSet = 0;
    f.pitch = CharFormat::FontPitch::Fixed;
    QTest::newRow("fixed pitch, ANSI") << f;
    f.pitch = CharFormat::FontPitch::Variable;
    f.faceName = u"ＭＳ Ｐゴシック"_s;
    QTest::newRow("variable pitch") << f;
}

void tst_RichDocument::charFormatReadsBackExactly()
{
    QFETCH(CharFormat, format);
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"あいうえお"_s);
    QTextCursor c = selection(doc, 1, 4);
    rich.setCharFormat(c, format);
    CharFormat read = rich.charFormat(c);
    if (format.autoColor)
        format.color = rich.windowTextColor();
    QCOMPARE(read, format);
    // The characters outside the selection keep the default.
    QCOMPARE(rich.charFormat(selection(doc, 0, 1)).faceName, rich.defaultCharFormat().faceName);
}

void tst_RichDocument::charFormatWritesOnlyMaskedFields()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"abcdef"_s);
    QTextCursor c = selection(doc, 0, 6);
    rich.setCharFormat(c, fullCharFormat());
    CharFormat italicOnly;
    italicOnly.mask = CharFormat::Italic;
    italicOnly.italic = true;
    QTextCursor part = selection(doc, 2, 4);
    rich.setCharFormat(part, italicOnly);
    const CharFormat read = rich.charFormat(part);
    QVERIFY(read.italic);
    QCOMPARE(read.faceName, u"ＭＳ 明朝"_s);
    QCOMPARE(read.sizeTwips, 225);
    QVERIFY(!rich.charFormat(selection(doc, 0, 2)).italic);

    // Back to automatic colour after an explicit one.
    CharFormat red;
    red.mask = CharFormat::Color;
    red.autoColor = false;
    red.color = Qt::red;
    rich.setCharFormat(c, red);
    QCOMPARE(rich.charFormat(c).color, QColor(Qt::red));
    CharFormat automatic;
    automatic.mask = CharFormat::Color;
    automatic.autoColor = true;
    rich.setCharFormat(c, automatic);
    QVERIFY(rich.charFormat(c).autoColor);
    QCOMPARE(rich.charFormat(c).color, rich.windowTextColor());
}

void tst_RichDocument::emptySelectionFormatsTheNextText()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor c(&doc);
    c.insertText(u"前"_s);
    CharFormat bold;
    bold.mask = CharFormat::Bold | CharFormat::Size;
    bold.bold = true;
    bold.sizeTwips = 480;
    rich.setCharFormat(c, bold);
    QCOMPARE(rich.charFormat(c).sizeTwips, 480);
    c.insertText(u"後"_s);
    const CharFormat typed = rich.charFormat(selection(doc, 1, 2));
    QVERIFY(typed.bold);
    QCOMPARE(typed.sizeTwips, 480);
    QVERIFY(!rich.charFormat(selection(doc, 0, 1)).bold);
}

void tst_RichDocument::faceNameIsCutAtThirtyOneBytes()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"x"_s);
    QTextCursor c = selection(doc, 0, 1);
    CharFormat f;
    f.mask = CharFormat::Face;
    f.faceName = QString(16, u'あ'); // 32 bytes: the sixteenth would be cut in half
    rich.setCharFormat(c, f);
    QCOMPARE(rich.charFormat(c).faceName, QString(15, u'あ'));
    f.faceName = u"a"_s + QString(15, u'あ'); // exactly 31 bytes
    rich.setCharFormat(c, f);
    QCOMPARE(rich.charFormat(c).faceName, f.faceName);
}

void tst_RichDocument::defaultFormat()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    CharFormat f = fullCharFormat();
    f.bold = true;
    rich.setDefaultCharFormat(f);
    CharFormat expected = f;
    expected.color = rich.windowTextColor();
    QCOMPARE(rich.defaultCharFormat(), expected);
    QCOMPARE(doc.defaultFont().families().value(0), u"ＭＳ 明朝"_s);
    QVERIFY(doc.defaultFont().bold());
    // Text with no format of its own reports the default.
    QTextCursor(&doc).insertText(u"abc"_s);
    QCOMPARE(rich.charFormat(selection(doc, 0, 2)), expected);
}

void tst_RichDocument::paraFormatReadsBackExactly_data()
{
    QTest::addColumn<ParaFormat>("format");
    ParaFormat p;
    p.mask = ParaFormat::AllFields;
    QTest::newRow("all zero, left") << p;
    p.alignment = ParaFormat::AlignRight;
    p.firstIndentTwips = 620;
    p.leftIndentTwips = -600; // the following lines start left of the first
    p.rightIndentTwips = 17;
    QTest::newRow("right aligned, hanging") << p;
    p.alignment = ParaFormat::AlignCenter;
    p.firstIndentTwips = 0;
    p.leftIndentTwips = 1440;
    QTest::newRow("centred") << p;
    p.alignment = ParaFormat::AlignJustify;
    QTest::newRow("justified is kept") << p;
    p.alignment = 7;
    QTest::newRow("unknown alignment value is kept") << p;
    p.alignment = ParaFormat::AlignLeft;
    p.numbering = ParaFormat::NumberingBullet;
    p.leftIndentTwips = 360;
    QTest::newRow("bullet") << p;
}

void tst_RichDocument::paraFormatReadsBackExactly()
{
    QFETCH(ParaFormat, format);
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"一\n二\n三"_s);
    QTextCursor middle = selection(doc, 2, 3);
    rich.setParaFormat(middle, format);
    const ParaFormat read = rich.paraFormat(middle);
    QCOMPARE(read.alignment, format.alignment);
    QCOMPARE(read.numbering, format.numbering);
    QCOMPARE(read.firstIndentTwips, format.firstIndentTwips);
    QCOMPARE(read.leftIndentTwips, format.leftIndentTwips);
    QCOMPARE(read.rightIndentTwips, format.rightIndentTwips);
    QCOMPARE(read, format);
    QCOMPARE(doc.findBlockByNumber(1).textList() != nullptr, format.numbering == ParaFormat::NumberingBullet);
    ParaFormat untouched;
    untouched.mask = ParaFormat::AllFields;
    QCOMPARE(rich.paraFormat(selection(doc, 0, 0)), untouched);
    QCOMPARE(rich.paraFormat(selection(doc, 4, 4)), untouched);
}

void tst_RichDocument::numberingSetsLeftIndent_data()
{
    QTest::addColumn<int>("numbering");
    QTest::addColumn<int>("leftBefore");
    QTest::addColumn<int>("leftAfter");
    QTest::newRow("bullet raises 4 pt to 10 pt") << ParaFormat::NumberingBullet << 80 << 200;
    QTest::newRow("bullet keeps 20 pt") << ParaFormat::NumberingBullet << 400 << 400;
    QTest::newRow("bullet raises a negative indent") << ParaFormat::NumberingBullet << -100 << 200;
    QTest::newRow("none sets 0") << ParaFormat::NumberingNone << 400 << 0;
}

void tst_RichDocument::numberingSetsLeftIndent()
{
    QFETCH(int, numbering);
    QFETCH(int, leftBefore);
    QFETCH(int, leftAfter);
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor c(&doc);
    c.insertText(u"項目"_s);
    ParaFormat left;
    left.mask = ParaFormat::LeftIndent | ParaFormat::FirstIndent;
    left.leftIndentTwips = leftBefore;
    left.firstIndentTwips = 100;
    rich.setParaFormat(c, left);
    ParaFormat numbered;
    numbered.mask = ParaFormat::Numbering;
    numbered.numbering = numbering;
    rich.setParaFormat(c, numbered);
    const ParaFormat read = rich.paraFormat(c);
    QCOMPARE(read.leftIndentTwips, leftAfter);
    QCOMPARE(read.numbering, numbering);
    QCOMPARE(read.firstIndentTwips, 100);
}

void tst_RichDocument::paraFormatCoversEveryTouchedParagraph()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"a\nb\nc\nd"_s);
    ParaFormat p;
    p.mask = ParaFormat::Alignment | ParaFormat::Numbering;
    p.alignment = ParaFormat::AlignCenter;
    p.numbering = ParaFormat::NumberingBullet;
    rich.setParaFormat(selection(doc, 3, 4), p); // from inside b to the start of c
    QCOMPARE(rich.paraFormat(selection(doc, 0, 0)).alignment, ParaFormat::AlignLeft);
    QCOMPARE(rich.paraFormat(selection(doc, 2, 2)).alignment, ParaFormat::AlignCenter);
    QCOMPARE(rich.paraFormat(selection(doc, 4, 4)).alignment, ParaFormat::AlignCenter);
    QCOMPARE(rich.paraFormat(selection(doc, 6, 6)).alignment, ParaFormat::AlignLeft);
    // One list for the adjacent bulleted paragraphs, and one undo step for the whole write.
    QVERIFY(doc.findBlockByNumber(1).textList());
    QCOMPARE(doc.findBlockByNumber(1).textList(), doc.findBlockByNumber(2).textList());
    doc.undo();
    QCOMPARE(rich.paraFormat(selection(doc, 2, 2)).alignment, ParaFormat::AlignLeft);
    QVERIFY(!doc.findBlockByNumber(1).textList());
}

void tst_RichDocument::find_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("hit");
    const QString doc = u"Word wordy word\nあいうえお word"_s;
    // Bytes: "Word wordy word" 0..14, CR LF 15..16, あいうえお 17..26, space 27, word 28..31.
    QTest::newRow("match case finds exact case") << doc << u"word"_s << 0 << -1 << int(FindMatchCase) << 5;
    QTest::newRow("without match case any case") << doc << u"word"_s << 0 << -1 << 0 << 0;
    QTest::newRow("upper case search, match case") << doc << u"WORD"_s << 0 << -1 << int(FindMatchCase) << -1;
    QTest::newRow("whole word skips wordy") << doc << u"word"_s << 1 << -1 << int(FindMatchCase | FindWholeWord) << 11;
    QTest::newRow("hit inside a longer word") << doc << u"ordy"_s << 0 << -1 << int(FindMatchCase) << 6;
    QTest::newRow("Japanese hit in bytes") << doc << u"うえ"_s << 0 << -1 << int(FindMatchCase) << 21;
    QTest::newRow("after a Japanese hit") << doc << u"word"_s << 17 << -1 << int(FindMatchCase) << 28;
    QTest::newRow("hit must end within the range") << doc << u"word"_s << 17 << 31 << int(FindMatchCase) << -1;
    QTest::newRow("hit must start within the range") << doc << u"あい"_s << 18 << -1 << int(FindMatchCase) << -1;
    QTest::newRow("range ending exactly at the hit's end") << doc << u"word"_s << 17 << 32 << int(FindMatchCase) << 28;
    QTest::newRow("across a paragraph break") << doc << u"word\r\nあ"_s << 0 << -1 << int(FindMatchCase) << 11;
    QTest::newRow("empty text") << doc << QString() << 0 << -1 << 0 << -1;
    QTest::newRow("empty range") << doc << u"W"_s << 5 << 5 << 0 << -1;
    QTest::newRow("byte after the trail of a double-byte") << u"ソ\\"_s << u"\\"_s << 0 << -1 << 0 << 2;
    // Characters written with the same Shift-JIS bytes are the same character, both ways.
    const QString twins[][2] = { { u"〜"_s, u"～"_s }, { u"−"_s, u"－"_s }, { u"‖"_s, u"∥"_s }, { u"¢"_s, u"￠"_s },
                                 { u"£"_s, u"￡"_s }, { u"¬"_s, u"￢"_s }, { u"—"_s, u"―"_s } };
    for (const auto &[one, other] : twins) {
        QTest::addRow("%s finds %s", qPrintable(one), qPrintable(other))
            << u"10"_s + other + u"20"_s << u"0"_s + one + u"2"_s << 0 << -1 << int(FindMatchCase) << 1;
        QTest::addRow("%s finds %s", qPrintable(other), qPrintable(one))
            << u"ab\n10"_s + one << other << 0 << -1 << int(FindMatchCase) << 6;
    }
    QTest::newRow("twins across a paragraph break") << u"a～\nb"_s << u"〜\r\nb"_s << 0 << -1 << int(FindMatchCase) << 1;
    QTest::newRow("a character with no Shift-JIS form finds itself only") << u"x€y?"_s << u"€"_s << 0 << -1 << 0 << 1;
    QTest::newRow("nor does ? find it") << u"x€y"_s << u"?"_s << 0 << -1 << 0 << -1;
}

void tst_RichDocument::find()
{
    QFETCH(QString, text);
    QFETCH(QString, what);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, flags);
    QFETCH(int, hit);
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(text);
    QCOMPARE(rich.find(what, min, max, flags), hit);
}

void tst_RichDocument::plainTextLoad_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("paragraphs");
    QTest::newRow("CR LF") << "a\r\nb"_ba << QStringList { u"a"_s, u"b"_s };
    QTest::newRow("lone LF") << "a\nb"_ba << QStringList { u"a"_s, u"b"_s };
    QTest::newRow("lone CR") << "a\rb"_ba << QStringList { u"a"_s, u"b"_s };
    QTest::newRow("LF CR is two breaks") << "a\n\rb"_ba << QStringList { u"a"_s, QString(), u"b"_s };
    QTest::newRow("CR then CR LF is two breaks") << "a\r\r\nb"_ba << QStringList { u"a"_s, QString(), u"b"_s };
    QTest::newRow("lone CR at the end") << "a\r"_ba << QStringList { u"a"_s, QString() };
    QTest::newRow("break at the end leaves an empty paragraph") << "a\r\n"_ba << QStringList { u"a"_s, QString() };
    QTest::newRow("empty file") << QByteArray() << QStringList { QString() };
    QTest::newRow("Shift-JIS") << "\x93\xFA\x96\x7B\r\n\x83\x5C"_ba << QStringList { u"日本"_s, u"ソ"_s };
    QTest::newRow("bad bytes") << "\xFF\x82"_ba << QStringList { u"\uFFFD\uFFFD"_s };
    QTest::newRow("binary with NUL") << QByteArray("\x00\x01\x02\xFE", 4)
                                     << QStringList { QString::fromUtf16(u"\u0000\u0001\u0002\uFFFD", 4) };
    QTest::newRow("one long line stays one paragraph") << QByteArray(100000, 'x') << QStringList { QString(100000, u'x') };
}

void tst_RichDocument::plainTextLoad()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, paragraphs);
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load(bytes, StreamFormat::PlainText, QTextCharFormat());
    QStringList read;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        read += b.text();
    QCOMPARE(read, paragraphs);
    QCOMPARE(rich.textLength(), rich.text().size());
}

// Text is decoded and inserted piece by piece; no cut may change what is read: not between CR
// and LF, not inside a double-byte character, not in a long line of nothing but such characters.
void tst_RichDocument::plainTextReadInPiecesIsTheWholeText()
{
    QRandomGenerator random(0x50494543);
    const QByteArray alphabet("\r\n\x82\xA0\x81\x40\xFF a\x93\xFA\x82");
    QList<QByteArray> inputs = { "\x93\xFA\x96\x7B"_ba.repeated(3000), "a\r\n"_ba.repeated(500) + "\x82"_ba,
                                 "\x82\x82\x82\x40"_ba.repeated(2000) + "\r"_ba + "\n"_ba.repeated(3) };
    for (int n = 0; n < 20; ++n) {
        QByteArray bytes(int(random.bounded(1, 6000)), Qt::Uninitialized);
        for (char &c : bytes)
            c = alphabet[int(random.bounded(alphabet.size()))];
        inputs += bytes;
    }
    for (const QByteArray &bytes : std::as_const(inputs)) {
        QTextDocument whole;
        PlainText::read(whole, bytes, QTextCharFormat(), bytes.size());
        for (const qsizetype piece : { 1, 2, 3, 7, 64, 5000 }) {
            QTextDocument pieces;
            PlainText::read(pieces, bytes, QTextCharFormat(), piece);
            QCOMPARE(pieces.blockCount(), whole.blockCount());
            QCOMPARE(pieces.toRawText(), whole.toRawText());
            // As a file is read: in pieces of their own sizes, cut anywhere.
            std::vector<QByteArray> filePieces;
            for (qsizetype at = 0; at < bytes.size();) {
                const qsizetype size = std::min<qsizetype>(random.bounded(1, 900), bytes.size() - at);
                filePieces.push_back(bytes.mid(at, size));
                at += size;
            }
            QTextDocument fromFile;
            PlainText::read(fromFile, std::move(filePieces), QTextCharFormat(), piece);
            QCOMPARE(fromFile.toRawText(), whole.toRawText());
        }
    }
}

void tst_RichDocument::plainTextRoundTrip()
{
    const QByteArray bytes = "\x93\xFA\x96\x7B\x8C\xEA\r\n\r\n\x81\x60\x81\x7C\x87\x40 ASCII\t\xB1\r\n\x83\x5C\x95\x5C"_ba;
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load(bytes, StreamFormat::Rtf, QTextCharFormat()); // not RTF: read as text
    QCOMPARE(rich.save(StreamFormat::PlainText), bytes);
    QCOMPARE(rich.text(), bytes);
    QCOMPARE(rich.textLength(), bytes.size());
    QCOMPARE(rich.plainText(), u"日本語\r\n\r\n\uFF5E\uFF0D\u2460 ASCII\t\uFF71\r\nソ表"_s);
}

void tst_RichDocument::loadReplacesEverythingAndClearsHistory()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"old text"_s);
    QVERIFY(doc.isUndoAvailable());
    QTextCharFormat format;
    format.setFontItalic(true);
    rich.load("new"_ba, StreamFormat::PlainText, format);
    QCOMPARE(doc.toPlainText(), u"new"_s);
    QVERIFY(!doc.isUndoAvailable());
    QVERIFY(rich.charFormat(selection(doc, 0, 2)).italic); // the text takes the given format
    QTextCursor(&doc).insertText(u"x"_s);
    QVERIFY(doc.isUndoAvailable()); // recording resumes
}

void tst_RichDocument::rtfDataIsNotReadAsText()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load("{\\rtf1 x}"_ba, StreamFormat::PlainText, QTextCharFormat());
    QCOMPARE(doc.toPlainText(), u"{\\rtf1 x}"_s); // plain-text mode reads anything as text
}

void tst_RichDocument::unsaveableCharactersReported_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<uint>("first");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("position");
    QTest::newRow("none") << u"日本語 〜 − ‖"_s << 0 << 0u << 0 << -1;
    QTest::newRow("euro on line 1") << u"ab€c"_s << 1 << 0x20ACu << 1 << 2;
    QTest::newRow("a pair counts once") << u"x\ny\n𠮷é"_s << 2 << 0x20BB7u << 3 << 4;
    QTest::newRow("accents") << u"café\nüber"_s << 2 << 0xE9u << 1 << 3;
}

void tst_RichDocument::unsaveableCharactersReported()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(uint, first);
    QFETCH(int, line);
    QFETCH(int, position);
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(text);
    Unsaveable report;
    const QByteArray bytes = rich.save(StreamFormat::PlainText, &report);
    QCOMPARE(report.count, count);
    QCOMPARE(uint(report.first), first);
    QCOMPARE(report.line, line);
    QCOMPARE(report.documentPosition, position);
    QCOMPARE(bytes.count('?'), count);
    if (count)
        QCOMPARE(QTextCursor(&doc).document()->characterAt(report.documentPosition).unicode(),
                 QChar::requiresSurrogates(first) ? QChar::highSurrogate(first) : char16_t(first));
}

QTEST_MAIN(tst_RichDocument)
#include "tst_richdocument.moc"
