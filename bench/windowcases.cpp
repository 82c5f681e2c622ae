#include "windowcases.h"

#include "corpus.h"
#include "harness.h"
#include "printcases.h"

#include "app/controls.h"
#include "app/fontsubstitutes.h"
#include "app/messagebox.h"
#include "app/messages.h"
#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/editordocumentlayout.h"
#include "document/richedit.h"
#include "document/sjistext.h"
#include "editing/statusdisplay.h"
#include "printing/tpreparedpages.h"
#include "printing/tpreviewwindow.h"
#include "printing/tprintreport2.h"
#include "printing/treportoutput.h"
#include "tools/replacedialog.h"
#include "tools/tform4.h"

#include <QComboBox>
#include <QDateEdit>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QGraphicsView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QMainWindow>
#include <QPageSize>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

using Harness::EditorWindow;
using Harness::report;

using Harness::msSince;

namespace {

std::string key(const char *prefix, const char *place, const char *suffix)
{
    return std::string(prefix) + place + suffix;
}

// The main window reads its placement from a settings file beside the running executable (here
// this benchmark) and writes it when it closes. Whatever such a file held before a case, it
// holds afterwards; one the case made is removed.
class SettingsKeeper {
public:
    SettingsKeeper()
        : m_path(settingsFilePath(QCoreApplication::applicationFilePath()))
    {
        m_existed = QFile::exists(m_path);
        QFile file(m_path);
        m_read = m_existed && file.open(QIODevice::ReadOnly);
        if (m_read)
            m_bytes = file.readAll();
    }
    ~SettingsKeeper() { restore(); }
    SettingsKeeper(const SettingsKeeper &) = delete;
    SettingsKeeper &operator=(const SettingsKeeper &) = delete;

    // Called explicitly as well: the cases end with _Exit, which runs no destructor.
    void restore()
    {
        if (!m_existed) {
            QFile::remove(m_path);
            return;
        }
        if (!m_read)
            return; // one that could not be read could not have been written either
        QFile file(m_path);
        if (file.open(QIODevice::ReadOnly) && file.readAll() == m_bytes)
            return;
        file.close();
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(m_bytes);
    }

private:
    QString m_path;
    QByteArray m_bytes;
    bool m_existed = false;
    bool m_read = false;
};

// The moment a widget first paints (once the condition, if any, holds), on a clock started
// elsewhere.
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget *target, const QElapsedTimer &clock, std::function<bool()> condition = {})
        : m_target(target)
        , m_clock(clock)
        , m_condition(std::move(condition))
    {
        target->installEventFilter(this);
    }
    double at() const { return m_at; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_at < 0 && watched == m_target && event->type() == QEvent::Paint && (!m_condition || m_condition()))
            m_at = msSince(m_clock);
        return false;
    }

private:
    QWidget *m_target;
    const QElapsedTimer &m_clock;
    std::function<bool()> m_condition;
    double m_at = -1;
};

// The program's own start (app/main.cpp) up to its event loop.
void prepareApplication(QTranslator &translator)
{
    QApplication::setApplicationName(QStringLiteral("Penloft"));
    QApplication::setApplicationDisplayName(QStringLiteral("Penloft"));
    QApplication::setDesktopFileName(QStringLiteral("penloft"));
    if (translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&translator);
    installFontSubstitutes();
}

// ---- start-up ----

// The baseline: about the least a Qt Widgets program does to show a window the program's size.
int startQt(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(Harness::WindowWidth, Harness::WindowHeight);
    Harness::PaintWatch watch(&window);
    window.show();
    return Harness::processUntilPainted(watch, 10000) ? 0 : 1;
}

// The program's start as app/main.cpp makes it, each step timed from the top of this function,
// for the details beside the whole process's figure (which the parent measures).
int startWindow(int argc, char **argv)
{
    Harness::quietMessages();
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    QTranslator translator;
    prepareApplication(translator);
    const double applicationMs = msSince(clock);

    SettingsKeeper keep;
    auto *window = new TPenForm1;
    const double constructedMs = msSince(clock);
    FirstPaint editorPaint(window->RichEdit1->viewport(), clock);
    double splashGoneMs = -1;
    QObject::connect(window->splash(), &QObject::destroyed, &app, [&] {
        splashGoneMs = msSince(clock);
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    });
    window->show();
    window->FormShow({});
    const double shownMs = msSince(clock);
    QApplication::exec();
    const double quitMs = msSince(clock);
    const bool paintedBeforeQuit = editorPaint.at() >= 0;
    if (!paintedBeforeQuit) {
        // Only to learn when the editor would have appeared; not part of the program's start.
        QElapsedTimer wait;
        wait.start();
        while (editorPaint.at() < 0 && wait.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    QElapsedTimer closing;
    closing.start();
    window->FormDestroy();
    delete window;
    const double closedMs = msSince(closing);
    keep.restore();

    report("application_ms", applicationMs);
    report("constructed_ms", constructedMs);
    report("shown_ms", shownMs);
    report("splash_gone_ms", splashGoneMs);
    report("quit_ms", quitMs);
    report("editor_painted_ms", editorPaint.at());
    report("painted_before_quit", paintedBeforeQuit ? 1 : 0);
    report("closed_ms", closedMs);
    report("rss_kb", static_cast<double>(Harness::peakRssKb()));
    std::fflush(stdout);
    return 0;
}

// ---- the main window with a document ----

// The main window at the size it opens with (a settings file from an earlier run may have
// placed it otherwise: the bare baseline gets that size too), shown, its splash gone.
EditorWindow showMainWindow(TPenForm1 *&form)
{
    auto owned = std::make_unique<TPenForm1>();
    form = owned.get();
    form->move(0, 0);
    form->resize(Harness::WindowWidth, Harness::WindowHeight);
    EditorWindow w;
    w.editor = form->RichEdit1;
    w.watch = std::make_unique<Harness::PaintWatch>(form->RichEdit1->viewport());
    w.window = std::move(owned);
    Harness::show(w);
    // The splash asked to be deleted before any event loop ran; the program's loop deletes it
    // at once, and these cases spin no loop of their own that would.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Harness::drain();
    return w;
}

// Opens the input as the program's Open command does, then lays the whole document out, so
// that no figure includes layout the idle time would have done anyway.
void openInWindow(TPenForm1 &form, EditorWindow &w, const QString &path)
{
    w.watch->reset();
    QElapsedTimer timer;
    timer.start();
    form.OpenFile(path);
    Harness::processUntilPainted(*w.watch);
    report("open_ms", msSince(timer));
    timer.restart();
    form.RichEdit1->lineCount();
    report("layout_ms", msSince(timer));
    Harness::drain();
}

// Kept out of line under a name of its own for a profiler
// (valgrind --tool=callgrind --toggle-collect='*timedRefresh*').
[[gnu::noinline]] double timedRefresh(TPenForm1 &form)
{
    QElapsedTimer timer;
    timer.start();
    form.RichEdit1SelectionChange();
    return static_cast<double>(timer.nsecsElapsed()) / 1e3;
}

// What a refresh cost before the document kept its counts: the whole text fetched as CP932 and
// counted, once for the position panel (up to the caret) and once for the counter (all of it),
// and the line looked up. Returns milliseconds; the answers go to the out-parameters.
[[gnu::noinline]] double timedNaiveRefresh(RichEdit &editor, qint64 caret, qint64 &before, qint64 &total,
                                           qint64 &bytes, int &line, qint64 &lineStart)
{
    QElapsedTimer timer;
    timer.start();
    const QByteArray forPanel = editor.textBytes();
    before = SjisText::countCharacters(forPanel, caret);
    const QByteArray forCounter = editor.textBytes();
    total = SjisText::countCharacters(forCounter);
    bytes = forCounter.size();
    line = editor.lineFromChar(caret);
    lineStart = editor.lineIndex(line);
    return msSince(timer);
}

// ---- the print preview ----

// Every message box the program shows goes here instead, answered OK at once; what they said is
// kept, with the moment the first one came.
class MessageLog {
public:
    explicit MessageLog(const QElapsedTimer &clock)
        : m_clock(clock)
    {
        MessageBox::setSink([this](QWidget *, const MessageBox::Request &request) {
            if (m_firstAt < 0)
                m_firstAt = msSince(m_clock);
            m_texts += request.text;
            return QMessageBox::Ok;
        });
    }
    ~MessageLog() { MessageBox::setSink({}); }
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    const QStringList &texts() const { return m_texts; }
    double firstAt() const { return m_firstAt; }
    // For the details: one line, its line ends shown as " / ".
    static QString oneLine(QString text)
    {
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
        text.replace(u'\n', QStringLiteral(" / "));
        return text;
    }

private:
    const QElapsedTimer &m_clock;
    QStringList m_texts;
    double m_firstAt = -1;
};

// Writes what a case has to say in words to the file the parent named, if any.
void writeNotes(const Cases::Options &o, const QString &text)
{
    if (o.notes.isEmpty())
        return;
    QFile file(o.notes);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text.toUtf8());
}

// Follows the preview window the command opens, on a clock started before the command: when it
// is shown, when its page image first paints page 1 (TPageImage::pagePainted), and when its Print
// button is enabled, which the window does once the run has finished. Once both have happened it
// closes the window, which ends the command; so does the time limit, as a failure.
class PreviewWatch : public QObject {
public:
    PreviewWatch(const QElapsedTimer &clock, int limitMs)
        : m_clock(clock)
    {
        qApp->installEventFilter(this);
        QTimer::singleShot(limitMs, this, [this] {
            m_timedOut = true;
            if (m_window)
                m_window->close();
        });
    }
    ~PreviewWatch() override { qApp->removeEventFilter(this); }

    double shownAt = -1;
    double pagePaintedAt = -1;
    double printEnabledAt = -1;
    double closedAt = -1;
    int pages = 0; // when Print was enabled
    int available = 0;
    bool spilled = false;
    QString storeFile;
    bool timedOut() const { return m_timedOut; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !m_window) {
            if (auto *window = qobject_cast<TPreviewWindow *>(watched)) {
                m_window = window;
                shownAt = msSince(m_clock);
                connect(window->PageView->image(), &TPageImage::pagePainted, this, [this](int page) {
                    if (page == 1 && pagePaintedAt < 0) {
                        pagePaintedAt = msSince(m_clock);
                        closeWhenDone();
                    }
                });
            }
        } else if (event->type() == QEvent::EnabledChange && m_window && watched == m_window->Print
                   && printEnabledAt < 0 && m_window->Print->isEnabled()) {
            printEnabledAt = msSince(m_clock);
            if (TReportOutput *output = m_window->PageView->output()) {
                pages = output->pageCount();
                available = output->availablePages();
                if (const TPreparedPages *store = output->preparedPages()) {
                    spilled = store->isSpilled();
                    storeFile = store->temporaryFilePath();
                }
            }
            closeWhenDone();
        }
        return false;
    }

private:
    void closeWhenDone()
    {
        if (pagePaintedAt < 0 || printEnabledAt < 0)
            return;
        // Not from inside the window's own handlers: once they are done.
        QTimer::singleShot(0, this, [this] {
            if (m_window) {
                closedAt = msSince(m_clock);
                m_window->close();
            }
        });
    }

    const QElapsedTimer &m_clock;
    QPointer<TPreviewWindow> m_window;
    bool m_timedOut = false;
};

} // namespace

namespace WindowCases {

bool ownsApplication(const QString &name)
{
    return name == QStringLiteral("start-qt") || name == QStringLiteral("start-window");
}

int runOwningApplication(int argc, char **argv, const Cases::Options &options)
{
    return options.name == QStringLiteral("start-qt") ? startQt(argc, argv) : startWindow(argc, argv);
}

// The window's refresh after a caret move (RichEdit1SelectionChange, which the editor's
// selection-change signal runs), called directly after each move, beside the naive refresh.
int caret(const Cases::Options &o)
{
    SettingsKeeper keep;
    TPenForm1 *form = nullptr;
    EditorWindow w = showMainWindow(form);
    openInWindow(*form, w, o.input);
    RichEdit &editor = *form->RichEdit1;
    const qint64 length = editor.textLength();

    struct Place {
        const char *name;
        qint64 from;
        int direction;
    };
    const Place places[] = { { "start", 0, 1 }, { "middle", length / 2, 1 }, { "end", length, -1 } };
    // Each refresh at a new caret position: a step of about 18 characters (a display line holds
    // about 40), so that the caret changes line every second or third step, as clicks move it.
    constexpr qint64 Step = 37;
    bool allAgree = true;
    for (const Place &place : places) {
        if (!o.place.isEmpty() && o.place != QLatin1String(place.name))
            continue;
        std::vector<double> refresh;
        for (int i = 0; i < o.repetitions; ++i) {
            const qint64 at = qBound<qint64>(0, place.from + place.direction * Step * i, length);
            {
                // The move alone: the handler runs below, timed, and only there.
                const QSignalBlocker quiet(&editor);
                editor.setSelection(at, at);
            }
            // The scroll and caret repaint the move asked for, done before the refresh.
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            refresh.push_back(timedRefresh(*form));
        }
        report(key("refresh_", place.name, "_us").c_str(), Harness::median(refresh));
        report(key("refresh_", place.name, "_min_us").c_str(), Harness::minimum(refresh));
        report(key("refresh_", place.name, "_max_us").c_str(), Harness::maximum(refresh));

        const qint64 caretAt = editor.selection().start;
        std::vector<double> naive;
        qint64 before = 0;
        qint64 total = 0;
        qint64 bytes = 0;
        int line = 0;
        qint64 lineStart = 0;
        for (int i = 0; i < 5; ++i)
            naive.push_back(timedNaiveRefresh(editor, caretAt, before, total, bytes, line, lineStart));
        report(key("naive_", place.name, "_ms").c_str(), Harness::median(naive));

        // What the window shows after its last refresh, beside the naive answers.
        const bool agree = form->StatusPanels[1]->text() == StatusDisplay::position(true, before)
            && form->StatusPanels[2]->text() == StatusDisplay::lineAndColumn(line, caretAt - lineStart)
            && form->Memo1->text() == StatusDisplay::counter(true, total, bytes).number;
        if (!agree) {
            std::fprintf(stderr, "penloft-bench: at the %s the window shows \"%s\" \"%s\" \"%s\", the naive count "
                                 "gives \"%s\" \"%s\" \"%s\"\n",
                         place.name, qPrintable(form->StatusPanels[1]->text()),
                         qPrintable(form->StatusPanels[2]->text()), qPrintable(form->Memo1->text()),
                         qPrintable(StatusDisplay::position(true, before)),
                         qPrintable(StatusDisplay::lineAndColumn(line, caretAt - lineStart)),
                         qPrintable(StatusDisplay::counter(true, total, bytes).number));
        }
        allAgree = allAgree && agree;
        report(key("agree_", place.name, "").c_str(), agree ? 1 : 0);
        report(key("caret_", place.name, "").c_str(), static_cast<double>(caretAt));
    }
    report("agree", allAgree ? 1 : 0);
    keep.restore();
    return 0;
}

// The preview command of the main window with the document open: FilePureviewExecute opens the
// preview window and returns only once it closes, so everything is measured from inside it.
int preview(const Cases::Options &o)
{
    SettingsKeeper keep;
    QElapsedTimer clock;
    MessageLog messages(clock);
    TPenForm1 *form = nullptr;
    EditorWindow w = showMainWindow(form);
    openInWindow(*form, w, o.input);
    // As the program's start sets it up, with no printer: nothing is printed here.
    TPrintReport2 printReport;
    printReport.setParentRichEdit(&form->RichEdit1->richDocument());
    printReport.setPrinter(false, {});
    form->setPrintReport(&printReport);
    report("rss_opened_kb", static_cast<double>(Harness::peakRssKb()));

    bool ok = false;
    {
        PreviewWatch watch(clock, 120000);
        clock.start();
        form->FilePureviewExecute();
        const double returnedMs = msSince(clock);
        // The output and its store go once the program is idle again.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        report("shown_ms", watch.shownAt);
        report("page_painted_ms", watch.pagePaintedAt);
        report("print_enabled_ms", watch.printEnabledAt);
        report("closed_ms", watch.closedAt);
        report("returned_ms", returnedMs);
        report("pages", watch.pages);
        report("available", watch.available);
        report("spilled", watch.spilled ? 1 : 0);
        report("file_removed", watch.storeFile.isEmpty() || !QFile::exists(watch.storeFile) ? 1 : 0);
        report("timed_out", watch.timedOut() ? 1 : 0);
        ok = !watch.timedOut() && watch.pagePaintedAt >= 0 && watch.printEnabledAt >= 0;
    }
    report("rss_peak_kb", static_cast<double>(Harness::peakRssKb()));
    report("messages", static_cast<double>(messages.texts().size()));
    for (const QString &text : messages.texts())
        std::fprintf(stderr, "penloft-bench: the preview showed \"%s\"\n", qPrintable(MessageLog::oneLine(text)));
    form->setPrintReport(nullptr);
    keep.restore();
    return ok ? 0 : 1;
}

// Qt's own print preview of the same document: a QPrintPreviewDialog, maximised as the program's
// preview window is, over a printer at the resolution the program records its pages at, whose
// paintRequested prints the document with QTextDocument::print().
int previewQt(const Cases::Options &o)
{
    const EditorWindow w = PrintCases::openFormatted(o.input);
    QTextDocument &document = *w.editor->document();

    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setResolution(PrintCases::recordingDpi());
    QElapsedTimer clock;
    clock.start();
    QPrintPreviewDialog dialog(&printer);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter *p) { document.print(p); });
    auto *widget = dialog.findChild<QPrintPreviewWidget *>();
    auto *view = widget ? widget->findChild<QGraphicsView *>() : nullptr;
    if (!view) {
        std::fprintf(stderr, "penloft-bench: QPrintPreviewDialog holds no page view\n");
        return 1;
    }
    double completeAt = -1;
    QObject::connect(widget, &QPrintPreviewWidget::previewChanged, &dialog, [&] {
        if (completeAt < 0)
            completeAt = msSince(clock);
    });
    FirstPaint pagePainted(view->viewport(), clock, [widget] { return widget->pageCount() > 0; });
    dialog.setWindowState(Qt::WindowMaximized);
    dialog.show();
    while (pagePainted.at() < 0 && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    report("page_painted_ms", pagePainted.at());
    report("complete_ms", completeAt);
    report("pages", widget->pageCount());
    report("printer_dpi", printer.resolution());
    report("rss_peak_kb", static_cast<double>(Harness::peakRssKb()));
    return pagePainted.at() >= 0 && completeAt >= 0 ? 0 : 1;
}

// Replace All through the replace dialog, as the user runs it: the dialog opened by its command,
// the two texts typed into it, its Replace All button pressed; the message box that ends the
// command is answered at once. Timed from the press until the editor has painted the outcome.
int replaceAll(const Cases::Options &o)
{
    SettingsKeeper keep;
    QElapsedTimer clock;
    MessageLog messages(clock);
    TPenForm1 *form = nullptr;
    EditorWindow w = showMainWindow(form);
    openInWindow(*form, w, o.input);
    form->OptionReplaceExecute();
    ReplaceDialog &dialog = *form->ReplaceDialog1;
    const QString word = QString::fromUtf16(Corpus::SoughtWord);
    const QString replacement = QString::fromUtf16(Corpus::ReplacementWord);
    dialog.setFindText(word);
    dialog.setReplaceText(replacement);
    Harness::drain();
    report("rss_opened_kb", static_cast<double>(Harness::peakRssKb()));

    w.watch->reset();
    clock.start();
    dialog.press(ReplaceDialog::ReplaceAll);
    const double returnedMs = msSince(clock);
    const bool painted = Harness::processUntilPainted(*w.watch);
    const double paintedMs = msSince(clock);
    report("message_ms", messages.firstAt());
    report("returned_ms", returnedMs);
    report("painted_ms", paintedMs);
    report("rss_peak_kb", static_cast<double>(Harness::peakRssKb()));

    // What the command said, and what it did: the count its message gives, and the text saved.
    const QString said = messages.texts().value(0);
    static const QRegularExpression leadingNumber(QStringLiteral("^\\d+"));
    const QRegularExpressionMatch count = leadingNumber.match(said);
    report("messages", static_cast<double>(messages.texts().size()));
    report("replaced", count.hasMatch() ? count.captured().toDouble() : -1);
    // The window's plain messages show their line ends as LF alone.
    const QString meant = Messages::replacedAll(count.captured().toInt(), word, replacement)
                              .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    report("message_right", messages.texts().size() == 1 && said == meant ? 1 : 0);
    writeNotes(o, MessageLog::oneLine(said));
    form->RichEdit1->setPlainTextMode(true);
    form->RichEdit1->saveFile(o.output);
    QFile saved(o.output);
    QFile expected(o.text);
    const bool same = saved.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly)
        && saved.readAll() == expected.readAll();
    report("same", same ? 1 : 0);
    report("undo_available", form->RichEdit1->document()->isUndoAvailable() ? 1 : 0);
    keep.restore();
    return painted ? 0 : 1;
}

// The naive Replace All in a bare QTextEdit as the central widget of a QMainWindow: for each hit
// the whole text is fetched, searched from behind the last replacement, the hit selected and
// the replacement typed over it. Far too slow to run to the end, it is timed over its first hits
// (at most `NaiveHits`, or as many as fit in `NaiveBudgetMs`) for the parent to extrapolate.
int replaceNaive(const Cases::Options &o)
{
    constexpr int NaiveHits = 100;
    constexpr double NaiveBudgetMs = 4000;
    EditorWindow w = Harness::makeBareMainWindow();
    Harness::show(w);
    w.watch->reset();
    Harness::openBareText(w.editor, o.input);
    Harness::processUntilPainted(*w.watch);
    Harness::finishLayout(w.editor);
    Harness::drain();

    QTextEdit *editor = w.editor;
    const QString word = QString::fromUtf16(Corpus::SoughtWord);
    const QString replacement = QString::fromUtf16(Corpus::ReplacementWord);
    std::vector<double> perHit;
    qsizetype from = 0;
    QElapsedTimer clock;
    clock.start();
    while (static_cast<int>(perHit.size()) < NaiveHits && msSince(clock) < NaiveBudgetMs) {
        QElapsedTimer one;
        one.start();
        const QString text = editor->toPlainText();
        const qsizetype hit = text.indexOf(word, from);
        if (hit < 0)
            break;
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(static_cast<int>(hit));
        cursor.setPosition(static_cast<int>(hit + word.size()), QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
        editor->insertPlainText(replacement);
        from = hit + replacement.size();
        perHit.push_back(msSince(one));
    }
    const double totalMs = msSince(clock);
    report("hits", static_cast<double>(perHit.size()));
    report("total_ms", totalMs);
    report("per_hit_ms", perHit.empty() ? 0 : totalMs / static_cast<double>(perHit.size()));
    report("per_hit_median_ms", Harness::median(perHit));
    report("per_hit_max_ms", Harness::maximum(perHit));
    report("characters", editor->document()->characterCount());
    return perHit.empty() ? 1 : 0;
}

// The date dialog pasting the largest run it takes (100,000 days) into an empty document, as the
// user does it: the dialog opened by its button, the count typed, 和暦で貼付 pressed. Timed from
// the press until the editor has painted the outcome. Beside it, the one-insertion-per-date loop
// (each date replacing the selection on its own), timed over its first dates to extrapolate.
int pasteDates(const Cases::Options &)
{
    SettingsKeeper keep;
    QElapsedTimer clock;
    MessageLog messages(clock);
    TPenForm1 *form = nullptr;
    EditorWindow w = showMainWindow(form);
    form->createToolForms();
    form->Button3Click();
    TForm4 &dialog = *form->Form4;
    const int count = JapaneseDates::MaximumCount;
    const QDate first(1900, 1, 1);
    dialog.ComboBox1->setCurrentText(QString::number(count));
    dialog.DateTimePicker1->setDate(first);
    Harness::drain();

    w.watch->reset();
    clock.start();
    dialog.Button1Click();
    const double returnedMs = msSince(clock);
    const bool painted = Harness::processUntilPainted(*w.watch);
    report("painted_ms", msSince(clock));
    report("returned_ms", returnedMs);
    report("messages", static_cast<double>(messages.texts().size()));
    report("lines", form->RichEdit1->lineCount() - 1);
    const QString expected = JapaneseDates::lines(first, count, JapaneseDates::Calendar::Era);
    report("same", form->RichEdit1->richDocument().plainText() == expected ? 1 : 0);
    report("count", count);

    // The same dates one insertion at a time, in a fresh document.
    form->RichEdit1->selectAll();
    form->RichEdit1->deleteSelection();
    Harness::drain();
    constexpr double BudgetMs = 3000;
    QElapsedTimer naive;
    naive.start();
    int done = 0;
    QDate date = first;
    while (done < count && msSince(naive) < BudgetMs) {
        form->RichEdit1->replaceSelection(JapaneseDates::eraDate(date) + QStringLiteral("\r\n"),
                                          RichEdit::UndoMode::CannotUndo);
        date = date.addDays(1);
        ++done;
    }
    report("naive_dates", done);
    report("naive_ms", msSince(naive));
    keep.restore();
    return painted ? 0 : 1;
}

// Ctrl+End in a long text just opened in the main window, read whole but most of it still to be
// laid out: the times from the key until the caret is on screen (the view painted with the
// caret's rectangle inside it), until the line panel shows its line, and until that line is exact
// (every paragraph before the caret laid out, the panel refreshed).
int ctrlEnd(const Cases::Options &o)
{
    SettingsKeeper keep;
    TPenForm1 *form = nullptr;
    EditorWindow w = showMainWindow(form);
    RichEdit &editor = *form->RichEdit1;
    w.watch->reset();
    QElapsedTimer clock;
    clock.start();
    form->OpenFile(o.input);
    Harness::processUntilPainted(*w.watch);
    // A key while the rest is read waits for it to be read (see LoadingGate); the key is timed
    // after that, in the layout's run.
    while (editor.isLoading() && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    report("read_ms", msSince(clock));
    editor.setFocus();
    const StatusText &panel = *form->StatusPanels[2];
    const EditorDocumentLayout &layout = *editor.richDocument().layout();
    report("estimated_paragraphs", layout.estimatedCount());

    clock.restart();
    w.watch->reset();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(&editor, &press);
    QApplication::sendEvent(&editor, &release);
    report("key_ms", msSince(clock));
    double shownMs = -1;
    double filledMs = -1;
    QString firstLine;
    while (clock.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const bool caretShown = editor.viewport()->rect().contains(editor.cursorRect());
        if (shownMs < 0 && caretShown && w.watch->painted())
            shownMs = msSince(clock);
        // Line 1 is the caret's line before the key.
        if (filledMs < 0 && panel.text().section(u' ', 0, 0).toInt() > 1) {
            filledMs = msSince(clock);
            firstLine = panel.text();
        }
        if (filledMs >= 0 && layout.estimatedCount() == 0)
            break;
    }
    report("caret_shown_ms", shownMs);
    report("panel_filled_ms", filledMs);
    // The panel's last refresh follows the layout's end on the next turn of the loop.
    Harness::drain();
    report("exact_ms", msSince(clock));
    const int line = panel.text().section(u' ', 0, 0).toInt();
    report("line_first", firstLine.section(u' ', 0, 0).toInt());
    report("line_exact", line);
    report("line_right", line == editor.lineFromChar(editor.textLength()) + 1 ? 1 : 0);
    report("caret_shown_at_end", editor.viewport()->rect().contains(editor.cursorRect()) ? 1 : 0);
    keep.restore();
    return shownMs >= 0 && filledMs >= 0 ? 0 : 1;
}

namespace {

void reportTimes(const char *name, const std::vector<double> &times)
{
    const std::string key = std::string(name);
    report((key + "_ms").c_str(), Harness::median(times));
    report((key + "_min_ms").c_str(), Harness::minimum(times));
    report((key + "_max_ms").c_str(), Harness::maximum(times));
}

// Enter in the middle of the text (splitting its paragraph), Backspace at the start of a
// paragraph there (joining two), and Page Down from the start, a hundred times: each press timed
// until the editor has painted it. `onlyPlace` "enter", "backspace" or "pagedown" runs one.
void pressKeys(EditorWindow &w, int repetitions, const QString &onlyPlace)
{
    QTextDocument *document = w.editor->document();
    const int middle = document->characterCount() / 2;
    if (onlyPlace.isEmpty() || onlyPlace == QLatin1String("enter")) {
        Harness::placeCaret(w, middle);
        std::vector<double> times;
        for (int i = 0; i < repetitions; ++i) {
            times.push_back(Harness::timedKey(w, Qt::Key_Return));
            Harness::drain();
        }
        reportTimes("enter", times);
    }
    if (onlyPlace.isEmpty() || onlyPlace == QLatin1String("backspace")) {
        std::vector<double> times;
        for (int i = 0; i < repetitions; ++i) {
            // Each at a paragraph start of its own, a thousand characters apart.
            const QTextBlock block = document->findBlock(middle + i * 1000).next();
            if (!block.isValid())
                break;
            Harness::placeCaret(w, block.position());
            times.push_back(Harness::timedKey(w, Qt::Key_Backspace));
            Harness::drain();
        }
        reportTimes("backspace", times);
    }
    if (onlyPlace.isEmpty() || onlyPlace == QLatin1String("compose")) {
        // Japanese as an input method types it: each key changes the preedit, the last commits.
        Harness::placeCaret(w, middle);
        const QStringList steps { QStringLiteral("k"), QStringLiteral("か"), QStringLiteral("かn"),
                                  QStringLiteral("かな"), QStringLiteral("仮名") };
        std::vector<double> times;
        for (int i = 0; i < repetitions; ++i) {
            for (int step = 0; step < steps.size(); ++step) {
                const bool commit = step + 1 == steps.size();
                QList<QInputMethodEvent::Attribute> attributes;
                if (!commit) {
                    attributes.append({ QInputMethodEvent::Cursor, int(steps[step].size()), 1 });
                    attributes.append({ QInputMethodEvent::TextFormat, 0, int(steps[step].size()),
                                        QVariant::fromValue(QTextFormat(QTextFormat::CharFormat)) });
                }
                QInputMethodEvent event(commit ? QString() : steps[step], attributes);
                if (commit)
                    event.setCommitString(steps[step]);
                w.watch->reset();
                QElapsedTimer timer;
                timer.start();
                QApplication::sendEvent(w.editor, &event);
                Harness::processUntilPainted(*w.watch);
                times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
                Harness::drain();
            }
        }
        reportTimes("compose", times);
    }
    if (onlyPlace.isEmpty() || onlyPlace == QLatin1String("pagedown")) {
        Harness::placeCaret(w, 0);
        std::vector<double> times;
        for (int i = 0; i < 100; ++i) {
            times.push_back(Harness::timedKey(w, Qt::Key_PageDown));
            Harness::drain();
        }
        reportTimes("pagedown", times);
        report("pagedown_caret", w.editor->textCursor().position());
    }
}

} // namespace

// Keystrokes into the main window's editor, the window's change and selection handlers running
// from the editor's signals; or (ours false) into a bare QTextEdit in a QMainWindow of the same
// size.
int typing(bool ours, const Cases::Options &o, int zoomPercent)
{
    SettingsKeeper keep;
    TPenForm1 *form = nullptr;
    EditorWindow w;
    if (ours) {
        w = showMainWindow(form);
        openInWindow(*form, w, o.input);
        form->RichEdit1->setZoomPercent(zoomPercent);
        // Zoomed, every paragraph is measured anew: all of them, as the open above did, so that
        // the keys are timed as at 100 %, not while the layout catches up.
        QElapsedTimer timer;
        timer.start();
        form->RichEdit1->lineCount();
        report("zoom_layout_ms", msSince(timer));
        Harness::drain();
        report("zoom_percent", form->RichEdit1->zoomPercent());
    } else {
        w = Harness::makeBareMainWindow();
        Harness::show(w);
        w.watch->reset();
        QElapsedTimer timer;
        timer.start();
        Harness::openBareText(w.editor, o.input);
        Harness::processUntilPainted(*w.watch);
        report("open_ms", msSince(timer));
        timer.restart();
        Harness::finishLayout(w.editor);
        report("layout_ms", msSince(timer));
        Harness::drain();
    }

    const int characters = w.editor->document()->characterCount();
    Harness::typeAt(w, "start", 0, o.repetitions, o.place);
    Harness::typeAt(w, "middle", characters / 2, o.repetitions, o.place);
    Harness::typeAt(w, "end", characters - 1, o.repetitions, o.place);
    pressKeys(w, o.repetitions, o.place);
    const int now = w.editor->document()->characterCount();
    Harness::typeAtToScreen(w, "start", 0, o.repetitions, o.place);
    Harness::typeAtToScreen(w, "middle", now / 2, o.repetitions, o.place);
    Harness::typeAtToScreen(w, "end", now - 1, o.repetitions, o.place);
    report("viewport_width", w.editor->viewport()->width());
    report("viewport_height", w.editor->viewport()->height());

    if (ours) {
        // The handlers did run: the counter and the position panel show the text as typed.
        const RichDocument &document = form->RichEdit1->richDocument();
        const qint64 caretAt = form->RichEdit1->selection().start;
        const bool right = form->Memo1->text()
                == StatusDisplay::counter(true, document.characterCount(), document.textLength()).number
            && form->StatusPanels[1]->text() == StatusDisplay::position(true, document.charactersBefore(caretAt));
        report("status_right", right ? 1 : 0);
    }
    keep.restore();
    return 0;
}

} // namespace WindowCases
