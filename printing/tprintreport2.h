#pragma once

#include "printing/treportoutput.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class RichDocument;
struct PageSetup;

// The report that lays the document out on A4 pages for the preview and for printing: a title
// band holding the editor's text (growing in 5.0 mm steps and continued on further pages), a
// page header on every page, an empty summary band, and a page footer with "- N -". Geometry
// is in tenths of a millimetre.
class TPrintReport2 : public QObject {
    Q_OBJECT
public:
    enum class BandKind { Title, PageHeader, PageFooter, Summary };

    struct RichTextPrintable {
        double left = 0, top = 0, width = 0, height = 0;
        bool autoStretch = true;
        // Between pages of the same text: whether all of it is printed, and where the next
        // page's part begins (a byte position of the editor's text).
        bool printFinished = true;
        qint64 continueAt = 0;
        double growth = 0;
        bool hasGrown = false;
    };

    struct Label {
        QString caption;
        double top = 0, height = 0;
    };

    struct Band {
        QString name;
        BandKind kind = BandKind::Title;
        double designHeight = 0;
        double width = 0;
        QColor color;
        bool enabled = true;
        bool alignToBottom = false;
        double expanded = 0;
        std::function<void(Band &, bool &)> beforePrint;
        RichTextPrintable *richText = nullptr;
        Label *label = nullptr;
    };

    // The page values, in tenths of a millimetre.
    static constexpr double TopMargin = 50;
    static constexpr double BottomMargin = 50;
    static constexpr double LeftMargin = 100;
    static constexpr double RightMargin = 100;
    static constexpr double BandWidth = 1899.70833;
    static constexpr double GrowthStep = 50;
    static constexpr bool FirstPageHeader = true;
    static constexpr bool LastPageFooter = true;

    explicit TPrintReport2(QObject *parent = nullptr);
    ~TPrintReport2() override;

    // The editor whose text, formats and all, the report prints (at the moment of each run).
    void setParentRichEdit(RichDocument *document) { m_document = document; }
    // How print runs reach a printer. Whether the system has one is asked afresh for each new
    // output (printers come and go while the program runs); a fixed answer is for tests and the
    // converter.
    void setPrinter(std::function<bool()> printerAvailable, ReportPrinterFactory factory);
    void setPrinter(bool printerAvailable, ReportPrinterFactory factory);

    // The title of the runs: the print job's name and the preview's caption.
    QString ReportTitle;
    // The pages a print run sends to the printer (0: no limit); the others are laid out and
    // numbered all the same.
    int PrinterFirstPage = 0;
    int PrinterLastPage = 0;
    // Called with the output of a preview run as soon as it begins, to show it.
    std::function<void(TReportOutput *)> OnPreview;
    // Called after each new page of a run: the user interface keeps going meanwhile.
    std::function<void()> betweenPages;
    // Told why a print run asked for by a preview failed (the run itself reports nothing).
    std::function<void(const QString &)> OnError;

    // A preview run: the pages recorded into a fresh output that stays the report's until its
    // preview closes. Does nothing while a run is going on or a preview is still open.
    void preview();
    // A print run to the printer: false when none was made because a run is going on. Throws
    // AppError when there is no printer or the printer does not take the job.
    bool print();

    bool isBusy() const { return m_busy; }
    TReportOutput *output() const { return m_output; }
    const std::vector<std::unique_ptr<Band>> &bands() const { return m_bands; }

    void PageFooterBand1BeforePrint(Band &band, bool &printBand);

protected:
    bool event(QEvent *event) override;

private:
    bool printerAvailable() const;
    // The run and its pagination.
    void run(TReportOutput &output);
    // The paper and margins of the run: the document's page setup, or the report's own A4 page.
    void usePageSetup(TReportOutput &output, const PageSetup &page);
    void runBands(TReportOutput &output);
    double availableSpace() const;
    // The tallest a band grows on a fresh page, below the page header (tenths of a mm).
    double pageArea(const Band &band) const;
    bool canExpand(const Band &band, double amount) const;
    void expandBand(Band &band, double amount, RichTextPrintable &printable);
    void startNewPage();
    void endPage();
    void printBand(Band &band);
    bool printRichText(Band &band, RichTextPrintable &printable, double x, double y);
    void printLabel(Band &band, const Label &label, double x, double y);
    Band *bandOfKind(BandKind kind) const;

    RichDocument *m_document = nullptr;
    std::function<bool()> m_printerAvailable;
    ReportPrinterFactory m_printerFactory;
    std::vector<std::unique_ptr<Band>> m_bands;
    RichTextPrintable m_richText; // ReportRichText1
    Label m_label; // ReportLabel1
    QPointer<TReportOutput> m_output;

    // The run in progress.
    TReportOutput *m_running = nullptr;
    bool m_busy = false;
    bool m_cancelled = false;
    bool m_lastPage = false;
    double m_currentY = -1;
    double m_currentX = LeftMargin;
    // The margins and band width of the run in progress (tenths of a millimetre).
    double m_topMargin = TopMargin;
    double m_bottomMargin = BottomMargin;
    double m_leftMargin = LeftMargin;
    double m_bandWidth = BandWidth;
    int m_pageCount = 0;
    double m_pageFooterSize = 0;
    qint64 m_textLength = 0;
};
