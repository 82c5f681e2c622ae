#include "document/cp932.h"
#include "document/sjistext.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_SjisText : public QObject {
    Q_OBJECT
private slots:
    void tableBothWays_data();
    void tableBothWays();
    void oneWayEncodings_data();
    void oneWayEncodings();
    void badBytesDecodeToReplacement_data();
    void badBytesDecodeToReplacement();
    void unmappableEncodesAsQuestionMark_data();
    void unmappableEncodesAsQuestionMark();
    void widthsAgreeWithEncoder();
    void countCharacters_data();
    void countCharacters();
    void documentTextMeasure_data();
    void documentTextMeasure();
    void offsetsConvert_data();
    void offsetsConvert();
};

void tst_SjisText::tableBothWays_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("wave dash is the fullwidth tilde") << "\x81\x60"_ba << u"\uFF5E"_s;
    QTest::newRow("minus is the fullwidth hyphen-minus") << "\x81\x7C"_ba << u"\uFF0D"_s;
    QTest::newRow("horizontal bar") << "\x81\x5C"_ba << u"\u2015"_s;
    QTest::newRow("parallel to") << "\x81\x61"_ba << u"\u2225"_s;
    QTest::newRow("circled one") << "\x87\x40"_ba << u"\u2460"_s;
    QTest::newRow("parenthesized ideograph stock") << "\x87\x8A"_ba << u"\u3231"_s;
    QTest::newRow("first user-defined character") << "\xF0\x40"_ba << u"\uE000"_s;
    QTest::newRow("backslash stays a backslash") << "\x5C"_ba << u"\\"_s;
    QTest::newRow("half-width katakana") << "\xB1\xDF"_ba << u"\uFF71\uFF9F"_s;
    QTest::newRow("trail bytes 0x5C in so, hyou, nou") << "\x83\x5C\x95\x5C\x94\x5C"_ba << u"ソ表能"_s;
    QTest::newRow("control bytes pass through") << QByteArray("\x00\x1A\x1C\x7F\x09", 5)
                                                << QString::fromUtf16(u"\u0000\u001A\u001C\u007F\t", 5);
}

void tst_SjisText::tableBothWays()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Cp932::decode(bytes), text);
    QCOMPARE(Cp932::encode(text), bytes);
}

void tst_SjisText::oneWayEncodings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("wave dash U+301C") << u"\u301C"_s << "\x81\x60"_ba;
    QTest::newRow("minus sign U+2212") << u"\u2212"_s << "\x81\x7C"_ba;
}

void tst_SjisText::oneWayEncodings()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Cp932::encode(text), bytes);
}

void tst_SjisText::badBytesDecodeToReplacement_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("lone lead byte at end") << "a\x82"_ba << u"a\uFFFD"_s;
    QTest::newRow("single bytes CP932 lacks") << "\x80\xA0\xFD\xFE\xFF"_ba << u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"_s;
    QTest::newRow("lead byte before ASCII keeps the ASCII") << "\x82\x0D\x0A"_ba << u"\uFFFD\r\n"_s;
    QTest::newRow("unassigned pair with ASCII trail") << "\x85\x40"_ba << u"\uFFFD@"_s;
    QTest::newRow("lead byte before a bad trail is one character") << "\x81\xFFx"_ba << u"\uFFFDx"_s;
    QTest::newRow("good text after bad bytes") << "\xFF\x82\xA0"_ba << u"\uFFFD\u3042"_s;
    QTest::newRow("empty") << QByteArray() << QString();
}

void tst_SjisText::badBytesDecodeToReplacement()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Cp932::decode(bytes), text);
}

void tst_SjisText::unmappableEncodesAsQuestionMark_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("latin e acute") << u"caf\u00E9"_s << "caf?"_ba;
    QTest::newRow("astral character is one mark") << u"a\U0001F600b"_s << "a?b"_ba;
    QTest::newRow("lone high surrogate") << QString(u'a') + QChar(0xD800) + u'b' << "a?b"_ba;
    QTest::newRow("high surrogate cut off at end") << QString(u'a') + QChar(0xD800) << "a?"_ba;
    QTest::newRow("replacement character") << u"\uFFFD"_s << "?"_ba;
    QTest::newRow("line and paragraph separators write CR LF") << u"a\u2028b\u2029c"_s << "a\r\nb\r\nc"_ba;
}

void tst_SjisText::unmappableEncodesAsQuestionMark()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Cp932::encode(text), bytes);
    QCOMPARE(SjisText::measure(text).bytes, bytes.size());
}

void tst_SjisText::widthsAgreeWithEncoder()
{
    // Positions are computed from the width table; the file is written by the encoder.
    for (int u = 0; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF)
            continue;
        const QChar c(static_cast<char16_t>(u));
        const int written = int(Cp932::encode(QStringView(&c, 1)).size());
        if (written != Cp932::encodedWidth(static_cast<char16_t>(u)))
            QFAIL(qPrintable(u"U+%1 writes %2 bytes, counted %3"_s.arg(u, 4, 16, QChar(u'0')).arg(written).arg(
                Cp932::encodedWidth(static_cast<char16_t>(u)))));
    }
}

void tst_SjisText::countCharacters_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("count");
    QTest::newRow("nothing counted for n 0") << "ab"_ba << 0 << 0;
    QTest::newRow("nothing counted for negative n") << "ab"_ba << -3 << 0;
    QTest::newRow("three double-byte characters") << "\x82\xA0\x82\xA2\x82\xA4"_ba << 6 << 3;
    QTest::newRow("n inside a double-byte character counts it") << "\x82\xA0\x82\xA2"_ba << 3 << 2;
    QTest::newRow("CR LF counts two") << "ab\r\nc"_ba << 5 << 5;
    QTest::newRow("n past the end is capped") << "ab"_ba << 10 << 2;
    QTest::newRow("lone lead byte at end") << "a\x82"_ba << 2 << 2;
    QTest::newRow("half-width katakana is single-byte") << "\xB1\xB2"_ba << 2 << 2;
    QTest::newRow("trail byte 0x5C is not a backslash") << "\x83\x5C\x5C"_ba << 3 << 2;
}

void tst_SjisText::countCharacters()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, n);
    QFETCH(int, count);
    QCOMPARE(SjisText::countCharacters(bytes, n), count);
}

void tst_SjisText::documentTextMeasure_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("characters");
    QTest::newRow("ASCII") << u"abc"_s << 3 << 3;
    QTest::newRow("kana") << u"あいう"_s << 6 << 3;
    QTest::newRow("half-width katakana") << u"\uFF71"_s << 1 << 1;
    QTest::newRow("astral character") << u"\U0001F600"_s << 1 << 1;
    QTest::newRow("line separator is CR LF") << u"a\u2028b"_s << 4 << 4;
    QTest::newRow("unmappable") << u"\u00E9"_s << 1 << 1;
}

void tst_SjisText::documentTextMeasure()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QFETCH(int, characters);
    const SjisText::TextMeasure m = SjisText::measure(text);
    QCOMPARE(m.bytes, bytes);
    QCOMPARE(m.characters, characters);
    QCOMPARE(SjisText::countCharacters(Cp932::encode(text)), characters);
}

void tst_SjisText::offsetsConvert_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("utf16");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("backToUtf16");
    QTest::newRow("start") << u"aあb"_s << 0 << 0 << 0;
    QTest::newRow("after double-byte") << u"aあb"_s << 2 << 3 << 2;
    QTest::newRow("end") << u"aあb"_s << 3 << 4 << 3;
    QTest::newRow("inside a surrogate pair counts from its start") << u"a\U0001F600b"_s << 2 << 1 << 1;
    QTest::newRow("after a surrogate pair") << u"a\U0001F600b"_s << 3 << 2 << 3;
    QTest::newRow("past the end is clamped") << u"ab"_s << 9 << 2 << 2;
}

void tst_SjisText::offsetsConvert()
{
    QFETCH(QString, text);
    QFETCH(int, utf16);
    QFETCH(int, bytes);
    QFETCH(int, backToUtf16);
    QCOMPARE(SjisText::byteOffset(text, utf16), bytes);
    QCOMPARE(SjisText::utf16Offset(text, bytes), backToUtf16);
    // The trail byte of a double-byte character snaps to the character's start.
    QCOMPARE(SjisText::utf16Offset(u"aあb"_s, 2), 1);
    QCOMPARE(SjisText::charactersBefore(u"aあb"_s, 2), 2);
    QCOMPARE(SjisText::charactersBefore(u"a\u2028b"_s, 2), 2); // the CR only
    QCOMPARE(SjisText::charactersBefore(u"a\u2028b"_s, 3), 3);
}

QTEST_GUILESS_MAIN(tst_SjisText)
#include "tst_sjistext.moc"
