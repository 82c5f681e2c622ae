#include "harness.h"

#include "document/apperror.h"
#include "document/cp932.h"
#include "document/richedit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QKeyEvent>
#include <QMainWindow>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <string>

namespace Harness {

PaintWatch::PaintWatch(QWidget *target)
    : m_target(target)
{
    target->installEventFilter(this);
}

bool PaintWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_target && event->type() == QEvent::Paint)
        ++m_paints;
    return false;
}

RichEdit *EditorWindow::ours() const
{
    return static_cast<RichEdit *>(editor);
}

namespace {

// The face and size the program's window gives its editor.
QFont editorFont()
{
    QFont font(QString::fromUtf16(u"ＭＳ ゴシック"));
    font.setPixelSize(15);
    return font;
}

EditorWindow frame(QTextEdit *editor, std::unique_ptr<QWidget> window)
{
    EditorWindow w;
    window->resize(WindowWidth, WindowHeight);
    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(editor);
    w.window = std::move(window);
    w.editor = editor;
    w.watch = std::make_unique<PaintWatch>(editor->viewport());
    return w;
}

} // namespace

EditorWindow makeOurs()
{
    auto window = std::make_unique<QWidget>();
    auto *editor = new RichEdit(window.get());
    const QFont font = editorFont();
    editor->setFont(font);
    CharFormat initial;
    initial.mask = CharFormat::AllFields;
    initial.faceName = font.family();
    initial.sizeTwips = 225;
    initial.charSet = 128;
    editor->setCharFormat(initial, RichEdit::FormatTarget::Default);
    editor->setCharFormat(initial);
    return frame(editor, std::move(window));
}

EditorWindow makeBare()
{
    auto window = std::make_unique<QWidget>();
    auto *editor = new QTextEdit(window.get());
    editor->setFont(editorFont());
    return frame(editor, std::move(window));
}

EditorWindow makeBareMainWindow()
{
    auto window = std::make_unique<QMainWindow>();
    auto *editor = new QTextEdit(window.get());
    editor->setFont(editorFont());
    window->setCentralWidget(editor);
    window->resize(WindowWidth, WindowHeight);
    EditorWindow w;
    w.window = std::move(window);
    w.editor = editor;
    w.watch = std::make_unique<PaintWatch>(editor->viewport());
    return w;
}

void show(EditorWindow &w)
{
    w.watch->reset();
    w.window->show();
    w.window->activateWindow();
    w.editor->setFocus();
    processUntilPainted(*w.watch);
    drain();
}

bool processUntilPainted(PaintWatch &watch, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    // Spinning rather than waiting for events: a wait could only add to what is measured.
    while (!watch.painted()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (timer.elapsed() > timeoutMs) {
            std::fprintf(stderr, "penloft-bench: no paint within %d ms\n", timeoutMs);
            return false;
        }
    }
    // Whatever the paint left posted belongs to the same keystroke.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return true;
}

void drain()
{
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(2);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void finishLayout(QTextEdit *editor)
{
    QTextDocument *document = editor->document();
    // Asking where the last paragraph lies makes the layout reach it.
    document->documentLayout()->blockBoundingRect(document->lastBlock());
}

void typeText(QWidget *target, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

void openBareText(QTextEdit *editor, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("cannot read ") + path);
    QString text = Cp932::decode(file.readAll());
    // QTextEdit would read CR and LF as two paragraph ends.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    editor->setPlainText(text);
}

// Kept out of line under a name of its own, so that a profiler can be told to look at this
// alone (valgrind --tool=callgrind --toggle-collect='*timedKeystroke*').
[[gnu::noinline]] double timedKeystroke(EditorWindow &w)
{
    w.watch->reset();
    QElapsedTimer timer;
    timer.start();
    typeText(w.editor, QStringLiteral("あ"));
    processUntilPainted(*w.watch);
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

[[gnu::noinline]] double timedKey(EditorWindow &w, int key)
{
    w.watch->reset();
    QElapsedTimer timer;
    timer.start();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w.editor, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w.editor, &release);
    processUntilPainted(*w.watch);
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void placeCaret(EditorWindow &w, int position)
{
    QTextCursor cursor = w.editor->textCursor();
    cursor.setPosition(position);
    w.editor->setTextCursor(cursor);
    w.editor->ensureCursorVisible();
    w.watch->reset();
    processUntilPainted(*w.watch, 1000);
    drain();
}

void typeAt(EditorWindow &w, const char *place, int position, int repetitions, const QString &onlyPlace)
{
    if (!onlyPlace.isEmpty() && onlyPlace != QLatin1String(place))
        return;
    placeCaret(w, position);

    // The first keystroke after a jump also scrolls; it is neither a typing figure nor
    // part of a keystroke's profile.
    w.watch->reset();
    typeText(w.editor, QStringLiteral("あ"));
    processUntilPainted(*w.watch);
    drain();
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        times.push_back(timedKeystroke(w));
        drain();
    }
    const std::string key = std::string("type_") + place;
    report((key + "_ms").c_str(), median(times));
    report((key + "_min_ms").c_str(), minimum(times));
    report((key + "_max_ms").c_str(), maximum(times));
}

namespace {

// Times the top-level window's updates: each is handled here, as its own event() would be, so
// that the time is taken when it returns, the frame painted and flushed to the window system.
class FrameWatch : public QObject {
public:
    FrameWatch(QWidget *top, PaintWatch &paints)
        : m_top(top)
        , m_paints(paints)
    {
        qApp->installEventFilter(this);
    }
    ~FrameWatch() override { qApp->removeEventFilter(this); }
    void start()
    {
        m_paints.reset();
        m_shownNs = -1;
        m_timer.start();
    }
    qint64 shownNs() const { return m_shownNs; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_top || event->type() != QEvent::UpdateRequest || m_shownNs >= 0)
            return false;
        static_cast<QObject *>(m_top)->event(event);
        if (m_paints.painted())
            m_shownNs = m_timer.nsecsElapsed();
        return true;
    }

private:
    QWidget *m_top;
    PaintWatch &m_paints;
    QElapsedTimer m_timer;
    qint64 m_shownNs = -1;
};

// Kept out of line for a profiler, as timedKeystroke.
[[gnu::noinline]] double timedKeystrokeToScreen(EditorWindow &w, FrameWatch &frames)
{
    QWindow *window = w.editor->window()->windowHandle();
    const QString text = QStringLiteral("あ");
    frames.start();
    QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QElapsedTimer limit;
    limit.start();
    while (frames.shownNs() < 0 && limit.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return static_cast<double>(frames.shownNs()) / 1e6;
}

} // namespace

void typeAtToScreen(EditorWindow &w, const char *place, int position, int repetitions, const QString &onlyPlace)
{
    if (!onlyPlace.isEmpty() && onlyPlace != QLatin1String(place))
        return;
    placeCaret(w, position);
    w.editor->window()->activateWindow();
    w.editor->setFocus();
    FrameWatch frames(w.editor->window(), *w.watch);
    const int before = w.editor->document()->characterCount();
    // The first key after the jump scrolls as well: not timed.
    timedKeystrokeToScreen(w, frames);
    drain();
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        times.push_back(timedKeystrokeToScreen(w, frames));
        drain();
    }
    const std::string key = std::string("screen_") + place;
    // Every key reached the editor (a paint of anything else would not count).
    report((key + "_typed").c_str(), w.editor->document()->characterCount() - before == repetitions + 1 ? 1 : 0);
    report((key + "_ms").c_str(), median(times));
    report((key + "_min_ms").c_str(), minimum(times));
    report((key + "_max_ms").c_str(), maximum(times));
}

namespace {

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const qsizetype length = static_cast<qsizetype>(std::strlen(field));
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(length).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

qint64 peakRssKb()
{
    return statusKb("VmHWM:");
}

bool resetPeakRss()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

qint64 residentKbTrimmed()
{
    malloc_trim(0);
    return residentKb();
}

qint64 residentKb()
{
    return statusKb("VmRSS:");
}

double msSince(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double maximum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double minimum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

namespace {

void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QStringLiteral("propagateSizeHints")) || message.contains(QStringLiteral("XDG_RUNTIME_DIR"))
        || message.contains(QStringLiteral("does not support raise()")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

void quietMessages()
{
    qInstallMessageHandler(quietHandler);
}

void report(const char *key, double value)
{
    std::printf("%s %.9g\n", key, value);
}

} // namespace Harness
