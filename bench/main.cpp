// penloft-bench: how the editor fares with a large Japanese text, each figure beside what a bare
// QTextEdit (or the naive way) does with the same input in the same run.
//
//   penloft-bench            10 MB of CP932 text; about half a minute
//   penloft-bench --quick    1 MB, for a smoke run
//
// Every case runs in a child process of its own (this program again, with --case), so that its
// peak memory can be read from the kernel when it ends and no case inherits another's state.

#include "cases.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct CaseResult {
    bool ok = false;
    std::map<std::string, double> values;
    long peakKb = 0; // the child's ru_maxrss
    double seconds = 0;

    bool has(const char *key) const { return values.count(key) != 0; }
    double operator[](const char *key) const
    {
        const auto found = values.find(key);
        return found == values.end() ? 0 : found->second;
    }
};

std::string selfPath()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    buffer[n] = '\0';
    return buffer;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Runs this program as one case and collects its "key value" lines and its peak memory.
// posix_spawn and wait4 rather than QProcess: only wait4 hands back the child's rusage.
CaseResult runCase(const std::string &self, const std::vector<std::string> &arguments)
{
    CaseResult result;
    std::fprintf(stderr, "  %s ...", arguments.at(0).c_str());
    std::fflush(stderr);
    int out[2];
    if (pipe(out) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);

    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(self.c_str()));
    argv.push_back(const_cast<char *>("--case"));
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        std::fprintf(stderr, " cannot start: %s\n", std::strerror(spawned));
        return result;
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(out[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    result.peakKb = usage.ru_maxrss;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;

    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t space = line.find(' ');
        if (space != std::string::npos)
            result.values[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
        start = end + 1;
    }
    std::fprintf(stderr, " %.1f s%s\n", result.seconds, result.ok ? "" : " (FAILED)");
    return result;
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
                 "usage: %s [--quick]\n"
                 "  Measures opening, saving, caret queries and typing on a generated CP932 text\n"
                 "  (10 MB, or 1 MB with --quick) against a bare QTextEdit, and prints a table.\n"
                 "  One case alone: %s --case NAME --input FILE [--output FILE] [--repetitions N]\n"
                 "  [--place start|middle|end] (cases: %s)\n"
                 "  Make the texts first: %s --case generate --input FILE --output PARAGRAPH_FILE\n"
                 "  --bytes 10000000 --paragraph-characters 300000\n"
                 "  Profile one keystroke: valgrind --tool=callgrind --toggle-collect='*timedKeystroke*' %s --case\n"
                 "  type-bare --input FILE --place start --repetitions 3\n",
                 self, self, qPrintable(Cases::names().join(QStringLiteral(", "))), self, self);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // Widgets draw into memory; no display is needed, and none interferes.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    bool quick = false;
    Cases::Options options;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        if (a == QStringLiteral("--quick")) {
            quick = true;
        } else if (a == QStringLiteral("--case")) {
            options.name = value;
            ++i;
        } else if (a == QStringLiteral("--input")) {
            options.input = value;
            ++i;
        } else if (a == QStringLiteral("--output")) {
            options.output = value;
            ++i;
        } else if (a == QStringLiteral("--bytes")) {
            options.bytes = value.toLongLong();
            ++i;
        } else if (a == QStringLiteral("--paragraph-characters")) {
            options.paragraphCharacters = value.toLongLong();
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
    // The kernel counts what this process holds at each spawn into the child's peak, so it
    // keeps nothing big: even the text is made by a child.
    const long parentKb = residentKb();

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
    const CaseResult openOurs = withInput("open-ours", input);
    const CaseResult openBare = withInput("open-bare", input);
    const CaseResult saveOurs = withInput("save-ours", input);
    const CaseResult saveBare = withInput("save-bare", input);
    const CaseResult caret = withInput("caret", input);
    const CaseResult typeOurs = withInput("type-ours", input);
    const CaseResult typeBare = withInput("type-bare", input);
    const CaseResult paraOurs = withInput("paragraph-ours", paragraph);
    const CaseResult paraBare = withInput("paragraph-bare", paragraph);

    const QString size = sizeLabel(gen["bytes"]);
    std::vector<Row> rows;
    auto failed = [](const CaseResult &r, const QString &figure) { return r.ok ? figure : QStringLiteral("failed"); };

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
    std::printf("  memory: peak RSS; this parent held %ld MB while starting each case, so no child's peak\n"
                "          reads below that\n",
                parentKb / 1024);
    std::printf("  total run time %.0f s\n", static_cast<double>(wall.elapsed()) / 1000);
    return 0;
}
