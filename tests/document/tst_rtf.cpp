#include "document/richdocument.h"
#include "document/rtf/rtfreader.h"
#include "document/rtf/rtfwriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include "documentprobes.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray fixture(const char *name)
{
    QFile f(QStringLiteral(PENLOFT_FIXTURES "/rtf/") + QString::fromLatin1(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll();
}

QStringList paragraphs(const QTextDocument &doc)
{
    QStringList list;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        list += b.text();
    return list;
}

using DocumentProbes::formatAt;
using DocumentProbes::paragraphFormat;

int positionOf(const QTextDocument &doc, const QString &text)
{
    return int(doc.toPlainText().indexOf(text));
}

struct Loaded {
    QTextDocument doc;
    RichDocument rich { &doc };
    explicit Loaded(const QByteArray &data) { rich.load(data, StreamFormat::Rtf, QTextCharFormat()); }
};

} // namespace

class tst_Rtf : public QObject {
    Q_OBJECT
private slots:
    void slicedWritingGivesTheSameRtf();
    void richEditBulletsAndDoubleBytePairs();
    void wordProcessorListsFieldsTables();
    void doubleByteMarkersAreDecodedWhole();
    void ansiDocumentWithJapaneseFont();
    void unicodeValuesAndSkips();
    void trailBytesAndEscapesSurviveARoundTrip();
    void roundTripKeepsTextAndFormatting();
    void writerOutputForOldReaders();
    void badInput_data();
    void badInput();
    void deepNestingIsNotRecursive();
    void randomBytesAfterHeader();
    void notRtfIsReadAsText();
    void fuzzFindingsRoundTrip_data();
    void fuzzFindingsRoundTrip();
};

void tst_Rtf::richEditBulletsAndDoubleBytePairs()
{
    Loaded l(fixture("richedit-bullets.rtf"));
    QCOMPARE(paragraphs(l.doc), (QStringList { u"日本語"_s, u"箇条書き"_s, u"ソ表能"_s, u"center"_s }));
    const CharFormat first = formatAt(l.rich, 0);
    QCOMPARE(first.faceName, u"ＭＳ Ｐゴシック"_s);
    QCOMPARE(first.sizeTwips, 220);
    QCOMPARE(first.charSet, 128);
    QVERIFY(first.autoColor);

    const ParaFormat bullet = paragraphFormat(l.rich, 1);
    QCOMPARE(bullet.numbering, ParaFormat::NumberingBullet);
    QCOMPARE(bullet.firstIndentTwips, 0);
    QCOMPARE(bullet.leftIndentTwips, 200);
    QCOMPARE(paragraphFormat(l.rich, 2).numbering, ParaFormat::NumberingBullet);
    QCOMPARE(l.doc.findBlockByNumber(1).textList(), l.doc.findBlockByNumber(2).textList());

    const CharFormat red = formatAt(l.rich, positionOf(l.doc, u"ソ"_s));
    QVERIFY(red.bold);
    QVERIFY(!red.autoColor);
    QCOMPARE(red.color, QColor(255, 0, 0));
    QCOMPARE(paragraphFormat(l.rich, 3).alignment, ParaFormat::AlignCenter);
    QCOMPARE(paragraphFormat(l.rich, 3).numbering, ParaFormat::NumberingNone);
    QVERIFY(formatAt(l.rich, positionOf(l.doc, u"center"_s)).autoColor);
}

void tst_Rtf::wordProcessorListsFieldsTables()
{
    Loaded l(fixture("word-lists-fields-tables.rtf"));
    QCOMPARE(paragraphs(l.doc), (QStringList { u"日本語\uFFFC\uFFFC"_s, u"あ"_s, u"numbered"_s, u"link after"_s, u"A"_s, u"B"_s,
                                               u"\uFFFC\uFFFC\uFFFC—\u00A0‘x’–•"_s, u"\uFFFCvisible"_s }));
    QTextList *numbered = l.doc.findBlockByNumber(2).textList();
    QVERIFY(numbered);
    QCOMPARE(numbered->itemText(l.doc.findBlockByNumber(2)), u"1."_s);
    const CharFormat mincho = formatAt(l.rich, 0);
    QCOMPARE(mincho.faceName, u"ＭＳ 明朝"_s);
    QCOMPARE(mincho.sizeTwips, 210);
    QVERIFY(!mincho.bold);
    const CharFormat bold = formatAt(l.rich, 2);
    QVERIFY(bold.bold);
    QCOMPARE(bold.sizeTwips, 280);

    const ParaFormat bullet = paragraphFormat(l.rich, 1);
    QCOMPARE(bullet.numbering, ParaFormat::NumberingBullet);
    QCOMPARE(bullet.firstIndentTwips, 0);
    QCOMPARE(bullet.leftIndentTwips, 420);
    // A numbered list keeps its number as text.
    QCOMPARE(paragraphFormat(l.rich, 2).numbering, ParaFormat::NumberingNone);
    QCOMPARE(paragraphFormat(l.rich, 3).alignment, ParaFormat::AlignRight);
    const CharFormat link = formatAt(l.rich, positionOf(l.doc, u"link"_s));
    QVERIFY(link.underline);
    QCOMPARE(link.color, QColor(0, 0, 255));
    QVERIFY(!formatAt(l.rich, positionOf(l.doc, u"after"_s)).underline);
}

// A marker's double-byte character arrives as two escapes; a numbered marker becomes text.
void tst_Rtf::doubleByteMarkersAreDecodedWhole()
{
    Loaded l("{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0 A;}{\\f1\\fswiss Arial;}}\\f1 "
             "{\\listtext\\'82\\'50\\'81\\'44\\tab}\\ls1\\pnnumonly first\\par"
             "{\\pntext\\f0\\'82\\'51\\'81\\'44\\tab}\\pnnumonly second\\par}"_ba);
    QCOMPARE(paragraphs(l.doc), (QStringList { u"１．\tfirst"_s, u"２．\tsecond"_s }));
}

void tst_Rtf::ansiDocumentWithJapaneseFont()
{
    Loaded l(fixture("ansi1252-japanese-font.rtf"));
    QCOMPARE(paragraphs(l.doc), QStringList { u"café 日本 ソ"_s });
    QCOMPARE(formatAt(l.rich, 0).faceName, u"Arial"_s);
    QCOMPARE(formatAt(l.rich, 0).sizeTwips, 200);
    QCOMPARE(formatAt(l.rich, 5).faceName, u"ＭＳ 明朝"_s);
    QCOMPARE(formatAt(l.rich, 5).charSet, 128);
}

void tst_Rtf::unicodeValuesAndSkips()
{
    Loaded l(fixture("unicode-values.rtf"));
    QCOMPARE(l.doc.toPlainText(), u"\uF020\uF000あいう\U0001F600\U0001F600あいz"_s);
}

void tst_Rtf::trailBytesAndEscapesSurviveARoundTrip()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    const QString text = u"ソ表能\\{}a\\b{c}\t\uFF71\u00E9"_s;
    QTextCursor(&doc).insertText(text);
    const QByteArray rtf = rich.save(StreamFormat::Rtf);
    Loaded back(rtf);
    QCOMPARE(back.doc.toPlainText(), text);
    // Without \u, the CP932 bytes alone read right too: ソ is 83 5C, its trail byte escaped.
    QVERIFY(rtf.contains("\\u12477\\'83\\'5c"));
}

void tst_Rtf::roundTripKeepsTextAndFormatting()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor c(&doc);
    c.insertText(u"普通\tの文字 plain\u2028next line"_s);
    c.insertText(u"\n赤い太字"_s);
    c.insertText(u"\n箇条一\n箇条二\n中央\n右\n字下げ\n"_s);
    c.insertText(u"\U0001F600 é ｱｲｳ"_s);

    auto select = [&](int from, int to) {
        QTextCursor s(&doc);
        s.setPosition(from);
        s.setPosition(to, QTextCursor::KeepAnchor);
        return s;
    };
    auto block = [&](int n) { return select(doc.findBlockByNumber(n).position(), doc.findBlockByNumber(n).position()); };
    CharFormat red;
    red.mask = CharFormat::Color | CharFormat::Bold | CharFormat::Size | CharFormat::Face | CharFormat::CharSet;
    red.autoColor = false;
    red.color = QColor(200, 10, 20);
    red.bold = true;
    red.sizeTwips = 480;
    red.faceName = u"ＭＳ 明朝"_s;
    red.charSet = 128;
    QTextCursor s = select(doc.findBlockByNumber(1).position(), doc.findBlockByNumber(1).position() + 2);
    rich.setCharFormat(s, red);
    CharFormat styles;
    styles.mask = CharFormat::Italic | CharFormat::Underline | CharFormat::StrikeOut | CharFormat::Pitch;
    styles.italic = styles.underline = styles.strikeOut = true;
    styles.pitch = CharFormat::FontPitch::Fixed;
    s = select(3, 8);
    rich.setCharFormat(s, styles);

    ParaFormat bullet;
    bullet.mask = ParaFormat::Numbering;
    bullet.numbering = ParaFormat::NumberingBullet;
    rich.setParaFormat(select(doc.findBlockByNumber(2).position(), doc.findBlockByNumber(3).position()), bullet);
    ParaFormat centre;
    centre.mask = ParaFormat::Alignment;
    centre.alignment = ParaFormat::AlignCenter;
    rich.setParaFormat(block(4), centre);
    centre.alignment = ParaFormat::AlignRight;
    rich.setParaFormat(block(5), centre);
    ParaFormat indents;
    indents.mask = ParaFormat::FirstIndent | ParaFormat::LeftIndent | ParaFormat::RightIndent;
    indents.firstIndentTwips = 720;
    indents.leftIndentTwips = -360;
    indents.rightIndentTwips = 100;
    rich.setParaFormat(block(6), indents);

    const QByteArray rtf = rich.save(StreamFormat::Rtf);
    Loaded back(rtf);
    QCOMPARE(paragraphs(back.doc), paragraphs(doc));
    for (int position = 0; position < doc.characterCount() - 1; ++position) {
        if (doc.toPlainText().at(position).isLowSurrogate())
            continue;
        const CharFormat before = formatAt(rich, position);
        const CharFormat after = formatAt(back.rich, position);
        QVERIFY2(before == after, qPrintable(u"character format differs at %1"_s.arg(position)));
    }
    for (int b = 0; b < doc.blockCount(); ++b)
        QCOMPARE(paragraphFormat(back.rich, b), paragraphFormat(rich, b));
    // Writing what was read gives the same file.
    QCOMPARE(back.rich.save(StreamFormat::Rtf), rtf);
}

void tst_Rtf::writerOutputForOldReaders()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    QTextCursor(&doc).insertText(u"あ\nb"_s);
    const QByteArray rtf = rich.save(StreamFormat::Rtf);
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg932"));
    QVERIFY(rtf.contains("\\uc2 \\u12354\\'82\\'a0"));
    QVERIFY(rtf.endsWith("\\par \r\n}"));
    // Every paragraph ends with \par, and the reader takes the last one as the end of the text.
    QCOMPARE(paragraphs(Loaded(rtf).doc), (QStringList { u"あ"_s, u"b"_s }));
    QTextCursor(&doc).insertText(u"\n"_s);
    QTextCursor end(&doc);
    end.movePosition(QTextCursor::End);
    end.insertText(u"\n"_s);
    QCOMPARE(paragraphs(Loaded(rich.save(StreamFormat::Rtf)).doc), (QStringList { QString(), u"あ"_s, u"b"_s, QString() }));
}

void tst_Rtf::badInput_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");
    QTest::newRow("header only") << "{\\rtf"_ba << QString();
    QTest::newRow("truncated") << "{\\rtf1 abc{\\b de"_ba << u"abcde"_s;
    QTest::newRow("stray closing braces") << "{\\rtf1 a}}}} b"_ba << u"a"_s;
    QTest::newRow("unclosed groups") << "{\\rtf1 a{{{ b"_ba << u"a b"_s;
    QTest::newRow("huge numbers") << "{\\rtf1\\fs99999999999999999999 a\\li-99999999999999 b\\uc999999999 c}"_ba << u"abc"_s;
    QTest::newRow("bin longer than the data") << "{\\rtf1 a\\bin999999 xyz"_ba << u"a"_s;
    QTest::newRow("negative bin") << "{\\rtf1 a\\bin-5 xyz}"_ba << u"axyz"_s;
    QTest::newRow("u out of range") << "{\\rtf1 \\u70000?\\u-99999?ok}"_ba << u"ok"_s;
    QTest::newRow("bad hex escapes") << "{\\rtf1 a\\'zzb\\'8"_ba << u"azzb8"_s;
    QTest::newRow("lone lead byte") << "{\\rtf1\\ansicpg932 \\'82}"_ba << u"\uFFFD"_s;
    QTest::newRow("backslash at the end") << "{\\rtf1 a\\"_ba << u"a"_s;
    QTest::newRow("control word at the end") << "{\\rtf1 a\\par"_ba << u"a"_s;
    QTest::newRow("colour index out of table") << "{\\rtf1{\\colortbl;\\red1;}\\cf99 x}"_ba << u"x"_s;
    QTest::newRow("font table without names") << "{\\rtf1{\\fonttbl{\\f0}{\\f1\\fcharset128}}\\f1 x\\f7 y}"_ba << u"xy"_s;
    QTest::newRow("raw Shift-JIS bytes") << "{\\rtf1\\ansi\\ansicpg932 \x93\xfa\x8c\xea}"_ba << u"日語"_s;
    QTest::newRow("NUL and control bytes") << QByteArray("{\\rtf1 a\0\x01\x02 b}", 13) << u"a b"_s;
    // \* marks only the word right after it: not one after text or a brace.
    QTest::newRow("star, text, group") << "{\\rtf1 {\\*x}{\\foo y}z}"_ba << u"xyz"_s;
    QTest::newRow("star, text, word") << "{\\rtf1 {\\*x \\foo y}}"_ba << u"x y"_s;
    QTest::newRow("star, its word") << "{\\rtf1 a{\\*\\foo y}b}"_ba << u"a\uFFFCb"_s;
    QTest::newRow("star, line break, its word") << "{\\rtf1 a{\\*\r\n\\foo y}b}"_ba << u"a\uFFFCb"_s;
}

void tst_Rtf::badInput()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, text);
    Loaded l(data);
    QCOMPARE(l.doc.toPlainText(), text);
    QCOMPARE(l.rich.textLength(), l.rich.text().size());
}

void tst_Rtf::deepNestingIsNotRecursive()
{
    const int depth = 100000;
    QByteArray data = "{\\rtf1 ";
    data += QByteArray(depth, '{') + "\\b x" + QByteArray(depth, '}') + " y}";
    QElapsedTimer timer;
    timer.start();
    Loaded l(data);
    QCOMPARE(l.doc.toPlainText(), u"x y"_s);
    QVERIFY(formatAt(l.rich, 0).bold);
    QVERIFY(!formatAt(l.rich, 2).bold);
    QVERIFY2(timer.elapsed() < 5000, "nesting is handled in linear time");
}

void tst_Rtf::randomBytesAfterHeader()
{
    QRandomGenerator random(8122026);
    for (int round = 0; round < 200; ++round) {
        QByteArray data = "{\\rtf1";
        const int length = int(random.bounded(2000));
        static const char alphabet[] = "{}\\'abcdefuxlpr0123456789- ;*\x82\xa0\r\n";
        for (int i = 0; i < length; ++i)
            data += random.bounded(4) == 0 ? char(random.bounded(256)) : alphabet[random.bounded(int(sizeof alphabet) - 1)];
        Loaded l(data);
        QCOMPARE(l.rich.textLength(), l.rich.text().size());
        // What we write of it reads back to the same text.
        Loaded again(l.rich.save(StreamFormat::Rtf));
        QCOMPARE(again.doc.toPlainText(), l.doc.toPlainText());
    }
}

void tst_Rtf::notRtfIsReadAsText()
{
    Loaded l("{\\rt not quite"_ba);
    QCOMPARE(l.doc.toPlainText(), u"{\\rt not quite"_s);
    QTextDocument doc;
    QVERIFY(!RtfReader::read("plain", doc, CharFormat()));
}

void tst_Rtf::fuzzFindingsRoundTrip_data()
{
    QTest::addColumn<QString>("path");
    const QDir findings(QStringLiteral(PENLOFT_FIXTURES "/rtf/fuzz"));
    for (const QString &name : findings.entryList(QDir::Files))
        QTest::newRow(qPrintable(name)) << findings.filePath(name);
}

// Inputs the fuzzer once found a fault with, read as it reads them (behind "{\rtf1 ").
void tst_Rtf::fuzzFindingsRoundTrip()
{
    QFETCH(QString, path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    Loaded first("{\\rtf1 " + f.readAll());
    QCOMPARE(first.rich.textLength(), first.rich.text().size());
    const QByteArray written = first.rich.save(StreamFormat::Rtf);
    Loaded second(written);
    QCOMPARE(second.doc.toPlainText(), first.doc.toPlainText());
    QCOMPARE(second.rich.save(StreamFormat::Rtf), written);
}

void tst_Rtf::slicedWritingGivesTheSameRtf()
{
    // A slice that ends at once still writes a paragraph; the pieces make the same RTF.
    Loaded loaded(fixture("richedit-bullets.rtf"));
    QTextCursor end(&loaded.doc);
    end.movePosition(QTextCursor::End);
    for (int i = 0; i < 50; ++i)
        end.insertText(u"行 %1 の文\n"_s.arg(i));
    CharFormat defaults;
    defaults.faceName = u"ＭＳ ゴシック"_s;
    const QByteArray whole = RtfWriter::write(loaded.doc, defaults, Qt::black);
    RtfWriter::SlicedWriter sliced(loaded.doc, defaults, Qt::black);
    int slices = 1;
    while (!sliced.proceed(QDeadlineTimer(0)))
        ++slices;
    QCOMPARE(sliced.take(), whole);
    QVERIFY(slices > loaded.doc.blockCount());
}

QTEST_MAIN(tst_Rtf)
#include "tst_rtf.moc"
