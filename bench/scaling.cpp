#include "scaling.h"

#include "corpus.h"
#include "harness.h"
#include "processes.h"

#include "document/apperror.h"
#include "document/cp932.h"
#include "document/richedit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using Harness::msSince;
using Harness::report;

namespace {

constexpr quint64 Seed = 0x5343414C494E47ULL;

QByteArray number(qint64 n)
{
    return QByteArray::number(n);
}

// Repeats `unit(i)` until the output holds about `bytes`, between `head` and `tail`.
QByteArray repeated(qint64 bytes, const QByteArray &head, const std::function<QByteArray(qint64)> &unit,
                    const QByteArray &tail = "}")
{
    QByteArray out = head;
    out.reserve(bytes + 1024);
    for (qint64 i = 0; out.size() < bytes; ++i)
        out += unit(i);
    return out + tail;
}

// CP932 bytes as \'hh escapes, one each.
QByteArray escaped(const QByteArray &bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(bytes.size() * 4);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += "\\'";
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

struct Construct {
    const char *name;
    const char *what;
    std::function<QByteArray(qint64 bytes)> make;
    bool pdf = false; // also converted to PDF
};

const std::vector<Construct> &constructs()
{
    static const std::vector<Construct> list = {
        { "plain-text", "CP932 lines of 70-90 characters (the baseline)",
            [](qint64 bytes) -> QByteArray { return Cp932::encode(Corpus::lines({ bytes, 70, 90 }, Seed)); }, true },
        { "binary-text", "random bytes read as text (most rejected by CP932)",
            [](qint64 bytes) -> QByteArray {
                QByteArray out(bytes, Qt::Uninitialized);
                quint64 x = Seed;
                for (char &c : out) {
                    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
                    c = static_cast<char>(x >> 56);
                }
                return out;
            } },
        { "long-line", "one line of CP932 text",
            [](qint64 bytes) -> QByteArray { return Cp932::encode(Corpus::paragraph(bytes / 2, Seed)); }, true },
        { "no-break", "one line of ASCII letters and no place to break it",
            [](qint64 bytes) -> QByteArray {
                QByteArray out(bytes, Qt::Uninitialized);
                for (qint64 i = 0; i < bytes; ++i)
                    out[i] = static_cast<char>('a' + i % 26);
                return out;
            }, true },
        { "line-breaks", "a text of nothing but line breaks (CR LF): empty paragraphs",
            [](qint64 bytes) -> QByteArray { return QByteArray("\r\n").repeated(bytes / 2); } },
        { "long-paragraph", "one RTF paragraph of \\'hh pairs and ASCII",
            [](qint64 bytes) -> QByteArray {
                return repeated(bytes, "{\\rtf1\\ansi\\ansicpg932 ", [](qint64) -> QByteArray { return QByteArray("\\'82\\'a0abcdefgh "); });
            } },
        { "escapes", "paragraphs of Japanese, every byte a \\'hh escape",
            [](qint64 bytes) -> QByteArray {
                const QByteArray line = escaped(Cp932::encode(Corpus::paragraph(40, Seed))) + "\\par\r\n";
                return repeated(bytes, "{\\rtf1\\ansi\\ansicpg932 ", [&](qint64) -> QByteArray { return line; });
            } },
        { "unicode", "paragraphs of \\uN characters with fallbacks",
            [](qint64 bytes) -> QByteArray {
                return repeated(bytes, "{\\rtf1\\ansi\\uc1 ", [](qint64 i) -> QByteArray {
                    return "\\u" + number(0x3042 + i % 80) + "?" + (i % 40 == 39 ? "\\par\r\n" : "");
                });
            } },
        { "list-tables", "n lists and overrides, n paragraphs of one list",
            [](qint64 bytes) -> QByteArray {
                const qint64 n = qMax<qint64>(1, bytes / 110);
                QByteArray rtf = "{\\rtf1\\ansi{\\*\\listtable";
                for (qint64 i = 1; i <= n; ++i)
                    rtf += "{\\list\\listid" + number(i) + "{\\listlevel\\levelnfc" + (i == n ? "23" : "0") + "}}";
                rtf += "}{\\*\\listoverridetable";
                for (qint64 i = 1; i <= n; ++i)
                    rtf += "{\\listoverride\\listid" + number(i == 1 ? n : n + i) + "\\ls1}";
                rtf += "}";
                for (qint64 i = 0; i < n; ++i)
                    rtf += "\\pard\\ls1 item\\par\n";
                return rtf + "}";
            } },
        { "bullets", "bulleted paragraphs (\\pn, \\pntext)",
            [](qint64 bytes) -> QByteArray {
                return repeated(bytes, "{\\rtf1\\ansi", [](qint64) -> QByteArray { return QByteArray("{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt}item\\par\n"); });
            } },
        { "list-markers", "numbered paragraphs (\\listtext markers become text)",
            [](qint64 bytes) -> QByteArray {
                return repeated(bytes, "{\\rtf1\\ansi", [](qint64 i) -> QByteArray { return "{\\listtext " + number(i + 1) + ".\\tab}item\\par\n"; });
            } },
        { "code-pages", "a font table of distinct \\cpgN, each font used, 40 to a paragraph",
            [](qint64 bytes) -> QByteArray {
                const qint64 n = qMax<qint64>(1, bytes / 40);
                QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl";
                for (qint64 i = 0; i < n; ++i)
                    rtf += "{\\f" + number(i) + "\\cpg" + number(100000 + i) + " F;}";
                rtf += "}";
                for (qint64 i = 0; i < n; ++i)
                    rtf += "\\f" + number(i) + " \\'e9" + (i % 40 == 39 ? "\\par\r\n" : "");
                return rtf + "}";
            } },
        { "colour-table", "a colour table of nothing but ';'",
            [](qint64 bytes) -> QByteArray { return "{\\rtf1{\\colortbl" + QByteArray(bytes, ';') + "}x}"; } },
        { "fonts", "distinct fonts, each used for one character, 40 to a paragraph",
            [](qint64 bytes) -> QByteArray {
                const qint64 n = qMax<qint64>(1, bytes / 30);
                QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl";
                for (qint64 i = 0; i < n; ++i)
                    rtf += "{\\f" + number(i) + " Face" + number(i) + ";}";
                rtf += "}";
                for (qint64 i = 0; i < n; ++i)
                    rtf += "\\f" + number(i) + " x" + (i % 40 == 39 ? "\\par\r\n" : "");
                return rtf + "}";
            } },
        { "formats", "a run of one character in each colour and size, 40 to a paragraph",
            [](qint64 bytes) -> QByteArray {
                const qint64 n = qMax<qint64>(1, bytes / 40);
                QByteArray rtf = "{\\rtf1\\ansi{\\colortbl;";
                for (qint64 i = 0; i < n; ++i)
                    rtf += "\\red" + number(i & 255) + "\\green" + number((i >> 8) & 255) + "\\blue" + number((i >> 16) & 255) + ";";
                rtf += "}";
                for (qint64 i = 0; i < n; ++i)
                    rtf += "\\cf" + number(i + 1) + "\\fs" + number(2 + i % 300) + " x" + (i % 40 == 39 ? "\\par\r\n" : "");
                return rtf + "}";
            } },
        { "nested-groups", "groups nested to the file's depth, each changing bold",
            [](qint64 bytes) -> QByteArray {
                const qint64 depth = qMax<qint64>(1, bytes / 9);
                return "{\\rtf1 " + QByteArray("{\\b{\\b0 ").repeated(depth / 2) + "x" + QByteArray(depth / 2 * 2, '}') + " after}";
            } },
        { "nested-fields", "fields nested in field instructions",
            [](qint64 bytes) -> QByteArray {
                const qint64 depth = qMax<qint64>(1, bytes / 22);
                return "{\\rtf1 " + QByteArray("{\\field{\\*\\fldinst ").repeated(depth) + "x" + QByteArray(depth * 2, '}')
                    + "after}";
            } },
        { "control-words", "control words of 1,000 letters and 1,000 digits",
            [](qint64 bytes) -> QByteArray {
                const QByteArray word = "\\" + QByteArray(1000, 'q') + QByteArray(1000, '9') + " ";
                return repeated(bytes, "{\\rtf1 ", [&](qint64) -> QByteArray { return word; });
            } },
        { "binary", "\\bin data between words",
            [](qint64 bytes) -> QByteArray {
                const QByteArray chunk = "\\bin1000 " + QByteArray(1000, '{') + "x";
                return repeated(bytes, "{\\rtf1 ", [&](qint64) -> QByteArray { return chunk; });
            } },
        { "paragraphs", "empty paragraphs",
            [](qint64 bytes) -> QByteArray { return "{\\rtf1 " + QByteArray("\\par ").repeated(bytes / 5) + "}"; } },
    };
    return list;
}

const Construct *findConstruct(const QString &name)
{
    for (const Construct &c : constructs()) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

// Pages of a PDF as Qt's writer makes them: one "/Type /Page" object each (read in pieces, so
// that this process stays small).
int pdfPages(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    int pages = 0;
    QByteArray carry;
    while (!file.atEnd()) {
        const QByteArray chunk = carry + file.read(1 << 20);
        for (qsizetype at = chunk.indexOf("/Type /Page"); at >= 0; at = chunk.indexOf("/Type /Page", at + 1)) {
            if (at + 11 < chunk.size() && chunk.at(at + 11) != 's')
                ++pages;
        }
        carry = chunk.right(11);
    }
    return pages;
}

double processCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct Measure {
    bool ok = false;
    double seconds = 0; // wall time
    double cpuSeconds = 0; // what the machine's load leaves alone
    double peakMb = 0;
    int pages = 0;
};

QString cell(double value, int decimals, int width)
{
    return QString::number(value, 'f', decimals).rightJustified(width);
}

// (t8 / t1)^(1/3) of the CPU time: how much each doubling multiplies it.
double growthPerDoubling(const std::vector<Measure> &m)
{
    if (m.size() < 2 || !m.front().ok || !m.back().ok || m.front().cpuSeconds <= 0)
        return 0;
    return std::pow(m.back().cpuSeconds / m.front().cpuSeconds, 1.0 / double(m.size() - 1));
}

} // namespace

namespace Scaling {

int generate(const Cases::Options &o)
{
    const Construct *c = findConstruct(o.text);
    if (!c)
        throw AppError(QStringLiteral("no construct ") + o.text);
    const QByteArray data = c->make(o.bytes);
    QFile file(o.output);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        throw AppError(QStringLiteral("cannot write ") + o.output);
    report("bytes", static_cast<double>(data.size()));
    return 0;
}

int openPainted(const Cases::Options &o)
{
    Harness::EditorWindow w = Harness::makeOurs();
    Harness::show(w);
    w.watch->reset();
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = processCpuSeconds();
    w.ours()->setPlainTextMode(false);
    w.ours()->loadFile(o.input);
    const bool painted = Harness::processUntilPainted(*w.watch);
    report("open_ms", msSince(timer));
    report("open_cpu_ms", (processCpuSeconds() - cpuBefore) * 1000);
    report("paint_kb", static_cast<double>(Harness::peakRssKb()));
    return painted ? 0 : 1;
}

int run(const std::string &self, qint64 baseBytes, const QString &only)
{
    const QStringList chosen = only.split(u',', Qt::SkipEmptyParts);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/penloft-scaling-XXXXXX"));
    const std::string penloft = QString(QFileInfo(QString::fromStdString(self)).absolutePath() + QStringLiteral("/penloft")).toStdString();
    if (!dir.isValid() || !QFileInfo(QString::fromStdString(penloft)).isExecutable()) {
        std::fprintf(stderr, "penloft-bench: needs a temporary folder and the penloft program beside it\n");
        return 1;
    }
    const std::string log = dir.filePath(QStringLiteral("program.log")).toStdString();
    const std::string outDir = dir.filePath(QStringLiteral("out")).toStdString();
    const double loadBefore = loadAverage();
    const int factors[] = { 1, 2, 4, 8 };
    const char *modes[] = { "open", "txt", "rtf" };
    QStringList lines;
    QStringList pdfLines;
    std::fprintf(stderr, "penloft-bench: scaling, 1x = %.2f MB\n", double(baseBytes) / 1e6);
    for (const Construct &c : constructs()) {
        if (!chosen.isEmpty() && !chosen.contains(QLatin1String(c.name)))
            continue;
        std::vector<QString> files;
        std::vector<double> megabytes;
        for (int factor : factors) {
            const QString file = dir.filePath(QString::fromLatin1(c.name) + QString::number(factor));
            const CaseResult made = runCase(self, { "generate-construct", "--text", c.name, "--bytes",
                                                    std::to_string(baseBytes * factor), "--output", file.toStdString() });
            files.push_back(file);
            megabytes.push_back(made["bytes"] / 1e6);
        }
        for (const char *mode : modes) {
            std::vector<Measure> m;
            for (size_t i = 0; i < files.size(); ++i) {
                Measure x;
                if (QLatin1String(mode) == QLatin1String("open")) {
                    const CaseResult r = runCase(self, { "open-painted", "--input", files[i].toStdString() });
                    x = { r.ok, r["open_ms"] / 1000, r["open_cpu_ms"] / 1000, r["paint_kb"] / 1024, 0 };
                } else {
                    ProgramResult r
                        = runProgram(penloft, { "--convert-to", mode, "--outdir", outDir, files[i].toStdString() }, log, {}, 600);
                    // 3: converted, with characters Shift-JIS cannot hold written as "?".
                    r.ok = r.ok || (r.exitStatus == 3 && !r.timedOut);
                    x = { r.ok, r.seconds, r.cpuSeconds, double(r.peakKb) / 1024, 0 };
                }
                m.push_back(x);
            }
            QString line = QString::fromLatin1(c.name).leftJustified(16) + QString::fromLatin1(mode).leftJustified(5)
                + cell(megabytes.front(), 2, 7);
            bool met = true;
            for (size_t i = 0; i < m.size(); ++i) {
                line += m[i].ok ? cell(m[i].cpuSeconds, 2, 8) : QStringLiteral("  FAILED");
                met = met && m[i].ok && m[i].cpuSeconds <= 0.5 + 0.15 * megabytes[i]
                    && m[i].peakMb <= 100 + 12 * megabytes[i];
            }
            line += cell(m.back().seconds, 2, 8) + cell(growthPerDoubling(m), 2, 8) + cell(m.front().peakMb, 0, 8)
                + cell(m.back().peakMb, 0, 8) + cell(0.5 + 0.15 * megabytes.back(), 2, 8)
                + cell(100 + 12 * megabytes.back(), 0, 8) + (met ? QStringLiteral("  yes") : QStringLiteral("  NO"));
            lines += line;
        }
        if (!c.pdf)
            continue;
        // PDFs from half the size up: a page holds about 6 KB of this text.
        std::vector<Measure> m;
        for (size_t i = 0; i < files.size(); ++i) {
            const ProgramResult r = runProgram(penloft, { "--convert-to", "pdf", "--outdir", outDir, files[i].toStdString() }, log, {}, 1200);
            const int pages = pdfPages(QString::fromStdString(outDir) + u'/' + QFileInfo(files[i]).fileName() + QStringLiteral(".pdf"));
            m.push_back({ r.ok, r.seconds, r.cpuSeconds, double(r.peakKb) / 1024, pages });
        }
        QString line = QString::fromLatin1(c.name).leftJustified(16) + cell(megabytes.front(), 2, 7);
        bool met = true;
        for (const Measure &x : m) {
            line += x.ok ? QStringLiteral(" |") + cell(x.pages, 0, 6) + cell(x.cpuSeconds, 1, 6) + cell(x.seconds, 1, 6)
                               + cell(x.pages / qMax(x.cpuSeconds, 1e-3), 0, 5) + cell(x.peakMb, 0, 5)
                         : QStringLiteral(" |  FAILED").leftJustified(30);
            met = met && x.ok && x.pages / qMax(x.cpuSeconds, 1e-3) >= 50;
        }
        line += cell(growthPerDoubling(m), 2, 8) + (met ? QStringLiteral("  yes") : QStringLiteral("  NO"));
        pdfLines += line;
    }

    std::printf("\nScaling: each construct at 1x, 2x, 4x, 8x (1x = %.2f MB), each run a process of its own.\n"
                "open: the editor loads the file and paints (in process); txt, rtf: penloft --convert-to, whole\n"
                "process. Times are CPU seconds (user + system), which the machine's other load leaves alone;\n"
                "8x wall is the wall time at 8x. growth: CPU time per doubling, (t8/t1)^(1/3), 2.0 is linear.\n"
                "Targets: 0.5 s + 0.15 s/MB, 100 MB + 12 MB/MB peak memory (shown at 8x); met: at every size.\n\n",
                double(baseBytes) / 1e6);
    std::printf("%s\n", qPrintable(QStringLiteral("construct       mode  1x MB    1x s    2x s    4x s    8x s 8x wall  growth"
                                                  " 1x peak 8x peak  8x s<=  8x MB<=  met")));
    for (const QString &line : std::as_const(lines))
        std::printf("%s\n", qPrintable(line));
    std::printf("\nPDF (penloft --convert-to pdf), per size: pages, CPU s, wall s, pages per CPU second, peak MB;\n"
                "target 50 pages/s.\n");
    std::printf("%s\n", qPrintable(QStringLiteral("construct        1x MB | pages   cpu  wall  p/s   MB | (2x, 4x, 8x alike)   growth  met")));
    for (const QString &line : std::as_const(pdfLines))
        std::printf("%s\n", qPrintable(line));
    std::printf("\nload average %.1f before, %.1f after (2 cores)\n", loadBefore, loadAverage());
    for (const Construct &c : constructs())
        std::printf("  %-16s %s\n", c.name, c.what);
    return 0;
}

} // namespace Scaling
