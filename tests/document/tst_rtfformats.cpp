// Character and paragraph properties RTF files give in more than one way: double-byte text's
// associated properties, raised and lowered text, highlight, paragraph spacing. Each is read,
// written, and read back the same.

#include "document/richdocument.h"

#include <QTest>
#include <QTextCharFormat>
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

} // namespace

class tst_RtfFormats : public QObject {
    Q_OBJECT
private slots:
    void associatedProperties_data();
    void associatedProperties();
    void associatedPropertiesSurviveASave();
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

QTEST_MAIN(tst_RtfFormats)
#include "tst_rtfformats.moc"
