// The code page tables against the system's converters they are probed from, and the cost of
// bytes a code page rejects: no more than that of text.

#include "document/cp932.h"
#include "document/rtf/codepages.h"
#include "document/sjistext.h"

#include <QRandomGenerator>
#include <QTest>

#include "scaling.h"

#include <cerrno>
#include <iconv.h>

using namespace Qt::StringLiterals;

namespace {

// The decoding as iconv does it, restarted after each rejected sequence: one U+FFFD for it, a
// lead byte with an ASCII byte after it leaves that byte to be read on its own.
QString referenceDecode(QByteArrayView bytes, const char *codePage, bool (*isLead)(unsigned char))
{
    iconv_t cd = iconv_open("UTF-16LE", codePage);
    QString result(bytes.size() + 8, Qt::Uninitialized);
    char *out = reinterpret_cast<char *>(result.data());
    char *const start = out;
    size_t outLeft = size_t(result.size()) * 2;
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    while (inLeft > 0) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != size_t(-1))
            break;
        const bool pair = isLead(static_cast<unsigned char>(*in)) && inLeft > 1 && static_cast<unsigned char>(in[1]) >= 0x80;
        in += pair ? 2 : 1;
        inLeft -= pair ? 2 : 1;
        *reinterpret_cast<char16_t *>(out) = 0xFFFD;
        out += 2;
        outLeft -= 2;
    }
    iconv_close(cd);
    result.truncate((out - start) / 2);
    return result;
}

bool isCp932Lead(unsigned char b)
{
    return SjisText::isLeadByte(b);
}

bool isGbkLead(unsigned char b)
{
    return b >= 0x81 && b <= 0xFE;
}

QByteArray referenceEncodeUnit(char16_t unit)
{
    iconv_t cd = iconv_open("CP932", "UTF-16LE");
    char *in = reinterpret_cast<char *>(&unit);
    size_t inLeft = 2;
    char buffer[8];
    char *out = buffer;
    size_t outLeft = sizeof buffer;
    const bool ok = iconv(cd, &in, &inLeft, &out, &outLeft) != size_t(-1);
    iconv_close(cd);
    return ok ? QByteArray(buffer, out - buffer) : QByteArray("?");
}

QByteArray randomBytes(QRandomGenerator &random, int length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (char &c : bytes)
        c = random.bounded(3) == 0 ? char(0x81 + random.bounded(0x7C)) : char(random.bounded(256));
    return bytes;
}

} // namespace

class tst_Codecs : public QObject {
    Q_OBJECT
private slots:
    void cp932DecodesAsTheSystemDoes();
    void cp932EncodesAsTheSystemDoes();
    void otherCodePagesDecodeAsTheSystemDoes_data();
    void otherCodePagesDecodeAsTheSystemDoes();
    void rejectedBytesCostNoMoreThanText();
};

void tst_Codecs::cp932DecodesAsTheSystemDoes()
{
    // Every byte on its own and every pair after a lead byte, then mixtures.
    for (int b = 0; b < 256; ++b) {
        const QByteArray single(1, char(b));
        QCOMPARE(Cp932::decode(single), referenceDecode(single, "CP932", isCp932Lead));
        if (!SjisText::isLeadByte(static_cast<unsigned char>(b)))
            continue;
        for (int trail = 0; trail < 256; ++trail) {
            const QByteArray pair = QByteArray(1, char(b)) + char(trail) + "A";
            QCOMPARE(Cp932::decode(pair), referenceDecode(pair, "CP932", isCp932Lead));
        }
    }
    QRandomGenerator random(20261209);
    for (int round = 0; round < 300; ++round) {
        const QByteArray bytes = randomBytes(random, int(random.bounded(200)));
        QCOMPARE(Cp932::decode(bytes), referenceDecode(bytes, "CP932", isCp932Lead));
    }
}

void tst_Codecs::cp932EncodesAsTheSystemDoes()
{
    for (uint32_t c = 0; c < 65536; ++c) {
        const char16_t unit = char16_t(c);
        if ((unit >= 0xD800 && unit <= 0xDFFF) || unit == 0x2028 || unit == 0x2029)
            continue;
        const QByteArray expected = referenceEncodeUnit(unit);
        if (Cp932::encode(QStringView(&unit, 1)) != expected)
            QFAIL(qPrintable(u"U+%1"_s.arg(uint(c), 4, 16, QChar(u'0'))));
        QCOMPARE(Cp932::encodedWidth(unit), expected.size());
        // What its bytes read back as (itself where it has none, and for ASCII).
        if (c >= 0x80 && expected != "?") {
            const QString back = referenceDecode(expected, "CP932", isCp932Lead);
            QCOMPARE(Cp932::canonical(unit), back.size() == 1 ? back.at(0).unicode() : unit);
        } else {
            QCOMPARE(Cp932::canonical(unit), unit);
        }
    }
    // Separators, pairs and lone halves.
    QCOMPARE(Cp932::encode(u"a\u2028b\u2029\U0001F600\xD800x\xDC00"_s), "a\r\nb\r\n??x?"_ba);
}

void tst_Codecs::otherCodePagesDecodeAsTheSystemDoes_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("Windows-1252") << 1252 << "CP1252"_ba;
    QTest::newRow("Cyrillic") << 1251 << "CP1251"_ba;
    QTest::newRow("Chinese GBK") << 936 << "CP936"_ba;
    QTest::newRow("Korean") << 949 << "CP949"_ba;
    QTest::newRow("Big5") << 950 << "CP950"_ba;
}

void tst_Codecs::otherCodePagesDecodeAsTheSystemDoes()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, name);
    const bool doubleByte = codePage == 936 || codePage == 949 || codePage == 950;
    auto lead = doubleByte ? isGbkLead : [](unsigned char) { return false; };
    QRandomGenerator random { quint32(codePage) };
    for (int b = 0; b < 256; ++b) {
        QByteArray bytes(1, char(b));
        if (doubleByte && isGbkLead(uchar(b)))
            bytes += char(random.bounded(256));
        QCOMPARE(CodePages::decode(bytes, codePage), referenceDecode(bytes, name.constData(), lead));
    }
    for (int round = 0; round < 300; ++round) {
        const QByteArray bytes = randomBytes(random, int(random.bounded(200)));
        QCOMPARE(CodePages::decode(bytes, codePage), referenceDecode(bytes, name.constData(), lead));
    }
}

// A binary file read as text is all rejected bytes; restarting a converter after each took
// microseconds a byte (4 MB: 30 s). Such bytes now cost what text costs.
void tst_Codecs::rejectedBytesCostNoMoreThanText()
{
    const QByteArray text = QByteArray("\x82\xa0" "abc").repeated(200000);
    const QByteArray rejected(text.size(), '\xff');
    const double textCost = Scaling::cpuSeconds([&] { Cp932::decode(text); });
    QVERIFY(Scaling::cpuSeconds([&] { Cp932::decode(rejected); }) < 4 * textCost + 0.005);
    const QString japanese = Cp932::decode(text);
    const QString unmappable(japanese.size(), u'\u00E9');
    const double encodeCost = Scaling::cpuSeconds([&] { Cp932::encode(japanese); });
    QVERIFY(Scaling::cpuSeconds([&] { Cp932::encode(unmappable); }) < 4 * encodeCost + 0.005);
    const QByteArray undefined1252 = QByteArray("\x81").repeated(text.size());
    const double latinCost = Scaling::cpuSeconds([&] { CodePages::decode(text, 1252); });
    QVERIFY(Scaling::cpuSeconds([&] { CodePages::decode(undefined1252, 1252); }) < 4 * latinCost + 0.005);
}

QTEST_GUILESS_MAIN(tst_Codecs)
#include "tst_codecs.moc"
