#pragma once

#include <QImage>
#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class TPenForm1;
namespace Startup {
struct Windows;
}

// What the desktop tests share: the session desktop-session started (its environment), the
// window manager's view of the windows (read with xprop and xwininfo, as another client sees
// them), real input through xdotool, and the print server's queues and files.
namespace Desktop {

// How long a step waits for what it needs before it fails, in ms. Only a fault waits that
// long: on a machine busy with other work every step is slower, and the suite must not fail
// for that.
inline constexpr int Patience = 30000;

// -- The session --
QString sessionValue(const char *name); // a PENLOFT_DESKTOP_* value; empty outside a session
QString queue(); // the default queue
QString queue2(); // the second queue
QString pdfFolder(); // where the default queue's PDFs land
QString pdf2Folder();
// The program under test: the session's copy of it, with the help folder beside it (the build
// itself may be out of this user's reach).
QString programPath();

// Runs a tool and returns its standard output (standard error too when asked); exitCode gets
// its status (-1 when it did not finish within timeoutMs).
QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr, int timeoutMs = 20000,
            bool withErrors = false);

// -- Windows as the window manager shows them --
struct Window {
    quint32 id = 0;
    QString name; // _NET_WM_NAME: the title bar's text
    qint64 pid = 0;
    bool transient = false; // a dialog of another window
    QString type; // _NET_WM_WINDOW_TYPE, first entry
    QRect client; // on the screen
    QMargins frame; // _NET_FRAME_EXTENTS
    QRect outer() const { return client.marginsAdded(frame); }
};
inline const QString DialogType = QStringLiteral("_NET_WM_WINDOW_TYPE_DIALOG");
inline const QString SplashType = QStringLiteral("_NET_WM_WINDOW_TYPE_SPLASH");
// The managed windows, as _NET_CLIENT_LIST lists them.
QList<Window> windows();
std::optional<Window> window(quint32 id);
// Waits for a managed window that `match` accepts; none when timeoutMs passed first.
std::optional<Window> waitForWindow(const std::function<bool(const Window &)> &match, int timeoutMs = Patience);
// Waits until no managed window is accepted by `match`.
bool waitForNoWindow(const std::function<bool(const Window &)> &match, int timeoutMs = Patience);
// The screen as it is shown now, or one area of it (the image then starts at its top-left).
QImage grabScreen(const QRect &area = QRect());
// After a failed test: the screen saved in the session's temporary folder, named after the
// test, and which window the window manager has active and which has the input focus.
void recordFailure();
QString focusReport();

// -- Real input --
// Types a letter into a box of this process until the input method composes it: its server
// starts at the first key it is given, which on a busy machine takes a while. False when it
// did not answer within timeoutMs.
bool inputMethodAnswers(int timeoutMs);
// Activates a window through the window manager and waits until it has the input focus,
// asking again while the window is not yet mapped or another one took the focus meanwhile.
bool activate(quint32 id);
// Key presses in xdotool's names ("alt+F4", "ctrl+p", "Return"), one after another.
void keys(const QStringList &names);
inline void key(const QString &name) { keys({ name }); }
// Types text, a key press per character.
void type(const QString &text);
// A left click at a screen point.
void click(QPoint screenPoint);
// A left click at the middle of a widget of this process, once its window is on the screen
// where this process knows it to be (the window manager places a window after mapping it);
// false when it did not get there in time.
bool clickOn(const QWidget *widget);
// The X window of a top-level widget of this process.
quint32 windowId(const QWidget *widget);

// -- The program as users start it --
class Program {
public:
    // Its settings folder (its XDG_CONFIG_HOME) is `settingsFolder`, with the session's input
    // method reachable from there.
    explicit Program(const QString &settingsFolder);
    ~Program(); // a program still running is ended by its pid

    bool start(const QStringList &arguments = {});
    // An environment variable for the program, set before start().
    void setVariable(const QString &name, const QString &value);
    void removeVariable(const QString &name);
    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // The main window once it shows its title; none when it did not appear in time.
    std::optional<Window> mainWindow(int timeoutMs = Patience) const;
    bool waitForExit(int timeoutMs = Patience);
    int exitCode() const { return m_process.exitCode(); }
    QString settingsFile() const; // where its window placement is kept
    QString output() { return QString::fromLocal8Bit(m_process.readAll()); }

private:
    QString m_settingsFolder;
    QProcess m_process;
};

// A D-Bus session of its own (dbus-run-session), for what one test file starts there and
// nowhere else: the screen readers' bus, a second input method. Its daemon and what it
// started on demand end with it.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // Whether the bus starts the services installed on the system when they are asked for.
    enum class Services { OnDemand, None };
    // False, with the reason in *why, when the bus did not come up.
    bool start(QString *why, Services services = Services::OnDemand);
    QString address() const { return m_address; }

private:
    QProcess m_process;
    QString m_address;
    QTemporaryDir m_config;
};

// A settings folder for one test, with the input method's address in it.
std::unique_ptr<QTemporaryDir> settingsFolder();

// -- The print server --
// Runs an administration tool of the print server (lpadmin, cupsreject, ...); true on success.
bool printAdmin(const QString &tool, const QStringList &arguments);
// Removes a queue and adds it again, enabled and accepting (default when asked).
bool addQueue(const QString &name, bool makeDefault);
// The PDFs in a queue's folder.
QStringList pdfs(const QString &folder);
// Waits for a PDF beyond `before` to be complete in `folder` (the queue idle again); returns it.
QString waitForPdf(const QString &folder, const QStringList &before, int timeoutMs = Patience);
// The number of the latest job the print server took (0 for none yet).
int latestJob();
// The file the latest job was sent to the queues as (what the program printed).
QString latestJobFile();
int pdfPages(const QString &pdf);
QString pdfText(const QString &pdf); // without white space
QSizeF pdfPageSize(const QString &pdf); // points

// -- The program's windows in this process --
// Made as a start makes them, shown, painted and active, with a settings folder of their
// own; the tests drive them with real input and read their state directly.
class Session {
public:
    Session();
    ~Session(); // leaves without the close prompt

    TPenForm1 &window() const;
    // Whether the main window came up active, with the input focus.
    bool isActive() const { return m_active; }
    Startup::Windows &windows() const { return *m_windows; }

private:
    std::unique_ptr<QTemporaryDir> m_settings;
    QByteArray m_oldSettings;
    QByteArray m_oldState;
    std::unique_ptr<Startup::Windows> m_windows;
    bool m_active = false;
};

// -- Steps run while a command waits --
// A command that shows a modal dialog or a preview keeps the test waiting inside its own event
// loop: what the user does meanwhile is a script of steps, each run once its condition holds,
// from whichever event loop is running. A step whose condition does not come true in time
// ends the script: its failure names that step, and every modal dialog is rejected and every
// other window of this process closed, so that the command returns.
class Script {
public:
    Script();
    ~Script();
    Script(const Script &) = delete;
    Script &operator=(const Script &) = delete;

    Script &waitFor(const QString &what, std::function<bool()> condition, int timeoutMs = Patience);
    Script &then(std::function<void()> action);
    // Waits for a modal dialog of class Dialog on the screen, then acts on it.
    template <class Dialog>
    Script &withModal(const QString &what, std::function<void(Dialog *)> action, int timeoutMs = Patience)
    {
        auto dialog = std::make_shared<Dialog *>(nullptr);
        waitFor(
            what, [dialog] { return (*dialog = qobject_cast<Dialog *>(shownModal())) != nullptr; }, timeoutMs);
        return then([dialog, action] { action(*dialog); });
    }
    // Waits for a modal dialog that `isIt` accepts on the screen, then acts on it.
    Script &withModalWhere(const QString &what, std::function<bool(QWidget *)> isIt, std::function<void(QWidget *)> action,
                           int timeoutMs = Patience);
    void start();
    bool isDone() const;
    QString failure() const; // empty while nothing failed

    // The modal dialog on the screen, if any.
    static QWidget *shownModal();

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Activates a dialog of this process and presses keys in it.
void keysIn(QWidget *dialog, const QStringList &names);
// Waits, handling events, until `done` holds.
bool waitFor(const std::function<bool()> &done, int timeoutMs = Patience);

} // namespace Desktop
