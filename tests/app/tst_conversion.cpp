#include "app/conversion.h"
#include "app/fontsubstitutes.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/documentmessages.h"
#include "document/filereplacement.h"
#include "document/richdocument.h"
#include "document/richedit.h"
#include "printing/tprintreport2.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QPdfWriter>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextStream>

#include "converterrun.h"
#include "pdfpages.h"
#include "realdialogs.h"
#include "testfiles.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void pdfIsTheSameUnderADarkTheme();
    void pdfIsWhatTheWindowPrints_data();
    void pdfIsWhatTheWindowPrints();
    void endedConversionRemovesItsTemporary_data();
    void endedConversionRemovesItsTemporary();
    void temporariesOfKilledConversionsAreRemoved();
    void badArguments_data();
    void badArguments();
    void outputThatIsAnInputIsRefused();
    void secondInputOfTheSameNameIsRefused();
    void outputThatIsNotARegularFileIsRefused();
    void failuresAreSentencesOfTheirOwn_data();
    void failuresAreSentencesOfTheirOwn();
    void editorBoxesSayWhatTheConverterSays_data();
    void editorBoxesSayWhatTheConverterSays();
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
    QCOMPARE(run.errors.split(u'\n').first(),
             u"missing.txt: ファイル \"%1\" が見つかりません"_s.arg(QDir(dir.path()).filePath(u"missing.txt"_s)));
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

namespace {

// A text long enough that its PDF takes a while: about 600 pages.
QByteArray longText()
{
    QByteArray paragraphs;
    while (paragraphs.size() < 4000000)
        paragraphs += QByteArray("\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x95\xb6\x8f\xcd\x82\xc5\x82\xb7\x81\x42").repeated(7) + "\r\n";
    return paragraphs;
}

// The hidden entries of a folder: the temporaries written there.
QStringList hiddenEntries(const QString &folder)
{
    QStringList hidden;
    for (const QString &entry : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.startsWith(u'.'))
            hidden += entry;
    }
    return hidden;
}

// Starts converting `input` (in `folder`) to PDF into folder/out and returns once the PDF's
// temporary exists: its name, or empty when the conversion ended first.
QString startPdfConversion(QProcess &process, const QString &folder, const QString &input)
{
    process.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, folder);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PENLOFT_BINARY), { u"--convert-to"_s, u"pdf"_s, u"--outdir"_s, u"out"_s, input });
    const QString out = QDir(folder).filePath(u"out"_s);
    QString temporary;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            const QStringList hidden = hiddenEntries(out);
            temporary = hidden.value(0);
            return !temporary.isEmpty() || process.state() == QProcess::NotRunning;
        },
        120000));
    return process.state() == QProcess::Running ? temporary : QString();
}

} // namespace

// Paper is white and automatic text black, whatever theme the converter's desktop has.
void tst_Conversion::pdfIsTheSameUnderADarkTheme()
{
    if (QStandardPaths::findExecutable(u"pdftoppm"_s).isEmpty())
        QSKIP("poppler-utils are not installed");
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(u"letter.rtf"_s),
                     "{\\rtf1\\ansi\\ansicpg932\\fs36 Automatic \\'93\\'fa\\'96\\'7b\\par "
                     "\\trowd\\cellx2000\\cellx4000\\pard\\intbl one\\cell two\\cell\\row\\pard after\\par}");
    installFontSubstitutes();
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    const QPalette light = QApplication::style()->standardPalette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(53, 53, 53));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(42, 42, 42));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Dark, QColor(25, 25, 25));
    QList<QImage> pages[2];
    for (int i = 0; i < 2; ++i) {
        QApplication::setPalette(i == 0 ? light : dark);
        QString messages;
        QTextStream errors(&messages);
        const QString outDir = dir.filePath(i == 0 ? u"light"_s : u"dark"_s);
        QCOMPARE(Conversion::run({ u"--convert-to"_s, u"pdf"_s, u"--outdir"_s, outDir, dir.filePath(u"letter.rtf"_s) }, errors), 0);
        QCOMPARE(messages, QString());
        pages[i] = PdfPages::rendered(QDir(outDir).filePath(u"letter.pdf"_s));
    }
    QApplication::setPalette(light);
    QCOMPARE(pages[0].size(), 1);
    QVERIFY(PdfPages::blackPixels(pages[0].first()) > 50);
    QCOMPARE(pages[1].size(), 1);
    QVERIFY2(pages[1].first() == pages[0].first(), "the PDF differs under the dark theme");
}

namespace {

// What a PDF shows: its fonts, and each word where it stands (pdftotext -bbox, to a tenth of a
// point).
QString fontsAndWords(const QString &pdf)
{
    QProcess fonts;
    fonts.start(u"pdffonts"_s, { pdf });
    fonts.waitForFinished(60000);
    QStringList names;
    for (const QString &line : QString::fromUtf8(fonts.readAllStandardOutput()).split(u'\n').mid(2)) {
        if (!line.trimmed().isEmpty())
            names += line.section(u' ', 0, 0);
    }
    names.sort();
    QProcess words;
    words.start(u"pdftotext"_s, { u"-bbox"_s, u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s });
    words.waitForFinished(60000);
    QString out = names.join(u' ') + u'\n';
    static const QRegularExpression word(u"<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"_s);
    for (const QRegularExpressionMatch &m : word.globalMatch(QString::fromUtf8(words.readAllStandardOutput()))) {
        out += m.captured(5);
        for (int i = 1; i <= 4; ++i)
            out += u' ' + QString::number(m.captured(i).toDouble(), 'f', 1);
        out += u'\n';
    }
    return out;
}

} // namespace

void tst_Conversion::pdfIsWhatTheWindowPrints_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("RTF that names no font or size") << u"letter.rtf"_s
                                                    << QByteArray("{\\rtf1\\ansi\\ansicpg932 Dear \\'93\\'fa\\'96\\'7b\\par\\b bold\\b0  and plain\\par}");
    QTest::newRow("Shift-JIS text") << u"notes.txt"_s << QByteArray("\x93\xfa\x96\x7b\x8c\xea text\r\nsecond line\r\n");
}

// The converter reads a file as the editor opens it: its PDF is the report the window prints,
// word for word, in the same fonts at the same places.
void tst_Conversion::pdfIsWhatTheWindowPrints()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("poppler-utils are not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    TestFiles::write(path, content);
    const Run run = convert({ u"--convert-to"_s, u"pdf"_s, u"--outdir"_s, u"out"_s, name }, dir.path());
    QCOMPARE(run.status, 0);

    installFontSubstitutes();
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    TPenForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.OpenFile(path);
    QCOMPARE(window.CurrentFileName, path);
    const QString printed = dir.filePath(u"window.pdf"_s);
    QFile file(printed);
    QVERIFY(file.open(QIODevice::WriteOnly));
    TPrintReport2 report;
    report.setParentRichEdit(&window.RichEdit1->richDocument());
    report.ReportTitle = window.windowTitle();
    report.setPrinter(true, [&file](const QString &jobTitle) {
        auto writer = std::make_unique<QPdfWriter>(&file);
        writer->setTitle(jobTitle);
        writer->setResolution(600);
        ReportPrinter printer;
        printer.device = std::move(writer);
        return printer;
    });
    QVERIFY(report.print());
    file.close();
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));

    const QString converted = fontsAndWords(QDir(dir.filePath(u"out"_s)).filePath(QFileInfo(name).completeBaseName() + u".pdf"_s));
    QVERIFY(converted.count(u'\n') > 3);
    QCOMPARE(converted, fontsAndWords(printed));
}

void tst_Conversion::endedConversionRemovesItsTemporary_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

// A conversion told to end part-way takes its temporary PDF with it and leaves no output.
void tst_Conversion::endedConversionRemovesItsTemporary()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(u"long.txt"_s), longText());
    QProcess process;
    const QString temporary = startPdfConversion(process, dir.path(), u"long.txt"_s);
    QVERIFY2(!temporary.isEmpty(), "the conversion ended before its temporary was seen");
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), signal), 0);
    QVERIFY(process.waitForFinished(60000));
    // Ended by the signal, as it would have been without cleaning up.
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(hiddenEntries(dir.filePath(u"out"_s)), QStringList());
    QVERIFY(!QFile::exists(dir.filePath(u"out/long.pdf"_s)));
}

// A conversion killed outright (nothing can clean up then) leaves its temporary; the next
// conversion into that folder removes it, and leaves that of a conversion still running.
void tst_Conversion::temporariesOfKilledConversionsAreRemoved()
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(u"long.txt"_s), longText());
    TestFiles::write(dir.filePath(u"short.txt"_s), "short");
    QProcess process;
    const QString stale = startPdfConversion(process, dir.path(), u"long.txt"_s);
    QVERIFY2(!stale.isEmpty(), "the conversion ended before its temporary was seen");
    const QString deadPid = QString::number(process.processId());
    process.kill();
    QVERIFY(process.waitForFinished(60000));
    const QString out = dir.filePath(u"out"_s);
    QCOMPARE(hiddenEntries(out), QStringList { stale });
    // Named so that it can be told for one of a conversion, and of which process.
    QString stem = FileReplacement::temporaryStem(stale);
    QVERIFY2(stem.startsWith(u"long.pdf"_s) && stem.endsWith(deadPid), qPrintable(stale));
    // This process stands for a conversion still writing.
    stem.chop(deadPid.size());
    const QString running = FileReplacement::temporaryName(stem + QString::number(QCoreApplication::applicationPid()));
    TestFiles::write(QDir(out).filePath(running), "still being written");

    const Run run = convert({ u"--convert-to"_s, u"pdf"_s, u"--outdir"_s, u"out"_s, u"short.txt"_s }, dir.path());
    QCOMPARE(run.errors, QString());
    QCOMPARE(run.status, 0);
    QVERIFY(QFileInfo(QDir(out).filePath(u"short.pdf"_s)).size() > 0);
    QCOMPARE(hiddenEntries(out), QStringList { running });
}

void tst_Conversion::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem");
    QTest::newRow("unknown target") << QStringList { u"--convert-to"_s, u"DOC"_s, u"a.txt"_s }
                                    << u"変換先の形式 \"DOC\" は使えません (txt、rtf、pdf のどれかを指定してください)"_s;
    QTest::newRow("no files") << QStringList { u"--convert-to"_s, u"txt"_s } << u"変換するファイルが指定されていません"_s;
    QTest::newRow("missing target") << QStringList { u"a.txt"_s, u"--convert-to"_s }
                                    << u"--convert-to の後に変換先の形式 (txt、rtf、pdf) を指定してください"_s;
    QTest::newRow("missing folder") << QStringList { u"--convert-to"_s, u"txt"_s, u"a.txt"_s, u"--outdir"_s }
                                    << u"--outdir の後に書き出すフォルダーを指定してください"_s;
}

void tst_Conversion::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const Run run = convert(arguments, dir.path());
    QCOMPARE(run.status, 2);
    QCOMPARE(run.errors, u"penloft: "_s + problem
                             + u"\n使い方: penloft --convert-to txt|rtf|pdf [--outdir フォルダー] ファイル...\n"_s);
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
    QCOMPARE(run.errors, u"x.txt: \"%1\" は通常のファイルではないので、上書きしません\n"_s.arg(dir.filePath(u"o/x.txt"_s)));
    QVERIFY(QFileInfo(dir.filePath(u"o/x.txt"_s)).isSymLink());
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(pipe).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
}

namespace {

// What stands in the way of reading a file or writing one.
enum class Obstacle { None, Folder, Pipe, NoFolder };

void makeObstacle(Obstacle obstacle, const QString &path)
{
    const QFileInfo info(path);
    QFile::remove(path);
    switch (obstacle) {
    case Obstacle::None:
        break;
    case Obstacle::Folder:
        QVERIFY(QDir().mkpath(path));
        break;
    case Obstacle::Pipe:
        QVERIFY(QDir().mkpath(info.absolutePath()));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        break;
    case Obstacle::NoFolder:
        QVERIFY(QDir(info.absolutePath()).removeRecursively());
        break;
    }
}

} // namespace

void tst_Conversion::failuresAreSentencesOfTheirOwn_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("obstacle"); // to the input when the output is not named, else to the output
    QTest::addColumn<QString>("output"); // the output folder's name; empty: the input is refused
    QTest::addColumn<QString>("text"); // %1: the full path of the file refused
    QTest::newRow("missing file") << u"missing.txt"_s << int(Obstacle::None) << QString()
                                  << u"ファイル \"%1\" が見つかりません"_s;
    QTest::newRow("missing folder") << u"nowhere/x.txt"_s << int(Obstacle::None) << QString()
                                    << u"ファイル \"%1\" のあるフォルダーが見つかりません"_s;
    QTest::newRow("a folder") << u"folder.txt"_s << int(Obstacle::Folder) << QString()
                              << u"\"%1\" はフォルダーなので、ファイルとして開けません"_s;
    QTest::newRow("a named pipe") << u"pipe.txt"_s << int(Obstacle::Pipe) << QString()
                                  << u"\"%1\" は通常のファイルではないので、開けません"_s;
    QTest::newRow("output is a folder") << u"text.txt"_s << int(Obstacle::Folder) << u"out"_s
                                        << u"\"%1\" はフォルダーなので、ファイルを作成できません"_s;
    QTest::newRow("output is a named pipe") << u"text.txt"_s << int(Obstacle::Pipe) << u"out"_s
                                            << u"\"%1\" は通常のファイルではないので、上書きしません"_s;
    QTest::newRow("output folder missing") << u"text.txt"_s << int(Obstacle::NoFolder) << u"out"_s
                                           << u"ファイル \"%1\" を作るフォルダーが見つかりません"_s;
}

// Each refusal is one sentence that names the file: never a reason spliced into another sentence.
void tst_Conversion::failuresAreSentencesOfTheirOwn()
{
    QFETCH(QString, input);
    QFETCH(int, obstacle);
    QFETCH(QString, output);
    QFETCH(QString, text);
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(u"text.txt"_s), "text");
    QString refused = dir.filePath(input);
    QString outDir = dir.filePath(u"converted"_s);
    if (output.isEmpty()) {
        makeObstacle(Obstacle(obstacle), refused);
    } else {
        refused = dir.filePath(output + u"/text.rtf"_s);
        makeObstacle(Obstacle(obstacle), refused);
        outDir = dir.filePath(output);
        // An output folder that cannot be made: a file stands where one of its parents would.
        if (Obstacle(obstacle) == Obstacle::NoFolder) {
            TestFiles::write(dir.filePath(u"blocked"_s), "a file");
            outDir = dir.filePath(u"blocked/out"_s);
            refused = dir.filePath(u"blocked/out/text.rtf"_s);
        }
    }
    const Run run = convert({ u"--convert-to"_s, u"rtf"_s, u"--outdir"_s, outDir, input }, dir.path());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.errors, input + u": "_s + text.arg(refused) + u'\n');
}

void tst_Conversion::editorBoxesSayWhatTheConverterSays_data()
{
    failuresAreSentencesOfTheirOwn_data();
}

// The same refusals in the editor: a file dropped on the window, or a Save onto a name where the
// file opened has given way to something else. The box adds its closing period.
void tst_Conversion::editorBoxesSayWhatTheConverterSays()
{
    QFETCH(QString, input);
    QFETCH(int, obstacle);
    QFETCH(QString, output);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    TPenForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString refused = output.isEmpty() ? dir.filePath(input) : dir.filePath(output + u"/text.rtf"_s);
    // A drop lands where the drag entering the window was accepted.
    auto drop = [&window](const QString &path) {
        QMimeData data;
        data.setUrls({ QUrl::fromLocalFile(path) });
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    };
    RealDialogs::Box box;
    if (output.isEmpty()) {
        makeObstacle(Obstacle(obstacle), refused);
        RealDialogs::answerBox(&box);
        drop(refused);
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(refused).absolutePath()));
        TestFiles::write(refused, "{\\rtf1 saved\\par}");
        drop(refused);
        QCOMPARE(window.CurrentFileName, refused);
        QTest::keyClicks(window.RichEdit1, u"x"_s);
        makeObstacle(Obstacle(obstacle), refused);
        RealDialogs::answerBox(&box);
        window.command(u"FileSave"_s)->trigger();
    }
    QTRY_VERIFY(!box.text.isEmpty());
    RealDialogs::cancelPending();
    QCOMPARE(box.caption, u"Penloft"_s);
    QCOMPARE(box.text, text.arg(refused) + u'.');
    window.RichEdit1->setModified(false);
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
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
