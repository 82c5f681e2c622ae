#include "printcases.h"

#include "harness.h"

#include "document/richdocument.h"
#include "document/richedit.h"
#include "printing/tpreparedpages.h"
#include "printing/tprintreport2.h"
#include "printing/treportoutput.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QPicture>
#include <QTextDocument>

#include <cstdio>
#include <memory>
#include <vector>

using Harness::report;

using Harness::msSince;

namespace {

// A page that takes longer than this stands out: a page of text takes about 5 ms.
constexpr double SlowPageMs = 20;

// A PDF writer that notes when each page after the first begins: the moment the page before it
// is complete.
class TimedPdfWriter : public QPdfWriter {
public:
    TimedPdfWriter(const QString &path, const QElapsedTimer &clock)
        : QPdfWriter(path)
        , m_clock(clock)
    {
    }
    bool newPage() override
    {
        m_starts.push_back(msSince(m_clock));
        return QPdfWriter::newPage();
    }
    const std::vector<double> &pageStarts() const { return m_starts; }

private:
    const QElapsedTimer &m_clock;
    std::vector<double> m_starts;
};

// How long each page took, from the start of one to the start of the next (the last up to the
// run's end), in milliseconds; the time before the first page begins is not a page's.
std::vector<double> pageTimes(const std::vector<double> &starts, double end)
{
    std::vector<double> times;
    for (std::size_t i = 0; i < starts.size(); ++i)
        times.push_back((i + 1 < starts.size() ? starts[i + 1] : end) - starts[i]);
    return times;
}

// The figures of the pages' times: the median, the slowest and its page number, and how many
// took more than `slow` milliseconds.
void reportPageTimes(const std::vector<double> &times, double slow)
{
    std::size_t slowest = 0;
    int over = 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (times[i] > times[slowest])
            slowest = i;
        if (times[i] > slow)
            ++over;
    }
    report("page_median_ms", Harness::median(times));
    report("page_max_ms", times.empty() ? 0 : times[slowest]);
    report("page_max_number", times.empty() ? 0 : static_cast<double>(slowest + 1));
    report("pages_slow", over);
}

} // namespace

namespace PrintCases {

Harness::EditorWindow openFormatted(const QString &path)
{
    Harness::EditorWindow w = Harness::makeOurs();
    Harness::show(w);
    w.watch->reset();
    QElapsedTimer timer;
    timer.start();
    w.ours()->setPlainTextMode(false);
    w.ours()->loadFile(path);
    report("load_ms", msSince(timer));
    Harness::processUntilPainted(*w.watch);
    // The rest of the layout, which the editor's idle time does anyway before anyone previews.
    timer.restart();
    w.ours()->lineCount();
    report("layout_ms", msSince(timer));
    Harness::drain();
    const RichDocument &rich = w.ours()->richDocument();
    report("characters", static_cast<double>(rich.characterCount()));
    report("paragraphs", rich.document()->blockCount());
    return w;
}

int recordingDpi()
{
    const QPicture probe;
    return probe.logicalDpiY();
}

int reportRun(const Cases::Options &o)
{
    const qint64 emptyKb = Harness::residentKbTrimmed();
    Harness::EditorWindow w = openFormatted(o.input);
    RichDocument &rich = w.ours()->richDocument();
    // What the open document takes, and the peak counted from here: the run's own.
    const qint64 beforeKb = Harness::residentKbTrimmed();
    report("document_kb", static_cast<double>(beforeKb - emptyKb));
    report("rss_before_kb", static_cast<double>(beforeKb));
    report("peak_reset", Harness::resetPeakRss() ? 1 : 0);

    auto printReport = std::make_unique<TPrintReport2>();
    TPrintReport2 &r = *printReport;
    r.setParentRichEdit(&rich);
    r.setPrinter(false, {});
    // No preview handler: the run makes no window; the pages only go into the store.
    QElapsedTimer clock;
    std::vector<double> pageStarts;
    double firstAvailable = -1;
    r.betweenPages = [&] {
        const double at = msSince(clock);
        pageStarts.push_back(at);
        if (firstAvailable < 0 && r.output() && r.output()->availablePages() >= 1)
            firstAvailable = at;
    };
    clock.start();
    r.preview();
    const double totalMs = msSince(clock);
    const qint64 peakKb = Harness::peakRssKb();

    TReportOutput *output = r.output();
    if (!output) {
        std::fprintf(stderr, "penloft-bench: the report run left no output\n");
        return 1;
    }
    const TPreparedPages *pages = output->preparedPages();
    const int pageCount = output->pageCount();
    // The last page is complete only when the run ends.
    if (firstAvailable < 0 && output->availablePages() >= 1)
        firstAvailable = totalMs;
    report("run_ms", totalMs);
    report("pages", pageCount);
    report("pages_per_s", pageCount / (totalMs / 1000));
    report("first_page_ms", firstAvailable);
    // Before the first page begins the run holds the text and lays out a copy for the pages.
    report("setup_ms", pageStarts.empty() ? totalMs : pageStarts.front());
    reportPageTimes(pageTimes(pageStarts, totalMs), SlowPageMs);
    report("available", output->availablePages());
    report("rss_peak_kb", static_cast<double>(peakKb));
    report("run_peak_kb", static_cast<double>(peakKb - beforeKb));
    // What stays while the preview would be open: the output, its pages in the store.
    report("held_after_kb", static_cast<double>(Harness::residentKbTrimmed() - beforeKb));

    const QString spillFile = pages ? pages->temporaryFilePath() : QString();
    report("spilled", pages && pages->isSpilled() ? 1 : 0);
    report("store_bytes", static_cast<double>(spillFile.isEmpty() ? 0 : QFileInfo(spillFile).size()));
    // The first, a middle and the last page read back as the preview would fetch them.
    QElapsedTimer fetch;
    fetch.start();
    const bool readable = output->page(1).has_value() && output->page(pageCount / 2).has_value()
        && output->page(pageCount).has_value();
    report("fetch_ms", msSince(fetch));
    report("readable", readable ? 1 : 0);

    // The cases end with _Exit, which runs no destructor: the store's file goes with the report.
    printReport.reset();
    report("file_removed", spillFile.isEmpty() || !QFile::exists(spillFile) ? 1 : 0);
    return pageCount > 0 && readable ? 0 : 1;
}

int qtPrint(const Cases::Options &o)
{
    Harness::EditorWindow w = openFormatted(o.input);
    QTextDocument &document = *w.editor->document();

    QElapsedTimer clock;
    auto writer = std::make_unique<TimedPdfWriter>(o.output, clock);
    writer->setPageSize(QPageSize(QPageSize::A4));
    writer->setResolution(recordingDpi());
    clock.start();
    document.print(writer.get());
    const std::vector<double> starts = writer->pageStarts();
    // The file is complete once the writer is gone.
    writer.reset();
    const double totalMs = msSince(clock);
    const int pageCount = static_cast<int>(starts.size()) + 1;
    report("run_ms", totalMs);
    report("pages", pageCount);
    report("pages_per_s", pageCount / (totalMs / 1000));
    report("first_page_ms", starts.empty() ? totalMs : starts.front());
    // Its pages are drawn from a layout made first, the first page's time included.
    std::vector<double> times = pageTimes(starts, totalMs);
    if (!starts.empty())
        times.insert(times.begin(), starts.front());
    reportPageTimes(times, SlowPageMs);
    report("pdf_bytes", static_cast<double>(QFileInfo(o.output).size()));
    report("dpi", recordingDpi());
    report("rss_peak_kb", static_cast<double>(Harness::peakRssKb()));
    return 0;
}

} // namespace PrintCases
