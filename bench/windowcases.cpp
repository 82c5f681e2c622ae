#include "windowcases.h"

#include "harness.h"

#include "app/controls.h"
#include "app/fontsubstitutes.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "document/sjistext.h"
#include "editing/statusdisplay.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMainWindow>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <memory>
#include <string>

using Harness::EditorWindow;
using Harness::report;

namespace {

double msSince(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

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

// The moment a widget first paints, on a clock started elsewhere.
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget *target, const QElapsedTimer &clock)
        : m_target(target)
        , m_clock(clock)
    {
        target->installEventFilter(this);
    }
    double at() const { return m_at; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_at < 0 && watched == m_target && event->type() == QEvent::Paint)
            m_at = msSince(m_clock);
        return false;
    }

private:
    QWidget *m_target;
    const QElapsedTimer &m_clock;
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

// Keystrokes into the main window's editor, the window's change and selection handlers running
// from the editor's signals; or (ours false) into a bare QTextEdit in a QMainWindow of the same
// size.
int typing(bool ours, const Cases::Options &o)
{
    SettingsKeeper keep;
    TPenForm1 *form = nullptr;
    EditorWindow w;
    if (ours) {
        w = showMainWindow(form);
        openInWindow(*form, w, o.input);
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
