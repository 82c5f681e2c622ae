#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int status = -1;
    QString errors;
};

Run convert(const QStringList &arguments, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, workingDirectory);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PENLOFT_BINARY), arguments);
    if (!process.waitForFinished(60000))
        return {};
    return { process.exitCode(), QString::fromUtf8(process.readAllStandardError()) };
}

} // namespace

class tst_Conversion : public QObject {
    Q_OBJECT
private slots:
    void convertsTextToTextWithCrLf();
    void failuresAreReportedAndTheRestConverted();
    void convertsBetweenRtfAndText();
    void convertsToPdf();
    void badArguments_data();
    void badArguments();
};

void tst_Conversion::convertsTextToTextWithCrLf()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(u"in"_s);
    TestFiles::write(dir.filePath(u"in/memo.notes.TXT"_s), "\x93\xFA\x96\x7B\ra\nb\r\n\xFF");
    const Run run = convert({ u"--convert-to"_s, u"txt"_s, u"--outdir"_s, dir.filePath(u"out"_s),
                              u"in/memo.notes.TXT"_s },
                            dir.path());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.errors, QString());
    // In the output folder, made when missing, named after the input with its last extension
    // replaced; bad bytes become "?".
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
    QCOMPARE(TestFiles::read(dir.filePath(u"good.txt"_s)), "ok"_ba); // converted onto itself, intact
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

QTEST_GUILESS_MAIN(tst_Conversion)
#include "tst_conversion.moc"
