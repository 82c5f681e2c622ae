// Character and paragraph properties RTF files give in more than one way: double-byte text's
// associated properties, raised and lowered text, highlight, paragraph spacing. Each is read,
// written, and read back the same.

#include "document/richdocument.h"
#include "document/textformats.h"

#include <QTest>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include "documentprobes.h"

using namespace Qt::StringLiterals;
using DocumentProbes::formatAt;

namespace {

struct Loaded {
    QTextDocument doc;
    RichDocument rich { &doc };
    explicit Loaded(const QByteArray &data) { rich.load(data, StreamFormat::Rtf, QTextCharFormat()); }
};

const QByteArray Header = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times;}"
                          "{\\f6\\fcharset128 IPAMincho;}}\\pard\\plain\\f0\\fs24 "_ba;

// Each character's face, size, weight and slant, in one line for the comparisons.
QString looks(const RichDocument &rich, int position)
{
    const CharFormat f = formatAt(rich, position);
    return u"%1 %2%3%4"_s.arg(f.faceName)
        .arg(f.sizeTwips)
        .arg(f.bold ? u" bold"_s : QString())
        .arg(f.italic ? u" italic"_s : QString());
}

// The document's own format of the character at `position`.
QTextCharFormat textFormatAt(const QTextDocument &doc, int position)
{
    QTextCursor c(const_cast<QTextDocument *>(&doc));
    c.setPosition(position + 1);
    return c.charFormat();
}

// What of a character's format goes beyond the editor's character properties, in one line.
QString marks(const QTextDocument &doc, int position)
{
    const QTextCharFormat f = textFormatAt(doc, position);
    QString s;
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        s += u"raised"_s;
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        s += u"lowered"_s;
    if (f.background().style() != Qt::NoBrush)
        s += (s.isEmpty() ? u""_s : u" "_s) + f.background().color().name();
    return s;
}

// A paragraph's spacing as Qt lays it out: margins and line height in pixels.
QString spacing(const QTextDocument &doc, int block)
{
    const QTextBlockFormat f = doc.findBlockByNumber(block).blockFormat();
    static const char *const types[] = { "single", "proportional", "fixed", "minimum", "distance" };
    return u"%1 %2 %3 %4"_s.arg(f.topMargin())
        .arg(f.bottomMargin())
        .arg(QLatin1StringView(types[qBound(0, f.lineHeightType(), 4)]))
        .arg(f.lineHeight());
}

// Per character of the first paragraph: "s" where its size was stated, "-" where it was not.
QString statedSizes(const QTextDocument &doc)
{
    QString sizes;
    for (int position = 0; position < doc.firstBlock().length() - 1; ++position)
        sizes += TextFormats::isSizeUnstated(textFormatAt(doc, position)) ? u'-' : u's';
    return sizes;
}

// The \fsN words in `rtf`.
int sizeWords(const QByteArray &rtf)
{
    int count = 0;
    for (qsizetype at = rtf.indexOf("\\fs"); at >= 0; at = rtf.indexOf("\\fs", at + 1))
        count += at + 3 < rtf.size() && rtf.at(at + 3) >= '0' && rtf.at(at + 3) <= '9' ? 1 : 0;
    return count;
}

const QByteArray Unsized = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 IPAMincho;}}"_ba;

} // namespace

class tst_RtfFormats : public QObject {
    Q_OBJECT
private slots:
    void associatedProperties_data();
    void associatedProperties();
    void associatedPropertiesSurviveASave();
    void raisedLoweredAndHighlighted_data();
    void raisedLoweredAndHighlighted();
    void paragraphSpacing_data();
    void paragraphSpacing();
    void raisingHighlightAndSpacingSurviveASave();
    void emptyParagraphsHighlightIsInTheColourTable();
    void sizesTheFileLeftUnstatedAreWrittenUnstated_data();
    void sizesTheFileLeftUnstatedAreWrittenUnstated();
    void aSizeSetOverUnstatedTextIsStated();
};

void tst_RtfFormats::associatedProperties_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("kanji"); // how 見出 (the first two characters) shows
    QTest::addColumn<QString>("latin"); // how "ab" after them shows

    // A heading as an office suite writes it: the double-byte text's bold and size are its own.
    QTest::newRow("office suite heading")
        << "{\\rtlch\\af6\\afs32\\ab \\ltrch\\hich\\af6\\loch\\f6\\dbch\\afs32\\ab\\af6\\dbch \\u35211\\'3f\\u20986\\'3f}"
           "{\\rtlch\\af6 \\ltrch\\loch\\f0 ab}"_ba
        << u"IPAMincho 320 bold"_s << u"Times 240"_s;
    // Text after \loch in the same group: the associated properties are the double-byte text's.
    QTest::newRow("latin after loch")
        << "{\\dbch\\af6\\afs32\\ab\\ai \\u35211\\'3f\\u20986\\'3f\\loch ab}"_ba << u"IPAMincho 320 bold italic"_s
        << u"Times 240"_s;
    // Right-to-left associated properties change neither.
    QTest::newRow("right-to-left only")
        << "{\\rtlch\\ab\\afs40\\ai \\ltrch\\dbch \\u35211\\'3f\\u20986\\'3f\\loch ab}"_ba << u"Times 240"_s
        << u"Times 240"_s;
    QTest::newRow("high-ANSI only") << "{\\hich\\ab\\afs40 \\dbch \\u35211\\'3f\\u20986\\'3f\\loch ab}"_ba
                                    << u"Times 240"_s << u"Times 240"_s;
    // Where no associated property is given, the run's own apply to double-byte text too.
    QTest::newRow("run's own") << "{\\b\\fs32\\loch\\f0\\hich\\af0\\dbch\\af6 \\u35211\\'3f\\u20986\\'3f\\loch ab}"_ba
                               << u"IPAMincho 320 bold"_s << u"Times 320 bold"_s;
    QTest::newRow("associated overrides") << "{\\b\\i\\fs32\\dbch\\ab0\\ai0\\afs20 \\u35211\\'3f\\u20986\\'3f\\loch ab}"_ba
                                          << u"Times 200"_s << u"Times 320 bold italic"_s;
    QTest::newRow("plain forgets them") << "{\\dbch\\ab\\afs32\\plain\\dbch \\u35211\\'3f\\u20986\\'3f\\loch ab}"_ba
                                        << u"Times 240"_s << u"Times 240"_s;
    QTest::newRow("group ends them") << "{\\dbch\\ab\\afs32 {\\dbch\\ab0 }}\\dbch \\u35211\\'3f\\u20986\\'3f\\loch ab"_ba
                                     << u"Times 240"_s << u"Times 240"_s;
    // Shift-JIS bytes under \dbch decode in the associated font's code page.
    QTest::newRow("bytes in the associated font") << "{\\dbch\\af6\\ab \\'8c\\'a9\\'8f\\'6f\\loch ab}"_ba
                                                  << u"IPAMincho 240 bold"_s << u"Times 240"_s;
    // Numbers from the file are held to their range; a font that is not there is the default.
    QTest::newRow("hostile numbers") << "{\\dbch\\afs99999999999\\af-99999 \\u35211\\'3f\\u20986\\'3f\\loch ab}"_ba
                                     << u"Times 327670"_s << u"Times 240"_s;
}

void tst_RtfFormats::associatedProperties()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, kanji);
    QFETCH(QString, latin);
    Loaded l(Header + body + "\\par}");
    QCOMPARE(l.doc.toPlainText(), u"見出ab"_s);
    QCOMPARE(looks(l.rich, 0), kanji);
    QCOMPARE(looks(l.rich, 1), kanji);
    QCOMPARE(looks(l.rich, 2), latin);
    QCOMPARE(looks(l.rich, 3), latin);
}

void tst_RtfFormats::associatedPropertiesSurviveASave()
{
    Loaded l(Header
             + "{\\rtlch\\af6\\afs32\\ab \\ltrch\\hich\\af6\\loch\\f6\\dbch\\afs32\\ab\\af6\\dbch "
               "\\u35211\\'3f\\u20986\\'3f}{\\loch\\f0 ab}\\par}"_ba);
    const QByteArray saved = l.rich.save(StreamFormat::Rtf);
    // Stated for readers of either kind: the run's own words, and the double-byte text's.
    const qsizetype kanji = saved.indexOf("\\u-30325"); // 見, as a signed 16-bit value
    QVERIFY2(kanji > 0, saved.constData());
    const QByteArray before = saved.left(kanji);
    const qsizetype own = before.lastIndexOf("\\loch");
    QVERIFY2(own > 0 && before.indexOf("\\fs32", own) > 0 && before.indexOf("\\b ", own) > 0, saved.constData());
    const qsizetype associated = before.lastIndexOf("\\dbch");
    QVERIFY2(associated >= 0 && associated < own, saved.constData());
    const QByteArray associatedWords = before.mid(associated, own - associated);
    QVERIFY2(associatedWords.contains("\\afs32") && associatedWords.contains("\\ab "), saved.constData());
    QVERIFY2(saved.mid(kanji).contains("\\ab0") && saved.mid(kanji).contains("\\afs24"), saved.constData());

    Loaded back(saved);
    QCOMPARE(back.doc.toPlainText(), u"見出ab"_s);
    for (int position = 0; position < 4; ++position)
        QCOMPARE(looks(back.rich, position), looks(l.rich, position));
    QCOMPARE(back.rich.save(StreamFormat::Rtf), saved);
}

void tst_RtfFormats::raisedLoweredAndHighlighted_data()
{
    QTest::addColumn<QByteArray>("body"); // "m" then "2" in the words given
    QTest::addColumn<QString>("shown"); // how the "2" shows

    QTest::newRow("super") << "m{\\super 2}"_ba << u"raised"_s;
    QTest::newRow("sub") << "m{\\sub 2}"_ba << u"lowered"_s;
    QTest::newRow("up") << "m{\\up6 2}"_ba << u"raised"_s;
    QTest::newRow("up without number") << "m{\\up 2}"_ba << u"raised"_s;
    QTest::newRow("dn") << "m{\\dn4 2}"_ba << u"lowered"_s;
    QTest::newRow("nosupersub") << "m{\\super\\nosupersub 2}"_ba << QString();
    QTest::newRow("super0") << "m{\\sub\\super0 2}"_ba << QString();
    QTest::newRow("up0") << "m{\\super\\up0 2}"_ba << QString();
    QTest::newRow("hostile up") << "m{\\up-99999999999 2}"_ba << QString();
    QTest::newRow("plain ends it") << "m{\\super\\plain 2}"_ba << QString();
    QTest::newRow("highlight") << "m{\\highlight1 2}"_ba << u"#ffff00"_s;
    QTest::newRow("raised and highlighted") << "m{\\super\\highlight2 2}"_ba << u"raised #00ff00"_s;
    QTest::newRow("highlight0") << "m{\\highlight1\\highlight0 2}"_ba << QString();
    QTest::newRow("highlight not in the table") << "m{\\highlight99 2}"_ba << QString();
    QTest::newRow("hostile highlight") << "m{\\highlight-99999999999 2}"_ba << QString();
}

void tst_RtfFormats::raisedLoweredAndHighlighted()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    Loaded l("{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}}{\\colortbl;\\red255\\green255\\blue0;"
             "\\red0\\green255\\blue0;}\\pard\\f0 "
             + body + " m\\par}");
    QCOMPARE(l.doc.toPlainText(), u"m2 m"_s);
    QCOMPARE(marks(l.doc, 0), QString());
    QCOMPARE(marks(l.doc, 1), shown);
    QCOMPARE(marks(l.doc, 3), QString());
}

void tst_RtfFormats::paragraphSpacing_data()
{
    QTest::addColumn<QByteArray>("words");
    QTest::addColumn<QString>("shown"); // top and bottom margins, line height type and height

    // Twips are 1/15 of a pixel.
    QTest::newRow("none") << ""_ba << u"0 0 single 0"_s;
    QTest::newRow("before and after") << "\\sb120\\sa240"_ba << u"8 16 single 0"_s;
    QTest::newRow("at least") << "\\sl300\\slmult0"_ba << u"0 0 minimum 20"_s;
    QTest::newRow("at least, no slmult") << "\\sl300"_ba << u"0 0 minimum 20"_s;
    QTest::newRow("exactly") << "\\sl-480\\slmult0"_ba << u"0 0 fixed 32"_s;
    QTest::newRow("exactly, slmult") << "\\sl-480\\slmult1"_ba << u"0 0 fixed 32"_s;
    QTest::newRow("one and a half lines") << "\\sl360\\slmult1"_ba << u"0 0 proportional 150"_s;
    QTest::newRow("double") << "\\sl480\\slmult1"_ba << u"0 0 proportional 200"_s;
    QTest::newRow("single") << "\\sl0\\slmult0"_ba << u"0 0 single 0"_s;
    QTest::newRow("pard ends it") << "\\sb120\\sl360\\slmult1\\pard"_ba << u"0 0 single 0"_s;
    // Every number held to 22 inches (31680 twips) before it is used.
    QTest::newRow("hostile") << "\\sb99999999999\\sa-99999999999\\sl-99999999999"_ba << u"2112 0 fixed 2112"_s;
    QTest::newRow("hostile multiple") << "\\sl99999999999\\slmult1"_ba << u"0 0 proportional 13200"_s;
}

void tst_RtfFormats::paragraphSpacing()
{
    QFETCH(QByteArray, words);
    QFETCH(QString, shown);
    Loaded l("{\\rtf1\\ansi\\pard\\sb60 before\\par\\pard" + words + " spaced\\line two\\par\\pard after\\par}");
    QCOMPARE(l.doc.blockCount(), 3);
    QCOMPARE(spacing(l.doc, 0), u"4 0 single 0"_s);
    QCOMPARE(spacing(l.doc, 1), shown);
    QCOMPARE(spacing(l.doc, 2), u"0 0 single 0"_s);
}

void tst_RtfFormats::raisingHighlightAndSpacingSurviveASave()
{
    Loaded l("{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}}{\\colortbl;\\red255\\green255\\blue0;}"
             "\\pard\\sb120\\sa240\\sl360\\slmult1\\f0 m{\\super 2} H{\\sub 2}O\\par"
             "\\pard\\sl-480\\slmult0 {\\highlight1 mark} {\\up6\\highlight1 x}\\par"
             "\\pard\\sl300 plain\\par}"_ba);
    const QByteArray saved = l.rich.save(StreamFormat::Rtf);
    for (const char *word : { "\\super ", "\\sub ", "\\nosupersub ", "\\highlight1 ", "\\highlight0 ", "\\sb120 ",
                              "\\sa240 ", "\\sl360 \\slmult1 ", "\\sl-480 \\slmult0 ", "\\sl300 \\slmult0 " })
        QVERIFY2(saved.contains(word), qPrintable(QString::fromLatin1(word) + u" not in "_s + QString::fromLatin1(saved)));
    // The colour table holds the highlight's colour.
    QVERIFY2(saved.contains("\\red255\\green255\\blue0;"), saved.constData());

    Loaded back(saved);
    QCOMPARE(back.doc.toPlainText(), l.doc.toPlainText());
    for (int position = 0; position < l.doc.characterCount() - 1; ++position)
        QCOMPARE(marks(back.doc, position), marks(l.doc, position));
    for (int block = 0; block < l.doc.blockCount(); ++block)
        QCOMPARE(spacing(back.doc, block), spacing(l.doc, block));
    QCOMPARE(back.rich.save(StreamFormat::Rtf), saved);
}

// An empty paragraph's own format is written too: its colour must be in the table written
// before it, or readers take another colour or none.
void tst_RtfFormats::emptyParagraphsHighlightIsInTheColourTable()
{
    QTextDocument doc;
    RichDocument rich { &doc };
    QTextCursor c(&doc);
    c.insertText(u"text"_s);
    QTextCharFormat highlighted;
    highlighted.setBackground(QColor(0x12, 0x34, 0x56));
    c.insertBlock(QTextBlockFormat(), highlighted);
    const QByteArray saved = rich.save(StreamFormat::Rtf);
    const qsizetype table = saved.indexOf("{\\colortbl");
    QVERIFY2(table >= 0, saved.constData());
    const QByteArray colours = saved.mid(table, saved.indexOf('}', table) - table);
    QCOMPARE(colours.count(';'), 2); // the automatic colour, then the highlight's
    QVERIFY2(colours.contains("\\red18\\green52\\blue86;"), saved.constData());
    QVERIFY2(saved.contains("\\highlight1 "), saved.constData());
}

void tst_RtfFormats::sizesTheFileLeftUnstatedAreWrittenUnstated_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("stated");
    QTest::addColumn<int>("words"); // \\fs words written
    // An office suite shows double-byte text of no stated size at its own 10.5 points: written
    // as 12 (\\fs24), it came back larger.
    QTest::newRow("no size") << "\\pard ab\\par}"_ba << u"--"_s << 0;
    QTest::newRow("a size, then none again") << "\\pard{\\fs28 a}b\\par}"_ba << u"s-"_s << 1;
    QTest::newRow("plain ends a size") << "\\pard\\fs28 a\\plain b\\par}"_ba << u"s-"_s << 1;
    QTest::newRow("the default size stated") << "\\pard\\fs24 ab\\par}"_ba << u"ss"_s << 1;
    QTest::newRow("double-byte text's own size")
        << "\\pard{\\dbch\\afs28\\dbch \\u26085?}b\\par}"_ba << u"s-"_s << 1;
}

void tst_RtfFormats::sizesTheFileLeftUnstatedAreWrittenUnstated()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, stated);
    QFETCH(int, words);
    Loaded l(Unsized + body);
    QCOMPARE(statedSizes(l.doc), stated);
    const QByteArray saved = l.rich.save(StreamFormat::Rtf);
    QCOMPARE(sizeWords(saved), words);
    Loaded back(saved);
    QCOMPARE(statedSizes(back.doc), stated);
    for (int position = 0; position < stated.size(); ++position)
        QCOMPARE(looks(back.rich, position), looks(l.rich, position));
    QCOMPARE(back.rich.save(StreamFormat::Rtf), saved);
}

void tst_RtfFormats::aSizeSetOverUnstatedTextIsStated()
{
    Loaded l(Unsized + "\\pard ab\\par}"_ba);
    QTextCursor first(&l.doc);
    first.setPosition(1, QTextCursor::KeepAnchor);
    CharFormat twelve;
    twelve.mask = CharFormat::Size;
    twelve.sizeTwips = 240; // the size it shows already
    l.rich.setCharFormat(first, twelve);
    QCOMPARE(statedSizes(l.doc), u"s-"_s);
    const QByteArray saved = l.rich.save(StreamFormat::Rtf);
    QVERIFY2(saved.contains("\\fs24 a"), saved.constData());
    QVERIFY2(saved.indexOf("\\plain") > saved.indexOf("a"), saved.constData());
}

QTEST_MAIN(tst_RtfFormats)
#include "tst_rtfformats.moc"
