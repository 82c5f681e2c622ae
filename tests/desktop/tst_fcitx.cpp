// Japanese typed through the other input method users have: fcitx5 with mozc, which the program
// reaches through Qt's fcitx module (QT_IM_MODULE=fcitx). fcitx5 runs, as mozc wants, as the
// session's user, on a D-Bus session of this file's own, beside the session's ibus. Romaji
// typed into the program as users start it become kana, and kanji when converted; the saved
// file holds what was committed.

#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool write(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QString readCp932(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringDecoder decoder("Shift_JIS");
    return decoder.decode(file.readAll());
}

} // namespace

class tst_DesktopFcitx : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup()
    {
        if (QTest::currentTestFailed())
            Desktop::recordFailure();
    }
    void romajiBecomeKanaAndKanjiInTheEditor();

private:
    Desktop::PrivateBus m_bus;
    QTemporaryDir m_config;
    QProcess m_fcitx;
};

void tst_DesktopFcitx::initTestCase()
{
    QString why;
    QVERIFY2(m_bus.start(&why, Desktop::PrivateBus::Services::None), qPrintable(why));
    // One group, mozc after the plain keyboard, and on from the first key: romaji typed into a
    // box become kana at once, as with the session's ibus.
    QVERIFY(write(m_config.filePath(u"fcitx5/profile"_s),
        "[Groups/0]\nName=Default\nDefault Layout=us\nDefaultIM=mozc\n\n"
        "[Groups/0/Items/0]\nName=keyboard-us\nLayout=\n\n"
        "[Groups/0/Items/1]\nName=mozc\nLayout=\n\n"
        "[GroupOrder]\n0=Default\n"));
    QVERIFY(write(m_config.filePath(u"fcitx5/config"_s), "[Behavior]\nActiveByDefault=True\nShareInputState=No\n"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_bus.address());
    environment.insert(u"XDG_CONFIG_HOME"_s, m_config.path());
    m_fcitx.setProcessEnvironment(environment);
    m_fcitx.setProcessChannelMode(QProcess::MergedChannels);
    // Only what a Qt program's input needs: no X input method, no ibus stand-in, no clipboard
    // watcher, no panel.
    m_fcitx.start(u"fcitx5"_s, { u"--disable=all"_s, u"--enable=dbus,dbusfrontend,keyboard,mozc,xcb"_s });
    QVERIFY2(m_fcitx.waitForStarted(10000), qPrintable(u"fcitx5 did not start: "_s + m_fcitx.errorString()));
    // Up once it answers on the bus.
    QProcess remote;
    remote.setProcessEnvironment(environment);
    const bool answers = Desktop::waitFor([&] {
        remote.start(u"fcitx5-remote"_s, QStringList());
        remote.waitForFinished(5000);
        return remote.exitStatus() == QProcess::NormalExit && remote.exitCode() == 0
            && !remote.readAllStandardOutput().trimmed().isEmpty();
    });
    QVERIFY2(answers, qPrintable(u"fcitx5 does not answer on its bus: "_s + QString::fromLocal8Bit(m_fcitx.readAll())));
}

void tst_DesktopFcitx::cleanupTestCase()
{
    if (m_fcitx.state() != QProcess::NotRunning) {
        m_fcitx.terminate();
        if (!m_fcitx.waitForFinished(3000)) {
            m_fcitx.kill();
            m_fcitx.waitForFinished(1000);
        }
    }
}

void tst_DesktopFcitx::romajiBecomeKanaAndKanjiInTheEditor()
{
    const auto settings = Desktop::settingsFolder();
    QTemporaryDir files;
    const QString document = files.filePath(u"にほんご.txt"_s);
    QVERIFY(write(document, QByteArray()));
    Desktop::Program program(settings->path());
    program.setVariable(u"DBUS_SESSION_BUS_ADDRESS"_s, m_bus.address());
    program.setVariable(u"QT_IM_MODULE"_s, u"fcitx"_s);
    QVERIFY(program.start({ document }));
    const std::optional<Desktop::Window> window = program.mainWindow();
    QVERIFY2(window, "the main window did not appear");
    QVERIFY(Desktop::activate(window->id));

    // Qt's module reaches fcitx5 over the bus only after the window shows, and fcitx5 loads
    // mozc at the first key: keys typed before pass as they are. A letter typed, committed and
    // saved, again until the file holds its kana; then the document emptied.
    const bool answers = Desktop::waitFor([&] {
        Desktop::keys({ u"ctrl+a"_s, u"BackSpace"_s, u"a"_s, u"Return"_s, u"ctrl+s"_s });
        return Desktop::waitFor([&] { return readCp932(document).contains(QString::fromUtf16(u"あ")); }, 2000);
    });
    QVERIFY2(answers, qPrintable(u"no kana from fcitx5: "_s + QString::fromLocal8Bit(m_fcitx.readAll())));
    Desktop::keys({ u"ctrl+a"_s, u"BackSpace"_s });

    // The reading committed as it is, then the same reading converted and committed: kana, then
    // kanji.
    Desktop::type(u"nihongo"_s);
    Desktop::key(u"Return"_s);
    Desktop::keys({ u"n"_s, u"i"_s, u"h"_s, u"o"_s, u"n"_s, u"g"_s, u"o"_s, u"space"_s, u"Return"_s });
    // Saved into the document opened (Shift-JIS text): what reached the editor.
    const QString expected = QString::fromUtf16(u"にほんご日本語");
    QString saved;
    const bool written = Desktop::waitFor([&] {
        Desktop::key(u"ctrl+s"_s);
        return Desktop::waitFor([&] { return (saved = readCp932(document)) == expected; }, 2000);
    });
    QVERIFY2(written,
        qPrintable(u"saved: \""_s + saved + u"\"; fcitx5 said: "_s + QString::fromLocal8Bit(m_fcitx.readAll())));
}

QObject *newDesktopFcitxTest()
{
    return new tst_DesktopFcitx;
}

#include "tst_fcitx.moc"
