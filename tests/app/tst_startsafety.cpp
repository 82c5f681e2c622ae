// The main window's start with a settings file that is hostile: sizes no screen has, a pipe or
// a device in the file's place, a file of megabytes. The window starts, sane, at once.

#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/startup.h"
#include "app/tpenform1.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "scaling.h"
#include "testfiles.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString settingsPath()
{
    return settingsFilePath(QCoreApplication::applicationFilePath());
}

void removeSettings()
{
    ::unlink(QFile::encodeName(settingsPath()).constData());
}

} // namespace

class tst_StartSafety : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void savedPlacementAtStart_data();
    void savedPlacementAtStart();
    void nonRegularSettingsFileIsNeitherReadNorWritten_data();
    void nonRegularSettingsFileIsNeitherReadNorWritten();
    void endlessDeviceIsNotRead();
    void largeSettingsFileIsLookedUpByKey();

private:
    QStringList m_boxes;
};

void tst_StartSafety::init()
{
    removeSettings();
    m_boxes.clear();
    MessageBox::setSink([this](QWidget *, const MessageBox::Request &r) {
        m_boxes.append(r.text);
        return QMessageBox::Ok;
    });
}

void tst_StartSafety::cleanup()
{
    MessageBox::setSink({});
    removeSettings();
}

void tst_StartSafety::savedPlacementAtStart_data()
{
    QTest::addColumn<QByteArray>("values");
    // The outer size the window starts with; empty: its smallest layout.
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger than the screen") << "Top=0\r\nLeft=0\r\nWidth=1500\r\nHeight=1200"_ba << QSize(1500, 1200);
    QTest::newRow("largest int") << "Top=2147483647\r\nLeft=2147483647\r\nWidth=2147483647\r\nHeight=2147483647"_ba
                                 << QSize(MaxWindowSide, MaxWindowSide);
    QTest::newRow("largest int in hexadecimal")
        << "Top=0x7FFFFFFF\r\nLeft=0x7fffffff\r\nWidth=0x7FFFFFFF\r\nHeight=0x1F4"_ba << QSize(MaxWindowSide, 500);
    QTest::newRow("lowest") << "Top=-0x80000000\r\nLeft=-2147483648\r\nWidth=-2147483648\r\nHeight=0x80000000"_ba
                            << QSize();
    QTest::newRow("zero size") << "Width=0\r\nHeight=0"_ba << QSize();
}

// Through the program's own start: the window is made, shown and placed as the settings say.
// A size larger than the screen is kept as it was saved (and saved again at the end); only a
// size no window system makes is held, and a corner off the work area is pulled back onto it.
void tst_StartSafety::savedPlacementAtStart()
{
    QFETCH(QByteArray, values);
    QFETCH(QSize, size);
    TestFiles::write(settingsPath(), "[Form]\r\n" + values + "\r\n");
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(workArea.width() < 1500 && workArea.height() < 1200);
    std::unique_ptr<Startup::Windows> windows = Startup::createWindows();
    TPenForm1 &window = *windows->window;
    Startup::showWindows(*windows, {});
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect outer = window.frameGeometry();
    QVERIFY(workArea.contains(outer.topLeft()));
    if (size.isValid()) {
        QCOMPARE(outer.size(), size);
    } else {
        const QSize smallest = window.minimumSizeHint();
        QVERIFY2(outer.width() >= 1 && outer.width() <= qMax(workArea.width(), smallest.width()),
                 qPrintable(u"%1, smallest %2"_s.arg(outer.width()).arg(smallest.width())));
        QVERIFY2(outer.height() >= 1 && outer.height() <= qMax(workArea.height(), smallest.height()),
                 qPrintable(u"%1, smallest %2"_s.arg(outer.height()).arg(smallest.height())));
    }
    window.FormDestroy();
    IniFile saved(settingsPath());
    saved.load();
    QCOMPARE(QSize(saved.integer(u"Form"_s, u"Width"_s, -1), saved.integer(u"Form"_s, u"Height"_s, -1)), outer.size());
    QVERIFY(m_boxes.isEmpty());
}

void tst_StartSafety::nonRegularSettingsFileIsNeitherReadNorWritten_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a named pipe") << u"pipe"_s;
    QTest::newRow("a link to a named pipe") << u"link"_s;
}

// Reading a pipe would wait for a writer; writing it at shutdown would replace it by a file.
// The window starts with the defaults and the pipe stays what it is.
void tst_StartSafety::nonRegularSettingsFileIsNeitherReadNorWritten()
{
    QFETCH(QString, kind);
    const QByteArray path = QFile::encodeName(settingsPath());
    const QByteArray pipe = path + ".pipe";
    ::unlink(pipe.constData());
    QCOMPARE(::mkfifo(kind == u"pipe"_s ? path.constData() : pipe.constData(), 0600), 0);
    if (kind == u"link"_s)
        QCOMPARE(::symlink(pipe.constData(), path.constData()), 0);
    {
        TPenForm1 window;
        const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(window.frameGeometry().topLeft(), workArea.topLeft());
        window.FormDestroy();
    }
    // The settings could not be written: said at shutdown, and nothing replaced.
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first(), u"%1 に書き込めません."_s.arg(settingsPath()));
    struct stat st {};
    QCOMPARE(::lstat(path.constData(), &st), 0);
    QVERIFY(kind == u"pipe"_s ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
    ::unlink(pipe.constData());
}

// A device that never ends reads as no file at all. (Only read here: a program that wrote it
// would, as root, put a file in the device's place.)
void tst_StartSafety::endlessDeviceIsNotRead()
{
    const QByteArray path = QFile::encodeName(settingsPath());
    QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
    IniFile ini(settingsPath());
    ini.load();
    QCOMPARE(ini.integer(u"Form"_s, u"Top"_s, -1), -1);
    QCOMPARE(ini.toBytes(), "\r\n"_ba);
}

// The placement is read 101 times at start: each read is a look-up, not a scan of the file.
void tst_StartSafety::largeSettingsFileIsLookedUpByKey()
{
    auto file = [](int lines) -> QByteArray {
        QByteArray text = "[Other]\r\n";
        for (int i = 0; i < lines; ++i)
            text += "key" + QByteArray::number(i) + "=value\r\n";
        return text + "[Form]\r\nTop=5\r\nLeft=6\r\nWidth=300\r\nHeight=200\r\n";
    };
    IniFile ini(settingsPath());
    ini.parse(file(10));
    QCOMPARE(ini.integer(u"form"_s, u"LEFT"_s, 0), 6);
    const double growth = Scaling::growthOverFourfold(
        [&](int lines) {
            IniFile big(settingsPath());
            big.parse(file(lines));
            for (int pass = 0; pass <= 100; ++pass) {
                for (const char *key : { "Top", "Left", "Width", "Height" })
                    QCOMPARE(big.integer(u"Form"_s, QString::fromLatin1(key), -1) > 0, true);
            }
        },
        5000);
    QVERIFY2(growth < Scaling::LinearLimit, qPrintable(u"4x the lines cost %1x"_s.arg(growth)));
    // A file larger than a settings file can be is not read at all.
    TestFiles::write(settingsPath(), file(int(IniFile::MaxBytes / 14)));
    QVERIFY(QFileInfo(settingsPath()).size() > IniFile::MaxBytes);
    IniFile huge(settingsPath());
    huge.load();
    QCOMPARE(huge.integer(u"Form"_s, u"Top"_s, -1), -1);
    QVERIFY(!huge.writeValue(u"Form"_s, u"Top"_s, u"1"_s));
    QVERIFY(QFileInfo(settingsPath()).size() > IniFile::MaxBytes);
}

QTEST_MAIN(tst_StartSafety)
#include "tst_startsafety.moc"
