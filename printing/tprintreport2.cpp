#include "tprintreport2.h"

#include "document/apperror.h"
#include "printing/printmessages.h"
#include "document/formatrange.h"
#include "document/richdocument.h"
#include "printing/reportunits.h"

#include <QFont>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>

namespace {

using ReportUnits::roundHalfEven;

constexpr double TitleBandHeight = 396.875;
constexpr double PageFooterBandHeight = 169.33333;
constexpr double SummaryBandHeight = 79.375;
constexpr double PageHeaderBandHeight = 79.375;

using ReportUnits::twips;

} // namespace

TPrintReport2::TPrintReport2(QObject *parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("PrintReport2"));
    m_richText = { 0, 0, BandWidth, TitleBandHeight };
    m_label = { QStringLiteral("- 1 -"), 39.6875, 42.33 };

    auto band = [this](const char *name, BandKind kind, double height, const QColor &color) {
        auto b = std::make_unique<Band>();
        b->name = QString::fromLatin1(name);
        b->kind = kind;
        b->designHeight = height;
        b->width = BandWidth;
        b->color = color;
        m_bands.push_back(std::move(b));
        return m_bands.back().get();
    };
    // In the order the report holds them. The title band has a window's colour and the label
    // the window text's: on paper white and black, whatever the screen's theme makes them there.
    Band *title = band("ReportBand1", BandKind::Title, TitleBandHeight, Qt::white);
    title->richText = &m_richText;
    Band *footer = band("PageFooterBand1", BandKind::PageFooter, PageFooterBandHeight, Qt::white);
    footer->label = &m_label;
    footer->alignToBottom = true;
    footer->beforePrint = [this](Band &b, bool &printBand) { PageFooterBand1BeforePrint(b, printBand); };
    band("SummaryBand1", BandKind::Summary, SummaryBandHeight, Qt::white);
    band("PageHeaderBand1", BandKind::PageHeader, PageHeaderBandHeight, Qt::white);
}

TPrintReport2::~TPrintReport2()
{
    delete m_output;
}

void TPrintReport2::setPrinter(std::function<bool()> printerAvailable, ReportPrinterFactory factory)
{
    m_printerAvailable = std::move(printerAvailable);
    m_printerFactory = std::move(factory);
}

void TPrintReport2::setPrinter(bool printerAvailable, ReportPrinterFactory factory)
{
    setPrinter([printerAvailable] { return printerAvailable; }, std::move(factory));
}

bool TPrintReport2::printerAvailable() const
{
    return m_printerAvailable && m_printerAvailable();
}

TPrintReport2::Band *TPrintReport2::bandOfKind(BandKind kind) const
{
    for (const auto &b : m_bands) {
        if (b->kind == kind)
            return b.get();
    }
    return nullptr;
}

void TPrintReport2::PageFooterBand1BeforePrint(Band &, bool &)
{
    m_label.caption = QStringLiteral("- ") + QString::number(m_pageCount) + QStringLiteral(" -");
}

// -- Runs --

void TPrintReport2::preview()
{
    if (m_busy)
        return;
    // One preview per report: while one is open, its output stays the report's.
    if (m_output && m_output->showingPreview())
        return;
    auto *output = new TReportOutput(printerAvailable(), {}, this);
    if (m_output) {
        output->setClient(m_output->client());
        delete m_output;
    }
    m_output = output;
    output->destination = TReportOutput::Destination::PageRecording;
    output->setMaster(this);
    output->title = ReportTitle;
    output->setPreviewHandler(OnPreview);
    output->showPreview();
    run(*output);
    if (m_cancelled && m_output == output) {
        m_output = nullptr;
        output->deleteLater();
    }
}

bool TPrintReport2::print()
{
    if (m_busy)
        return false;
    if (!m_printerFactory || !printerAvailable())
        throw AppError(Messages::text(Messages::NoPrinter));
    // The preview's output and its pages stay as they are meanwhile.
    TReportOutput output(true, m_printerFactory);
    output.destination = TReportOutput::Destination::Printer;
    output.title = ReportTitle;
    run(output);
    return !m_cancelled;
}

bool TPrintReport2::event(QEvent *event)
{
    if (event->type() == ReportNotice::PrintRequest) {
        // Nothing may leave an event handler: a failure is handed on to be shown.
        try {
            print();
        } catch (const AppError &error) {
            if (OnError)
                OnError(error.text());
        }
        return true;
    }
    if (event->type() == ReportNotice::ClosePreview) {
        TReportOutput *closing = static_cast<ReportNotice *>(event)->output;
        if (m_busy && m_running == closing) {
            m_cancelled = true;
            closing->cancel();
        } else if (closing && closing == m_output) {
            // Only the output the notice names is let go: another preview's stays.
            if (closing->showingPreview())
                closing->setShowingPreview(false);
            m_output = nullptr;
            closing->deleteLater();
        }
        return true;
    }
    return QObject::event(event);
}

void TPrintReport2::run(TReportOutput &output)
{
    if (m_busy)
        return;
    m_busy = true;
    m_running = &output;
    m_cancelled = false;
    m_lastPage = false;
    usePageSetup(output, m_document ? m_document->pageSetup() : PageSetup());
    output.copies = 1;
    output.firstPage = PrinterFirstPage;
    output.lastPage = PrinterLastPage;
    output.title = ReportTitle;
    try {
        output.beginDocument();
        // The user may go on editing between pages: every page shows the text as it was now.
        if (m_document) {
            m_document->releaseFormatRange();
            m_document->holdFormatRange(true);
            m_textLength = m_document->textLength();
        }
        runBands(output);
    } catch (...) {
        // A page that could not be stored: the run ends here and the report is free again.
        if (m_document) {
            m_document->holdFormatRange(false);
            m_document->releaseFormatRange();
        }
        if (output.status() == TReportOutput::Status::Busy)
            output.abortDocument();
        m_running = nullptr;
        m_busy = false;
        throw;
    }
    m_running = nullptr;
    m_busy = false;
}

void TPrintReport2::usePageSetup(TReportOutput &output, const PageSetup &page)
{
    output.paperSize = QPageSize::A4;
    output.landscape = false;
    m_topMargin = TopMargin;
    m_bottomMargin = BottomMargin;
    m_leftMargin = LeftMargin;
    m_bandWidth = BandWidth;
    if (page.isSet()) {
        const PageSetup p = page.clamped();
        const auto tenths = [](int twips) { return twips * 254.0 / 1440; };
        const QPageSize size = p.pageSize();
        output.paperSize = size.id();
        // A custom paper's size, portrait; landscape exchanges them.
        output.paperWidth = tenths(qMin(p.paperWidthTwips, p.paperHeightTwips));
        output.paperLength = tenths(qMax(p.paperWidthTwips, p.paperHeightTwips));
        output.landscape = p.paperWidthTwips > p.paperHeightTwips;
        m_topMargin = tenths(p.topTwips);
        m_bottomMargin = tenths(p.bottomTwips);
        m_leftMargin = tenths(p.leftTwips);
        m_bandWidth = tenths(p.textRectTwips().width());
    }
    m_richText.width = m_bandWidth;
    for (const auto &b : m_bands)
        b->width = m_bandWidth;
}

void TPrintReport2::runBands(TReportOutput &output)
{
    m_currentY = -1;
    m_currentX = m_leftMargin;
    m_pageCount = 0;
    m_pageFooterSize = 0;
    for (const auto &b : m_bands) {
        if (b->kind == BandKind::PageFooter && b->enabled)
            m_pageFooterSize += b->designHeight;
    }
    m_richText.printFinished = true;
    m_richText.continueAt = 0;
    // No data source: the title band, then the summary band.
    printBand(*bandOfKind(BandKind::Title));
    if (!m_cancelled && !output.isCancelled())
        printBand(*bandOfKind(BandKind::Summary));
    m_lastPage = true;
    m_cancelled = m_cancelled || output.isCancelled();
    if (!m_cancelled)
        endPage();
    if (m_document) {
        m_document->holdFormatRange(false);
        m_document->releaseFormatRange();
    }
    if (m_cancelled)
        output.abortDocument();
    else
        output.endDocument();
}

// -- Pagination --

double TPrintReport2::availableSpace() const
{
    if (m_currentY < 0)
        return 0;
    return static_cast<double>(
        roundHalfEven(m_running->pageLength() - m_bottomMargin - m_pageFooterSize - m_currentY));
}

double TPrintReport2::pageArea(const Band &band) const
{
    // Below the page header of a fresh page, the band grows a step at a time while it fits.
    const Band *header = bandOfKind(BandKind::PageHeader);
    const double top
        = m_topMargin + (header && header->enabled ? static_cast<double>(roundHalfEven(header->designHeight)) : 0);
    const double room
        = static_cast<double>(roundHalfEven(m_running->pageLength() - m_bottomMargin - m_pageFooterSize - top));
    double height = band.designHeight;
    while (static_cast<double>(roundHalfEven(height + GrowthStep)) <= room)
        height += GrowthStep;
    return height;
}

bool TPrintReport2::canExpand(const Band &band, double amount) const
{
    return availableSpace() >= static_cast<double>(roundHalfEven(amount + band.designHeight + band.expanded));
}

void TPrintReport2::expandBand(Band &band, double amount, RichTextPrintable &printable)
{
    if (!canExpand(band, amount))
        return;
    // With a single printable every call grows the band by the amount; a printable's first
    // call on a page takes over a band already grown further by another.
    const bool takesOver = !printable.hasGrown && band.expanded > amount;
    if (!takesOver)
        band.expanded += amount;
    printable.growth = band.expanded;
    printable.hasGrown = true;
}

void TPrintReport2::startNewPage()
{
    m_currentX = m_leftMargin;
    if (m_currentY >= 0)
        endPage();
    ++m_pageCount;
    m_running->newPage();
    if (betweenPages)
        betweenPages();
    m_currentY = m_topMargin;
    m_richText.hasGrown = false;
    if (m_pageCount > 1 || FirstPageHeader) {
        if (Band *header = bandOfKind(BandKind::PageHeader))
            printBand(*header);
    }
}

void TPrintReport2::endPage()
{
    if (m_currentY < 0)
        return;
    m_currentY = static_cast<double>(roundHalfEven(m_running->pageLength() - m_bottomMargin - m_pageFooterSize));
    m_currentX = m_leftMargin;
    if (!(m_lastPage && !LastPageFooter)) {
        if (Band *footer = bandOfKind(BandKind::PageFooter))
            printBand(*footer);
    }
}

void TPrintReport2::printBand(Band &band)
{
    if (band.alignToBottom) {
        if (band.kind == BandKind::Summary && !LastPageFooter)
            m_pageFooterSize = 0;
        m_currentY = qMax(m_currentY, static_cast<double>(roundHalfEven(m_running->pageLength() - m_bottomMargin
                                                                         - band.designHeight - m_pageFooterSize)));
    }
    bool printIt = band.enabled;
    if (band.beforePrint)
        band.beforePrint(band, printIt);
    if (!printIt)
        return;
    if (band.kind != BandKind::PageFooter) {
        const double height = static_cast<double>(roundHalfEven(band.designHeight));
        if (availableSpace() < height && band.designHeight <= m_running->pageLength() - (m_topMargin + m_bottomMargin))
            startNewPage();
        if (m_currentY < 0)
            startNewPage();
    }
    if (band.designHeight == 0)
        return;
    // The band's colour fills its rectangle once, on the page where it starts.
    QPainter *canvas = m_running->canvas();
    if (canvas) {
        canvas->fillRect(QRect(m_running->mapX(m_currentX), m_running->mapY(m_currentY), m_running->mapWidth(band.width),
                               m_running->mapHeight(band.designHeight)),
                         band.color);
    }
    band.expanded = 0;
    bool firstPass = true;
    for (;;) {
        bool allFinished = true;
        if (band.richText && (firstPass || !band.richText->printFinished))
            allFinished = printRichText(band, *band.richText, m_currentX, m_currentY) && allFinished;
        if (band.label && firstPass)
            printLabel(band, *band.label, m_currentX, m_currentY);
        firstPass = false;
        if (allFinished || m_cancelled || m_running->isCancelled())
            break;
        startNewPage();
        band.expanded = 0;
    }
    m_currentY += static_cast<double>(roundHalfEven(band.designHeight + band.expanded));
}

bool TPrintReport2::printRichText(Band &band, RichTextPrintable &printable, double x, double y)
{
    QPainter *canvas = m_running->canvas();
    if (!m_document || !canvas) {
        printable.printFinished = true;
        return true;
    }
    QPaintDevice *device = m_running->layoutDevice();
    const int dpiX = device->logicalDpiX();
    const int dpiY = device->logicalDpiY();
    auto rectangle = [&](double bottomTenths) {
        const int left = twips(m_running->mapX(x + printable.left), dpiX);
        const int top = twips(m_running->mapY(y + printable.top), dpiY);
        const int right = twips(m_running->mapX(x + printable.left + printable.width), dpiX);
        const int bottom = twips(m_running->mapY(bottomTenths), dpiY);
        return QRect(QPoint(left, top), QPoint(right, bottom));
    };
    FormatRange request;
    request.painter = canvas;
    request.target = device;
    request.rectTwips = rectangle(y + printable.top + printable.height);
    request.pageTwips = QRect(0, 0, twips(m_running->mapWidth(m_running->pageWidth()), dpiX),
                              twips(m_running->mapHeight(m_running->pageLength()), dpiY));
    // What a page gives the text: a picture taller than that is drawn smaller, on one page.
    request.pageAreaTwips = QSize(request.rectTwips.width(), twips(m_running->mapHeight(pageArea(band)), dpiY));
    if (printable.printFinished)
        printable.continueAt = 0;
    const qint64 start = printable.continueAt;
    request.first = start;
    request.last = -1;
    const qint64 length = m_textLength; // of the text held since the run began

    // The layout is measured at each step of growth and drawn once, into the final rectangle.
    request.render = false;
    qint64 next = m_document->formatRange(request);
    if (next >= 0 && next < length && printable.autoStretch && length > 0) {
        printable.printFinished = false;
        // The band grows a step at a time while the text does not fit and the page has room.
        // More room never holds less text, so the steps are not measured one by one: first
        // the furthest growth the page allows, and only when the rest of the text fits there,
        // a halving search for the first step at which it fits.
        std::vector<double> grown { band.expanded };
        for (Band trial = band; canExpand(trial, GrowthStep);)
            grown.push_back(trial.expanded += GrowthStep);
        const auto measure = [&](size_t steps) {
            request.rectTwips = rectangle(y + printable.top + printable.height + grown[steps]);
            return m_document->formatRange(request);
        };
        size_t steps = grown.size() - 1;
        if (steps > 0) {
            next = measure(steps);
            if (next >= length) {
                size_t short_ = 0; // known not to fit
                qint64 fitted = next;
                while (steps - short_ > 1) {
                    const size_t middle = short_ + (steps - short_) / 2;
                    const qint64 at = measure(middle);
                    if (at >= length) {
                        steps = middle;
                        fitted = at;
                    } else {
                        short_ = middle;
                    }
                }
                next = fitted;
            }
            request.rectTwips = rectangle(y + printable.top + printable.height + grown[steps]);
            for (size_t step = 0; step < steps; ++step)
                expandBand(band, GrowthStep, printable);
        }
        // A line taller than the whole room left moves on all the same, cut to the rectangle:
        // otherwise every page would start with it again.
        request.atLeastOneLine = next == start;
        request.render = true;
        next = m_document->formatRange(request);
        if (next >= length || next < 0) {
            printable.continueAt = length;
            printable.printFinished = true;
        } else {
            printable.continueAt = next;
        }
    } else {
        request.render = true;
        m_document->formatRange(request);
        printable.continueAt = next < 0 ? length : next;
        printable.printFinished = true;
    }
    return printable.printFinished;
}

void TPrintReport2::printLabel(Band &, const Label &label, double x, double y)
{
    QPainter *canvas = m_running->canvas();
    if (!canvas)
        return;
    QFont font(QString::fromUtf16(u"ＭＳ ゴシック"));
    font.setPointSize(11);
    canvas->save();
    canvas->setFont(font);
    const QFontMetrics metrics(font, m_running->layoutDevice());
    // The label is as wide as its widest line and stays centred on the band.
    int widest = 0;
    const QStringList lines = label.caption.split(u'\n');
    for (const QString &line : lines)
        widest = qMax(widest, metrics.horizontalAdvance(line));
    const int centre = m_running->mapX(x + m_bandWidth / 2);
    const QRect box(centre - widest / 2, m_running->mapY(y + label.top), widest, m_running->mapHeight(label.height));
    canvas->fillRect(box, Qt::white);
    canvas->setPen(Qt::black);
    canvas->drawText(box, Qt::AlignHCenter | Qt::AlignTop, label.caption);
    canvas->restore();
}
