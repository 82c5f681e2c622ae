#include "treportoutput.h"

#include "document/apperror.h"
#include "printing/printmessages.h"
#include "printing/reportunits.h"
#include "printing/tpreparedpages.h"

#include <QCoreApplication>
#include <QPagedPaintDevice>
#include <QPainter>

const QEvent::Type ReportNotice::Progress = static_cast<QEvent::Type>(QEvent::User + 0);
const QEvent::Type ReportNotice::PagesAvailable = static_cast<QEvent::Type>(QEvent::User + 1);
const QEvent::Type ReportNotice::PrintRequest = static_cast<QEvent::Type>(QEvent::User + 2);
const QEvent::Type ReportNotice::ClosePreview = static_cast<QEvent::Type>(QEvent::User + 4);

namespace {

// The resolution pages are recorded at: the one recordings replay at.
double recordingFactor(bool horizontal)
{
    const QPicture probe;
    return (horizontal ? probe.logicalDpiX() : probe.logicalDpiY()) / ReportUnits::TenthsPerInch;
}

} // namespace

TReportOutput::TReportOutput(bool printerAvailable, ReportPrinterFactory factory, QObject *parent)
    : QObject(parent)
    , m_printerAvailable(printerAvailable)
    , m_printerFactory(std::move(factory))
{
}

TReportOutput::~TReportOutput()
{
    if (m_status == Status::Busy)
        m_cancelled = true;
    m_canvas = nullptr;
    m_recordingPainter.reset();
    m_recording.reset();
    if (m_printerPainter) {
        if (m_printer.abort)
            m_printer.abort();
        m_printerPainter.reset();
    }
    m_pages.reset(); // deletes its temporary file
}

double TReportOutput::pageWidth() const
{
    QSizeF paper(paperWidth, paperLength);
    if (paperSize != QPageSize::Custom)
        paper = QPageSize(paperSize).size(QPageSize::Millimeter) * 10;
    return landscape ? paper.height() : paper.width();
}

double TReportOutput::pageLength() const
{
    QSizeF paper(paperWidth, paperLength);
    if (paperSize != QPageSize::Custom)
        paper = QPageSize(paperSize).size(QPageSize::Millimeter) * 10;
    return landscape ? paper.width() : paper.height();
}

int TReportOutput::mapX(double tenths) const
{
    return ReportUnits::toDevice(tenths, m_leftOffset, m_horizontalFactor);
}

int TReportOutput::mapY(double tenths) const
{
    return ReportUnits::toDevice(tenths, m_topOffset, m_verticalFactor);
}

int TReportOutput::mapWidth(double tenths) const
{
    return ReportUnits::sizeToDevice(tenths, m_horizontalFactor);
}

int TReportOutput::mapHeight(double tenths) const
{
    return ReportUnits::sizeToDevice(tenths, m_verticalFactor);
}

QPaintDevice *TReportOutput::canvasDevice() const
{
    return m_canvas ? m_canvas->device() : nullptr;
}

QPaintDevice *TReportOutput::layoutDevice() const
{
    if (destination == Destination::Printer && m_printer.device)
        return m_printer.device.get();
    // Not the page being recorded: layouts made for it outlive the page, and another page could
    // take its place at the same address.
    return m_layoutDevice.get();
}

void TReportOutput::beginDocument()
{
    m_canvas = nullptr;
    m_recordingPainter.reset();
    m_recording.reset();
    m_availablePages = 0;
    m_cancelled = false;
    if (destination == Destination::Printer) {
        if (m_printerFactory && !m_printer.device)
            m_printer = m_printerFactory(title);
        if (QPagedPaintDevice *device = m_printer.device.get()) {
            device->setPageSize(paperSize == QPageSize::Custom
                                    ? QPageSize(QSizeF(paperWidth / 10, paperLength / 10), QPageSize::Millimeter)
                                    : QPageSize(paperSize));
            device->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
            device->setPageMargins(QMarginsF());
        }
        m_leftOffset = m_printer.leftOffset;
        m_topOffset = m_printer.topOffset;
    } else {
        m_leftOffset = 0;
        m_topOffset = 0;
    }
    // A run never begins a busy output; this is a fault of the program, not of the user.
    if (m_status != Status::Ready)
        throw AppError(QStringLiteral("The report output is not ready."));
    m_pageNumber = 0;
    m_pageCount = 0;
    m_status = Status::Busy;
    if (!m_layoutDevice)
        m_layoutDevice = std::make_unique<QPicture>();
    if (destination == Destination::Printer && m_printer.device) {
        m_horizontalFactor = m_printer.device->logicalDpiX() / ReportUnits::TenthsPerInch;
        m_verticalFactor = m_printer.device->logicalDpiY() / ReportUnits::TenthsPerInch;
    } else {
        if (destination == Destination::PageRecording)
            m_pages = std::make_unique<TPreparedPages>();
        m_horizontalFactor = recordingFactor(true);
        m_verticalFactor = recordingFactor(false);
    }
}

bool TReportOutput::pageInRange() const
{
    return (firstPage <= 0 || m_pageCount >= firstPage) && (lastPage <= 0 || lastPage >= m_pageCount);
}

void TReportOutput::notifyClient(QEvent::Type type, int value)
{
    if (m_client)
        QCoreApplication::postEvent(m_client, new ReportNotice(type, value, this));
}

void TReportOutput::closePage()
{
    m_canvas = nullptr;
    if (!m_recordingPainter)
        return; // a printed page ends when the printer moves on to the next sheet
    m_recordingPainter.reset();
    // A page outside the printed range was drawn on a stand-in that is now dropped.
    if (destination == Destination::PageRecording && m_pages)
        m_pages->addPage(*m_recording);
    m_recording.reset();
}

void TReportOutput::openRecordingPage()
{
    m_recording = std::make_unique<QPicture>();
    m_recording->setBoundingRect(QRect(0, 0, mapWidth(pageWidth()), mapHeight(pageLength())));
    m_recordingPainter = std::make_unique<QPainter>(m_recording.get());
    m_canvas = m_recordingPainter.get();
}

void TReportOutput::newPage()
{
    if (m_status != Status::Busy)
        throw AppError(QString::fromUtf16(u"間違った NewPage の呼び出し"));
    if (m_pageNumber > 0) {
        closePage();
        ++m_availablePages;
        notifyClient(ReportNotice::PagesAvailable, m_availablePages);
    }
    ++m_pageCount;
    ++m_pageNumber;
    QPagedPaintDevice *device = m_printer.device.get();
    if (destination == Destination::PageRecording || !device || !pageInRange()) {
        openRecordingPage();
        return;
    }
    if (!m_printerPainter) {
        auto painter = std::make_unique<QPainter>();
        if (!painter->begin(device))
            throw AppError(Messages::text(Messages::PrintNotStarted));
        m_printerPainter = std::move(painter);
    } else {
        device->newPage();
    }
    m_horizontalFactor = device->logicalDpiX() / ReportUnits::TenthsPerInch;
    m_verticalFactor = device->logicalDpiY() / ReportUnits::TenthsPerInch;
    m_canvas = m_printerPainter.get();
}

void TReportOutput::endDocument()
{
    if (m_status != Status::Busy)
        return;
    if (m_pageNumber > 0)
        closePage();
    // A job is started by its first page in the printed range: without one there is none to end.
    const bool started = m_printerPainter != nullptr;
    bool printed = false;
    if (started) {
        printed = m_printerPainter->end();
        m_printerPainter.reset();
    }
    m_status = Status::Finished;
    ++m_availablePages;
    notifyClient(ReportNotice::PagesAvailable, m_availablePages);
    if (destination == Destination::PageRecording) {
        if (m_pages)
            m_pages->finish();
    } else {
        if (started && !printed)
            throw AppError(Messages::text(Messages::PrintNotFinished));
        if (started && m_printer.submit)
            m_printer.submit();
        emit afterPrint();
    }
}

void TReportOutput::abortDocument()
{
    if (destination == Destination::Printer) {
        m_canvas = nullptr;
        if (m_printerPainter) {
            if (m_printer.abort)
                m_printer.abort();
            m_printerPainter->end();
            m_printerPainter.reset();
        }
        m_recordingPainter.reset();
        m_recording.reset();
    } else if (m_pageNumber > 0) {
        closePage();
    }
    m_status = Status::Finished;
}

std::optional<QPicture> TReportOutput::page(int n) const
{
    if (m_status == Status::Ready || !m_pages || n < 1 || n > m_pageCount)
        return std::nullopt;
    return m_pages->page(n);
}

void TReportOutput::setShowingPreview(bool on)
{
    const bool was = m_showingPreview;
    m_showingPreview = on;
    if (was && !on && m_status == Status::Busy)
        cancel();
}

void TReportOutput::showPreview()
{
    if (m_previewHandler)
        m_previewHandler(this);
}

void TReportOutput::closePreview()
{
    if (m_master) {
        ReportNotice notice(ReportNotice::ClosePreview, 0, this);
        QCoreApplication::sendEvent(m_master, &notice);
    }
}

void TReportOutput::print()
{
    if (m_master)
        QCoreApplication::postEvent(m_master, new ReportNotice(ReportNotice::PrintRequest, 0, this));
}
