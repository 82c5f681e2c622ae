// Documents as other word processors write them, each with pictures, a table and a list: they
// open, print to PDF with their pictures and the table's cells in order, and are saved back with
// every picture's bytes and the table's rows and cells as they were.

#include "document/richdocument.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include "converterrun.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;
using ConverterRun::convert;

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(PENLOFT_FIXTURES "/peers/") + name;
}

// The RTF without the groups that begin with `opening`, whatever they hold.
QByteArray withoutGroups(QByteArray rtf, QByteArrayView opening)
{
    for (qsizetype at = rtf.indexOf(opening); at >= 0; at = rtf.indexOf(opening, at)) {
        int depth = 0;
        qsizetype end = at;
        for (; end < rtf.size(); ++end) {
            if (rtf[end] == '\\') {
                ++end;
            } else if (rtf[end] == '{') {
                ++depth;
            } else if (rtf[end] == '}' && --depth == 0) {
                break;
            }
        }
        rtf.remove(at, end + 1 - at);
    }
    return rtf;
}

// The data of every picture: the hex digits (or \bin bytes) of each \pict group, outside the
// groups nested in it, as bytes.
QList<QByteArray> pictures(const QByteArray &rtf)
{
    QList<QByteArray> found;
    for (qsizetype at = rtf.indexOf("{\\pict"); at >= 0; at = rtf.indexOf("{\\pict", at + 1)) {
        QByteArray hex;
        QByteArray binary;
        int depth = 0;
        for (qsizetype i = at; i < rtf.size(); ++i) {
            const char c = rtf[i];
            if (c == '{') {
                ++depth;
            } else if (c == '}') {
                if (--depth == 0)
                    break;
            } else if (c == '\\') {
                qsizetype end = i + 1;
                while (end < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[end])))
                    ++end;
                const QByteArray word = rtf.mid(i + 1, end - i - 1);
                const qsizetype digits = end;
                while (end < rtf.size() && (std::isdigit(static_cast<unsigned char>(rtf[end])) || rtf[end] == '-'))
                    ++end;
                const qint64 parameter = rtf.mid(digits, end - digits).toLongLong();
                if (end < rtf.size() && rtf[end] == ' ')
                    ++end;
                if (word == "bin" && depth == 1) {
                    binary += rtf.mid(end, parameter);
                    end += parameter;
                }
                i = std::max(i, end - 1);
            } else if (depth == 1 && std::isxdigit(static_cast<unsigned char>(c))) {
                hex += c;
            }
        }
        found += binary.isEmpty() ? QByteArray::fromHex(hex) : binary;
    }
    return found;
}

int count(const QByteArray &rtf, const QString &pattern)
{
    return int(QString::fromLatin1(rtf).count(QRegularExpression(pattern)));
}

// The page text with its runs of white space as one space.
QString pdfText(const QString &pdf)
{
    return ConverterRun::output(u"pdftotext"_s, { u"-layout"_s, u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s })
        .replace(QRegularExpression(u"\\s+"_s), u" "_s);
}

int pdfImages(const QString &pdf)
{
    // A header of two lines, then one line an image.
    return int(ConverterRun::output(u"pdfimages"_s, { u"-list"_s, pdf }).trimmed().split(u'\n').size()) - 2;
}

} // namespace

class tst_PeerDocuments : public QObject {
    Q_OBJECT
private slots:
    void opensPrintsAndSavesBack_data();
    void opensPrintsAndSavesBack();
    void listItemsWrittenInsideTheirMarkers();
};

void tst_PeerDocuments::opensPrintsAndSavesBack_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("drawn"); // pictures the PDF shows as images: PNG and JPEG
    QTest::addColumn<int>("kept"); // pictures saved back: every one, metafiles too
    QTest::newRow("word processor") << u"wordprocessor.rtf"_s << 2 << 3;
    QTest::newRow("office suite") << u"office-suite.rtf"_s << 2 << 2;
    QTest::newRow("small word processor") << u"small-wordprocessor.rtf"_s << 2 << 2;
}

void tst_PeerDocuments::opensPrintsAndSavesBack()
{
    QFETCH(QString, file);
    QFETCH(int, drawn);
    QFETCH(int, kept);
    QTemporaryDir dir;
    const QByteArray original = TestFiles::read(fixture(file));
    QVERIFY(!original.isEmpty());
    TestFiles::write(dir.filePath(u"in.rtf"_s), original);
    // Their file, then ours written from it: both open, print and save back alike.
    for (const auto &[input, savedTo] : { std::pair(u"in.rtf"_s, u"ours"_s), std::pair(u"ours/in.rtf"_s, u"again"_s) }) {
        const QString base = QFileInfo(input).path() + u"/printed"_s;
        QDir(dir.path()).mkpath(base);
        QCOMPARE(convert({ u"--convert-to"_s, u"pdf"_s, u"--outdir"_s, base, input }, dir.path()).status, 0);
        const QString pdf = dir.filePath(base + u"/in.pdf"_s);
        QCOMPARE(pdfImages(pdf), drawn);
        QVERIFY2(pdfText(pdf).contains(QRegularExpression(u"品名 数量 単価 りんご 3 120 みかん 10 40"_s)),
                 qPrintable(pdfText(pdf)));

        QCOMPARE(convert({ u"--convert-to"_s, u"rtf"_s, u"--outdir"_s, savedTo, input }, dir.path()).status, 0);
        const QByteArray in = TestFiles::read(dir.filePath(input));
        const QByteArray saved = TestFiles::read(dir.filePath(savedTo + u"/in.rtf"_s));
        // The pictures shown (not their stand-ins for old readers) keep every byte.
        const QList<QByteArray> before = pictures(withoutGroups(in, "{\\nonshppict"));
        const QList<QByteArray> after = pictures(saved);
        QCOMPARE(before.size(), kept);
        QCOMPARE(after, before);
        // Three rows of three cells.
        QCOMPARE(count(saved, uR"(\\row(?![a-z]))"_s), 3);
        QCOMPARE(count(saved, uR"(\\cell(?![a-z]))"_s), 9);
        QCOMPARE(count(saved, uR"(\\cellx)"_s), 9);
    }
    // As text, a row is its cells between tabs.
    QCOMPARE(convert({ u"--convert-to"_s, u"txt"_s, u"in.rtf"_s }, dir.path()).status, 0);
    const QString text = QString::fromUtf8(
        ConverterRun::output(u"iconv"_s, { u"-f"_s, u"CP932"_s, u"-t"_s, u"UTF-8"_s, dir.filePath(u"in.txt"_s) }).toUtf8());
    QVERIFY2(text.contains(u"品名\t数量\t単価\r\nりんご\t3\t120\r\nみかん\t10\t40\r\n"_s), qPrintable(text));
}

// One word processor writes a list item's whole text inside the group that should hold only
// its marker, with the paragraph's end: each item is still a bulleted paragraph of its own.
void tst_PeerDocuments::listItemsWrittenInsideTheirMarkers()
{
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.load(TestFiles::read(fixture(u"small-wordprocessor-from-odf.rtf"_s)), StreamFormat::Rtf, QTextCharFormat());
    QStringList items;
    QString after;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        // What the writer added of its own (kept, never shown) stands beside the text.
        const QString text = block.text().remove(QChar::ObjectReplacementCharacter);
        if (block.textList())
            items += text;
        else if (!items.isEmpty() && after.isEmpty())
            after = text;
    }
    QCOMPARE(items, (QStringList { u"一つ目"_s, u"二つ目"_s }));
    QCOMPARE(after, u"以上"_s);
}

QTEST_MAIN(tst_PeerDocuments)
#include "tst_peerdocuments.moc"
