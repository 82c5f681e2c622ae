// What a screen reader reads of the program as users start it: over AT-SPI, on a D-Bus session
// of this file's own, a reader (pyatspi) finds the status panels and the counter, reads them
// as the caret moves and the text grows, hears their announcements, and finds the boxes of the
// format bar by their names.

#include "desktop.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// One accessible object as the reader listed it.
struct Node {
    QString role;
    QString name;
    QString text;
};

// The reader: tests/desktop/atspi-probe.py, run by the system's Python (the one with pyatspi)
// on the test's bus.
class Reader {
public:
    ~Reader()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(1000);
        }
    }

    bool start(const QString &busAddress, qint64 pid, QString *why)
    {
        QFile script(u":/atspi-probe.py"_s);
        if (!script.open(QIODevice::ReadOnly)) {
            *why = u"the reader's script is not built in"_s;
            return false;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, busAddress);
        m_process.setProcessEnvironment(environment);
        m_process.start(u"/usr/bin/python3"_s, { u"-c"_s, QString::fromUtf8(script.readAll()), QString::number(pid) });
        const bool ready = Desktop::waitFor([this] {
            readLines();
            return m_ready || m_process.state() == QProcess::NotRunning;
        });
        if (!ready || !m_ready) {
            *why = u"the reader (/usr/bin/python3 with pyatspi) did not start: "_s
                + QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        return true;
    }

    // The program's objects as the reader finds them now.
    QList<Node> tree()
    {
        m_nodes.clear();
        m_treeDone = false;
        m_process.write("tree\n");
        Desktop::waitFor([this] {
            readLines();
            return m_treeDone || m_process.state() == QProcess::NotRunning;
        });
        return m_nodes;
    }

    // Starts hearing the announcements; false when the reader did not take them up.
    bool listen()
    {
        m_process.write("listen\n");
        return Desktop::waitFor([this] {
            readLines();
            return m_listening || m_process.state() == QProcess::NotRunning;
        }) && m_listening;
    }
    // The announcements heard so far: type, role, name and text of each.
    QStringList events()
    {
        readLines();
        return m_events;
    }

private:
    void readLines()
    {
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).chopped(1);
            const QStringList fields = line.split(u'\t');
            if (line == u"ready"_s)
                m_ready = true;
            else if (line == u"end"_s)
                m_treeDone = true;
            else if (line == u"listening"_s)
                m_listening = true;
            else if (fields.first() == u"event"_s)
                m_events += fields.mid(1).join(u" | "_s);
            else if (fields.first() == u"node"_s && fields.size() == 5)
                m_nodes.append({ fields[2], fields[3], fields[4] });
        }
    }

    QProcess m_process;
    bool m_ready = false;
    bool m_treeDone = false;
    bool m_listening = false;
    QList<Node> m_nodes;
    QStringList m_events;
};

QString listed(const QList<Node> &nodes)
{
    QStringList lines;
    for (const Node &node : nodes)
        lines += u"%1 \"%2\" \"%3\""_s.arg(node.role, node.name, node.text);
    return lines.join(u"\n"_s);
}

bool hasNode(const QList<Node> &nodes, const QString &role, const QString &name, const QString &text)
{
    return std::any_of(
        nodes.begin(), nodes.end(), [&](const Node &n) { return n.role == role && n.name == name && n.text == text; });
}

// The whole listing in the log, a line at a time, for a failed check: the check's own message
// is cut after 1,024 bytes, a third of a listing, and would show it ending where it does not.
void logListing(const QList<Node> &nodes)
{
    qWarning("the reader listed %d objects:", int(nodes.size()));
    for (const QString &line : listed(nodes).split(u'\n'))
        qWarning("  %s", qPrintable(line));
}

// Whether the reader listed that object; the listing goes to the log when not.
bool listed(const QList<Node> &nodes, const QString &role, const QString &name, const QString &text)
{
    if (hasNode(nodes, role, name, text))
        return true;
    logListing(nodes);
    return false;
}

} // namespace

class tst_DesktopScreenReader : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup()
    {
        if (QTest::currentTestFailed())
            Desktop::recordFailure();
    }
    void panelsAndCounterAreReadAsTheCaretMoves();

private:
    Desktop::PrivateBus m_bus;
};

void tst_DesktopScreenReader::initTestCase()
{
    QString why;
    QVERIFY2(m_bus.start(&why), qPrintable(why));
}

void tst_DesktopScreenReader::panelsAndCounterAreReadAsTheCaretMoves()
{
    const auto settings = Desktop::settingsFolder();
    Desktop::Program program(settings->path());
    program.setVariable(u"DBUS_SESSION_BUS_ADDRESS"_s, m_bus.address());
    program.setVariable(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
    // Keys as they are typed, no reading composed: the panels follow the letters.
    program.setVariable(u"QT_IM_MODULE"_s, u"compose"_s);
    QVERIFY(program.start());
    const std::optional<Desktop::Window> window = program.mainWindow();
    QVERIFY2(window, "the main window did not appear");
    QVERIFY(Desktop::activate(window->id));

    Reader reader;
    QString why;
    QVERIFY2(reader.start(m_bus.address(), program.pid(), &why), qPrintable(why));
    QList<Node> nodes;
    const auto shows = [&](const QString &role, const QString &name, const QString &text) {
        return Desktop::waitFor([&] {
            nodes = reader.tree();
            return hasNode(nodes, role, name, text);
        }) || listed(nodes, role, name, text);
    };
    // At the start: line 1, column 0, nothing counted; the boxes of the format bar by name.
    QVERIFY(shows(u"label"_s, u"1 行　0 列"_s, u"1 行　0 列"_s));
    // The program answers, so its bridge is up: a listener that comes now reaches it.
    QVERIFY2(reader.listen(), "the reader did not take up the announcements");
    QVERIFY(listed(nodes, u"label"_s, u"文字数 0"_s, u"0"_s));
    for (const QString &name : { u"文字サイズ"_s, u"文字色"_s, u"背景色"_s }) {
        const bool named = std::any_of(nodes.begin(), nodes.end(), [&](const Node &n) { return n.name == name; });
        if (!named)
            logListing(nodes);
        QVERIFY2(named, qPrintable(name + u" names none of the objects listed"_s));
    }

    // A letter at a time, each to the window that has the focus: the start-up window closing
    // can leave the focus with the window manager after the main window had it.
    for (int column = 1; column <= 3; ++column) {
        QVERIFY(Desktop::activate(window->id));
        Desktop::type(QString(QChar(u'a' + column - 1)));
        const QString panel = u"1 行　%1 列"_s.arg(column);
        QVERIFY(shows(u"label"_s, panel, panel));
    }
    QVERIFY(shows(u"label"_s, u"文字数 3"_s, u"3"_s));
    QVERIFY(listed(nodes, u"label"_s, u"3   文字目です。"_s, u"3   文字目です。"_s));

    // A second line, and back one: line 2, column 1; the line break counts as two characters.
    QVERIFY(Desktop::activate(window->id));
    Desktop::keys({ u"Return"_s, u"d"_s, u"e"_s, u"Left"_s });
    QVERIFY(shows(u"label"_s, u"2 行　1 列"_s, u"2 行　1 列"_s));
    QVERIFY(shows(u"label"_s, u"文字数 7"_s, u"7"_s));
    QVERIFY(listed(nodes, u"label"_s, u"6   文字目です。"_s, u"6   文字目です。"_s));

    // Each move was announced as it was shown, the last one included: a change of the text of
    // the label that shows it.
    QStringList heard;
    const auto announced = [&](const QString &text) {
        return std::any_of(heard.cbegin(), heard.cend(), [&](const QString &event) {
            return event.startsWith(u"object:text-changed:insert | label | "_s) && event.endsWith(u" | "_s + text);
        });
    };
    const bool all = Desktop::waitFor([&] {
        heard = reader.events();
        return announced(u"2 行　1 列"_s) && announced(u"7"_s) && announced(u"6   文字目です。"_s);
    });
    QVERIFY2(all, qPrintable(heard.join(u"\n"_s)));
}

QObject *newDesktopScreenReaderTest()
{
    return new tst_DesktopScreenReader;
}

#include "tst_screenreader.moc"
