#pragma once

#include <QEvent>
#include <QObject>
#include <QPageSize>
#include <QPicture>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QPagedPaintDevice;
class QPainter;
class TPreparedPages;

// The notices a run's output sends: posted to the event loop, except the close-preview notice,
// which is delivered at once.
class ReportNotice : public QEvent {
public:
    static const QEvent::Type Progress; // carries a percentage
    static const QEvent::Type PagesAvailable; // carries the new count of available pages
    static const QEvent::Type PrintRequest; // to the report
    static const QEvent::Type ClosePreview; // to the report, carries the output

    ReportNotice(QEvent::Type type, int value, class TReportOutput *output = nullptr)
        : QEvent(type)
        , value(value)
        , output(output)
    {
    }

    const int value;
    class TReportOutput *const output;
};

// A printer as a run's output uses it: the paint device that makes the printed pages, what is
// known about the system's printers, and the physical offsets of the printable area.
struct ReportPrinter {
    std::unique_ptr<QPagedPaintDevice> device;
    // Where the printable area starts on the paper, in tenths of a millimetre.
    double leftOffset = 0;
    double topOffset = 0;
    // Abandons the job (what the device has not yet printed is dropped); none: just end it.
    std::function<void()> abort;
    // Hands the finished job to the printer once the device has ended; throws AppError when the
    // printer does not take it. None: ending the device is all there is to it.
    std::function<void()> submit;
};

// Makes the printer a print run prints on, named by the run's title; null when there is none.
using ReportPrinterFactory = std::function<ReportPrinter(const QString &title)>;

// The output of one report run: it records each page for the preview (kept in a prepared-pages
// store) or draws it on a printer. Report coordinates are tenths of a millimetre from the
// paper's top-left corner; the canvas takes device pixels (see mapX and friends).
class TReportOutput : public QObject {
    Q_OBJECT
public:
    enum class Destination { PageRecording, Printer };
    enum class Status { Ready, Busy, Finished };

    // printerAvailable: the system has at least one printer; factory: makes it for a print run.
    explicit TReportOutput(bool printerAvailable, ReportPrinterFactory factory = {}, QObject *parent = nullptr);
    ~TReportOutput() override;

    // -- Settings, applied at the beginning of the document --
    Destination destination = Destination::PageRecording;
    QString title;
    QPageSize::PageSizeId paperSize = QPageSize::A4;
    double paperWidth = 2100; // tenths of a millimetre, for a custom paper size
    double paperLength = 2970;
    bool landscape = false;
    int copies = 1;
    int firstPage = 0; // 0: no limit
    int lastPage = 0;
    bool printerAvailable() const { return m_printerAvailable; }

    // -- The run --
    Status status() const { return m_status; }
    int pageCount() const { return m_pageCount; }
    int pageNumber() const { return m_pageNumber; }
    int availablePages() const { return m_availablePages; }
    bool isCancelled() const { return m_cancelled; }

    // Ready to busy: the store (page recording) or the printer job is prepared; the factors
    // are the device's pixels per tenth of a millimetre. Fails (throws AppError) unless ready.
    void beginDocument();
    // Closes the open page (publishing it) and opens the next. Throws AppError when not busy, or
    // when the printer refuses to start the job.
    void newPage();
    // Closes the last page and finishes; the available page count goes up by one more. Throws
    // AppError (after finishing) when the printer does not take the job.
    void endDocument();
    void abortDocument();
    void cancel() { m_cancelled = true; }

    // The drawing surface of the current page, in device pixels.
    QPainter *canvas() const { return m_canvas; }
    QPaintDevice *canvasDevice() const;
    // The device pages are laid out for: the printer for a print run (also for the pages outside
    // its range, drawn on a stand-in, so that every page breaks where the printed ones do),
    // otherwise the canvas.
    QPaintDevice *layoutDevice() const;
    double horizontalFactor() const { return m_horizontalFactor; }
    double verticalFactor() const { return m_verticalFactor; }
    double leftOffset() const { return m_leftOffset; }
    double topOffset() const { return m_topOffset; }
    int mapX(double tenths) const;
    int mapY(double tenths) const;
    int mapWidth(double tenths) const;
    int mapHeight(double tenths) const;
    // The paper's size in tenths of a millimetre, width and length exchanged in landscape.
    double pageWidth() const;
    double pageLength() const;

    // A fresh copy of recorded page n, while busy or finished; none when there is no such page.
    std::optional<QPicture> page(int n) const;
    const TPreparedPages *preparedPages() const { return m_pages.get(); }

    // -- The preview --
    // The window told of new pages and progress (the preview's page view).
    QObject *client() const { return m_client; }
    void setClient(QObject *client) { m_client = client; }
    // The report that made the pages: print requests and the close notice go to it.
    QObject *master() const { return m_master; }
    void setMaster(QObject *master) { m_master = master; }
    void setPreviewHandler(std::function<void(TReportOutput *)> handler) { m_previewHandler = std::move(handler); }
    bool showingPreview() const { return m_showingPreview; }
    // Switching it off while it was on cancels a busy output.
    void setShowingPreview(bool on);
    void showPreview();
    void closePreview();
    void print();

signals:
    // After a print run finished the printer's job.
    void afterPrint();

private:
    void closePage();
    bool pageInRange() const;
    void openRecordingPage();
    void notifyClient(QEvent::Type type, int value);

    const bool m_printerAvailable;
    ReportPrinterFactory m_printerFactory;
    ReportPrinter m_printer;
    bool m_printing = false; // the printer's painter is active
    Status m_status = Status::Ready;
    int m_pageCount = 0;
    int m_pageNumber = 0;
    int m_availablePages = 0;
    bool m_cancelled = false;
    double m_horizontalFactor = 0;
    double m_verticalFactor = 0;
    double m_leftOffset = 0;
    double m_topOffset = 0;
    std::unique_ptr<QPicture> m_layoutDevice; // what recorded pages are laid out for
    std::unique_ptr<QPicture> m_recording; // the current page, when it is recorded
    std::unique_ptr<QPainter> m_recordingPainter;
    std::unique_ptr<QPainter> m_printerPainter; // for the whole print job
    QPainter *m_canvas = nullptr; // one of the two
    std::unique_ptr<TPreparedPages> m_pages;
    QObject *m_client = nullptr;
    QObject *m_master = nullptr;
    std::function<void(TReportOutput *)> m_previewHandler;
    bool m_showingPreview = false;
};
