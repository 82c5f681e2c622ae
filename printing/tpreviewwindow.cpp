#include "tpreviewwindow.h"

#include "document/apperror.h"
#include "app/messagebox.h"
#include "printing/reportunits.h"
#include "printing/treportoutput.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace {

// The tool bar's 16 x 16 pictures by index: whole page, 100%, page width, first, previous,
// next, last, printer setup, print, load, save.
QIcon previewIcon(int index)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 40, 40);
    const QColor blue(40, 90, 180);
    auto page = [&](const QRectF &r) {
        p.setPen(QPen(ink, 1));
        p.setBrush(Qt::white);
        p.drawRect(r);
    };
    auto triangle = [&](qreal x, bool left) {
        QPolygonF t;
        if (left)
            t << QPointF(x + 5, 3) << QPointF(x, 8) << QPointF(x + 5, 13);
        else
            t << QPointF(x, 3) << QPointF(x + 5, 8) << QPointF(x, 13);
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        p.drawPolygon(t);
    };
    switch (index) {
    case 0:
        page(QRectF(4.5, 1.5, 7, 12));
        break;
    case 1: {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(8);
        f.setBold(true);
        p.setFont(f);
        p.setPen(ink);
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("1:1"));
        break;
    }
    case 2:
        page(QRectF(1.5, 3.5, 13, 9));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case 3:
        p.fillRect(QRectF(3, 3, 2, 10), blue);
        triangle(6, true);
        break;
    case 4:
        triangle(5, true);
        break;
    case 5:
        triangle(6, false);
        break;
    case 6:
        triangle(5, false);
        p.fillRect(QRectF(11, 3, 2, 10), blue);
        break;
    case 7:
    case 8:
        page(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(170, 170, 170));
        p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1, 1);
        if (index == 7) {
            p.setPen(QPen(blue, 1.5));
            p.drawLine(QPointF(9, 14), QPointF(15, 8));
        }
        break;
    case 9:
    case 10:
        p.setPen(QPen(ink, 1));
        p.setBrush(index == 9 ? QColor(230, 180, 60) : blue);
        p.drawRect(QRectF(2.5, 3.5, 11, 10));
        break;
    default:
        break;
    }
    return QIcon(pixmap);
}

} // namespace

// -- The page image --

TPageImage::TPageImage(QWidget *parent)
    : QWidget(parent)
{
}

void TPageImage::setPage(std::optional<QPicture> page, int pageNumber)
{
    m_page = std::move(page);
    m_pageNumber = m_page ? pageNumber : 0;
    update();
}

void TPageImage::paintEvent(QPaintEvent *)
{
    if (!m_page)
        return;
    QPainter p(this);
    const int w = width();
    const int h = height();
    p.setPen(Qt::white);
    p.setBrush(Qt::white);
    p.drawRect(QRect(QPoint(1, 1), QPoint(w - 3, h - 3)));
    // The recording stretched over the whole image; playing it already scales it to this
    // device's resolution, so only the zoom is applied here.
    const QRect bounds = m_page->boundingRect();
    if (bounds.width() > 0 && bounds.height() > 0) {
        p.save();
        p.scale(qreal(w) / bounds.width(), qreal(h) / bounds.height());
        m_page->play(&p);
        p.restore();
    }
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygon { QPoint(0, 0), QPoint(0, h - 3), QPoint(w - 3, h - 3), QPoint(w - 3, 0), QPoint(0, 0) });
    p.fillRect(QRect(QPoint(w - 2, 2), QPoint(w - 1, h - 1)), Qt::black);
    p.fillRect(QRect(QPoint(2, h - 2), QPoint(w - 1, h - 1)), Qt::black);
    emit pagePainted(m_pageNumber);
}

// -- The page view --

TPageView::TPageView(QWidget *parent)
    : QScrollArea(parent)
    , m_canvas(new QWidget)
    , m_image(new TPageImage(m_canvas))
{
    setWidgetResizable(false);
    setWidget(m_canvas);
    setBackgroundRole(QPalette::Dark);
    // The page moves while a scroll bar's thumb is dragged.
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
}

TPageView::~TPageView()
{
    if (m_output && m_output->client() == this) {
        m_output->setShowingPreview(false);
        m_output->setClient(nullptr);
    }
}

void TPageView::setOutput(TReportOutput *output)
{
    if (m_output && m_output->client() == this) {
        m_output->setShowingPreview(false);
        m_output->setClient(nullptr);
    }
    m_output = output;
    if (output) {
        output->setClient(this);
        output->setShowingPreview(true);
    }
    // Page 1, read once: empty until the run has made it.
    m_currentPage = 1;
    m_image->setPage(fetchPage(1), 1);
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    update();
}

std::optional<QPicture> TPageView::fetchPage(int n)
{
    if (!m_output)
        return std::nullopt;
    try {
        return m_output->page(n);
    } catch (const AppError &error) {
        // The stored pages could not be read back: the page stays empty.
        MessageBox::showAppError(window(), error.text());
        return std::nullopt;
    }
}

QSize TPageView::pageSize() const
{
    if (!m_output)
        return { 794, 1123 };
    return { static_cast<int>(ReportUnits::roundHalfEven(m_output->pageWidth() * m_output->horizontalFactor())),
             static_cast<int>(ReportUnits::roundHalfEven(m_output->pageLength() * m_output->verticalFactor())) };
}

void TPageView::goToPage(int n)
{
    if ((n == m_currentPage && m_image->hasPage()) || n <= 0 || !m_output || n > m_output->pageCount())
        return;
    m_image->setPage(fetchPage(n), n);
    m_currentPage = n;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

void TPageView::setZoom(int zoom)
{
    if (zoom < MinimumZoom || zoom > MaximumZoom)
        return;
    m_mode = ZoomMode::Other;
    m_zoom = zoom;
    layOutImage();
    emit zoomChanged(zoom);
}

void TPageView::zoomToFitPage()
{
    const QSize page = pageSize();
    const QSize view = viewport()->size();
    const int byWidth = static_cast<int>(ReportUnits::roundHalfEven(double(view.width()) / page.width() * 95));
    const int byHeight = static_cast<int>(ReportUnits::roundHalfEven(double(view.height()) / page.height() * 95));
    setZoom(qMin(byWidth, byHeight));
    m_mode = ZoomMode::FitPage;
}

void TPageView::zoomToWidth()
{
    const int zoom = static_cast<int>(ReportUnits::roundHalfEven(double(viewport()->width()) / pageSize().width() * 90));
    setZoom(zoom);
    layOutImage();
    m_mode = ZoomMode::FitWidth;
}

void TPageView::layOutImage()
{
    const double horizontal = m_output ? m_output->horizontalFactor() : 96 / ReportUnits::TenthsPerInch;
    const double vertical = m_output ? m_output->verticalFactor() : 96 / ReportUnits::TenthsPerInch;
    const double paperWidth = m_output ? m_output->pageWidth() : 2100;
    const double paperLength = m_output ? m_output->pageLength() : 2970;
    const int width = static_cast<int>(ReportUnits::roundHalfEven(paperWidth * m_zoom / 100.0 * horizontal)) + 4;
    const int height = static_cast<int>(ReportUnits::roundHalfEven(paperLength * m_zoom / 100.0 * vertical)) + 4;
    const QSize view = viewport()->size();
    const int left = width < view.width() ? (view.width() - width) / 2 : 0;
    const int top = height < view.height() ? (view.height() - height) / 2 : 0;
    m_canvas->resize(qMax(view.width(), width), qMax(view.height(), height));
    m_image->setGeometry(left, top, width, height);
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

void TPageView::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    if (m_mode == ZoomMode::FitPage)
        zoomToFitPage();
    else if (m_mode == ZoomMode::FitWidth)
        zoomToWidth();
    layOutImage();
}

bool TPageView::event(QEvent *event)
{
    if (event->type() == ReportNotice::PagesAvailable) {
        const int count = static_cast<ReportNotice *>(event)->value;
        // The first page shows, fitted to the width, as soon as it is complete.
        if (count == m_currentPage && !m_image->hasPage() && m_output && m_output->availablePages() >= count) {
            zoomToWidth();
            m_image->setPage(fetchPage(m_currentPage), m_currentPage);
        }
        emit pagesAvailable(count);
        return true;
    }
    if (event->type() == ReportNotice::Progress) {
        emit progress(static_cast<ReportNotice *>(event)->value);
        return true;
    }
    return QScrollArea::event(event);
}

// -- The window --

TPreviewWindow::TPreviewWindow(TReportOutput *output, QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf16(u"プレビュー"));
    resize(652, 579);

    auto *bar = addToolBar(QString::fromUtf16(u"プレビュー"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setIconSize(QSize(16, 16));
    auto button = [&](const char *name, const char16_t *hint, int icon, bool checkable) {
        auto *b = new QToolButton(bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QString::fromUtf16(hint));
        b->setAccessibleName(QString::fromUtf16(hint));
        b->setIcon(previewIcon(icon));
        b->setAutoRaise(true);
        b->setCheckable(checkable);
        b->setAutoExclusive(checkable);
        b->setFocusPolicy(Qt::NoFocus);
        bar->addWidget(b);
        return b;
    };
    ZoomFit = button("ZoomFit", u"ページ全体を表示", 0, true);
    Zoom100 = button("Zoom100", u"100%", 1, true);
    ZoomToWidth = button("ZoomToWidth", u"幅を基準に表示", 2, true);
    bar->addSeparator();
    FirstPage = button("FirstPage", u"最初のページ", 3, false);
    PreviousPage = button("PreviousPage", u"前のページ", 4, false);
    ToolButton2 = button("ToolButton2", u"次のページ", 5, false);
    LastPage = button("LastPage", u"最後のページ", 6, false);
    bar->addSeparator();
    PrintSetup = button("PrintSetup", u"プリンタの設定", 7, false);
    Print = button("Print", u"印刷", 8, false);
    bar->addSeparator();
    SaveReport = button("SaveReport", u"レポートの保存", 10, false);
    LoadReport = button("LoadReport", u"レポート読み込み", 9, false);
    bar->addSeparator();
    auto *exit = new QPushButton(QString::fromUtf16(u"閉じる(&C)"), bar);
    exit->setObjectName(QStringLiteral("ExitButton"));
    exit->setFixedSize(75, 22);
    bar->addWidget(exit);
    PrintSetup->setEnabled(false);
    Print->setEnabled(false);

    connect(ZoomFit, &QToolButton::clicked, this, &TPreviewWindow::ZoomToFitClick);
    connect(Zoom100, &QToolButton::clicked, this, &TPreviewWindow::ZoomTo100Click);
    connect(ZoomToWidth, &QToolButton::clicked, this, &TPreviewWindow::ZoomToWidthClick);
    connect(FirstPage, &QToolButton::clicked, this, &TPreviewWindow::FirstPageClick);
    connect(PreviousPage, &QToolButton::clicked, this, &TPreviewWindow::PrevPageClick);
    connect(ToolButton2, &QToolButton::clicked, this, &TPreviewWindow::NextPageClick);
    connect(LastPage, &QToolButton::clicked, this, &TPreviewWindow::LastPageClick);
    connect(Print, &QToolButton::clicked, this, &TPreviewWindow::PrintClick);
    connect(exit, &QPushButton::clicked, this, &TPreviewWindow::ExitClick);

    PageView = new TPageView(this);
    PageView->setObjectName(QStringLiteral("PageView"));
    setCentralWidget(PageView);
    connect(PageView, &TPageView::pagesAvailable, this, &TPreviewWindow::pagesAvailable);
    connect(PageView, &TPageView::progress, this, &TPreviewWindow::progress);
    connect(PageView, &TPageView::zoomChanged, this, &TPreviewWindow::showZoom);

    QStatusBar *status = statusBar();
    status->setObjectName(QStringLiteral("StatusBar"));
    const int widths[2] = { 40, 50 };
    const char16_t *texts[2] = { u"", u"ページ" };
    for (int i = 0; i < 2; ++i) {
        auto *panel = new QLabel(QString::fromUtf16(texts[i]), status);
        panel->setMinimumWidth(widths[i]);
        panel->setAlignment((i == 0 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        status->addWidget(panel);
        StatusPanels[i] = panel;
    }

    // The window sees the page keys before its controls do, whichever has the focus.
    qApp->installEventFilter(this);

    setWindowState(windowState() | Qt::WindowMaximized);
    PageView->setOutput(output);
    if (output && !output->title.isEmpty())
        setWindowTitle(output->title);
    ZoomToWidth->setChecked(true);
    PageView->zoomToWidth();
    showZoom();
    if (output && output->status() == TReportOutput::Status::Finished)
        Print->setEnabled(true);
    showPageStatus();
}

void TPreviewWindow::showPageStatus()
{
    const int count = PageView->output() ? PageView->output()->pageCount() : 0;
    StatusPanels[1]->setText(QString::fromUtf16(u"ページ") + u' ' + QString::number(PageView->currentPage()) + u' ' + u'/'
                             + u' ' + QString::number(count));
}

void TPreviewWindow::hideReportFileButtons()
{
    auto *bar = findChild<QToolBar *>(QStringLiteral("ToolBar1"));
    for (QToolButton *hidden : { PrintSetup, SaveReport, LoadReport }) {
        for (QAction *action : bar->actions()) {
            if (bar->widgetForAction(action) == hidden)
                action->setVisible(false);
        }
    }
}

void TPreviewWindow::ZoomToFitClick()
{
    QCoreApplication::processEvents();
    PageView->zoomToFitPage();
}

void TPreviewWindow::ZoomTo100Click()
{
    QCoreApplication::processEvents();
    PageView->setZoom(100);
}

void TPreviewWindow::ZoomToWidthClick()
{
    QCoreApplication::processEvents();
    PageView->zoomToWidth();
}

void TPreviewWindow::FirstPageClick()
{
    PageView->goToPage(1);
    showPageStatus();
}

void TPreviewWindow::PrevPageClick()
{
    PageView->goToPage(PageView->currentPage() - 1);
    showPageStatus();
}

void TPreviewWindow::NextPageClick()
{
    PageView->goToPage(PageView->currentPage() + 1);
    showPageStatus();
}

void TPreviewWindow::LastPageClick()
{
    if (PageView->output())
        PageView->goToPage(PageView->output()->pageCount());
    showPageStatus();
}

void TPreviewWindow::PrintClick()
{
    if (PageView->output())
        PageView->output()->print();
}

void TPreviewWindow::ExitClick()
{
    close();
}

bool TPreviewWindow::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers held = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool exactlyCtrl = held == Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Escape:
        ExitClick();
        return true;
    case Qt::Key_PageUp:
        exactlyCtrl ? FirstPageClick() : PrevPageClick();
        return true;
    case Qt::Key_PageDown:
        exactlyCtrl ? LastPageClick() : NextPageClick();
        return true;
    case Qt::Key_Home:
        FirstPageClick();
        return true;
    case Qt::Key_End:
        LastPageClick();
        return true;
    default:
        return false;
    }
}

TPreviewWindow::~TPreviewWindow()
{
    qApp->removeEventFilter(this);
}

bool TPreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == this) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (FormKeyDown(key->key(), key->modifiers()))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TPreviewWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    PageView->layOutImage();
}

void TPreviewWindow::pagesAvailable(int)
{
    showPageStatus();
    if (PageView->output() && PageView->output()->status() == TReportOutput::Status::Finished)
        Print->setEnabled(true);
}

void TPreviewWindow::showZoom()
{
    if (!m_showingProgress)
        StatusPanels[0]->setText(QString::number(PageView->zoom()) + u'%');
}

// A run that reports its progress shows it in the zoom's place until it is done.
void TPreviewWindow::progress(int percent)
{
    if (percent == 0 || percent == 100) {
        m_showingProgress = false;
        showZoom();
        return;
    }
    if (percent >= m_lastProgress + 5) {
        m_showingProgress = true;
        StatusPanels[0]->setText(QString::number(percent) + u'%');
        m_lastProgress = percent;
    }
}

void TPreviewWindow::closeEvent(QCloseEvent *event)
{
    // The output is told its preview closes; the report then lets it go, store and all.
    if (!m_closed) {
        m_closed = true;
        if (TReportOutput *output = PageView->output())
            output->closePreview();
    }
    QMainWindow::closeEvent(event);
}
