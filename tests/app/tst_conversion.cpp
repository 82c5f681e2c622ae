#include "app/conversion.h"
#include "document/documentmessages.h"
#include "document/richdocument.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "converterrun.h"
#include "testfiles.h"

#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

using ConverterRun::convert;
using ConverterRun::Run;

class tst_Conversion : public QObject {
    Q_OBJECT
private slots:
    void convertsTextToTextWithCrLf();
    void failuresAreReportedAndTheRestConverted();
    void convertsBetweenRtfAndText();
    void charactersShiftJisCannotHoldAreReported();
    void convertsToPdf();
    void badArguments_data();
    void badArguments();
    void outputThatIsAnInputIsRefused();
    void secondInputOfTheSameNameIsRefused();
    void outputThatIsNotARegularFileIsRefused();
    void loadingLaysNothingOut();
    void convertsWithinItsMemory_data();
    void convertsWithinItsMemory();
};

void tst_Conversion::convertsTextToTextWithCrLf()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(u"in"_s);
    TestFiles::write(dir.filePath(u"in/memo.notes.TXT"_s), "\x93\xFA\x96\x7B\ra\nb\r\n\xFF");
    const Run run = convert({ u"--convert-to"_s, u"txt"_s, u"--outdir"_s, dir.filePath(u"out"_s),
                              u"in/memo.notes.TXT"_s },
                            dir.path());
    // The bad byte read as U+FFFD is written as "?", and said so.
    QCOMPARE(run.status, 3);
    QCOMPARE(run.errors, u"in/memo.notes.TXT: "_s + Messages::unsaveableReplaced(1, 0xFFFD, 4) + u'\n');
    // In the output folder, made when missing, named after the input with its last extension
    // replaced.
    QCOMPARE(TestFiles::read(dir.filePath(u"out/memo.notes.txt"_s)), "\x93\xFA\x96\x7B\r\na\r\nb\r\n?"_ba);
}

void tst_Conversion::failuresAreReportedAndTheRestConverted()
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(u"good.txt"_s), "ok");
    const Run run = convert({ u"--convert-to"_s, u"txt"_s, u"missing.txt"_s, u"good.txt"_s }, dir.path());
    QCOMPARE(run.status, 1);
    // The message names the file by its full path; the line starts with it as it was given.
    QVERIFY2(run.errors.contains(u"missing.txt: ファイル \"%1\". ファイルが見つかりません は開けません"_s.arg(
                 QDir(dir.path()).filePath(u"missing.txt"_s))),
             qPrintable(run.errors));
    QCOMPARE(TestFiles::read(dir.filePath(u"good.txt"_s)), "ok"_ba); // not converted onto itself
}

void tst_Conversion::convertsBetweenRtfAndText()
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(u"letter.rtf"_s), "{\\rtf1\\ansi\\ansicpg932 {\\b \\'93\\'fa\\'96\\'7b}\\par x\\par}");
    TestFiles::write(dir.filePath(u"memo.txt"_s), "\x93\xFA\r\n{\\rtf1");
    const Run toText = convert({ u"--convert-to"_s, u"txt"_s, u"letter.rtf"_s }, dir.path());
    QCOMPARE(toText.status, 0);
    QCOMPARE(TestFiles::read(dir.filePath(u"letter.txt"_s)), "\x93\xFA\x96\x7B\r\nx"_ba);
    const Run toRtf = convert({ u"--convert-to"_s, u"rtf"_s, u"memo.txt"_s }, dir.path());
    QCOMPARE(toRtf.status, 0);
    const QByteArray rtf = TestFiles::read(dir.filePath(u"memo.rtf"_s));
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg932"));
    // Text that only looks like RTF inside a text file stays text.
    QVERIFY(rtf.contains("\\u26085\\'93\\'fa\\par \r\n\\{\\\\rtf1"));
}

void tst_Conversion::charactersShiftJisCannotHoldAreReported()
{
    QTemporaryDir dir;
    // Line 2 holds U+20BB7 and a euro sign; the twins 〜 and ～ are CP932's own.
    TestFiles::write(dir.filePath(u"odd.rtf"_s), "{\\rtf1\\ansi\\ansicpg932 \\u12316?\\u65374?\\par a\\u-10174?\\u-8265?b\\u8364?\\par}");
    TestFiles::write(dir.filePath(u"fine.rtf"_s), "{\\rtf1\\ansi\\ansicpg932 \\u12316?\\u65374?\\par}");
    const Run run = convert({ u"--convert-to"_s, u"txt"_s, u"odd.rtf"_s, u"fine.rtf"_s }, dir.path());
    QCOMPARE(run.status, 3);
    const QStringList lines = run.errors.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first(), u"odd.rtf: "_s + Messages::unsaveableReplaced(2, 0x20BB7, 2));
    QVERIFY(lines.first().contains(u"U+20BB7"_s));
    QCOMPARE(TestFiles::read(dir.filePath(u"odd.txt"_s)), "\x81\x60\x81\x60\r\na?b?"_ba);
    // A failure elsewhere in the run wins over the replacement.
    const Run failing = convert({ u"--convert-to"_s, u"txt"_s, u"odd.rtf"_s, u"missing.rtf"_s }, dir.path());
    QCOMPARE(failing.status, 1);
    QCOMPARE(failing.errors.count(u'\n'), 2);
}

void tst_Conversion::convertsToPdf()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("poppler-utils are not installed");
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(u"letter.rtf"_s), "{\\rtf1\\ansi\\ansicpg932 \\'93\\'fa\\'96\\'7b\\par x\\par}");
    const Run run = convert({ u"--convert-to"_s, u"pdf"_s, u"letter.rtf"_s }, dir.path());
    QCOMPARE(run.status, 0);
    QProcess text;
    text.start(u"pdftotext"_s, { u"-enc"_s, u"UTF-8"_s, dir.filePath(u"letter.pdf"_s), u"-"_s });
    QVERIFY(text.waitForFinished(60000));
    QString printed = QString::fromUtf8(text.readAllStandardOutput());
    printed.remove(QRegularExpression(u"\\s"_s));
    QCOMPARE(printed, u"日本x-1-"_s); // the report's pages: the text and the page-number footer
}

void tst_Conversion::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown target") << QStringList { u"--convert-to"_s, u"doc"_s, u"a.txt"_s };
    QTest::newRow("no files") << QStringList { u"--convert-to"_s, u"txt"_s };
    QTest::newRow("missing value") << QStringList { u"a.txt"_s, u"--convert-to"_s };
}

void tst_Conversion::badArguments()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    const Run run = convert(arguments, dir.path());
    QCOMPARE(run.status, 2);
    QVERIFY(run.errors.contains(u"usage:"_s));
}

void tst_Conversion::outputThatIsAnInputIsRefused()
{
    QTemporaryDir dir;
    const QByteArray rtf = "{\\rtf1\\ansi{\\*\\unknowngroup kept}text\\par}";
    TestFiles::write(dir.filePath(u"doc.rtf"_s), rtf);
    TestFiles::write(dir.filePath(u"other.txt"_s), "other");
    QDir(dir.path()).mkdir(u"out"_s);
    // Converted onto itself, directly and through a link to its folder.
    QVERIFY(QFile::link(dir.path(), dir.filePath(u"out/same"_s)));
    for (const QString &outDir : { dir.path(), dir.filePath(u"out/same"_s) }) {
        const Run run = convert({ u"--convert-to"_s, u"rtf"_s, u"--outdir"_s, outDir, u"doc.rtf"_s, u"other.txt"_s }, dir.path());
        QCOMPARE(run.status, 1);
        const QString output = QFileInfo(QDir(outDir).filePath(u"doc.rtf"_s)).absoluteFilePath();
        QVERIFY2(run.errors.contains(u"doc.rtf: "_s + Messages::outputIsAnInput(output)), qPrintable(run.errors));
        QCOMPARE(TestFiles::read(dir.filePath(u"doc.rtf"_s)), rtf);
        // The others are converted.
        QVERIFY(TestFiles::read(dir.filePath(u"other.rtf"_s)).startsWith("{\\rtf1"));
    }
}

void tst_Conversion::secondInputOfTheSameNameIsRefused()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(u"a"_s);
    QDir(dir.path()).mkpath(u"b"_s);
    TestFiles::write(dir.filePath(u"a/x.txt"_s), "from a");
    TestFiles::write(dir.filePath(u"b/x.txt"_s), "from b");
    TestFiles::write(dir.filePath(u"b/y.txt"_s), "from y");
    const Run run = convert({ u"--convert-to"_s, u"txt"_s, u"a/x.txt"_s, u"b/x.txt"_s, u"b/y.txt"_s, u"--outdir"_s, u"o"_s },
                            dir.path());
    QCOMPARE(run.status, 1);
    QVERIFY2(run.errors.contains(u"b/x.txt: "_s + Messages::outputAlreadyWritten(dir.filePath(u"o/x.txt"_s))),
             qPrintable(run.errors));
    QVERIFY(!run.errors.contains(u"a/x.txt"_s));
    QCOMPARE(TestFiles::read(dir.filePath(u"o/x.txt"_s)), "from a"_ba);
    QCOMPARE(TestFiles::read(dir.filePath(u"o/y.txt"_s)), "from y"_ba);
}

void tst_Conversion::outputThatIsNotARegularFileIsRefused()
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(u"x.txt"_s), "text");
    QDir(dir.path()).mkdir(u"o"_s);
    // An output that is a link to a named pipe (as it could be one to a device).
    const QString pipe = dir.filePath(u"pipe"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QVERIFY(QFile::link(pipe, dir.filePath(u"o/x.txt"_s)));
    const Run run = convert({ u"--convert-to"_s, u"txt"_s, u"--outdir"_s, u"o"_s, u"x.txt"_s }, dir.path());
    QCOMPARE(run.status, 1);
    QVERIFY2(run.errors.contains(Messages::cannotCreateFile(dir.filePath(u"o/x.txt"_s),
                                                            Messages::text(Messages::ReasonNotRegularFile))),
             qPrintable(run.errors));
    QVERIFY(QFileInfo(dir.filePath(u"o/x.txt"_s)).isSymLink());
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(pipe).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
}

// Laying text out costs time and memory in proportion to it, and a font lookup for each face it
// uses; converting to text or RTF needs none of it.
void tst_Conversion::loadingLaysNothingOut()
{
    QTemporaryDir dir;
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl";
    for (int i = 0; i < 50; ++i)
        rtf += "{\\f" + QByteArray::number(i) + " Face" + QByteArray::number(i) + ";}";
    rtf += "}";
    for (int i = 0; i < 50; ++i)
        rtf += "\\f" + QByteArray::number(i) + " text in a face of its own\\par ";
    TestFiles::write(dir.filePath(u"faces.rtf"_s), rtf + "}");
    QTextDocument document;
    RichDocument rich(&document);
    Conversion::load(rich, dir.filePath(u"faces.rtf"_s));
    QCOMPARE(document.blockCount(), 50);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        QCOMPARE(block.layout()->lineCount(), 0);
}

void tst_Conversion::convertsWithinItsMemory_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("target");
    // A line of 4 MB (no layout for text and RTF), the same as RTF, and 2 MB of text on about
    // 300 pages (drawn a page at a time, written to the file as it goes).
    const QByteArray line = QByteArray("\x82\xa0" "abcdefgh ").repeated(4000000 / 11);
    QByteArray paragraphs;
    while (paragraphs.size() < 2000000)
        paragraphs += QByteArray("\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x95\xb6\x8f\xcd\x82\xc5\x82\xb7\x81\x42").repeated(7) + "\r\n";
    QTest::newRow("4 MB line to txt") << line << u"line.txt"_s << u"txt"_s;
    QTest::newRow("4 MB line to rtf") << line << u"line.txt"_s << u"rtf"_s;
    QTest::newRow("4 MB RTF line to txt") << "{\\rtf1\\ansi\\ansicpg932 " + line + "}" << u"line.rtf"_s << u"txt"_s;
    QTest::newRow("2 MB of text to pdf") << paragraphs << u"pages.txt"_s << u"pdf"_s;
}

// Within the program's baseline and 12 bytes a byte of input for text and RTF (100 MB + 12 N
// leaves the baseline room to spare), or a fixed amount for the pages of a PDF.
void tst_Conversion::convertsWithinItsMemory()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, name);
    QFETCH(QString, target);
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(name), input);
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer reserves its shadow memory as data: no limit holds, the conversion still runs.
    const rlim_t limit = 0;
#else
    const rlim_t megabyte = 1024 * 1024;
    const rlim_t limit = target == u"pdf"_s ? 80 * megabyte : 100 * megabyte + 12 * rlim_t(input.size());
#endif
    const Run run = convert({ u"--convert-to"_s, target, u"--outdir"_s, u"out"_s, name }, dir.path(), limit);
    QCOMPARE(run.errors, QString());
    QCOMPARE(run.status, 0);
    QVERIFY(QFileInfo(dir.filePath(u"out/"_s + QFileInfo(name).completeBaseName() + u'.' + target)).size() > 0);
}

QTEST_MAIN(tst_Conversion)
#include "tst_conversion.moc"
