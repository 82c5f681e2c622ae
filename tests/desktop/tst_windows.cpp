// The program as users start it, on the session's desktop: what the window manager shows of
// its windows, where they open, and what the screen shows while it loads.

#include "desktop.h"

#include "app/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Desktop::Window;

namespace {

const QString NewDocumentTitle = QString::fromUtf16(u"　Penloft          新規文書");

// A window of the program's, by the title the window manager shows.
std::function<bool(const Window &)> titled(qint64 pid, const QString &title)
{
    return [pid, title](const Window &w) { return w.pid == pid && w.name == title; };
}

} // namespace

class tst_DesktopWindows : public QObject {
    Q_OBJECT
private slots:
    void titlesAreTheProgramsOwnText();
    void closePromptAsksAndCancels();
    void placementSurvivesStartsAndCloses_data();
    void placementSurvivesStartsAndCloses();
};

void tst_DesktopWindows::titlesAreTheProgramsOwnText()
{
    const auto settings = Desktop::settingsFolder();
    QTemporaryDir files;
    const QString document = files.filePath(u"手紙.txt"_s);
    QFile(document).open(QIODevice::WriteOnly);
    const QString missing = files.filePath(u"ない.txt"_s);

    // A missing document: the error box, captioned with the program's name alone (the splash,
    // whose caption is the same, is not shown in a title bar).
    Desktop::Program program(settings->path());
    QVERIFY(program.start({ document, missing }));
    const std::optional<Window> error = Desktop::waitForWindow(
        [&](const Window &w) { return titled(program.pid(), u"Penloft"_s)(w) && w.type == Desktop::DialogType; });
    QVERIFY2(error, "no error box captioned \"Penloft\"");
    QVERIFY(Desktop::activate(error->id));
    Desktop::key(u"Return"_s);
    QVERIFY(Desktop::waitForNoWindow([&](const Window &w) { return w.id == error->id; }));

    // The main window: the first document stays open and names the title, exactly.
    const std::optional<Window> main = Desktop::waitForWindow(
        titled(program.pid(), QString::fromUtf16(u"　Penloft          手紙.txt")));
    QVERIFY2(main, qPrintable(u"titles shown: "_s + [] {
                 QStringList names;
                 for (const Window &w : Desktop::windows())
                     names += w.name;
                 return names.join(u" | "_s);
             }()));

    // The help window's title, and the new document's after 新規作成.
    QVERIFY(Desktop::activate(main->id));
    Desktop::key(u"ctrl+n"_s);
    QVERIFY(Desktop::waitForWindow(titled(program.pid(), NewDocumentTitle)));
    Desktop::key(u"F1"_s);
    const std::optional<Window> help = Desktop::waitForWindow(
        [&](const Window &w) { return w.pid == program.pid() && w.name.contains(u"Penloft ヘルプ"_s); });
    QVERIFY(help);
    QVERIFY2(help->name.endsWith(u" - Penloft ヘルプ"_s) || help->name == u"Penloft ヘルプ"_s, qPrintable(help->name));

    QVERIFY(Desktop::activate(main->id));
    Desktop::key(u"alt+F4"_s);
    QVERIFY(program.waitForExit());
    QCOMPARE(program.exitCode(), 0);
}

void tst_DesktopWindows::closePromptAsksAndCancels()
{
    const auto settings = Desktop::settingsFolder();
    Desktop::Program program(settings->path());
    QVERIFY(program.start());
    const std::optional<Window> main = program.mainWindow();
    QVERIFY(main);
    QVERIFY(Desktop::activate(main->id));
    // A line break changes the document whatever state the input method is in.
    Desktop::key(u"Return"_s);

    // Closing asks, captioned 確認 alone; キャンセル (Escape) keeps everything.
    Desktop::key(u"alt+F4"_s);
    const auto prompt = titled(program.pid(), QString::fromUtf16(u"確認"));
    std::optional<Window> asked = Desktop::waitForWindow(prompt);
    QVERIFY2(asked, "no close prompt captioned 確認");
    QVERIFY(asked->transient);
    QCOMPARE(asked->type, Desktop::DialogType);
    QVERIFY(Desktop::activate(asked->id));
    Desktop::key(u"Escape"_s);
    QVERIFY(Desktop::waitForNoWindow(prompt));
    QVERIFY(!program.waitForExit(500));
    QVERIFY(Desktop::window(main->id));

    // いいえ gives the changes up: the program ends and writes nothing but its settings.
    QVERIFY(Desktop::activate(main->id));
    Desktop::key(u"alt+F4"_s);
    asked = Desktop::waitForWindow(prompt);
    QVERIFY(asked);
    QCOMPARE(asked->type, Desktop::DialogType);
    QVERIFY(Desktop::activate(asked->id));
    Desktop::key(u"alt+n"_s);
    QVERIFY(program.waitForExit());
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(QFile::exists(program.settingsFile()));
}

void tst_DesktopWindows::placementSurvivesStartsAndCloses_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QRect>("outer");
    // No settings file: the work area's top-left corner, the designed 637 x 480 with the frame.
    QTest::newRow("first start") << QByteArray() << QRect(0, 0, 637, 480);
    QTest::newRow("saved placement") << QByteArray("[Form]\r\nTop=120\r\nLeft=200\r\nWidth=700\r\nHeight=520\r\n")
                                     << QRect(200, 120, 700, 520);
}

void tst_DesktopWindows::placementSurvivesStartsAndCloses()
{
    QFETCH(QByteArray, settings);
    QFETCH(QRect, outer);
    const auto folder = Desktop::settingsFolder();
    if (!settings.isEmpty()) {
        const QString path = Desktop::Program(folder->path()).settingsFile();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(settings);
    }
    for (int start = 1; start <= 3; ++start) {
        Desktop::Program program(folder->path());
        QVERIFY(program.start());
        std::optional<Window> main = program.mainWindow();
        QVERIFY(main);
        // As the window manager has framed and placed it.
        QTest::qWait(300);
        main = Desktop::window(main->id);
        QVERIFY(main);
        QVERIFY2(!main->frame.isNull(), "the window manager gave the window no frame");
        QCOMPARE(main->outer(), outer);
        QVERIFY(Desktop::activate(main->id));
        Desktop::key(u"alt+F4"_s);
        QVERIFY(program.waitForExit());

        IniFile ini(program.settingsFile());
        ini.load();
        const QRect saved(ini.integer(u"Form"_s, u"Left"_s, -1), ini.integer(u"Form"_s, u"Top"_s, -1),
                          ini.integer(u"Form"_s, u"Width"_s, -1), ini.integer(u"Form"_s, u"Height"_s, -1));
        QVERIFY2(saved == outer, qPrintable(u"start %1 saved %2,%3 %4x%5"_s.arg(start).arg(saved.left()).arg(saved.top())
                                                .arg(saved.width()).arg(saved.height())));
    }
}

QObject *newDesktopWindowsTest()
{
    return new tst_DesktopWindows;
}

#include "tst_windows.moc"
