// The program on Wayland as users start it there: a headless sway (one for the file) as the
// compositor, the program on Qt's Wayland platform. Titles are read from sway's tree, keys come
// through a virtual keyboard (wtype) and the screen through grim: start, the title, typing, Save
// As through its dialog into a file, and the print preview reached through the menu bar.

#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString TitlePrefix = QString::fromUtf16(u"　Penloft          ");

// A window as sway shows it.
struct View {
    qint64 pid = 0;
    QString title;
    QRect rect; // on the output
    bool focused = false;
};

void collectViews(const QJsonObject &node, QList<View> *views)
{
    if (node.contains(u"pid"_s) && (node[u"type"_s] == u"con"_s || node[u"type"_s] == u"floating_con"_s)) {
        const QJsonObject r = node[u"rect"_s].toObject();
        views->append({ node[u"pid"_s].toInteger(), node[u"name"_s].toString(),
            QRect(r[u"x"_s].toInt(), r[u"y"_s].toInt(), r[u"width"_s].toInt(), r[u"height"_s].toInt()),
            node[u"focused"_s].toBool() });
    }
    for (const QString &children : { u"nodes"_s, u"floating_nodes"_s }) {
        for (const QJsonValue child : node[children].toArray())
            collectViews(child.toObject(), views);
    }
}

// The share of an area's pixels that are white, and of those that are dark (ink).
std::pair<double, double> whiteAndInk(const QImage &image, const QRect &area)
{
    int white = 0, ink = 0, all = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); y += 2) {
        for (int x = inside.left(); x <= inside.right(); x += 2) {
            const int gray = qGray(image.pixel(x, y));
            ++all;
            white += gray > 245;
            ink += gray < 100;
        }
    }
    return { all ? double(white) / all : 0, all ? double(ink) / all : 0 };
}

} // namespace

class tst_DesktopWayland : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup()
    {
        if (QTest::currentTestFailed())
            record(u"end"_s);
    }
    void startTypeSaveAsAndPreview();

private:
    QProcessEnvironment clients() const;
    QString tool(const QString &program, const QStringList &arguments, int *status = nullptr);
    QList<View> views();
    std::optional<View> waitForView(const std::function<bool(const View &)> &match);
    // Keys through the virtual keyboard. A new keymap (each wtype sends one of its own) can cost
    // the first key after it: every run starts with a tap of Shift, which no control heeds.
    void keyboard(const QStringList &arguments)
    {
        tool(u"wtype"_s, QStringList { u"-M"_s, u"shift"_s, u"-m"_s, u"shift"_s, u"-d"_s, u"30"_s } + arguments);
    }
    void type(const QString &text) { keyboard({ u"--"_s, text }); }
    void key(const QString &name) { keyboard({ u"-k"_s, name }); }
    void chord(const QString &modifier, const QString &letter)
    {
        keyboard({ u"-M"_s, modifier, letter, u"-m"_s, modifier });
    }
    QImage screen();
    void record(const QString &stage);

    QTemporaryDir m_runtime; // the compositor's XDG_RUNTIME_DIR, 0700
    QProcess m_sway;
    QProcess m_keyboard;
    QString m_display;
};

QProcessEnvironment tst_DesktopWayland::clients() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
    environment.insert(u"WAYLAND_DISPLAY"_s, m_display);
    environment.insert(u"SWAYSOCK"_s, m_runtime.filePath(u"sway.sock"_s));
    return environment;
}

QString tst_DesktopWayland::tool(const QString &program, const QStringList &arguments, int *status)
{
    QProcess process;
    process.setProcessEnvironment(clients());
    process.start(program, arguments);
    const bool finished = process.waitForFinished(20000);
    if (status)
        *status = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

void tst_DesktopWayland::initTestCase()
{
    QVERIFY(m_runtime.isValid());
    const QString config = m_runtime.filePath(u"sway.conf"_s);
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("xwayland disable\noutput HEADLESS-1 resolution 1280x1024\nfocus_follows_mouse no\n");
    file.close();
    QProcessEnvironment environment = clients();
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.insert(u"WLR_BACKENDS"_s, u"headless"_s);
    environment.insert(u"WLR_LIBINPUT_NO_DEVICES"_s, u"1"_s);
    environment.insert(u"WLR_RENDERER"_s, u"pixman"_s);
    m_sway.setProcessEnvironment(environment);
    m_sway.setProcessChannelMode(QProcess::MergedChannels);
    m_sway.start(u"sway"_s, { u"-c"_s, config });
    QVERIFY2(m_sway.waitForStarted(10000), qPrintable(u"sway did not start: "_s + m_sway.errorString()));
    // Up once its socket is there and it answers on its own.
    const bool up = Desktop::waitFor([&] {
        const QStringList sockets = QDir(m_runtime.path()).entryList({ u"wayland-*"_s }, QDir::System);
        for (const QString &socket : sockets) {
            if (!socket.endsWith(u".lock"_s))
                m_display = socket;
        }
        int status = -1;
        if (!m_display.isEmpty())
            tool(u"swaymsg"_s, { u"-t"_s, u"get_version"_s }, &status);
        return status == 0 || m_sway.state() == QProcess::NotRunning;
    });
    QVERIFY2(up && m_sway.state() == QProcess::Running,
        qPrintable(u"sway did not come up: "_s + QString::fromLocal8Bit(m_sway.readAll())));
    // One virtual keyboard for the whole file: each new one costs the first key after it.
    m_keyboard.setProcessEnvironment(clients());
    m_keyboard.start(u"wtype"_s, { u"-s"_s, u"86400000"_s });
    QVERIFY2(m_keyboard.waitForStarted(10000), "wtype did not start");
}

void tst_DesktopWayland::cleanupTestCase()
{
    for (QProcess *process : { &m_keyboard, &m_sway }) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(1000);
        }
    }
}

QList<View> tst_DesktopWayland::views()
{
    QList<View> found;
    const QJsonDocument tree
        = QJsonDocument::fromJson(tool(u"swaymsg"_s, { u"-r"_s, u"-t"_s, u"get_tree"_s }).toUtf8());
    collectViews(tree.object(), &found);
    return found;
}

std::optional<View> tst_DesktopWayland::waitForView(const std::function<bool(const View &)> &match)
{
    std::optional<View> found;
    Desktop::waitFor([&] {
        for (const View &view : views()) {
            if (match(view))
                found = view;
        }
        return found.has_value();
    });
    return found;
}

QImage tst_DesktopWayland::screen()
{
    QProcess grim;
    grim.setProcessEnvironment(clients());
    grim.start(u"grim"_s, { u"-t"_s, u"png"_s, u"-"_s });
    grim.waitForFinished(20000);
    // A whole screen is more than the program's guard against picture bombs lets an image
    // reader take.
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(64);
    const QImage image = QImage::fromData(grim.readAllStandardOutput(), "PNG");
    QImageReader::setAllocationLimit(limit);
    return image;
}

void tst_DesktopWayland::record(const QString &stage)
{
    const QString name = u"wayland-%1-%2.png"_s.arg(QString::fromLatin1(QTest::currentTestFunction()), stage);
    screen().save(QDir::temp().filePath(name));
    QStringList shown;
    for (const View &view : views())
        shown += u"\"%1\"%2"_s.arg(view.title, view.focused ? u" (focused)"_s : QString());
    qWarning(
        "windows %s; screen saved as %s", qPrintable(shown.join(u", "_s)), qPrintable(QDir::temp().filePath(name)));
}

void tst_DesktopWayland::startTypeSaveAsAndPreview()
{
    const auto settings = Desktop::settingsFolder();
    QTemporaryDir files;
    Desktop::Program program(settings->path());
    const QProcessEnvironment environment = clients();
    for (const QString &name : { u"XDG_RUNTIME_DIR"_s, u"WAYLAND_DISPLAY"_s })
        program.setVariable(name, environment.value(name));
    program.setVariable(u"QT_QPA_PLATFORM"_s, u"wayland"_s);
    for (const QString &name : { u"DISPLAY"_s, u"QT_IM_MODULE"_s, u"XMODIFIERS"_s, u"GTK_IM_MODULE"_s })
        program.removeVariable(name);
    QVERIFY(program.start());
    const qint64 pid = program.pid();

    // Started: the main window with the program's own title, given the keyboard.
    const std::optional<View> main = waitForView([&](const View &v) {
        return v.pid == pid && v.title == TitlePrefix + QString::fromUtf16(u"新規文書") && v.focused;
    });
    QVERIFY2(main, qPrintable(program.output()));

    // Typed and saved through Save As: the dialog, the name typed into it, the question before
    // a new file answered, the file on the disk, the new title.
    type(u"Wayland"_s);
    chord(u"ctrl"_s, u"s"_s);
    const std::optional<View> dialog
        = waitForView([&](const View &v) { return v.pid == pid && !v.title.startsWith(TitlePrefix) && v.focused; });
    QVERIFY2(dialog, "no Save As dialog took the keyboard");
    const QString path = files.filePath(u"wayland.rtf"_s);
    type(path);
    key(u"Return"_s);
    // The question has the dialog's caption and takes its place: a smaller window of the same
    // name with the keyboard.
    const bool asked = waitForView([&](const View &v) {
        return v.pid == pid && v.title == dialog->title && v.focused && v.rect.size() != dialog->rect.size();
    }).has_value();
    if (!asked)
        record(u"question"_s);
    QVERIFY(asked);
    key(u"y"_s);
    QVERIFY2(Desktop::waitFor([&] {
        QFile saved(path);
        return saved.open(QIODevice::ReadOnly) && saved.readAll().contains("Wayland");
    }),
        qPrintable(u"nothing saved at "_s + path));
    QVERIFY(waitForView(
        [&](const View &v) { return v.pid == pid && v.title == TitlePrefix + u"wayland.rtf"_s && v.focused; }));

    // The preview, through the menu bar from the keyboard (Alt, the first menu, its fifth
    // item): a window of its own with a page, text on it; Esc closes it.
    keyboard({ u"-P"_s, u"Alt_L"_s, u"-p"_s, u"Alt_L"_s });
    key(u"Down"_s);
    for (int i = 0; i < 4; ++i)
        key(u"Down"_s);
    key(u"Return"_s);
    // It is titled as the document's window is: the second window of that name, with the keyboard.
    std::optional<View> preview;
    Desktop::waitFor([&] {
        const QList<View> now = views();
        const bool two = std::count_if(now.begin(), now.end(), [&](const View &v) { return v.pid == pid; }) == 2;
        for (const View &v : now) {
            if (two && v.pid == pid && v.focused && v.title == TitlePrefix + u"wayland.rtf"_s)
                preview = v;
        }
        return preview.has_value();
    });
    if (!preview)
        record(u"preview"_s);
    QVERIFY2(preview, "no preview window");
    QImage shown;
    QVERIFY2(Desktop::waitFor([&] {
        shown = screen();
        const auto [white, ink] = whiteAndInk(shown, preview->rect);
        return white > 0.2 && ink > 0.0005;
    }),
        "the preview shows no page with text");
    key(u"Escape"_s);
    QVERIFY(Desktop::waitFor([&] {
        const QList<View> now = views();
        return std::count_if(now.begin(), now.end(), [&](const View &v) { return v.pid == pid; }) == 1;
    }));
}

QObject *newDesktopWaylandTest()
{
    return new tst_DesktopWayland;
}

#include "tst_wayland.moc"
