#pragma once

#include <QMainWindow>
#include <QPicture>
#include <QPointer>
#include <QScrollArea>

#include <optional>

class QLabel;
class QToolButton;
#include "printing/treportoutput.h"

// One page recording, drawn stretched over the widget with an outline and a shadow.
class TPageImage : public QWidget {
    Q_OBJECT
public:
    explicit TPageImage(QWidget *parent = nullptr);

    bool hasPage() const { return m_page.has_value(); }
    void setPage(std::optional<QPicture> page, int pageNumber = 0);

signals:
    // A page was painted on the screen.
    void pagePainted(int pageNumber);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<QPicture> m_page;
    int m_pageNumber = 0;
};

// The scrolling view of the preview's current page: its zoom, the page image, and the output it
// shows, whose notices it receives.
class TPageView : public QScrollArea {
    Q_OBJECT
public:
    enum class ZoomMode { FitPage, FitWidth, Other };
    static constexpr int MinimumZoom = 2;
    static constexpr int MaximumZoom = 2000;

    explicit TPageView(QWidget *parent = nullptr);
    ~TPageView() override;

    // Shows an output: the output another view showed is told it no longer shows a preview.
    void setOutput(TReportOutput *output);
    TReportOutput *output() const { return m_output; }

    int currentPage() const { return m_currentPage; }
    int zoom() const { return m_zoom; }
    ZoomMode zoomMode() const { return m_mode; }
    TPageImage *image() const { return m_image; }

    // The page's size at zoom 100, in screen pixels.
    QSize pageSize() const;
    void goToPage(int n);
    void setZoom(int zoom);
    void zoomToFitPage();
    void zoomToWidth();
    void layOutImage();

signals:
    // A notice arrived: pages became available (count), or progress (percentage).
    void pagesAvailable(int count);
    void progress(int percent);
    // The zoom was set (in percent), whichever way.
    void zoomChanged(int zoom);

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    std::optional<QPicture> fetchPage(int n);

    QPointer<TReportOutput> m_output;
    QWidget *m_canvas;
    TPageImage *m_image;
    int m_currentPage = 1;
    int m_zoom = 100;
    ZoomMode m_mode = ZoomMode::Other;
};

// The print preview: the pages of one preview run, their zoom and page keys, and printing.
class TPreviewWindow : public QMainWindow {
    Q_OBJECT
public:
    TPreviewWindow(TReportOutput *output, QWidget *parent = nullptr);
    ~TPreviewWindow() override;

    TPageView *PageView = nullptr;
    QToolButton *ZoomFit = nullptr;
    QToolButton *Zoom100 = nullptr;
    QToolButton *ZoomToWidth = nullptr;
    QToolButton *FirstPage = nullptr;
    QToolButton *PreviousPage = nullptr;
    QToolButton *ToolButton2 = nullptr;
    QToolButton *LastPage = nullptr;
    QToolButton *PrintSetup = nullptr;
    QToolButton *Print = nullptr;
    QToolButton *SaveReport = nullptr;
    QToolButton *LoadReport = nullptr;
    QLabel *StatusPanels[2] = {};

    void ZoomToFitClick();
    void ZoomTo100Click();
    void ZoomToWidthClick();
    void FirstPageClick();
    void PrevPageClick();
    void NextPageClick();
    void LastPageClick();
    void PrintClick();
    void ExitClick();
    // The page keys; true when the key was one of them.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void showPageStatus();
    // This program neither saves nor loads reports, nor sets the printer up from here.
    void hideReportFileButtons();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void pagesAvailable(int count);
    void progress(int percent);
    void showZoom();

    int m_lastProgress = 0;
    // Whether the first panel shows a run's progress rather than the zoom.
    bool m_showingProgress = false;
    bool m_closed = false;
};
