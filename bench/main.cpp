// penloft-bench: how the editor fares with a large Japanese text, each figure beside what a bare
// QTextEdit (or the naive way) does with the same input in the same run.
//
//   penloft-bench            10 MB of CP932 text and a 5 MB formatted RTF; about a minute
//   penloft-bench --quick    1 MB and 0.5 MB, for a smoke run
//
// The window cases time the program's start (the penloft executable, until its main window is
// shown and the splash gone; baseline: a minimal Qt window), and, with the text open in the main
// window, its refresh after a caret move (baseline: the naive count over the whole text) and a
// keystroke with the window's handlers (baseline: a bare QTextEdit in a QMainWindow), and
// Ctrl+End while the text is still being laid out, until the caret and its line show.
//
// The RTF cases open formatted documents written by our own writer (their baseline: Qt's HTML
// path with the same document), save the text as RTF (baseline: toHtml), and time the program's
// batch converter (baseline: LibreOffice, when installed).
//
// The print cases run the preview's report over formatted documents of about 100, 200 and 400
// pages into its page store (baseline: QTextDocument::print() into a PDF), the preview command in
// the main window until its first page shows and its run is done (baseline: QPrintPreviewDialog),
// and the converter to PDF (baseline: LibreOffice). Replace All runs from the main window's
// replace dialog on the text with a word put in 100,000 times (10,000 with --quick); its baseline,
// the naive loop that fetches the whole text for every hit, is timed over its first hits only and
// extrapolated.
//
// Every case runs in a child process of its own (this program again, with --case), so that its
// peak memory can be read from the kernel when it ends and no case inherits another's state.

#include "cases.h"
#include "corpus.h"
#include "harness.h"
#include "picturecases.h"
#include "processes.h"
#include "scaling.h"

#include "document/cp932.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

extern char **environ;

namespace {

// The report lays out about this much of our RTF (the generated document, runs of about 20
// characters) on one A4 page: documents of a given page count are made at that size.
constexpr int RtfBytesPerPage = 37000;

QByteArray readFile(const std::string &path)
{
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const std::string &path, const QByteArray &data)
{
    QFile f(QString::fromStdString(path));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

// What a program that failed said, for whoever reads the run's messages.
void printLog(const std::string &path)
{
    const QByteArray text = readFile(path);
    std::fprintf(stderr, "%s\n", text.right(2000).constData());
}

// The page count pdfinfo reads from a PDF; 0 when it cannot, or is not installed.
int pdfPages(const QString &pdfinfo, const std::string &pdf, const std::string &log)
{
    if (pdfinfo.isEmpty() || !QFileInfo::exists(QString::fromStdString(pdf)))
        return 0;
    if (!runProgram(pdfinfo.toStdString(), { pdf }, log, {}, 30).ok)
        return 0;
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = pages.match(QString::fromUtf8(readFile(log)));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// LibreOffice's text export puts the bullet before a listed paragraph ("    • ") and a
// six-per-em space (U+2006) between Japanese and Latin text; apart from those its text should
// be the document's, which says it read our RTF as we meant it.
bool sameAsOffice(const QByteArray &utf8, const QByteArray &expectedCp932)
{
    QString text = QString::fromUtf8(utf8);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.remove(QChar(0x2006));
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    static const QRegularExpression bullet(QStringLiteral("^ *\u2022 "));
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        line.remove(bullet);
    }
    return lines == Cp932::decode(expectedCp932).split(QStringLiteral("\r\n"));
}

// ---- start-up ----

// Several runs of one program (its starts, or its conversions of one file).
struct ProgramRuns {
    bool ok = false; // every run started and exited cleanly
    std::vector<double> seconds;
    long peakKb = 0; // the largest of the runs' peaks
};

ProgramRuns summarise(const std::vector<ProgramResult> &runs)
{
    ProgramRuns result;
    result.ok = !runs.empty();
    for (const ProgramResult &r : runs) {
        result.ok = result.ok && r.ok;
        result.seconds.push_back(r.seconds);
        result.peakKb = std::max(result.peakKb, r.peakKb);
    }
    return result;
}

// The program's start as a user sees it, from the process's start to its exit right after the
// main window has been shown and the splash has gone (PENLOFT_QUIT_WHEN_STARTED), beside this
// program's minimal Qt window (the start-qt case), each started `runs` times, turn about.
//
// The program writes its settings file beside its executable when it closes, so it runs as a
// copy in the temporary folder, leaving any file beside the real one alone; HOME and
// XDG_RUNTIME_DIR point into that folder too, so that nothing of the user's is read or written.
std::pair<ProgramRuns, ProgramRuns> measureStart(const QString &penloft, const std::string &self,
                                                 const QTemporaryDir &dir, const std::string &log, int runs)
{
    const QString folder = dir.filePath(QStringLiteral("start"));
    const QString home = folder + QStringLiteral("/home");
    const QString runtime = folder + QStringLiteral("/runtime");
    const QString copy = folder + QStringLiteral("/penloft");
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    // Qt ignores a runtime folder that others could read, with a warning.
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!QFile::copy(penloft, copy)) {
        std::fprintf(stderr, "penloft-bench: cannot copy %s\n", qPrintable(penloft));
        return {};
    }
    const std::vector<std::string> settings { "HOME=" + home.toStdString(), "XDG_RUNTIME_DIR=" + runtime.toStdString(),
                                              "QT_QPA_PLATFORM=offscreen", "PENLOFT_QUIT_WHEN_STARTED=1" };
    const std::vector<std::string> baseline { "--case", "start-qt" };
    // One start of each first, not counted: it brings the libraries and fonts into the page
    // cache, and leaves the program's settings file, which every later start reads as a user's
    // second start would.
    runProgram(copy.toStdString(), {}, log, settings, 30);
    runProgram(self, baseline, log, settings, 30);
    std::vector<ProgramResult> ours;
    std::vector<ProgramResult> base;
    for (int i = 0; i < runs; ++i) {
        ours.push_back(runProgram(copy.toStdString(), {}, log, settings, 30));
        base.push_back(runProgram(self, baseline, log, settings, 30));
    }
    return { summarise(ours), summarise(base) };
}

// ---- formatting ----

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString seconds(double ms)
{
    return number(ms / 1000, 3) + QStringLiteral(" s");
}

QString millis(double ms)
{
    return number(ms, ms < 10 ? 2 : 1) + QStringLiteral(" ms");
}

QString micros(double us)
{
    return us < 1000 ? number(us, 1) + QStringLiteral(" µs") : millis(us / 1000);
}

QString megabytes(double kb)
{
    return number(kb / 1024, 0) + QStringLiteral(" MB");
}

QString thousands(double value)
{
    QString digits = QString::number(static_cast<qint64>(value));
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    return digits;
}

QString ratio(double ours, double base)
{
    if (base <= 0 || ours <= 0)
        return QString();
    // Far below one, "1/N" reads better than a row of zeros.
    if (ours / base < 0.01)
        return QStringLiteral("1/") + thousands(base / ours);
    return number(ours / base, 2) + QStringLiteral("x");
}

QString yesNo(bool met)
{
    return met ? QStringLiteral("yes") : QStringLiteral("no");
}

struct Row {
    QString label;
    QString ours;
    QString base;
    QString ratio;
    QString target;
    QString met;
};

void printTable(const std::vector<Row> &rows)
{
    const Row header { QStringLiteral("case"),   QStringLiteral("ours"),   QStringLiteral("baseline"),
                       QStringLiteral("ours/base"), QStringLiteral("target"), QStringLiteral("met") };
    qsizetype widths[6] = {};
    auto measure = [&](const Row &r) {
        const QString *cells[6] = { &r.label, &r.ours, &r.base, &r.ratio, &r.target, &r.met };
        for (int i = 0; i < 6; ++i)
            widths[i] = qMax(widths[i], cells[i]->size());
    };
    measure(header);
    for (const Row &r : rows)
        measure(r);
    auto line = [&](const Row &r) {
        const QString *cells[6] = { &r.label, &r.ours, &r.base, &r.ratio, &r.target, &r.met };
        QString s;
        for (int i = 0; i < 6; ++i) {
            // Figures line up on the right, words on the left.
            const bool words = i == 0 || i >= 4;
            const QString cell = words ? cells[i]->leftJustified(widths[i]) : cells[i]->rightJustified(widths[i]);
            s += (i ? QStringLiteral(" | ") : QString()) + cell;
        }
        return s;
    };
    QString rule;
    qsizetype total = 0;
    for (qsizetype w : widths)
        total += w;
    rule.fill(u'-', total + 3 * 5);
    auto print = [](QString text) {
        while (text.endsWith(u' '))
            text.chop(1);
        std::printf("%s\n", text.toUtf8().constData());
    };
    print(line(header));
    print(rule);
    for (const Row &r : rows)
        print(line(r));
}

QString sizeLabel(double bytes)
{
    return bytes >= 1e6 ? number(bytes / 1e6, bytes >= 1e7 ? 0 : 1) + QStringLiteral(" MB")
                        : number(bytes / 1e3, 0) + QStringLiteral(" KB");
}

int usage(const char *self)
{
    std::fprintf(stderr,
                 "usage: %s [--quick] [--rtf-bytes N] [--dense-runs N] [--no-soffice]\n"
                 "       %s --scaling [--quick] [--text CONSTRUCT,...]   (the scaling table of every construct a\n"
                 "         file can be made of, or of those named; 1x = 1 MB, or 0.25 MB with --quick; see\n"
                 "         bench/scaling.h)\n"
                 "       %s --pictures [--quick]   (opening the formatted RTF with and without a 1 MB PNG)\n"
                 "  Measures the program's start against a minimal Qt window; opening, saving, caret queries\n"
                 "  and typing on a generated CP932 text (10 MB, or 1 MB with --quick) against a bare\n"
                 "  QTextEdit, and the main window's refresh, typing and Ctrl+End with that text; prints a\n"
                 "  table; then opening formatted RTF (5 MB, and one of 200,000 runs; 0.5 MB and 20,000 with\n"
                 "  --quick) against Qt's HTML path, saving the text as RTF, and penloft --convert-to txt against\n"
                 "  LibreOffice (soffice on PATH; --no-soffice leaves it out); the print preview's run over\n"
                 "  documents of about 100, 200 and 400 pages (10, 20, 40 with --quick) against\n"
                 "  QTextDocument::print(), the preview command against QPrintPreviewDialog, --convert-to pdf\n"
                 "  against LibreOffice, and Replace All of 100,000 words (10,000) against the naive loop.\n"
                 "  One case alone: %s --case NAME --input FILE [--output FILE] [--repetitions N]\n"
                 "  [--place start|middle|end] (cases: %s)\n"
                 "  Make the texts first: %s --case generate --input FILE --output PARAGRAPH_FILE\n"
                 "  --bytes 10000000 --paragraph-characters 300000\n"
                 "  The formatted RTF: %s --case generate-rtf --output RTF --html HTML --text TXT\n"
                 "  --bytes 5000000 --run-characters 20 (or --runs 200000 --run-characters 2, or\n"
                 "  --paragraph-characters 50000 for one paragraph); open it with --case open-rtf-ours\n"
                 "  --input RTF, or --case open-rtf-bare --input HTML\n"
                 "  Profile one keystroke: valgrind --tool=callgrind --toggle-collect='*timedKeystroke*' %s --case\n"
                 "  type-bare --input FILE --place start --repetitions 3 (type-window: in the main window,\n"
                 "  where --place also takes enter, backspace and pagedown)\n"
                 "  The main window's refresh: the same with --toggle-collect='*timedRefresh*' and --case\n"
                 "  window-caret; its start: %s --case start-window (the program's own steps, timed inside)\n"
                 "  Profile a load: the same with --toggle-collect='RichEdit::loadWith*' and --case open-rtf-ours\n"
                 "  The preview: --case report-run (or report-run-qt --output PDF, preview-window,\n"
                 "  preview-window-qt) --input RTF; Replace All: --case generate-replace --input TEXT --output\n"
                 "  TEXT2 --text EXPECTED --occurrences 100000, then --case replace-all --input TEXT2 --output\n"
                 "  SAVED --text EXPECTED [--notes FILE], or --case replace-naive --input TEXT2\n",
                 self, self, self, self, qPrintable(Cases::names().join(QStringLiteral(", "))), self, self, self, self);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // Widgets draw into memory; no display is needed, and none interferes.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    bool quick = false;
    bool scaling = false;
    bool pictures = false;
    qint64 rtfBytes = 0; // 0: as the run's size says
    qint64 denseRuns = 0; // 0: as the run's size says
    bool office = true;
    Cases::Options options;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        if (a == QStringLiteral("--quick")) {
            quick = true;
        } else if (a == QStringLiteral("--scaling")) {
            scaling = true;
        } else if (a == QStringLiteral("--pictures")) {
            pictures = true;
        } else if (a == QStringLiteral("--case")) {
            options.name = value;
            ++i;
        } else if (a == QStringLiteral("--input")) {
            options.input = value;
            ++i;
        } else if (a == QStringLiteral("--output")) {
            options.output = value;
            ++i;
        } else if (a == QStringLiteral("--html")) {
            options.html = value;
            ++i;
        } else if (a == QStringLiteral("--text")) {
            options.text = value;
            ++i;
        } else if (a == QStringLiteral("--bytes")) {
            options.bytes = value.toLongLong();
            ++i;
        } else if (a == QStringLiteral("--rtf-bytes")) {
            rtfBytes = value.toLongLong();
            ++i;
        } else if (a == QStringLiteral("--dense-runs")) {
            denseRuns = value.toLongLong();
            ++i;
        } else if (a == QStringLiteral("--no-soffice")) {
            office = false;
        } else if (a == QStringLiteral("--runs")) {
            options.runs = value.toLongLong();
            ++i;
        } else if (a == QStringLiteral("--run-characters")) {
            options.runCharacters = qMax(1, value.toInt());
            ++i;
        } else if (a == QStringLiteral("--paragraph-characters")) {
            options.paragraphCharacters = value.toLongLong();
            ++i;
        } else if (a == QStringLiteral("--occurrences")) {
            options.occurrences = value.toLongLong();
            ++i;
        } else if (a == QStringLiteral("--notes")) {
            options.notes = value;
            ++i;
        } else if (a == QStringLiteral("--place")) {
            options.place = value;
            ++i;
        } else if (a == QStringLiteral("--repetitions")) {
            options.repetitions = qMax(1, value.toInt());
            ++i;
        } else {
            return usage(argv[0]);
        }
    }
    if (!options.name.isEmpty())
        return Cases::run(argc, argv, options);
    if (scaling)
        return Scaling::run(selfPath(), quick ? 250000 : 1000000, options.text);
    if (pictures)
        return PictureCases::compare(selfPath(), quick);

    const std::string self = selfPath();
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/penloft-bench-XXXXXX"));
    if (self.empty() || !dir.isValid()) {
        std::fprintf(stderr, "penloft-bench: cannot find itself or make a temporary folder\n");
        return 1;
    }
    const std::string input = dir.filePath(QStringLiteral("input.txt")).toStdString();
    const std::string paragraph = dir.filePath(QStringLiteral("paragraph.txt")).toStdString();
    const std::string saved = dir.filePath(QStringLiteral("saved.txt")).toStdString();
    const qint64 targetBytes = quick ? 1000000 : 10000000;
    const qint64 paragraphCharacters = quick ? 30000 : 300000;
    auto file = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)).toStdString(); };
    // The formatted document: its format changing every 10 to 30 characters, as far as the
    // file size allows. The dense one holds the run count instead, at 1 to 3 characters a run:
    // our writer spends about 15 bytes on a Japanese character, so that many runs of 20
    // characters would make a file ten times the size.
    const qint64 formattedBytes = rtfBytes > 0 ? rtfBytes : quick ? 500000 : 5000000;
    const qint64 denseRunCount = denseRuns > 0 ? denseRuns : quick ? 20000 : 200000;
    // And one long paragraph with runs of the usual length: what a reader does per run should
    // not grow with the paragraph it is in.
    const qint64 longCharacters = quick ? 10000 : 50000;
    const std::string rtf = file("formatted.rtf");
    const std::string rtfHtml = file("formatted.html");
    const std::string rtfText = file("formatted-text.txt");
    const std::string dense = file("dense.rtf");
    const std::string denseHtml = file("dense.html");
    const std::string denseText = file("dense-text.txt");
    const std::string longRtf = file("long.rtf");
    const std::string longHtml = file("long.html");
    const std::string longText = file("long-text.txt");
    const std::string savedRtf = file("saved.rtf");
    const std::string savedHtml = file("saved.html");
    // The kernel counts what this process holds at each spawn into the child's peak, so it
    // keeps nothing big: even the text is made by a child.
    const qint64 parentKb = qMax<qint64>(0, Harness::residentKb());

    const double loadBefore = loadAverage();
    QElapsedTimer wall;
    wall.start();
    std::fprintf(stderr, "penloft-bench: cases run one by one in child processes\n");
    const CaseResult gen = runCase(self, { "generate", "--input", input, "--output", paragraph, "--bytes",
                                           std::to_string(targetBytes), "--paragraph-characters",
                                           std::to_string(paragraphCharacters) });
    if (!gen.ok) {
        std::fprintf(stderr, "penloft-bench: could not make the input text\n");
        return 1;
    }
    auto withInput = [&](const char *name, const std::string &file) {
        return runCase(self, { name, "--input", file, "--output", saved });
    };
    const std::string log = file("program.log");
    // The program itself, found beside the benchmark: its start here, its converter below.
    const QString penloft = QFileInfo(QString::fromStdString(self)).absolutePath() + QStringLiteral("/penloft");
    const bool haveOurs = QFileInfo(penloft).isExecutable();
    ProgramRuns startOurs;
    ProgramRuns startBase;
    if (haveOurs)
        std::tie(startOurs, startBase) = measureStart(penloft, self, dir, log, 5);
    if (haveOurs && (!startOurs.ok || !startBase.ok))
        printLog(log);
    const CaseResult startWindow = runCase(self, { "start-window" });
    const CaseResult openOurs = withInput("open-ours", input);
    const CaseResult openBare = withInput("open-bare", input);
    const CaseResult saveOurs = withInput("save-ours", input);
    const CaseResult saveBare = withInput("save-bare", input);
    const CaseResult caret = withInput("caret", input);
    const CaseResult typeOurs = withInput("type-ours", input);
    const CaseResult typeBare = withInput("type-bare", input);
    const CaseResult paraOurs = withInput("paragraph-ours", paragraph);
    const CaseResult paraBare = withInput("paragraph-bare", paragraph);
    const CaseResult windowCaret = withInput("window-caret", input);
    const CaseResult typeWindow = withInput("type-window", input);
    const CaseResult typeWindowBare = withInput("type-window-bare", input);
    const CaseResult paraWindow = withInput("type-window", paragraph);
    const CaseResult paraWindowBare = withInput("type-window-bare", paragraph);
    const CaseResult ctrlEnd = withInput("window-ctrl-end", input);

    const CaseResult rtfGen = runCase(self, { "generate-rtf", "--output", rtf, "--html", rtfHtml, "--text", rtfText,
                                              "--bytes", std::to_string(formattedBytes), "--run-characters", "20" });
    const CaseResult denseGen = runCase(self, { "generate-rtf", "--output", dense, "--html", denseHtml, "--text",
                                                denseText, "--runs", std::to_string(denseRunCount),
                                                "--run-characters", "2" });
    const CaseResult longGen = runCase(self, { "generate-rtf", "--output", longRtf, "--html", longHtml, "--text",
                                               longText, "--paragraph-characters", std::to_string(longCharacters),
                                               "--run-characters", "20" });
    const CaseResult openRtfOurs = withInput("open-rtf-ours", rtf);
    const CaseResult openRtfBare = withInput("open-rtf-bare", rtfHtml);
    const CaseResult openDenseOurs = withInput("open-rtf-ours", dense);
    const CaseResult openDenseBare = withInput("open-rtf-bare", denseHtml);
    const CaseResult openLongOurs = withInput("open-rtf-ours", longRtf);
    const CaseResult openLongBare = withInput("open-rtf-bare", longHtml);
    const CaseResult saveRtfOurs = runCase(self, { "save-rtf-ours", "--input", input, "--output", savedRtf });
    const CaseResult saveRtfBare = runCase(self, { "save-rtf-bare", "--input", input, "--output", savedHtml });

    // The print preview: formatted documents of about 100, 200 and 400 pages (a tenth of that with
    // --quick), made like the RTF above; the middle one is also the PDF converter's input.
    const std::array<int, 3> pageTargets = quick ? std::array { 10, 20, 40 } : std::array { 100, 200, 400 };
    std::vector<std::string> pagesRtf;
    std::vector<CaseResult> pagesGen;
    for (int pages : pageTargets) {
        const std::string name = "pages-" + std::to_string(pages);
        pagesRtf.push_back(file((name + ".rtf").c_str()));
        pagesGen.push_back(runCase(self, { "generate-rtf", "--output", pagesRtf.back(), "--html",
                                           file((name + ".html").c_str()), "--text",
                                           file((name + "-text.txt").c_str()), "--bytes",
                                           std::to_string(pages * RtfBytesPerPage), "--run-characters", "20" }));
    }
    std::vector<CaseResult> reportRuns;
    for (std::size_t i = 0; i < pagesRtf.size(); ++i)
        reportRuns.push_back(pagesGen[i].ok ? runCase(self, { "report-run", "--input", pagesRtf[i] }) : CaseResult());
    const std::string &pagesDocument = pagesRtf[1];
    const CaseResult &pagesDocumentGen = pagesGen[1];
    const CaseResult &reportRun = reportRuns[1];
    const CaseResult reportQt
        = runCase(self, { "report-run-qt", "--input", pagesDocument, "--output", file("qt-print.pdf") });
    const CaseResult previewWindow = runCase(self, { "preview-window", "--input", pagesDocument });
    const CaseResult previewQt = runCase(self, { "preview-window-qt", "--input", pagesDocument });

    // Replace All: the lines text with the sought word put in at even intervals, about one in
    // 50 characters.
    const qint64 occurrences = quick ? 10000 : 100000;
    const std::string replaceInput = file("replace-input.txt");
    const std::string replaceExpected = file("replace-expected.txt");
    const std::string replaceNotes = file("replace-message.txt");
    const CaseResult replaceGen
        = runCase(self, { "generate-replace", "--input", input, "--output", replaceInput, "--text", replaceExpected,
                          "--occurrences", std::to_string(occurrences) });
    const CaseResult replaceOurs = replaceGen.ok
        ? runCase(self, { "replace-all", "--input", replaceInput, "--output", file("replace-saved.txt"), "--text",
                          replaceExpected, "--notes", replaceNotes })
        : CaseResult();
    const CaseResult replaceNaive = replaceGen.ok ? runCase(self, { "replace-naive", "--input", replaceInput }) : CaseResult();
    const CaseResult dates = runCase(self, { "paste-dates" });

    // The converter as a user runs it: the program itself, started anew each time.
    const QString oursDir = dir.filePath(QStringLiteral("converted-ours"));
    const QString officeDir = dir.filePath(QStringLiteral("converted-soffice"));
    std::vector<ProgramResult> converts;
    if (haveOurs && rtfGen.ok) {
        for (int i = 0; i < 3; ++i)
            converts.push_back(runProgram(penloft.toStdString(),
                                          { "--convert-to", "txt", "--outdir", oursDir.toStdString(), rtf }, log, {},
                                          120));
    }
    const ProgramRuns convertRuns = summarise(converts);
    const bool convertsOk = convertRuns.ok;
    const std::vector<double> &convertSeconds = convertRuns.seconds;
    const long convertPeakKb = convertRuns.peakKb;
    if (haveOurs && !convertsOk)
        printLog(log);
    // The same converter making the pages the preview shows, as PDF.
    const QString pdfOursDir = dir.filePath(QStringLiteral("pdf-ours"));
    const QString pdfOfficeDir = dir.filePath(QStringLiteral("pdf-soffice"));
    std::vector<ProgramResult> pdfRuns;
    if (haveOurs && pagesDocumentGen.ok) {
        for (int i = 0; i < 3; ++i) {
            pdfRuns.push_back(runProgram(penloft.toStdString(),
                                         { "--convert-to", "pdf", "--outdir", pdfOursDir.toStdString(), pagesDocument },
                                         log, {}, 120));
            if (!pdfRuns.back().ok)
                printLog(log);
        }
    }
    const ProgramRuns pdfOurs = summarise(pdfRuns);

    // LibreOffice, if there is one: its first start makes a profile under HOME, so it starts
    // once on a tiny file first, with a HOME of its own that leaves the user's profile alone.
    const QString soffice = office ? QStandardPaths::findExecutable(QStringLiteral("soffice")) : QString();
    ProgramResult officeWarm;
    ProgramResult officeRun;
    ProgramResult officePdf;
    if (!soffice.isEmpty() && (rtfGen.ok || pagesDocumentGen.ok)) {
        const std::string home = file("soffice-home");
        QDir().mkpath(QString::fromStdString(home));
        const std::string warm = file("warm.rtf");
        writeFile(warm, "{\\rtf1\\ansi warm\\par}");
        auto convert = [&](const char *filter, const std::string &outDir, const std::string &rtfFile) {
            const std::vector<std::string> arguments { "--headless", "--convert-to", filter, "--outdir", outDir,
                                                       rtfFile };
            ProgramResult r = runProgram(soffice.toStdString(), arguments, log, { "HOME=" + home }, 300);
            if (!r.ok)
                printLog(log);
            return r;
        };
        officeWarm = convert("txt:Text", file("soffice-warm"), warm);
        if (officeWarm.ok && rtfGen.ok)
            officeRun = convert("txt:Text", officeDir.toStdString(), rtf);
        if (officeWarm.ok && pagesDocumentGen.ok)
            officePdf = convert("pdf", pdfOfficeDir.toStdString(), pagesDocument);
    }
    // Both PDFs' page counts, by pdfinfo (when installed).
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    const std::string pdfName = QFileInfo(QString::fromStdString(pagesDocument)).completeBaseName().toStdString() + ".pdf";
    const int pdfOursPages = pdfOurs.ok ? pdfPages(pdfinfo, pdfOursDir.toStdString() + "/" + pdfName, file("pdfinfo.log")) : 0;
    const int pdfOfficePages
        = officePdf.ok ? pdfPages(pdfinfo, pdfOfficeDir.toStdString() + "/" + pdfName, file("pdfinfo.log")) : 0;
    const QByteArray replaceMessage = readFile(replaceNotes);
    // Read only now: the parent stays small while it starts the others.
    const QByteArray expectedText = readFile(rtfText);
    const bool oursSame = convertsOk && readFile(oursDir.toStdString() + "/formatted.txt") == expectedText;
    const bool officeSame
        = officeRun.ok && sameAsOffice(readFile(officeDir.toStdString() + "/formatted.txt"), expectedText);

    const QString size = sizeLabel(gen["bytes"]);
    std::vector<Row> rows;
    auto failed = [](const CaseResult &r, const QString &figure) { return r.ok ? figure : QStringLiteral("failed"); };

    const double startMs = Harness::median(startOurs.seconds) * 1000;
    const double startBaseMs = Harness::median(startBase.seconds) * 1000;
    const QString notStarted = haveOurs ? QStringLiteral("failed") : QStringLiteral("not built");
    rows.push_back({ QStringLiteral("start until the main window is shown, splash gone"),
                     startOurs.ok ? seconds(startMs) : notStarted, startBase.ok ? seconds(startBaseMs) : notStarted,
                     startOurs.ok && startBase.ok ? ratio(startMs, startBaseMs) : QString(), QStringLiteral("≤ 0.6 s"),
                     yesNo(startOurs.ok && startMs <= 600) });
    rows.push_back({ QStringLiteral("  peak memory (wait4)"), startOurs.ok ? megabytes(startOurs.peakKb) : QString(),
                     startBase.ok ? megabytes(startBase.peakKb) : QString(),
                     startOurs.ok && startBase.ok ? ratio(startOurs.peakKb, startBase.peakKb) : QString(), QString(),
                     QString() });
    rows.push_back({ QStringLiteral("open ") + size + QStringLiteral(" text until first paint"),
                     failed(openOurs, seconds(openOurs["open_ms"])), failed(openBare, seconds(openBare["open_ms"])),
                     ratio(openOurs["open_ms"], openBare["open_ms"]), QStringLiteral("≤ 0.3 s"),
                     yesNo(openOurs.ok && openOurs["open_ms"] <= 300) });
    rows.push_back({ QStringLiteral("  peak memory until first paint (VmHWM)"), megabytes(openOurs["rss_paint_kb"]),
                     megabytes(openBare["rss_paint_kb"]), ratio(openOurs["rss_paint_kb"], openBare["rss_paint_kb"]),
                     QStringLiteral("≤ 150 MB"), yesNo(openOurs["rss_paint_kb"] <= 150 * 1024) });
    rows.push_back({ QStringLiteral("  peak memory, whole layout done (wait4)"), megabytes(openOurs.peakKb),
                     megabytes(openBare.peakKb), ratio(openOurs.peakKb, openBare.peakKb), QStringLiteral("≤ 150 MB"),
                     yesNo(openOurs.peakKb <= 150 * 1024) });
    rows.push_back({ QStringLiteral("save as CP932 text"), failed(saveOurs, seconds(saveOurs["save_ms"])),
                     failed(saveBare, seconds(saveBare["save_ms"])), ratio(saveOurs["save_ms"], saveBare["save_ms"]),
                     QStringLiteral("≤ 0.15 s"), yesNo(saveOurs.ok && saveOurs["save_ms"] <= 150) });
    rows.push_back({ QStringLiteral("  of which making the bytes (no file)"), seconds(saveOurs["bytes_ms"]),
                     seconds(saveBare["bytes_ms"]), ratio(saveOurs["bytes_ms"], saveBare["bytes_ms"]), QString(),
                     QString() });
    rows.push_back({ QStringLiteral("caret query at the end after a 1-char edit"),
                     failed(caret, micros(caret["query_us"])), failed(caret, millis(caret["naive_ms"])),
                     ratio(caret["query_us"] / 1000, caret["naive_ms"]), QStringLiteral("≤ 1 ms"),
                     yesNo(caret.ok && caret["query_us"] <= 1000) });
    const char *places[][2] = { { "start", "type_start_ms" }, { "middle", "type_middle_ms" }, { "end", "type_end_ms" } };
    for (const auto &place : places) {
        const double ours = typeOurs[place[1]];
        const double base = typeBare[place[1]];
        rows.push_back({ QStringLiteral("typing one character at the ") + QString::fromLatin1(place[0]),
                         failed(typeOurs, millis(ours)), failed(typeBare, millis(base)), ratio(ours, base),
                         QStringLiteral("≤ 1.2x; 16 ms"),
                         yesNo(typeOurs.ok && ours <= 1.2 * base) + QStringLiteral("; ") + yesNo(ours <= 16) });
    }
    rows.push_back({ QStringLiteral("typing in a ") + thousands(gen["paragraph_characters"])
                         + QStringLiteral("-character paragraph"),
                     failed(paraOurs, millis(paraOurs["type_middle_ms"])),
                     failed(paraBare, millis(paraBare["type_middle_ms"])),
                     ratio(paraOurs["type_middle_ms"], paraBare["type_middle_ms"]), QStringLiteral("≤ 16 ms"),
                     yesNo(paraOurs.ok && paraOurs["type_middle_ms"] <= 16) });
    for (const auto &place : places) {
        const std::string name = place[0];
        const double ours = windowCaret[("refresh_" + name + "_us").c_str()];
        const double base = windowCaret[("naive_" + name + "_ms").c_str()];
        rows.push_back({ QStringLiteral("window refresh after a caret move at the ") + QString::fromLatin1(place[0]),
                         failed(windowCaret, micros(ours)), failed(windowCaret, millis(base)), ratio(ours / 1000, base),
                         QStringLiteral("≤ 1 ms"), yesNo(windowCaret.ok && ours <= 1000) });
    }
    for (const auto &place : places) {
        const double ours = typeWindow[place[1]];
        const double base = typeWindowBare[place[1]];
        rows.push_back({ QStringLiteral("keystroke in the main window at the ") + QString::fromLatin1(place[0]),
                         failed(typeWindow, millis(ours)), failed(typeWindowBare, millis(base)), ratio(ours, base),
                         QStringLiteral("≤ 16 ms"), yesNo(typeWindow.ok && ours <= 16) });
    }
    // End to end: from the key as the window system hands it over to the flushed frame.
    const std::pair<const char *, const CaseResult *> screens[] = { { "the text", &typeWindow },
                                                                     { "one long paragraph", &paraWindow } };
    for (const auto &[what, ours] : screens) {
        const CaseResult &bare = ours == &typeWindow ? typeWindowBare : paraWindowBare;
        for (const auto &place : places) {
            const std::string key = std::string("screen_") + place[0] + "_ms";
            const double value = (*ours)[key.c_str()];
            rows.push_back({ QStringLiteral("key to flushed frame, main window, %1 at the %2")
                                 .arg(QString::fromLatin1(what), QString::fromLatin1(place[0])),
                             failed(*ours, millis(value)), failed(bare, millis(bare[key.c_str()])),
                             ratio(value, bare[key.c_str()]), QStringLiteral("≤ 8 ms"),
                             yesNo(ours->ok && value <= 8) });
        }
    }
    const char *keys[][2] = { { "Enter in the middle", "enter_ms" },
                              { "Backspace at a paragraph start in the middle", "backspace_ms" },
                              { "Page Down from the start (100 presses)", "pagedown_ms" } };
    for (const auto &key : keys) {
        const double ours = typeWindow[key[1]];
        const double base = typeWindowBare[key[1]];
        rows.push_back({ QStringLiteral("main window: ") + QString::fromLatin1(key[0]), failed(typeWindow, millis(ours)),
                         failed(typeWindowBare, millis(base)), ratio(ours, base), QStringLiteral("≤ 16 ms"),
                         yesNo(typeWindow.ok && ours <= 16) });
    }
    // Ctrl+End with the text read but still being laid out; no baseline: a bare QTextEdit lays
    // the whole text out before it shows any of it.
    const bool caretShown = ctrlEnd.ok && ctrlEnd["caret_shown_ms"] >= 0;
    rows.push_back({ QStringLiteral("Ctrl+End while the text is laid out: caret shown"),
                     caretShown ? millis(ctrlEnd["caret_shown_ms"]) : QStringLiteral("failed"), QString(), QString(),
                     QStringLiteral("≤ 1 s"), yesNo(caretShown && ctrlEnd["caret_shown_ms"] <= 1000) });
    rows.push_back({ QStringLiteral("  line panel filled (estimated line)"),
                     failed(ctrlEnd, millis(ctrlEnd["panel_filled_ms"])), QString(), QString(), QStringLiteral("≤ 1 s"),
                     yesNo(ctrlEnd.ok && ctrlEnd["panel_filled_ms"] <= 1000) });
    rows.push_back({ QStringLiteral("  line exact (all before it laid out)"), failed(ctrlEnd, seconds(ctrlEnd["exact_ms"])),
                     QString(), QString(), QString(), QString() });

    const QString rtfSize = sizeLabel(rtfGen["rtf_bytes"]);
    rows.push_back({ QStringLiteral("open ") + rtfSize + QStringLiteral(" RTF until first paint"),
                     failed(openRtfOurs, seconds(openRtfOurs["open_ms"])),
                     failed(openRtfBare, seconds(openRtfBare["open_ms"])),
                     ratio(openRtfOurs["open_ms"], openRtfBare["open_ms"]), QStringLiteral("≤ 1.0 s"),
                     yesNo(openRtfOurs.ok && openRtfOurs["open_ms"] <= 1000) });
    rows.push_back({ QStringLiteral("  peak memory until first paint (VmHWM)"),
                     megabytes(openRtfOurs["rss_paint_kb"]), megabytes(openRtfBare["rss_paint_kb"]),
                     ratio(openRtfOurs["rss_paint_kb"], openRtfBare["rss_paint_kb"]), QString(), QString() });
    // VmHWM rather than the kernel's figure at the end: the read-back check comes after it.
    rows.push_back({ QStringLiteral("  peak memory, whole layout done (VmHWM)"),
                     megabytes(openRtfOurs["rss_layout_kb"]), megabytes(openRtfBare["rss_layout_kb"]),
                     ratio(openRtfOurs["rss_layout_kb"], openRtfBare["rss_layout_kb"]), QString(), QString() });
    rows.push_back({ QStringLiteral("open ") + sizeLabel(denseGen["rtf_bytes"]) + QStringLiteral(" RTF of ")
                         + thousands(denseGen["runs"]) + QStringLiteral(" runs until first paint"),
                     failed(openDenseOurs, seconds(openDenseOurs["open_ms"])),
                     failed(openDenseBare, seconds(openDenseBare["open_ms"])),
                     ratio(openDenseOurs["open_ms"], openDenseBare["open_ms"]), QString(), QString() });
    rows.push_back({ QStringLiteral("  peak memory, whole layout done (VmHWM)"),
                     megabytes(openDenseOurs["rss_layout_kb"]), megabytes(openDenseBare["rss_layout_kb"]),
                     ratio(openDenseOurs["rss_layout_kb"], openDenseBare["rss_layout_kb"]), QString(), QString() });
    rows.push_back({ QStringLiteral("open RTF of one ") + thousands(longGen["characters"])
                         + QStringLiteral("-character paragraph (") + thousands(longGen["runs"])
                         + QStringLiteral(" runs)"),
                     failed(openLongOurs, seconds(openLongOurs["open_ms"])),
                     failed(openLongBare, seconds(openLongBare["open_ms"])),
                     ratio(openLongOurs["open_ms"], openLongBare["open_ms"]), QString(), QString() });
    rows.push_back({ QStringLiteral("save the ") + size + QStringLiteral(" text as RTF (")
                         + sizeLabel(saveRtfOurs["file_bytes"]) + QStringLiteral(")"),
                     failed(saveRtfOurs, seconds(saveRtfOurs["save_ms"])),
                     failed(saveRtfBare, seconds(saveRtfBare["save_ms"])),
                     ratio(saveRtfOurs["save_ms"], saveRtfBare["save_ms"]), QStringLiteral("≤ 0.6 s"),
                     yesNo(saveRtfOurs.ok && saveRtfOurs["save_ms"] <= 600) });
    rows.push_back({ QStringLiteral("  of which making the bytes (no file)"), seconds(saveRtfOurs["bytes_ms"]),
                     seconds(saveRtfBare["bytes_ms"]), ratio(saveRtfOurs["bytes_ms"], saveRtfBare["bytes_ms"]),
                     QString(), QString() });
    const double convertMs = Harness::median(convertSeconds) * 1000;
    const QString oursConvert = !haveOurs ? QStringLiteral("not built")
        : convertsOk                      ? seconds(convertMs)
                                          : QStringLiteral("failed");
    const QString officeConvert = !office ? QStringLiteral("skipped")
        : soffice.isEmpty()               ? QStringLiteral("not installed")
        : officeRun.timedOut              ? QStringLiteral("timed out")
        : officeRun.ok                    ? seconds(officeRun.seconds * 1000)
                                          : QStringLiteral("failed");
    rows.push_back({ QStringLiteral("penloft --convert-to txt of the ") + rtfSize + QStringLiteral(" RTF"),
                     oursConvert, officeConvert,
                     convertsOk && officeRun.ok ? ratio(convertMs, officeRun.seconds * 1000) : QString(), QString(),
                     QString() });
    rows.push_back({ QStringLiteral("  peak memory (wait4)"), convertsOk ? megabytes(convertPeakKb) : QString(),
                     officeRun.ok ? megabytes(officeRun.peakKb) : QString(),
                     convertsOk && officeRun.ok ? ratio(convertPeakKb, officeRun.peakKb) : QString(), QString(),
                     QString() });

    // The print preview: the report's run alone, then the command in the main window.
    auto pagesPerSecond = [](double value) -> QString { return number(value, 0) + QStringLiteral(" pages/s"); };
    rows.push_back({ QStringLiteral("preview run of a ") + thousands(reportRun["pages"])
                         + QStringLiteral("-page document into the page store"),
                     failed(reportRun, pagesPerSecond(reportRun["pages_per_s"])),
                     failed(reportQt, pagesPerSecond(reportQt["pages_per_s"])),
                     ratio(reportRun["pages_per_s"], reportQt["pages_per_s"]), QStringLiteral("≥ 100 pages/s"),
                     yesNo(reportRun.ok && reportRun["pages_per_s"] >= 100) });
    rows.push_back({ QStringLiteral("  first page available"), failed(reportRun, seconds(reportRun["first_page_ms"])),
                     failed(reportQt, seconds(reportQt["first_page_ms"])),
                     ratio(reportRun["first_page_ms"], reportQt["first_page_ms"]), QStringLiteral("≤ 0.2 s"),
                     yesNo(reportRun.ok && reportRun["first_page_ms"] <= 200) });
    rows.push_back({ QStringLiteral("  the whole run"), failed(reportRun, seconds(reportRun["run_ms"])),
                     failed(reportQt, seconds(reportQt["run_ms"])), ratio(reportRun["run_ms"], reportQt["run_ms"]),
                     QString(), QString() });
    rows.push_back({ QStringLiteral("  peak memory (wait4)"), megabytes(reportRun.peakKb), megabytes(reportQt.peakKb),
                     ratio(reportRun.peakKb, reportQt.peakKb), QString(), QString() });
    // With the page count: what the run leaves held (the pages, unless the store spills) and how
    // far its peak rises above the open document.
    QStringList runPages;
    QStringList heldMb;
    QStringList peakMb;
    bool runsOk = true;
    bool allSpilled = true;
    for (const CaseResult &r : reportRuns) {
        runsOk = runsOk && r.ok;
        allSpilled = allSpilled && r["spilled"] == 1;
        runPages += thousands(r["pages"]);
        heldMb += number(r["held_after_kb"] / 1024, 1);
        peakMb += number(r["run_peak_kb"] / 1024, 0);
    }
    const CaseResult &fewest = reportRuns.front();
    const CaseResult &most = reportRuns.back();
    const bool heldFlat = runsOk && allSpilled && most["held_after_kb"] - fewest["held_after_kb"] <= 1024;
    const bool peakFlat = runsOk
        && most["run_peak_kb"] - fewest["run_peak_kb"] <= most["document_kb"] - fewest["document_kb"] + 1024;
    rows.push_back({ QStringLiteral("  held after the run, ") + runPages.join(QStringLiteral(" / ")) + QStringLiteral(" pages"),
                     runsOk ? heldMb.join(QStringLiteral(" / ")) + QStringLiteral(" MB") : QStringLiteral("failed"),
                     QString(), QString(), QStringLiteral("flat"), yesNo(heldFlat) });
    rows.push_back({ QStringLiteral("  run's peak over the open document"),
                     runsOk ? peakMb.join(QStringLiteral(" / ")) + QStringLiteral(" MB") : QStringLiteral("failed"),
                     QString(), QString(), QStringLiteral("grows ≤ document"), yesNo(peakFlat) });
    rows.push_back({ QStringLiteral("preview command: page 1 painted in the window"),
                     failed(previewWindow, seconds(previewWindow["page_painted_ms"])),
                     failed(previewQt, seconds(previewQt["page_painted_ms"])),
                     ratio(previewWindow["page_painted_ms"], previewQt["page_painted_ms"]), QStringLiteral("≤ 0.3 s"),
                     yesNo(previewWindow.ok && previewWindow["page_painted_ms"] <= 300) });
    rows.push_back({ QStringLiteral("  until Print is enabled (Qt: preview complete)"),
                     failed(previewWindow, seconds(previewWindow["print_enabled_ms"])),
                     failed(previewQt, seconds(previewQt["complete_ms"])),
                     ratio(previewWindow["print_enabled_ms"], previewQt["complete_ms"]), QString(), QString() });
    rows.push_back({ QStringLiteral("  peak memory (wait4)"), megabytes(previewWindow.peakKb),
                     megabytes(previewQt.peakKb), ratio(previewWindow.peakKb, previewQt.peakKb), QString(), QString() });
    const double pdfMs = Harness::median(pdfOurs.seconds) * 1000;
    const QString oursPdf = !haveOurs ? QStringLiteral("not built")
        : pdfOurs.ok                  ? seconds(pdfMs)
                                      : QStringLiteral("failed");
    const QString officePdfCell = !office ? QStringLiteral("skipped")
        : soffice.isEmpty()               ? QStringLiteral("not installed")
        : officePdf.timedOut              ? QStringLiteral("timed out")
        : officePdf.ok                    ? seconds(officePdf.seconds * 1000)
                                          : QStringLiteral("failed");
    rows.push_back({ QStringLiteral("penloft --convert-to pdf of the ") + sizeLabel(pagesDocumentGen["rtf_bytes"])
                         + QStringLiteral(" RTF"),
                     oursPdf, officePdfCell, pdfOurs.ok && officePdf.ok ? ratio(pdfMs, officePdf.seconds * 1000) : QString(),
                     QString(), QString() });
    rows.push_back({ QStringLiteral("  peak memory (wait4)"), pdfOurs.ok ? megabytes(pdfOurs.peakKb) : QString(),
                     officePdf.ok ? megabytes(officePdf.peakKb) : QString(),
                     pdfOurs.ok && officePdf.ok ? ratio(pdfOurs.peakKb, officePdf.peakKb) : QString(), QString(),
                     QString() });
    // The naive way, timed over its first hits, extrapolated to all of them.
    const double naiveMs = replaceNaive["per_hit_ms"] * replaceGen["occurrences"];
    rows.push_back({ QStringLiteral("Replace All of ") + thousands(replaceGen["occurrences"])
                         + QStringLiteral(" two-character words in the ") + sizeLabel(replaceGen["bytes"])
                         + QStringLiteral(" text"),
                     failed(replaceOurs, seconds(replaceOurs["painted_ms"])),
                     replaceNaive.ok ? QStringLiteral("≈ ") + thousands(naiveMs / 1000) + QStringLiteral(" s")
                                     : QStringLiteral("failed"),
                     replaceNaive.ok ? ratio(replaceOurs["painted_ms"], naiveMs) : QString(), QStringLiteral("≤ 1.5 s"),
                     yesNo(replaceOurs.ok && replaceOurs["painted_ms"] <= 1500) });
    rows.push_back({ QStringLiteral("  peak memory (wait4)"), megabytes(replaceOurs.peakKb),
                     megabytes(replaceNaive.peakKb), ratio(replaceOurs.peakKb, replaceNaive.peakKb), QString(),
                     QString() });

    // One insertion per date, timed over its first dates, extrapolated to the whole run.
    const double naiveDatesMs = dates["naive_dates"] > 0 ? dates["naive_ms"] / dates["naive_dates"] * dates["count"] : 0;
    rows.push_back({ QStringLiteral("pasting ") + thousands(dates["count"]) + QStringLiteral(" dates (date dialog)"),
                     failed(dates, seconds(dates["painted_ms"])),
                     dates.ok ? QStringLiteral("≈ ") + seconds(naiveDatesMs) : QStringLiteral("failed"),
                     dates.ok ? ratio(dates["painted_ms"], naiveDatesMs) : QString(), QStringLiteral("≤ 1 s"),
                     yesNo(dates.ok && dates["painted_ms"] <= 1000 && dates["same"] == 1) });
    rows.push_back({ QStringLiteral("  peak memory (wait4)"), megabytes(dates.peakKb), QString(), QString(), QString(),
                     QString() });

    std::printf("\nPenloft benchmark: %s of CP932 text, %s characters in %s lines (seed fixed)%s\n\n",
                qPrintable(size), qPrintable(thousands(gen["characters"])), qPrintable(thousands(gen["lines"])),
                quick ? "\n[--quick: a smoke run; the targets are meant for the 10 MB run]" : "");
    printTable(rows);

    std::printf("\nDetails\n");
    std::printf("  input: %s bytes, made and encoded in %.2f s%s; paragraph: %s characters, %s bytes\n",
                qPrintable(thousands(gen["bytes"])), gen["seconds"],
                gen["exact"] == 1 ? "" : " (NOT CP932-exact)", qPrintable(thousands(gen["paragraph_characters"])),
                qPrintable(thousands(gen["paragraph_bytes"])));
    std::printf("  open: the load call alone %.0f ms ours, %.0f ms bare; a shown empty editor already holds "
                "%.0f / %.0f MB;\n        the layout of the rest afterwards, done at once: %.2f s ours, %.2f s bare\n",
                openOurs["load_ms"], openBare["load_ms"], openOurs["rss_shown_kb"] / 1024,
                openBare["rss_shown_kb"] / 1024, openOurs["layout_ms"] / 1000, openBare["layout_ms"] / 1000);
    std::printf("  save: median of 3, slowest %.3f s ours, %.3f s bare; the saved file equals the input: "
                "ours %s, bare %s\n",
                saveOurs["save_max_ms"] / 1000, saveBare["save_max_ms"] / 1000, saveOurs["same"] == 1 ? "yes" : "NO",
                saveBare["same"] == 1 ? "yes" : "NO");
    std::printf("  caret: median of 15, slowest %s; answers agree with the naive count: %s, "
                "line is the last: %s\n",
                qPrintable(micros(caret["query_max_us"])), caret["characters_right"] == 1 ? "yes" : "NO",
                caret["line_right"] == 1 ? "yes" : "NO");
    auto spread = [](const CaseResult &r, const char *place) {
        const std::string key = std::string("type_") + place;
        return QStringLiteral("%1..%2").arg(number(r[(key + "_min_ms").c_str()], 1),
                                            number(r[(key + "_max_ms").c_str()], 1));
    };
    std::printf("  typing: median of 15 keystrokes, each KeyPress+KeyRelease until the viewport painted;\n"
                "          range in ms (ours / bare): start %s / %s, middle %s / %s, end %s / %s, paragraph %s / %s\n",
                qPrintable(spread(typeOurs, "start")), qPrintable(spread(typeBare, "start")),
                qPrintable(spread(typeOurs, "middle")), qPrintable(spread(typeBare, "middle")),
                qPrintable(spread(typeOurs, "end")), qPrintable(spread(typeBare, "end")),
                qPrintable(spread(paraOurs, "middle")), qPrintable(spread(paraBare, "middle")));
    if (startOurs.ok && startBase.ok) {
        auto range = [](const ProgramRuns &r) {
            return QStringLiteral("%1..%2").arg(number(Harness::minimum(r.seconds), 3),
                                                number(Harness::maximum(r.seconds), 3));
        };
        std::printf("  start: wall time of the whole process (posix_spawn to wait4), median of 5 after one untimed\n"
                    "        start of each, turn about; range in s: ours %s, baseline %s. Ours: penloft with\n"
                    "        PENLOFT_QUIT_WHEN_STARTED=1, run as a copy in the temporary folder, HOME and\n"
                    "        XDG_RUNTIME_DIR there too; baseline: QApplication and an empty QMainWindow of the same\n"
                    "        size, until painted\n",
                    qPrintable(range(startOurs)), qPrintable(range(startBase)));
    }
    if (startWindow.ok) {
        std::printf("  start inside the process (main.cpp's steps, ms from the top of main): application %.0f,\n"
                    "        window constructed (splash and settings included) %.0f, shown %.0f, splash gone %.0f,\n"
                    "        editor painted %.0f, event loop left %.0f%s; closing (settings written) %.0f more\n",
                    startWindow["application_ms"], startWindow["constructed_ms"], startWindow["shown_ms"],
                    startWindow["splash_gone_ms"], startWindow["editor_painted_ms"], startWindow["quit_ms"],
                    startWindow["painted_before_quit"] == 1 ? "" : " (BEFORE the editor painted)",
                    startWindow["closed_ms"]);
    }
    auto windowSpread = [&](const char *place) {
        const std::string name = place;
        return QStringLiteral("%1..%2").arg(number(windowCaret[("refresh_" + name + "_min_us").c_str()], 0),
                                            number(windowCaret[("refresh_" + name + "_max_us").c_str()], 0));
    };
    std::printf("  window refresh: TPenForm1 shown, the text opened by OpenFile (%.0f ms until painted) and laid\n"
                "        out (%.2f s); RichEdit1SelectionChange called directly, median of 15, each after a move\n"
                "        of 37 bytes; range in µs: start %s, middle %s, end %s. Naive: the whole text as CP932\n"
                "        twice (textBytes), counted up to the caret and in all, and the line looked up; median\n"
                "        of 5. The panels and counter show what the naive count gives: %s\n",
                windowCaret["open_ms"], windowCaret["layout_ms"] / 1000, qPrintable(windowSpread("start")),
                qPrintable(windowSpread("middle")), qPrintable(windowSpread("end")),
                windowCaret["agree"] == 1 ? "yes" : "NO");
    std::printf("  window typing: as typing above, the window's change and selection handlers running from the\n"
                "        editor's signals; range in ms (ours / bare): start %s / %s, middle %s / %s,\n"
                "        end %s / %s; baseline: a bare QTextEdit as the central widget of a QMainWindow of\n"
                "        the same size; viewports %.0fx%.0f ours, %.0fx%.0f bare; after typing, the counter and\n"
                "        position panel are right: %s\n",
                qPrintable(spread(typeWindow, "start")), qPrintable(spread(typeWindowBare, "start")),
                qPrintable(spread(typeWindow, "middle")), qPrintable(spread(typeWindowBare, "middle")),
                qPrintable(spread(typeWindow, "end")), qPrintable(spread(typeWindowBare, "end")),
                typeWindow["viewport_width"], typeWindow["viewport_height"], typeWindowBare["viewport_width"],
                typeWindowBare["viewport_height"], typeWindow["status_right"] == 1 ? "yes" : "NO");
    std::printf("  key to flushed frame: each key handed to the window as the window system hands one (queued),\n"
                "        timed until the window's update that painted the editor has returned, its frame flushed\n"
                "        (on X11 sent to the server); median of 15 a place, in the text and in the one paragraph of\n"
                "        %s characters; the status bar's refresh may follow the frame. All keys arrived: %s\n",
                qPrintable(thousands(double(paragraphCharacters))),
                typeWindow["screen_middle_typed"] == 1 && paraWindow["screen_middle_typed"] == 1 ? "yes" : "NO");
    auto rtfInput = [](const CaseResult &g, const char *what) {
        if (g["paragraphs"] == 1) {
            std::printf("  %s: %s bytes of RTF, %s of HTML; one paragraph of %s characters in %s runs\n", what,
                        qPrintable(thousands(g["rtf_bytes"])), qPrintable(thousands(g["html_bytes"])),
                        qPrintable(thousands(g["characters"])), qPrintable(thousands(g["runs"])));
            return;
        }
        std::printf("  %s: %s bytes of RTF (our writer, %.0f ms), %s of HTML (toHtml, %.0f ms), made in %.2f s;\n"
                    "        %s characters in %s paragraphs (%s bulleted, %s centred or right-aligned, %s indented),\n"
                    "        %s runs\n",
                    what, qPrintable(thousands(g["rtf_bytes"])), g["write_ms"], qPrintable(thousands(g["html_bytes"])),
                    g["html_ms"], g["build_s"], qPrintable(thousands(g["characters"])),
                    qPrintable(thousands(g["paragraphs"])), qPrintable(thousands(g["bulleted"])),
                    qPrintable(thousands(g["aligned"])), qPrintable(thousands(g["indented"])),
                    qPrintable(thousands(g["runs"])));
    };
    // A document read back should hold the text that was written, in as many runs.
    auto readBack = [](const CaseResult &r, const CaseResult &g) -> QString {
        if (!r.ok || !g.ok)
            return QStringLiteral("not read");
        const bool same = r["fingerprint"] == g["fingerprint"];
        return (same ? QStringLiteral("same text, ") : QStringLiteral("DIFFERENT text, ")) + thousands(r["runs"])
            + QStringLiteral(" runs");
    };
    auto rtfOpen = [&](const CaseResult &ours, const CaseResult &bare, const CaseResult &g, const char *what) {
        std::printf("  %s: the load call alone %.0f ms ours, %.0f ms bare; the layout of the rest at once\n"
                    "        %.2f s ours, %.2f s bare; read back: ours %s, bare %s\n",
                    what, ours["load_ms"], bare["load_ms"], ours["layout_ms"] / 1000, bare["layout_ms"] / 1000,
                    qPrintable(readBack(ours, g)), qPrintable(readBack(bare, g)));
    };
    std::printf("  RTF rows: the baseline is a bare QTextEdit given the same document as HTML, read and passed\n"
                "        to setHtml(); for the conversion, LibreOffice (soffice --headless --convert-to txt:Text)\n");
    rtfInput(rtfGen, "RTF input");
    rtfInput(denseGen, "dense RTF");
    rtfInput(longGen, "long paragraph");
    rtfOpen(openRtfOurs, openRtfBare, rtfGen, "open RTF");
    rtfOpen(openDenseOurs, openDenseBare, denseGen, "open dense");
    rtfOpen(openLongOurs, openLongBare, longGen, "open long");
    std::printf("  save as RTF: median of 3, slowest %.3f s ours, %.3f s bare; files: RTF %s bytes, HTML %s bytes;\n"
                "        peak memory %.0f MB ours, %.0f MB bare\n",
                saveRtfOurs["save_max_ms"] / 1000, saveRtfBare["save_max_ms"] / 1000,
                qPrintable(thousands(saveRtfOurs["file_bytes"])), qPrintable(thousands(saveRtfBare["file_bytes"])),
                static_cast<double>(saveRtfOurs.peakKb) / 1024, static_cast<double>(saveRtfBare.peakKb) / 1024);
    if (convertsOk) {
        std::printf("  convert: ours median of 3 runs (%.3f..%.3f s), output equals the document's text: %s\n",
                    Harness::minimum(convertSeconds), Harness::maximum(convertSeconds), oursSame ? "yes" : "NO");
    }
    if (officeRun.ok) {
        std::printf("  convert: LibreOffice timed once, after a first start on a tiny file (%.1f s) made its\n"
                    "        profile; its text equals the document's but for bullets and U+2006 spacing: %s\n",
                    officeWarm.seconds, officeSame ? "yes" : "NO");
    }
    std::printf("  preview run: TPrintReport2::preview() with no preview handler (so no window) over the document\n"
                "        open in our editor (shown, laid out); betweenPages notes each page's start, page 1 being\n"
                "        available when page 2 begins. %s pages, %s characters; %.0f ms before page 1 begins,\n"
                "        then pages take %.1f ms (median), the slowest page %.0f (%.0f ms), %.0f over 20 ms; the store\n"
                "        spilled: %s (a %s-byte file, removed with the report: %s); pages read back: %s.\n"
                "        Baseline: QTextDocument::print() of the same document into a QPdfWriter, A4, at %.0f dpi as\n"
                "        the report records its pages, page 1 done when QPdfWriter::newPage() starts page 2 (all\n"
                "        the layout comes before it); %s pages, %s bytes of PDF\n",
                qPrintable(thousands(reportRun["pages"])), qPrintable(thousands(reportRun["characters"])),
                reportRun["setup_ms"], reportRun["page_median_ms"], reportRun["page_max_number"],
                reportRun["page_max_ms"], reportRun["pages_slow"], reportRun["spilled"] == 1 ? "yes" : "NO",
                qPrintable(thousands(reportRun["store_bytes"])), reportRun["file_removed"] == 1 ? "yes" : "NO",
                reportRun["readable"] == 1 ? "yes" : "NO", reportQt["dpi"], qPrintable(thousands(reportQt["pages"])),
                qPrintable(thousands(reportQt["pdf_bytes"])));
    std::printf("  preview run memory, in MB: VmRSS after malloc_trim with the document open (the document's share:\n"
                "        beside the empty editor), the run's peak counted from there (VmHWM reset by clear_refs: %s),\n"
                "        what the run leaves held while its output lives (as while the preview is open):\n",
                fewest["peak_reset"] == 1 ? "yes" : "NO");
    for (std::size_t i = 0; i < reportRuns.size(); ++i) {
        const CaseResult &r = reportRuns[i];
        std::printf("        %s pages (%s RTF): document %.1f, run's peak +%.1f (%.0f kB a page), held after +%.1f,\n"
                    "          pages on disk %.1f; %.0f pages/s, page 1 available after %.0f ms (%.0f before it\n"
                    "          begins, %.0f for itself)%s\n",
                    qPrintable(thousands(r["pages"])), qPrintable(sizeLabel(pagesGen[i]["rtf_bytes"])),
                    r["document_kb"] / 1024, r["run_peak_kb"] / 1024, r["pages"] > 0 ? r["run_peak_kb"] / r["pages"] : 0,
                    r["held_after_kb"] / 1024, r["store_bytes"] / 1048576, r["pages_per_s"], r["first_page_ms"],
                    r["setup_ms"], r["first_page_ms"] - r["setup_ms"], r.ok ? "" : " (FAILED)");
    }
    std::printf("  preview command: TPenForm1 with the document opened by OpenFile and laid out, a TPrintReport2 with\n"
                "        no printer; FilePureviewExecute() timed from its call: window shown %.0f ms, page 1 painted\n"
                "        (TPageImage::pagePainted) %.0f ms, Print enabled (its EnabledChange) %.0f ms, then closed;\n"
                "        the command returned at %.0f ms; %s pages; the store spilled: %s, its file removed: %s;\n"
                "        message boxes: %.0f. Baseline: QPrintPreviewDialog, maximised, over an A4 QPrinter at\n"
                "        %.0f dpi whose paintRequested calls QTextDocument::print(): it makes every page before it\n"
                "        shows one (complete, previewChanged, at %.0f ms; its page view first painted at %.0f ms);\n"
                "        %s pages\n",
                previewWindow["shown_ms"], previewWindow["page_painted_ms"], previewWindow["print_enabled_ms"],
                previewWindow["returned_ms"], qPrintable(thousands(previewWindow["pages"])),
                previewWindow["spilled"] == 1 ? "yes" : "NO", previewWindow["file_removed"] == 1 ? "yes" : "NO",
                previewWindow["messages"], previewQt["printer_dpi"], previewQt["complete_ms"],
                previewQt["page_painted_ms"], qPrintable(thousands(previewQt["pages"])));
    if (pdfOurs.ok || officePdf.ok) {
        std::printf("  convert to PDF: the %s-page document above; ours median of 3 runs (%.3f..%.3f s), %s pages\n"
                    "        (pdfinfo; laid out at the PDF's 600 dpi); LibreOffice (soffice --headless --convert-to pdf)\n"
                    "        once, after its warm start: %s pages\n",
                    qPrintable(thousands(reportRun["pages"])), Harness::minimum(pdfOurs.seconds),
                    Harness::maximum(pdfOurs.seconds), pdfOursPages > 0 ? qPrintable(QString::number(pdfOursPages)) : "?",
                    pdfOfficePages > 0 ? qPrintable(QString::number(pdfOfficePages)) : "?");
    }
    const bool replacedRight = replaceOurs["replaced"] == replaceGen["occurrences"];
    std::printf("  Replace All: \"%s\" put %s times into the text above (one in %.0f characters; %s bytes), each\n"
                "        to become \"%s\"; TPenForm1 with the file opened by OpenFile and laid out, the replace dialog\n"
                "        opened by its command, the texts set, Replace All pressed: the message box at %.0f ms, the\n"
                "        command returned at %.0f ms, the editor painted at %.0f ms (the row's figure). It said\n"
                "        \"%s\"\n"
                "        (the program's own message for that count: %s); replacements %s of %s: %s; the saved text\n"
                "        equals the input with every one replaced: %s\n",
                qPrintable(QString::fromUtf16(Corpus::SoughtWord)), qPrintable(thousands(replaceGen["occurrences"])),
                replaceGen["occurrences"] > 0 ? gen["characters"] / replaceGen["occurrences"] : 0,
                qPrintable(thousands(replaceGen["bytes"])), qPrintable(QString::fromUtf16(Corpus::ReplacementWord)),
                replaceOurs["message_ms"], replaceOurs["returned_ms"], replaceOurs["painted_ms"],
                replaceMessage.constData(), replaceOurs["message_right"] == 1 ? "yes" : "NO",
                qPrintable(thousands(replaceOurs["replaced"])),
                qPrintable(thousands(replaceGen["occurrences"])), replacedRight ? "right" : "WRONG",
                replaceOurs["same"] == 1 ? "yes" : "NO");
    std::printf("  Replace All, naive: EXTRAPOLATED. A bare QTextEdit in a QMainWindow with the same text, for each\n"
                "        hit: toPlainText(), indexOf() from behind the last replacement, the hit selected with\n"
                "        setTextCursor(), insertPlainText(); only its first %.0f hits were run (%.0f ms: %.1f ms a hit,\n"
                "        median %.1f, slowest %.1f). Every hit costs the same (the text keeps its length), so the\n"
                "        figure shown is %.1f ms times %s hits\n",
                replaceNaive["hits"], replaceNaive["total_ms"], replaceNaive["per_hit_ms"],
                replaceNaive["per_hit_median_ms"], replaceNaive["per_hit_max_ms"], replaceNaive["per_hit_ms"],
                qPrintable(thousands(replaceGen["occurrences"])));
    std::printf("  dates: the main window's date dialog opened by its button, the count %s typed, the date\n"
                "        1900-01-01 set, 和暦で貼付 pressed: the command returned at %.0f ms, the editor painted at\n"
                "        %.0f ms (the row's figure); %s lines, the text equal to the expected dates: %s; messages %.0f.\n"
                "        One insertion per date (EXTRAPOLATED): the first %s dates, each replacing the selection on\n"
                "        its own, took %.0f ms (the document growing), times %s / %s\n",
                qPrintable(thousands(dates["count"])), dates["returned_ms"], dates["painted_ms"],
                qPrintable(thousands(dates["lines"])), dates["same"] == 1 ? "yes" : "NO", dates["messages"],
                qPrintable(thousands(dates["naive_dates"])), dates["naive_ms"], qPrintable(thousands(dates["count"])),
                qPrintable(thousands(dates["naive_dates"])));
    std::printf("  memory: peak RSS; this parent held %lld MB while starting each case, so no child's peak\n"
                "          reads below that\n",
                static_cast<long long>(parentKb / 1024));
    std::printf("  load average (1 min, /proc/loadavg) at the start %.2f, at the end %.2f\n", loadBefore,
                loadAverage());
    std::printf("  total run time %.0f s\n", static_cast<double>(wall.elapsed()) / 1000);
    return 0;
}
