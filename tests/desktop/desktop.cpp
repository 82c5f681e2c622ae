#include "desktop.h"

#include "app/startup.h"
#include "app/tpenform1.h"
#include "document/richedit.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace Desktop {

namespace {

bool pollUntil(const std::function<bool()> &done, int timeoutMs = Patience)
{
    QElapsedTimer waited;
    waited.start();
    // Looked at often at first, then less: many looks run tools (xprop, lpstat) or read the
    // screen, and that time is taken from the program under test on a busy machine.
    int interval = 20;
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QTest::qWait(interval);
        interval = qMin(interval * 3 / 2, 200);
    }
    return true;
}

// xprop's "NAME = value" for one property, or an empty string.
QString property(const QString &xpropOutput, const QString &name)
{
    for (const QString &line : xpropOutput.split(u'\n')) {
        if (line.startsWith(name + u" = "_s))
            return line.mid(name.size() + 3);
        if (line.startsWith(name + u":"_s))
            return line.mid(name.size() + 1).trimmed();
    }
    return {};
}

QString unquoted(QString value)
{
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.mid(1, value.size() - 2);
    value.replace(u"\\\""_s, u"\""_s);
    value.replace(u"\\\\"_s, u"\\"_s);
    return value;
}

} // namespace

QString sessionValue(const char *name)
{
    return qEnvironmentVariable(name);
}

QString queue() { return sessionValue("PENLOFT_DESKTOP_QUEUE"); }
QString queue2() { return sessionValue("PENLOFT_DESKTOP_QUEUE2"); }
QString pdfFolder() { return sessionValue("PENLOFT_DESKTOP_PDF"); }
QString pdf2Folder() { return sessionValue("PENLOFT_DESKTOP_PDF2"); }
QString programPath() { return sessionValue("PENLOFT_DESKTOP_PROGRAM"); }

QString run(const QString &program, const QStringList &arguments, int *exitCode, int timeoutMs, bool withErrors)
{
    QProcess process;
    if (withErrors)
        process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(1000);
    }
    if (exitCode)
        *exitCode = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// -- Windows --

std::optional<Window> window(quint32 id)
{
    const QString hex = u"0x"_s + QString::number(id, 16);
    int status = 0;
    const QString props = run(u"xprop"_s, { u"-id"_s, hex, u"-notype"_s, u"_NET_WM_NAME"_s, u"_NET_WM_PID"_s,
                                            u"WM_TRANSIENT_FOR"_s, u"_NET_WM_WINDOW_TYPE"_s, u"_NET_FRAME_EXTENTS"_s },
                              &status);
    if (status != 0)
        return std::nullopt;
    Window w;
    w.id = id;
    w.name = unquoted(property(props, u"_NET_WM_NAME"_s));
    w.pid = property(props, u"_NET_WM_PID"_s).toLongLong();
    w.transient = property(props, u"WM_TRANSIENT_FOR"_s).contains(u"window id"_s);
    w.type = property(props, u"_NET_WM_WINDOW_TYPE"_s).section(u',', 0, 0).trimmed();
    const QStringList extents = property(props, u"_NET_FRAME_EXTENTS"_s).split(u',', Qt::SkipEmptyParts);
    if (extents.size() == 4)
        w.frame = QMargins(extents[0].trimmed().toInt(), extents[2].trimmed().toInt(), extents[1].trimmed().toInt(),
                           extents[3].trimmed().toInt());
    const QString info = run(u"xwininfo"_s, { u"-id"_s, hex }, &status);
    if (status != 0)
        return std::nullopt;
    auto number = [&info](const QString &label) {
        const QRegularExpressionMatch m = QRegularExpression(label + u":\\s+(-?\\d+)"_s).match(info);
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    };
    w.client = QRect(number(u"Absolute upper-left X"_s), number(u"Absolute upper-left Y"_s), number(u"Width"_s),
                     number(u"Height"_s));
    return w;
}

QList<Window> windows()
{
    const QString list = run(u"xprop"_s, { u"-root"_s, u"_NET_CLIENT_LIST"_s });
    QList<Window> result;
    const QRegularExpression hex(u"0x[0-9a-fA-F]+"_s);
    for (auto it = hex.globalMatch(list); it.hasNext();) {
        if (std::optional<Window> w = window(it.next().captured(0).toUInt(nullptr, 16)))
            result.append(*w);
    }
    return result;
}

std::optional<Window> waitForWindow(const std::function<bool(const Window &)> &match, int timeoutMs)
{
    std::optional<Window> found;
    pollUntil(
        [&] {
            for (const Window &w : windows()) {
                if (match(w)) {
                    found = w;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool waitForNoWindow(const std::function<bool(const Window &)> &match, int timeoutMs)
{
    return pollUntil(
        [&] {
            const QList<Window> all = windows();
            return std::none_of(all.begin(), all.end(), match);
        },
        timeoutMs);
}

QImage grabScreen(const QRect &area)
{
    if (area.isNull())
        return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

void recordFailure()
{
    const QString name = QString::fromLatin1(QTest::currentAppName()).section(u'/', -1) + u'-'
        + QString::fromLatin1(QTest::currentTestFunction()) + u'-' + QString::fromLatin1(QTest::currentDataTag()) + u".png"_s;
    grabScreen().save(QDir::temp().filePath(name));
    qWarning("%s; screen saved as %s", qPrintable(focusReport()), qPrintable(QDir::temp().filePath(name)));
}

QString focusReport()
{
    const auto named = [](const QString &id) -> QString {
        const std::optional<Window> w = window(id.trimmed().toUInt());
        return id.trimmed() + (w ? u" \""_s + w->name + u"\""_s : QString());
    };
    QStringList shown;
    for (const Window &w : windows())
        shown += u"\""_s + w.name + u"\""_s;
    return u"active window %1, input focus %2, windows %3"_s.arg(named(run(u"xdotool"_s, { u"getactivewindow"_s })),
                                                                 named(run(u"xdotool"_s, { u"getwindowfocus"_s })),
                                                                 shown.join(u", "_s));
}

// -- Input --

bool activate(quint32 id)
{
    const auto focused = [id] {
        return run(u"xdotool"_s, { u"getwindowfocus"_s }).trimmed().toUInt() == id
            && run(u"xdotool"_s, { u"getactivewindow"_s }).trimmed().toUInt() == id;
    };
    const auto viewable = [id] {
        return run(u"xwininfo"_s, { u"-id"_s, QString::number(id) }).contains(u"Map State: IsViewable"_s);
    };
    QElapsedTimer waited;
    waited.start();
    qint64 asked = -1;
    const bool done = pollUntil(
        [&] {
            if (focused())
                return true;
            // The window manager passes over a window it has not mapped yet.
            if ((asked < 0 || waited.elapsed() - asked >= 1000) && viewable()) {
                run(u"xdotool"_s, { u"windowactivate"_s, QString::number(id) });
                asked = waited.elapsed();
            }
            return false;
        });
    if (done)
        return true;
    qWarning("window 0x%x did not become the active window (focus %s, active %s)", id,
             qPrintable(run(u"xdotool"_s, { u"getwindowfocus"_s }).trimmed()),
             qPrintable(run(u"xdotool"_s, { u"getactivewindow"_s }).trimmed()));
    return false;
}

bool inputMethodAnswers(int timeoutMs)
{
    QLineEdit box;
    box.setWindowTitle(u"input method"_s);
    box.show();
    if (!QTest::qWaitForWindowExposed(&box) || !activate(windowId(&box)))
        return false;
    box.setFocus();
    // The reading comes as input method events, not as the box's text, while it is composed.
    class Recorder : public QObject {
    public:
        bool composed = false;
        QString preedit;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::InputMethod) {
                preedit = static_cast<QInputMethodEvent *>(event)->preeditString();
                composed = composed || !preedit.isEmpty();
            }
            return false;
        }
    } recorder;
    box.installEventFilter(&recorder);
    QElapsedTimer waited;
    waited.start();
    while (!recorder.composed && waited.elapsed() < timeoutMs) {
        key(u"a"_s);
        pollUntil([&] { return recorder.composed; }, 2000);
    }
    // The reading dropped before the box goes: nothing of it reaches the next window.
    key(u"Escape"_s);
    return recorder.composed && pollUntil([&] { return recorder.preedit.isEmpty(); });
}

void keys(const QStringList &names)
{
    run(u"xdotool"_s, QStringList { u"key"_s, u"--delay"_s, u"40"_s } + names);
}

void type(const QString &text)
{
    run(u"xdotool"_s, { u"type"_s, u"--delay"_s, u"40"_s, text });
}

void click(QPoint screenPoint)
{
    // Without --sync: a pointer already there would never report the move.
    run(u"xdotool"_s, { u"mousemove"_s, QString::number(screenPoint.x()), QString::number(screenPoint.y()), u"click"_s, u"1"_s });
}

bool clickOn(const QWidget *widget)
{
    const QWidget *top = widget->window();
    const quint32 id = windowId(top);
    const bool placed = pollUntil(
        [&] {
            if (!widget->isVisible() || !top->windowHandle() || !top->windowHandle()->isExposed())
                return false;
            const std::optional<Window> shown = window(id);
            return shown && shown->client.topLeft() == top->mapToGlobal(QPoint(0, 0));
        });
    if (!placed) {
        qWarning("%s: its window 0x%x is not where it is known to be", widget->metaObject()->className(), id);
        return false;
    }
    click(widget->mapToGlobal(widget->rect().center()));
    return true;
}

quint32 windowId(const QWidget *widget)
{
    return static_cast<quint32>(widget->window()->winId());
}

// -- The program --

std::unique_ptr<QTemporaryDir> settingsFolder()
{
    auto folder = std::make_unique<QTemporaryDir>();
    // Qt finds the input method through <config folder>/ibus/bus/<machine>-unix-<display>.
    QFile::link(sessionValue("PENLOFT_DESKTOP_IBUS"), folder->filePath(u"ibus"_s));
    return folder;
}

Program::Program(const QString &settingsFolder)
    : m_settingsFolder(settingsFolder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Its placement and its recovery files both stay in this test's folder.
    environment.insert(u"XDG_CONFIG_HOME"_s, settingsFolder);
    environment.insert(u"XDG_STATE_HOME"_s, settingsFolder + u"/state"_s);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

Program::~Program()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void Program::setVariable(const QString &name, const QString &value)
{
    QProcessEnvironment environment = m_process.processEnvironment();
    environment.insert(name, value);
    m_process.setProcessEnvironment(environment);
}

void Program::removeVariable(const QString &name)
{
    QProcessEnvironment environment = m_process.processEnvironment();
    environment.remove(name);
    m_process.setProcessEnvironment(environment);
}

bool Program::start(const QStringList &arguments)
{
    m_process.start(programPath(), arguments);
    return m_process.waitForStarted(10000);
}

std::optional<Window> Program::mainWindow(int timeoutMs) const
{
    const qint64 id = pid();
    const QString prefix = QString::fromUtf16(u"　Penloft          ");
    return waitForWindow(
        [id, &prefix](const Window &w) { return w.pid == id && !w.transient && w.name.startsWith(prefix); }, timeoutMs);
}

bool Program::waitForExit(int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (m_process.state() != QProcess::NotRunning) {
        if (waited.elapsed() > timeoutMs)
            return false;
        m_process.waitForFinished(50);
        QCoreApplication::processEvents();
    }
    return true;
}

QString Program::settingsFile() const
{
    // Beside the program when its folder can be written to, otherwise in its settings folder.
    const QFileInfo program(programPath());
    if (QFileInfo(program.absolutePath()).isWritable())
        return program.absolutePath() + u"/penloft.ini"_s;
    return m_settingsFolder + u"/penloft/penloft.ini"_s;
}

// -- Private buses --

PrivateBus::PrivateBus() = default;

PrivateBus::~PrivateBus()
{
    // The command run on the bus ends when its input closes; dbus-run-session then ends the bus.
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

bool PrivateBus::start(QString *why, Services services)
{
    QStringList arguments;
    if (services == Services::None) {
        // A session bus that starts nothing itself: a service asked for before the test's own
        // instance owns its name would otherwise be started a second time and take the name.
        const QString config = m_config.filePath(u"session.conf"_s);
        QFile file(config);
        if (!m_config.isValid() || !file.open(QIODevice::WriteOnly)
            || file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                          " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                          "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                          "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                          "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                < 0) {
            *why = u"cannot write the bus's configuration"_s;
            return false;
        }
        file.close();
        arguments << u"--config-file="_s + config;
    }
    arguments << u"--"_s << u"sh"_s << u"-c"_s << u"echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat >/dev/null"_s;
    m_process.start(u"dbus-run-session"_s, arguments);
    if (!m_process.waitForStarted(10000)) {
        *why = u"dbus-run-session did not start: "_s + m_process.errorString();
        return false;
    }
    pollUntil([this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; }, 10000);
    m_address = QString::fromUtf8(m_process.readLine()).trimmed();
    if (m_address.isEmpty()) {
        *why = u"dbus-run-session gave no bus address: "_s + QString::fromLocal8Bit(m_process.readAllStandardError());
        return false;
    }
    return true;
}

// -- Printing --

bool printAdmin(const QString &tool, const QStringList &arguments)
{
    int status = 0;
    run(tool, arguments, &status);
    return status == 0;
}

bool addQueue(const QString &name, bool makeDefault)
{
    const QString ppd = sessionValue("PENLOFT_DESKTOP_PPD");
    if (!printAdmin(u"lpadmin"_s, { u"-p"_s, name, u"-E"_s, u"-v"_s, u"cups-pdf:/"_s + name, u"-P"_s, ppd }))
        return false;
    printAdmin(u"cupsaccept"_s, { name });
    printAdmin(u"cupsenable"_s, { name });
    return !makeDefault || printAdmin(u"lpadmin"_s, { u"-d"_s, name });
}

QStringList pdfs(const QString &folder)
{
    return QDir(folder).entryList({ u"*.pdf"_s }, QDir::Files, QDir::Name);
}

QString waitForPdf(const QString &folder, const QStringList &before, int timeoutMs)
{
    QString found;
    pollUntil(
        [&] {
            const QStringList now = pdfs(folder);
            for (const QString &name : now) {
                if (!before.contains(name))
                    found = QDir(folder).filePath(name);
            }
            // Complete once no job is left in any queue.
            return !found.isEmpty() && run(u"lpstat"_s, { u"-o"_s }).trimmed().isEmpty();
        },
        timeoutMs);
    return found;
}

int latestJob()
{
    const QString jobs = run(u"lpstat"_s, { u"-W"_s, u"all"_s, u"-o"_s });
    int latest = 0;
    const QRegularExpression job(u"^\\S+-(\\d+)\\s"_s, QRegularExpression::MultilineOption);
    for (auto it = job.globalMatch(jobs); it.hasNext();)
        latest = qMax(latest, it.next().captured(1).toInt());
    return latest;
}

QString latestJobFile()
{
    // The request folder cannot be listed, only read by name: the job's number names the file.
    const int latest = latestJob();
    if (latest == 0)
        return {};
    return sessionValue("PENLOFT_DESKTOP_SPOOL") + u"/d%1-001"_s.arg(latest, 5, 10, QLatin1Char('0'));
}

int pdfPages(const QString &pdf)
{
    const QRegularExpressionMatch m = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(run(u"pdfinfo"_s, { pdf }));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const QString &pdf)
{
    QString text = run(u"pdftotext"_s, { u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s });
    text.remove(QRegularExpression(u"\\s"_s, QRegularExpression::UseUnicodePropertiesOption));
    return text;
}

QSizeF pdfPageSize(const QString &pdf)
{
    const QRegularExpressionMatch m =
        QRegularExpression(u"Page size:\\s+([\\d.]+) x ([\\d.]+) pts"_s).match(run(u"pdfinfo"_s, { pdf }));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

// -- The program's windows in this process --

Session::Session()
    : m_settings(settingsFolder())
    , m_oldSettings(qgetenv("XDG_CONFIG_HOME"))
    , m_oldState(qgetenv("XDG_STATE_HOME"))
{
    // The window's placement and its recovery files are read from and written to this test's
    // own folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_settings->path()));
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_settings->filePath(u"state"_s)));
    m_windows = Startup::createWindows();
    Startup::showWindows(*m_windows, {});
    // As the program's event loop would: the splash goes once the window is up.
    waitFor([this] { return !m_windows->window->splash(); });
    m_active = activate(windowId(m_windows->window.get()))
        && waitFor([this] { return QApplication::activeWindow() == m_windows->window.get(); });
}

Session::~Session()
{
    // Leaving without the close prompt: the windows go as they are.
    if (m_windows) {
        m_windows->window->RichEdit1->setModified(false);
        m_windows.reset();
    }
    qputenv("XDG_CONFIG_HOME", m_oldSettings);
    qputenv("XDG_STATE_HOME", m_oldState);
}

TPenForm1 &Session::window() const
{
    return *m_windows->window;
}

// -- Scripts --

struct Script::State {
    struct Step {
        QString what;
        std::function<bool()> condition;
        std::function<void()> action;
        int timeoutMs = 0;
    };
    QList<Step> steps;
    qsizetype next = 0;
    QTimer timer;
    QElapsedTimer waited;
    QString failure;
    bool running = false;

    void tick()
    {
        if (next >= steps.size() || !failure.isEmpty())
            return;
        const Step &step = steps.at(next);
        if (step.condition && !step.condition()) {
            if (waited.elapsed() > step.timeoutMs)
                fail(u"timed out waiting for "_s + step.what);
            return;
        }
        // An action may run event loops of its own: no tick meanwhile.
        timer.stop();
        const std::function<void()> action = step.action;
        ++next;
        if (action)
            action();
        waited.restart();
        if (next < steps.size() && failure.isEmpty())
            timer.start();
    }

    void fail(const QString &why)
    {
        failure = why;
        timer.stop();
        // Let every command waiting on a window return.
        while (QWidget *modal = QApplication::activeModalWidget()) {
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
            if (QApplication::activeModalWidget() == modal)
                break;
        }
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && !qobject_cast<TPenForm1 *>(top))
                top->close();
        }
    }
};

Script::Script()
    : m_state(std::make_shared<State>())
{
    m_state->timer.setInterval(30);
    QObject::connect(&m_state->timer, &QTimer::timeout, [state = m_state.get()] { state->tick(); });
}

Script::~Script()
{
    m_state->timer.stop();
}

Script &Script::waitFor(const QString &what, std::function<bool()> condition, int timeoutMs)
{
    m_state->steps.append({ what, std::move(condition), {}, timeoutMs });
    return *this;
}

Script &Script::then(std::function<void()> action)
{
    m_state->steps.append({ QString(), {}, std::move(action), 0 });
    return *this;
}

Script &Script::withModalWhere(const QString &what, std::function<bool(QWidget *)> isIt,
                               std::function<void(QWidget *)> action, int timeoutMs)
{
    auto dialog = std::make_shared<QWidget *>(nullptr);
    waitFor(
        what,
        [dialog, isIt] {
            QWidget *shown = shownModal();
            *dialog = shown && isIt(shown) ? shown : nullptr;
            return *dialog != nullptr;
        },
        timeoutMs);
    return then([dialog, action] { action(*dialog); });
}

void Script::start()
{
    m_state->waited.start();
    m_state->timer.start();
}

bool Script::isDone() const
{
    return m_state->next >= m_state->steps.size() && m_state->failure.isEmpty();
}

QString Script::failure() const
{
    if (!m_state->failure.isEmpty())
        return m_state->failure;
    if (m_state->next < m_state->steps.size())
        return u"not finished: "_s + m_state->steps.at(m_state->next).what;
    return {};
}

QWidget *Script::shownModal()
{
    QWidget *dialog = QApplication::activeModalWidget();
    if (dialog && dialog->isVisible() && dialog->windowHandle() && dialog->windowHandle()->isExposed())
        return dialog;
    return nullptr;
}

void keysIn(QWidget *dialog, const QStringList &names)
{
    activate(windowId(dialog));
    keys(names);
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    return pollUntil(done, timeoutMs);
}

} // namespace Desktop
