// The program as users start it, on the session's desktop: what the window manager shows of
// its windows, where they open, and what the screen shows while it loads.

#include "desktop.h"

#include "app/recentfiles.h"
#include "app/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;
using Desktop::Window;

namespace {

const QString NewDocumentTitle = QString::fromUtf16(u"　Penloft          新規文書");

// The share of an area's pixels close to a colour.
double shareOf(const QImage &image, const QRect &area, QColor color)
{
    int near = 0, all = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); y += 2) {
        for (int x = inside.left(); x <= inside.right(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            ++all;
            if (qAbs(c.red() - color.red()) < 40 && qAbs(c.green() - color.green()) < 40 && qAbs(c.blue() - color.blue()) < 40)
                ++near;
        }
    }
    return all ? double(near) / all : 0;
}

// The files in a folder with their sizes, a save's temporaries included.
QString listing(const QString &folder)
{
    QStringList entries;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
        entries += u"%1 %2 bytes"_s.arg(file.fileName()).arg(file.size());
    return entries.join(u", "_s);
}

// Whether `after` shows what `before` shows moved down by a few rows (a line or so), the rows
// that came in at the top aside.
bool movedDown(QImage before, QImage after)
{
    if (before.isNull() || before.size() != after.size())
        return false;
    before = before.convertToFormat(QImage::Format_RGB32);
    after = after.convertToFormat(QImage::Format_RGB32);
    const qsizetype rowBytes = qsizetype(before.width()) * 4;
    for (int shift = 4; shift < before.height() / 2; ++shift) {
        int y = shift;
        while (y < after.height() && std::memcmp(after.constScanLine(y), before.constScanLine(y - shift), rowBytes) == 0)
            ++y;
        if (y == after.height())
            return true;
    }
    return false;
}

// The recovery files a program with this settings folder keeps.
QStringList recoveryFiles(const QString &settings)
{
    return QDir(settings + u"/state/penloft/recovery"_s).entryList({ u"penloft-*.recovery"_s }, QDir::Files);
}

// A window of the program's, by the title the window manager shows.
std::function<bool(const Window &)> titled(qint64 pid, const QString &title)
{
    return [pid, title](const Window &w) { return w.pid == pid && w.name == title; };
}

// The recent documents a settings file lists, newest first.
QStringList recentFilesIn(const QString &settingsFile)
{
    IniFile ini(settingsFile);
    ini.load();
    RecentFiles files;
    files.read(ini);
    return files.paths();
}

// Opens the File menu of a main window with the mouse, as a user does: a click on its title at
// the menu bar's left end. True once the menu is drawn below it (a popup the window manager
// does not list: it is seen on the screen).
bool openFileMenu(const Window &main)
{
    const QPoint title = main.client.topLeft() + QPoint(20, 10);
    const QRect below(main.client.left() + 2, main.client.top() + 32, 160, 60);
    const QImage before = Desktop::grabScreen(below);
    Desktop::click(title);
    return Desktop::waitFor([&] { return Desktop::grabScreen(below) != before; });
}

} // namespace

class tst_DesktopWindows : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        if (QTest::currentTestFailed())
            Desktop::recordFailure();
    }
    void titlesAreTheProgramsOwnText();
    void closePromptAsksAndCancels();
    void placementSurvivesStartsAndCloses_data();
    void placementSurvivesStartsAndCloses();
    void longLoadShowsPaintedWindows();
    void longTextShowsItsStartAndTheFirstKeySeesAll();
    void helpIsFoundBesideTheProgramAndOpensOnTheScreen_data();
    void helpIsFoundBesideTheProgramAndOpensOnTheScreen();
    void recentFilesSurviveRestarts();
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
    // The recovery file, written this long after typing stops, shows that a key has changed the
    // document.
    program.setVariable(u"PENLOFT_RECOVERY_IDLE_MS"_s, u"300"_s);
    QVERIFY(program.start());
    const std::optional<Window> main = program.mainWindow();
    QVERIFY(main);
    QVERIFY(Desktop::activate(main->id));
    // A line break changes the document whatever state the input method is in. The window
    // manager's Alt+F4 does not wait for the input method to hand the key back: it goes once
    // the document holds the change.
    Desktop::key(u"Return"_s);
    QVERIFY2(Desktop::waitFor([&] { return !recoveryFiles(settings->path()).isEmpty(); }),
             "the line break did not reach the document");

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
    QVERIFY(program.isRunning());
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
        // As the window manager has framed and placed it, once the program has applied its
        // placement to the framed window.
        Desktop::waitFor([&] { return Desktop::window(main->id).value_or(Window()).outer() == outer; });
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

void tst_DesktopWindows::longLoadShowsPaintedWindows()
{
    // A 13 MB document read whole before it is shown (a long text otherwise shows its start at
    // once): reading it takes long enough to look at the screen meanwhile.
    QTemporaryDir files;
    const QString document = files.filePath(u"long.txt"_s);
    {
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray line = QByteArray("A long document, line of text number ").leftJustified(64, '.') + "\r\n";
        QByteArray block;
        for (int i = 0; i < 2048; ++i)
            block += line;
        for (int i = 0; i < 100; ++i)
            file.write(block);
    }
    const auto settings = Desktop::settingsFolder();
    Desktop::Program program(settings->path());
    program.setVariable(u"PENLOFT_READ_AT_ONCE"_s, u"1"_s);
    QVERIFY(program.start({ document }));

    // While the title still names a new document the file is being read.
    const std::optional<Window> main = Desktop::waitForWindow(titled(program.pid(), NewDocumentTitle));
    QVERIFY2(main, "the main window did not appear before the document was read");
    const std::optional<Window> splash = Desktop::waitForWindow(
        [&](const Window &w) { return w.pid == program.pid() && w.type == Desktop::SplashType; });
    QVERIFY2(splash, "no splash window while the document is read");
    // Looked at until both are painted, or the document is read: the window and the splash
    // are to be painted while it is read, not after.
    const QRect name(splash->client.left() + 5 + 35, splash->client.top() + 5 + 24, 320, 67);
    const QRect gauge(splash->client.left() + 5 + 35, splash->client.top() + 5 + 160, 320, 25);
    // Only the two windows' area is read from the screen: less taken from the program.
    const QRect seen = main->client.united(splash->client);
    QImage screen;
    const auto share = [&](const QRect &area, QColor color) { return shareOf(screen, area.translated(-seen.topLeft()), color); };
    bool stillLoading = true;
    const auto painted = [&] {
        // The main window is not one black rectangle, and its editor is white; the splash shows
        // its yellow panel, the program's name in red and its gauge full (blue) after the 101
        // steps.
        return share(main->client, Qt::black) < 0.5 && share(main->client.adjusted(20, 160, -40, -40), Qt::white) > 0.5
            && share(splash->client, QColor(255, 255, 0)) > 0.4 && share(name, Qt::red) > 0.05
            && share(gauge, Qt::blue) > 0.6;
    };
    Desktop::waitFor(
        [&] {
            stillLoading = Desktop::window(main->id).value_or(Window()).name == NewDocumentTitle;
            screen = Desktop::grabScreen(seen);
            return !stillLoading || painted();
        });
    screen.save(QDir::temp().filePath(u"penloft-long-load.png"_s));
    QVERIFY2(stillLoading, "the document was read before the window and the splash were painted");
    QVERIFY2(share(main->client, Qt::black) < 0.5, "the main window is black");
    QVERIFY(share(main->client.adjusted(20, 160, -40, -40), Qt::white) > 0.5);
    QVERIFY2(share(splash->client, QColor(255, 255, 0)) > 0.4, "the splash is not painted");
    QVERIFY2(share(name, Qt::red) > 0.05, "the splash's name is not red");
    QVERIFY2(share(gauge, Qt::blue) > 0.6, "the splash's gauge is not painted");

    // Once read, the title names it and the splash is gone.
    QVERIFY(Desktop::waitForWindow(titled(program.pid(), QString::fromUtf16(u"　Penloft          long.txt"))));
    QVERIFY(Desktop::waitForNoWindow([&](const Window &w) { return w.id == splash->id; }));
}

void tst_DesktopWindows::longTextShowsItsStartAndTheFirstKeySeesAll()
{
    // 40 MB of numbered lines: the start shows at once, the rest is read meanwhile.
    QTemporaryDir files;
    const QString document = files.filePath(u"huge.txt"_s);
    QByteArray text;
    text.reserve(41 << 20);
    for (int line = 0; text.size() < (40 << 20); ++line)
        text += QByteArray::number(line).rightJustified(9, '0') + " of a document too long to read at once\r\n";
    text += "the end";
    {
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(text), text.size());
    }
    const auto settings = Desktop::settingsFolder();
    Desktop::Program program(settings->path());
    QVERIFY(program.start({ document }));

    const std::optional<Window> main
        = Desktop::waitForWindow(titled(program.pid(), QString::fromUtf16(u"　Penloft          huge.txt")));
    QVERIFY2(main, "the window did not name the document");
    // The editor shows the first lines: dark text on white.
    const QRect lines = main->client.adjusted(10, 160, -40, -60);
    QImage screen;
    // Looked for in that area alone: less taken from the program. Waited for long: when the
    // program reads all 40 MB before its first paint (as it does once the input method has sent
    // its first event), a machine busy with other work takes well over 30 s.
    const bool shown = Desktop::waitFor(
        [&] {
            screen = Desktop::grabScreen(lines);
            return shareOf(screen, screen.rect(), Qt::black) > 0.02 && shareOf(screen, screen.rect(), Qt::white) > 0.5;
        },
        4 * Desktop::Patience);
    const QString seen = QDir::temp().filePath(u"penloft-long-text.png"_s);
    screen.save(seen);
    QVERIFY2(shown, qPrintable(u"the document's start is not shown (last seen: %1)"_s.arg(seen)));

    // A key and a save: the key (Enter, which the input method passes on) lands at the start,
    // and what is saved is the whole file. The save goes once the lines have moved down: a key
    // the input method passes on comes back when it answers, which can be after the next key.
    QVERIFY(Desktop::activate(main->id));
    const QImage before = Desktop::grabScreen(lines);
    Desktop::key(u"Return"_s);
    QImage after;
    const bool moved = Desktop::waitFor(
        [&] {
            after = Desktop::grabScreen(lines);
            return movedDown(before, after);
        },
        4 * Desktop::Patience);
    const QString seenAfter = QDir::temp().filePath(u"penloft-long-text-key.png"_s);
    after.save(seenAfter);
    QVERIFY2(moved, qPrintable(u"the line break did not move the lines down (last seen: %1)"_s.arg(seenAfter)));
    Desktop::key(u"ctrl+s"_s);
    // 40 MB synced to a disk that other work keeps busy: this can take a while.
    QVERIFY2(Desktop::waitFor([&] { return QFileInfo(document).size() == text.size() + 2; }, 4 * Desktop::Patience),
             qPrintable(u"the document was not saved whole (%1 bytes expected; in the folder: %2)"_s.arg(text.size() + 2)
                            .arg(listing(files.path()))));
    QFile saved(document);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll() == "\r\n" + text);
}

void tst_DesktopWindows::helpIsFoundBesideTheProgramAndOpensOnTheScreen_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::newRow("top left") << QByteArray();
    QTest::newRow("bottom right") << QByteArray("[Form]\r\nTop=900\r\nLeft=1150\r\nWidth=637\r\nHeight=480\r\n");
}

void tst_DesktopWindows::helpIsFoundBesideTheProgramAndOpensOnTheScreen()
{
    QFETCH(QByteArray, settings);
    QVERIFY2(QFile::exists(QFileInfo(Desktop::programPath()).absolutePath() + u"/help/index.html"_s),
             "the build did not place the guide beside the program");
    const auto folder = Desktop::settingsFolder();
    Desktop::Program program(folder->path());
    if (!settings.isEmpty()) {
        QDir().mkpath(QFileInfo(program.settingsFile()).absolutePath());
        QFile file(program.settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(settings);
    }
    QVERIFY(program.start());
    const std::optional<Window> main = program.mainWindow();
    QVERIFY(main);
    QVERIFY(Desktop::activate(main->id));
    Desktop::key(u"F1"_s);
    // The guide's own title names the window: the page was found, not reported missing.
    std::optional<Window> help = Desktop::waitForWindow(
        [&](const Window &w) { return w.pid == program.pid() && w.name.endsWith(u" - Penloft ヘルプ"_s); });
    QVERIFY2(help, "the help window shows no page of the guide");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    Desktop::waitFor([&] { return screen.contains(Desktop::window(help->id).value_or(Window()).outer()); });
    help = Desktop::window(help->id);
    QVERIFY(help);
    QVERIFY2(screen.contains(help->outer()),
             qPrintable(u"help window at %1,%2 %3x%4"_s.arg(help->outer().x()).arg(help->outer().y())
                            .arg(help->outer().width()).arg(help->outer().height())));
    QVERIFY(Desktop::activate(main->id));
    Desktop::key(u"alt+F4"_s);
    QVERIFY(program.waitForExit());
}

void tst_DesktopWindows::recentFilesSurviveRestarts()
{
    QTemporaryDir files;
    const QString first = files.filePath(u"first.txt"_s);
    const QString second = files.filePath(u"second.rtf"_s);
    for (const auto &[path, bytes] : { std::pair(first, QByteArray("the first document\r\n")),
                                       std::pair(second, QByteArray("{\\rtf1 the second document\\par}")) }) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    const auto folder = Desktop::settingsFolder();
    const QString product = QString::fromUtf16(u"　Penloft          ");

    // Two starts, each opening one document named on its command line.
    for (const QString &document : { first, second }) {
        Desktop::Program program(folder->path());
        QVERIFY(program.start({ document }));
        const std::optional<Window> main
            = Desktop::waitForWindow(titled(program.pid(), product + QFileInfo(document).fileName()));
        QVERIFY2(main, qPrintable(u"the window did not name %1"_s.arg(document)));
        QVERIFY(Desktop::activate(main->id));
        Desktop::key(u"alt+F4"_s);
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitCode(), 0);
    }
    QCOMPARE(recentFilesIn(Desktop::Program(folder->path()).settingsFile()), QStringList({ second, first }));

    // A third start, with nothing on its command line: the File menu's &2 is the first document.
    {
        Desktop::Program program(folder->path());
        QVERIFY(program.start());
        const std::optional<Window> main = program.mainWindow();
        QVERIFY(main);
        QVERIFY(Desktop::activate(main->id));
        QVERIFY2(openFileMenu(*main), "the File menu did not open");
        Desktop::key(u"2"_s);
        QVERIFY2(Desktop::waitForWindow(titled(program.pid(), product + u"first.txt"_s)),
                 "&2 of the File menu did not open the first document");
        Desktop::key(u"alt+F4"_s);
        QVERIFY(program.waitForExit());
        QCOMPARE(recentFilesIn(program.settingsFile()), QStringList({ first, second }));
    }

    // The second document is gone: choosing it says so, with the program's name as caption,
    // and it leaves the list; the open document stays.
    QVERIFY(QFile::remove(second));
    Desktop::Program program(folder->path());
    QVERIFY(program.start({ first }));
    const std::optional<Window> main = Desktop::waitForWindow(titled(program.pid(), product + u"first.txt"_s));
    QVERIFY(main);
    QVERIFY(Desktop::activate(main->id));
    QVERIFY2(openFileMenu(*main), "the File menu did not open");
    Desktop::key(u"2"_s);
    const auto error = [&](const Window &w) { return w.pid == program.pid() && w.transient && w.name == u"Penloft"_s; };
    const std::optional<Window> said = Desktop::waitForWindow(error);
    QVERIFY2(said, "choosing a document that is gone said nothing");
    QVERIFY(Desktop::activate(said->id));
    Desktop::key(u"Return"_s);
    QVERIFY(Desktop::waitForNoWindow(error));
    QVERIFY(Desktop::window(main->id));
    QCOMPARE(Desktop::window(main->id)->name, product + u"first.txt"_s);
    QCOMPARE(recentFilesIn(program.settingsFile()), QStringList({ first }));
    QVERIFY(Desktop::activate(main->id));
    Desktop::key(u"alt+F4"_s);
    QVERIFY(program.waitForExit());
    QCOMPARE(recentFilesIn(program.settingsFile()), QStringList({ first }));
}

QObject *newDesktopWindowsTest()
{
    return new tst_DesktopWindows;
}

#include "tst_windows.moc"
