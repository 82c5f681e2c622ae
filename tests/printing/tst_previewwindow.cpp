#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "printing/tpreparedpages.h"
#include "printing/tpreviewwindow.h"
#include "printing/tprintreport2.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(u"pdftotext"_s, { u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s });
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString lines(int count, const QString &pattern = u"第%1行の文章です。"_s)
{
    QString body;
    for (int i = 1; i <= count; ++i)
        body += pattern.arg(i) + u'\n';
    return body;
}

int expectedImageWidth(const TPageView &view, int zoom)
{
    return qRound(2100.0 * zoom / 100.0 * view.output()->horizontalFactor()) + 4;
}

} // namespace

class tst_PreviewWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pageImagePainting();
    void zoomLimits();
    void onePageReport();
    void pageKeysAndButtons();
    void resizingKeepsTheZoomMode();
    void statusShowsTheZoom();
    void closingDuringTheRunCancelsIt();
    void editingDuringTheRunLeavesItsPages();
    void temporaryFileGoesWithTheWindow();
    void printingFromThePreviewPrintsTheEditedText();
    void secondCommandAndEndingTheProgram();

private:
    // Runs the preview command. `steps` runs inside it as soon as `ready` holds for the open
    // window (by default: all pages made); the window is then closed unless the steps did.
    // Returns whether the command returned.
    bool preview(const std::function<void(TPreviewWindow &)> &steps,
                 const std::function<bool(TPreviewWindow &)> &ready = {});
    void setText(const QString &text);

    TPenForm1 *m_window = nullptr;
    TPrintReport2 *m_report = nullptr;
    QTemporaryDir m_dir;
    QString m_pdf;
};

void tst_PreviewWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void tst_PreviewWindow::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    MessageBox::setSink([](QWidget *, const MessageBox::Request &) { return QMessageBox::Ok; });
    m_pdf = m_dir.filePath(u"report.pdf"_s);
    QFile::remove(m_pdf);
    m_window = new TPenForm1;
    m_report = new TPrintReport2;
    m_report->setParentRichEdit(&m_window->RichEdit1->richDocument());
    // A PDF file stands in for the system's default printer.
    m_report->setPrinter(true, [this](const QString &title) {
        auto writer = std::make_unique<QPdfWriter>(m_pdf);
        writer->setTitle(title);
        writer->setResolution(300);
        ReportPrinter printer;
        printer.device = std::move(writer);
        return printer;
    });
    m_window->setPrintReport(m_report);
    m_window->show();
}

void tst_PreviewWindow::cleanup()
{
    delete m_window;
    delete m_report;
    MessageBox::setSink({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_PreviewWindow::setText(const QString &text)
{
    m_window->RichEdit1->selectAll();
    m_window->RichEdit1->replaceSelection(text);
}

bool tst_PreviewWindow::preview(const std::function<void(TPreviewWindow &)> &steps,
                                const std::function<bool(TPreviewWindow &)> &ready)
{
    bool done = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(1);
    connect(&poll, &QTimer::timeout, this, [&] {
        TPreviewWindow *window = m_window->previewWindow();
        if (done || !window || !window->isVisible())
            return;
        const bool isReady = ready ? ready(*window) : window->Print->isEnabled();
        if (!isReady && clock.elapsed() < 30000)
            return;
        done = true;
        poll.stop();
        QVERIFY2(isReady, "the preview never got ready");
        QPointer<TPreviewWindow> guard(window);
        steps(*window);
        if (guard)
            guard->close();
    });
    poll.start();
    bool returned = false;
    QTimer::singleShot(0, this, [&] {
        m_window->FilePureviewExecute();
        returned = true;
    });
    static_cast<void>(QTest::qWaitFor([&] { return returned; }, 60000));
    // What the closing let go of is freed with the deferred deletions.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return returned && done;
}

void tst_PreviewWindow::pageImagePainting()
{
    TPageImage image;
    image.resize(120, 170);
    image.setAutoFillBackground(true);
    QPalette palette = image.palette();
    palette.setColor(QPalette::Window, Qt::blue);
    image.setPalette(palette);
    // Nothing is drawn without a page.
    QCOMPARE(image.grab().toImage().pixelColor(60, 85), QColor(Qt::blue));

    QPicture page;
    page.setBoundingRect(QRect(0, 0, 794, 1123));
    {
        QPainter p(&page);
        p.fillRect(QRect(0, 500, 794, 123), Qt::red);
    }
    image.setPage(page, 1);
    const QImage shot = image.grab().toImage();
    const int w = 120, h = 170;
    QCOMPARE(shot.pixelColor(0, 0), QColor(Qt::black)); // outline
    QCOMPARE(shot.pixelColor(w - 3, h / 4), QColor(Qt::black));
    QCOMPARE(shot.pixelColor(w - 1, h / 4), QColor(Qt::black)); // shadow
    QCOMPARE(shot.pixelColor(w / 2, h - 1), QColor(Qt::black));
    QCOMPARE(shot.pixelColor(w - 1, 0), QColor(Qt::blue)); // the shadow starts 2 pixels down
    QCOMPARE(shot.pixelColor(w / 2, 10), QColor(Qt::white)); // the paper
    QCOMPARE(shot.pixelColor(w / 2, h * 550 / 1123), QColor(Qt::red)); // the recording, stretched
}

void tst_PreviewWindow::zoomLimits()
{
    TPageView view;
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setZoom(50);
    view.setZoom(1);
    QCOMPARE(view.zoom(), 50);
    view.setZoom(2001);
    QCOMPARE(view.zoom(), 50);
    view.setZoom(2);
    QCOMPARE(view.zoom(), 2);
    view.setZoom(2000);
    QCOMPARE(view.zoom(), 2000);
    // A view too small for even 2%: the zoom stays where it was.
    view.setZoom(50);
    view.resize(12, 12);
    QTRY_VERIFY(view.viewport()->height() < 12);
    view.zoomToFitPage();
    QCOMPARE(view.zoom(), 50);
    QCOMPARE(view.zoomMode(), TPageView::ZoomMode::FitPage);
}

void tst_PreviewWindow::onePageReport()
{
    setText(u"一段落だけの短い文書です。"_s);
    const QString caption = m_window->windowTitle();
    const bool returned = preview([&](TPreviewWindow &w) {
        QCOMPARE(w.windowTitle(), caption);
        QCOMPARE(w.StatusPanels[1]->text(), u"ページ 1 / 1"_s);
        QCOMPARE(w.StatusPanels[0]->text(), u"%1%"_s.arg(w.PageView->zoom()));
        QVERIFY(w.Print->isEnabled());
        QVERIFY(w.ZoomToWidth->isChecked());
        QVERIFY(!w.SaveReport->isVisible() && !w.LoadReport->isVisible() && !w.PrintSetup->isVisible());
        QVERIFY(w.PageView->image()->hasPage());
        for (QToolButton *button : { w.FirstPage, w.PreviousPage, w.ToolButton2, w.LastPage }) {
            button->click();
            QCOMPARE(w.PageView->currentPage(), 1);
            QVERIFY(w.PageView->image()->hasPage());
        }
        for (const int key : { Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_End }) {
            QTest::keyClick(w.PageView, Qt::Key(key));
            QTest::keyClick(w.PageView, Qt::Key(key), Qt::ControlModifier);
            QCOMPARE(w.PageView->currentPage(), 1);
        }
        QCOMPARE(w.StatusPanels[1]->text(), u"ページ 1 / 1"_s);
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    QVERIFY(returned);
    QVERIFY(!m_window->previewWindow());
    QVERIFY(!m_report->output());
}

void tst_PreviewWindow::pageKeysAndButtons()
{
    setText(lines(400));
    const bool returned = preview([&](TPreviewWindow &w) {
        const int last = w.PageView->output()->pageCount();
        QVERIFY(last >= 4);
        TPageView *view = w.PageView;
        QTest::keyClick(view, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(view->currentPage(), last);
        QCOMPARE(w.StatusPanels[1]->text(), u"ページ %1 / %1"_s.arg(last));
        QTest::keyClick(view, Qt::Key_PageDown); // beyond the end: nothing
        QCOMPARE(view->currentPage(), last);
        QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(view->currentPage(), 1);
        // Not exactly Ctrl: one page on.
        QTest::keyClick(view, Qt::Key_PageDown, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(view->currentPage(), 2);
        QTest::keyClick(view, Qt::Key_PageDown, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(view->currentPage(), 3);
        QTest::keyClick(view, Qt::Key_PageUp);
        QCOMPARE(view->currentPage(), 2);
        QTest::keyClick(view, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(view->currentPage(), 1);
        QTest::keyClick(view, Qt::Key_End);
        QCOMPARE(view->currentPage(), last);
        // The keys reach the window whichever of its controls has the focus.
        QWidget *exitButton = w.findChild<QWidget *>(u"ExitButton"_s);
        exitButton->setFocus();
        QTest::keyClick(exitButton, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(view->currentPage(), 1);
        w.ToolButton2->click();
        QCOMPARE(view->currentPage(), 2);
        QCOMPARE(w.StatusPanels[1]->text(), u"ページ 2 / %1"_s.arg(last));
        // A page move starts the page at its top-left.
        view->setZoom(300);
        view->verticalScrollBar()->setValue(200);
        view->horizontalScrollBar()->setValue(100);
        w.LastPage->click();
        QCOMPARE(view->verticalScrollBar()->value(), 0);
        QCOMPARE(view->horizontalScrollBar()->value(), 0);
        w.PreviousPage->click();
        QCOMPARE(view->currentPage(), last - 1);
        w.FirstPage->click();
        QCOMPARE(view->currentPage(), 1);
    });
    QVERIFY(returned);
}

void tst_PreviewWindow::resizingKeepsTheZoomMode()
{
    setText(lines(20));
    const bool returned = preview([&](TPreviewWindow &w) {
        TPageView *view = w.PageView;
        w.showNormal();
        auto resizeTo = [&](int width, int height) {
            w.resize(width, height);
            QTRY_COMPARE(w.size(), QSize(width, height));
            QCoreApplication::processEvents();
        };
        resizeTo(700, 560);
        const int pageWidth = view->pageSize().width();
        int zoom = qRound(double(view->viewport()->width()) / pageWidth * 90);
        QCOMPARE(view->zoomMode(), TPageView::ZoomMode::FitWidth);
        QCOMPARE(view->zoom(), zoom);
        QCOMPARE(view->image()->width(), expectedImageWidth(*view, zoom));
        const int narrower = view->viewport()->width();
        resizeTo(520, 560);
        QVERIFY(view->viewport()->width() < narrower);
        zoom = qRound(double(view->viewport()->width()) / pageWidth * 90);
        QCOMPARE(view->zoom(), zoom);
        QCOMPARE(view->image()->width(), expectedImageWidth(*view, zoom));

        // After 100 the zoom stays on resizing and the page is centred in a wider view.
        w.Zoom100->click();
        QCOMPARE(view->zoom(), 100);
        QCOMPARE(view->zoomMode(), TPageView::ZoomMode::Other);
        resizeTo(1100, 700);
        QCOMPARE(view->zoom(), 100);
        const int imageWidth = expectedImageWidth(*view, 100);
        QCOMPARE(view->image()->width(), imageWidth);
        QVERIFY(view->viewport()->width() > imageWidth);
        QCOMPARE(view->image()->x(), (view->viewport()->width() - imageWidth) / 2);
        QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
        // Taller than the view: it starts at the top.
        QVERIFY(view->image()->height() > view->viewport()->height());
        QCOMPARE(view->image()->y(), 0);
        QCOMPARE(view->verticalScrollBar()->value(), 0);

        // The whole page fits the view.
        w.ZoomFit->click();
        QCOMPARE(view->zoomMode(), TPageView::ZoomMode::FitPage);
        QVERIFY(view->image()->height() <= view->viewport()->height());
        QVERIFY(view->image()->width() <= view->viewport()->width());
    });
    QVERIFY(returned);
}

// The status bar's first panel shows the zoom, whichever way it changed.
void tst_PreviewWindow::statusShowsTheZoom()
{
    setText(lines(20));
    const bool returned = preview([&](TPreviewWindow &w) {
        TPageView *view = w.PageView;
        QLabel *zoomPanel = w.StatusPanels[0];
        const auto shown = [&] { return zoomPanel->text(); };
        const auto percent = [](int zoom) { return u"%1%"_s.arg(zoom); };
        // Fitted to the width as the first page came.
        QVERIFY(view->zoom() != 100);
        QCOMPARE(shown(), percent(view->zoom()));
        QTest::mouseClick(w.Zoom100, Qt::LeftButton);
        QCOMPARE(view->zoom(), 100);
        QCOMPARE(shown(), u"100%"_s);
        QTest::mouseClick(w.ZoomFit, Qt::LeftButton);
        QVERIFY(view->zoom() < 100);
        QCOMPARE(shown(), percent(view->zoom()));
        // The fit is made again for a new size: the panel follows.
        w.showNormal();
        w.resize(600, 900);
        QTRY_COMPARE(w.size(), QSize(600, 900));
        QTRY_COMPARE(shown(), percent(view->zoom()));
        QTest::mouseClick(w.ZoomToWidth, Qt::LeftButton);
        QCOMPARE(view->zoomMode(), TPageView::ZoomMode::FitWidth);
        QCOMPARE(shown(), percent(view->zoom()));
        // Page keys move pages, not the zoom.
        QTest::keyClick(view, Qt::Key_PageDown);
        QCOMPARE(shown(), percent(view->zoom()));
        // A run that told its progress would show it there until done.
        QCoreApplication::postEvent(view, new ReportNotice(ReportNotice::Progress, 40));
        QTRY_COMPARE(shown(), u"40%"_s);
        QTest::mouseClick(w.Zoom100, Qt::LeftButton);
        QCOMPARE(shown(), u"40%"_s);
        QCoreApplication::postEvent(view, new ReportNotice(ReportNotice::Progress, 100));
        QTRY_COMPARE(shown(), u"100%"_s);
        QTest::mouseClick(w.ZoomFit, Qt::LeftButton);
        QCOMPARE(shown(), percent(view->zoom()));
    });
    QVERIFY(returned);
}

void tst_PreviewWindow::closingDuringTheRunCancelsIt()
{
    setText(lines(3000));
    int pagesWhenClosed = 0;
    const bool returned = preview(
        [&](TPreviewWindow &w) {
            QVERIFY(!w.Print->isEnabled());
            pagesWhenClosed = w.PageView->output()->pageCount();
            w.close();
        },
        [](TPreviewWindow &w) { return w.PageView->output() && w.PageView->output()->pageCount() >= 2; });
    QVERIFY(returned);
    QVERIFY(pagesWhenClosed >= 2);
    QVERIFY(!m_report->isBusy());
    QVERIFY(!m_report->output());
    QVERIFY(!m_window->previewWindow());
    // The report is free for the next run, which goes to the end.
    setText(lines(10));
    QVERIFY(preview([](TPreviewWindow &w) { QCOMPARE(w.StatusPanels[1]->text(), u"ページ 1 / 1"_s); }));
}

void tst_PreviewWindow::editingDuringTheRunLeavesItsPages()
{
    const QString text = lines(3000);
    setText(text);
    int pages = 0;
    QVERIFY(preview([&](TPreviewWindow &w) { pages = w.PageView->output()->pageCount(); }));
    QVERIFY(pages > 20);

    // The user empties the document while the pages are being made: the run goes on with the
    // text it began with.
    setText(text);
    QTimer edit;
    edit.setInterval(1);
    connect(&edit, &QTimer::timeout, this, [&] {
        TPreviewWindow *w = m_window->previewWindow();
        if (w && w->PageView->output() && w->PageView->output()->pageCount() >= 3) {
            edit.stop();
            QVERIFY(m_report->isBusy());
            setText(u"短い"_s);
        }
    });
    edit.start();
    QVERIFY(preview([&](TPreviewWindow &w) {
        QVERIFY(!edit.isActive());
        QCOMPARE(w.PageView->output()->pageCount(), pages);
        w.LastPage->click();
        QVERIFY(w.PageView->image()->hasPage());
    }));
    QCOMPARE(m_window->RichEdit1->richDocument().plainText(), u"短い"_s);
}

void tst_PreviewWindow::temporaryFileGoesWithTheWindow()
{
    setText(lines(1500, u"<%1> 春の遠足は四月二十四日、行き先はみどりの森公園です。"_s));
    QString path;
    const bool returned = preview([&](TPreviewWindow &w) {
        const TPreparedPages *pages = w.PageView->output()->preparedPages();
        QVERIFY(pages->isSpilled());
        path = pages->temporaryFilePath();
        QVERIFY(QFile::exists(path));
        // Pages come back from the file.
        w.LastPage->click();
        QVERIFY(w.PageView->image()->hasPage());
    });
    QVERIFY(returned);
    QVERIFY(!path.isEmpty());
    QVERIFY(!QFile::exists(path));
}

void tst_PreviewWindow::printingFromThePreviewPrintsTheEditedText()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("poppler-utils are not installed");
    setText(u"編集前の文章です。"_s);
    const bool returned = preview([&](TPreviewWindow &w) {
        const QImage before = w.PageView->image()->grab().toImage();
        // The main window stays usable while the preview is open.
        setText(u"編集後の文章です。"_s);
        w.PrintClick();
        QTRY_VERIFY(QFile::exists(m_pdf));
        QTRY_VERIFY(!m_report->isBusy());
        QCoreApplication::processEvents();
        QVERIFY(w.isVisible());
        QCOMPARE(w.PageView->image()->grab().toImage(), before);
        w.LastPage->click();
        w.FirstPage->click();
        QCOMPARE(w.PageView->image()->grab().toImage(), before);
    });
    QVERIFY(returned);
    const QString printed = pdfText(m_pdf);
    QVERIFY2(printed.contains(u"編集後の文章です。"_s), qPrintable(printed));
    QVERIFY(!printed.contains(u"編集前"_s));
    QVERIFY(printed.simplified().remove(u' ').contains(u"-1-"_s)); // the report's own footer
}

void tst_PreviewWindow::secondCommandAndEndingTheProgram()
{
    setText(lines(30));
    const bool returned = preview([&](TPreviewWindow &w) {
        TReportOutput *output = m_report->output();
        // A second command only brings the open preview to the front.
        m_window->FilePureviewExecute();
        QCOMPARE(m_window->previewWindow(), &w);
        QCOMPARE(m_report->output(), output);
        QVERIFY(w.isVisible());
        // Ending the program takes the preview with it; the waiting command returns.
        m_window->RichEdit1->setModified(false);
        m_window->close();
        QVERIFY(!w.isVisible());
    });
    QVERIFY(returned);
    QVERIFY(!m_report->output());
}

QTEST_MAIN(tst_PreviewWindow)
#include "tst_previewwindow.moc"
