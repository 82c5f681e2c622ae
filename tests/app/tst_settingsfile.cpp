#include "app/settingsfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"

using namespace Qt::StringLiterals;

class tst_SettingsFile : public QObject {
    Q_OBJECT
private slots:
    void integers_data();
    void integers();
    void missingFileSectionOrKeyGivesTheDefault();
    void namesIgnoreCase();
    void writingKeepsTheRestOfTheFile();
    void writingCreatesFileAndSection();
    void failedWriteReportsAndKeepsTheFile();
    void workAreaChecks_data();
    void workAreaChecks();
    void fileBesideTheProgram();

private:
    QTemporaryDir m_dir;
};

void tst_SettingsFile::integers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -999 stands for "the default"
    QTest::newRow("decimal") << u"123"_s << 123;
    QTest::newRow("negative with blanks") << u"  -45 "_s << -45;
    QTest::newRow("plus sign") << u"+7"_s << 7;
    QTest::newRow("hexadecimal 0x") << u"0x1F"_s << 31;
    QTest::newRow("hexadecimal 0X lower digits") << u"0X1f"_s << 31;
    QTest::newRow("negative hexadecimal") << u"-0x10"_s << -16;
    QTest::newRow("hexadecimal all ones is -1") << u"0xFFFFFFFF"_s << -1;
    QTest::newRow("zero") << u"0"_s << 0;
    QTest::newRow("letters after digits") << u"12abc"_s << -999;
    QTest::newRow("empty") << QString() << -999;
    QTest::newRow("0x alone") << u"0x"_s << -999;
    QTest::newRow("too large") << u"99999999999"_s << -999;
    QTest::newRow("fraction") << u"1.5"_s << -999;
    QTest::newRow("inner blank") << u"1 2"_s << -999;
    QTest::newRow("too many hex digits") << u"0x123456789"_s << -999;
}

void tst_SettingsFile::integers()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    const QString path = m_dir.filePath(u"int.ini"_s);
    TestFiles::write(path, "[Form]\r\nTop=" + text.toUtf8() + "\r\n");
    IniFile ini(path);
    ini.load();
    QCOMPARE(ini.integer(u"Form"_s, u"Top"_s, -999), value);
}

void tst_SettingsFile::missingFileSectionOrKeyGivesTheDefault()
{
    IniFile missing(m_dir.filePath(u"none.ini"_s));
    missing.load();
    QCOMPARE(missing.integer(u"Form"_s, u"Top"_s, 42), 42);
    const QString path = m_dir.filePath(u"other.ini"_s);
    TestFiles::write(path, "[Other]\nTop=5\n[Form]\nLeft=3\n");
    IniFile ini(path);
    ini.load();
    QCOMPARE(ini.integer(u"Form"_s, u"Top"_s, 42), 42);
    QCOMPARE(ini.integer(u"Form"_s, u"Left"_s, 42), 3);
    QCOMPARE(ini.integer(u"Nowhere"_s, u"Left"_s, 42), 42);
}

void tst_SettingsFile::namesIgnoreCase()
{
    const QString path = m_dir.filePath(u"case.ini"_s);
    TestFiles::write(path, "[FORM]\r\nwidth = 800\r\n");
    IniFile ini(path);
    ini.load();
    QCOMPARE(ini.integer(u"Form"_s, u"Width"_s, 0), 800);
}

void tst_SettingsFile::writingKeepsTheRestOfTheFile()
{
    const QString path = m_dir.filePath(u"keep.ini"_s);
    TestFiles::write(path, "; written by hand\r\n[Other]\r\nx=1\r\n\r\n[Form]\r\nTop=5\r\n\r\n[Last]\r\ny=2\r\n");
    IniFile ini(path);
    ini.load();
    QVERIFY(ini.writeValue(u"Form"_s, u"Top"_s, u"7"_s));
    QVERIFY(ini.writeValue(u"Form"_s, u"Left"_s, u"-3"_s));
    QCOMPARE(TestFiles::read(path),
             "; written by hand\r\n[Other]\r\nx=1\r\n\r\n[Form]\r\nTop=7\r\nLeft=-3\r\n\r\n[Last]\r\ny=2\r\n"_ba);
    // Each write is on disk at once: a fresh reader sees it.
    IniFile again(path);
    again.load();
    QCOMPARE(again.integer(u"Form"_s, u"Left"_s, 0), -3);
}

void tst_SettingsFile::writingCreatesFileAndSection()
{
    const QString path = m_dir.filePath(u"new.ini"_s);
    IniFile ini(path);
    ini.load();
    QVERIFY(ini.writeValue(u"Form"_s, u"Top"_s, u"0"_s));
    QVERIFY(ini.writeValue(u"Form"_s, u"Left"_s, u"10"_s));
    QCOMPARE(TestFiles::read(path), "[Form]\r\nTop=0\r\nLeft=10\r\n"_ba);
}

void tst_SettingsFile::failedWriteReportsAndKeepsTheFile()
{
    IniFile nowhere(m_dir.filePath(u"no/such/folder/x.ini"_s));
    QVERIFY(!nowhere.writeValue(u"Form"_s, u"Top"_s, u"1"_s));
    // A folder where the file should be cannot be replaced.
    const QString folder = m_dir.filePath(u"folder.ini"_s);
    QDir().mkpath(folder);
    IniFile blocked(folder);
    QVERIFY(!blocked.writeValue(u"Form"_s, u"Top"_s, u"1"_s));
    QVERIFY(QFileInfo(folder).isDir());
}

void tst_SettingsFile::workAreaChecks_data()
{
    QTest::addColumn<QPoint>("saved");
    QTest::addColumn<QPoint>("placed");
    // Work area: left 10, top 20, 1000 x 700 (right edge 1010, bottom edge 720).
    QTest::newRow("inside") << QPoint(100, 100) << QPoint(100, 100);
    QTest::newRow("left at right - 100 kept") << QPoint(910, 100) << QPoint(910, 100);
    QTest::newRow("left one past goes to the left edge") << QPoint(911, 100) << QPoint(10, 100);
    QTest::newRow("left at the left edge kept") << QPoint(10, 100) << QPoint(10, 100);
    QTest::newRow("left one before the edge") << QPoint(9, 100) << QPoint(10, 100);
    QTest::newRow("negative left") << QPoint(-50, 100) << QPoint(10, 100);
    QTest::newRow("top at the top edge kept") << QPoint(100, 20) << QPoint(100, 20);
    QTest::newRow("top one above") << QPoint(100, 19) << QPoint(100, 20);
    QTest::newRow("negative top") << QPoint(100, -8) << QPoint(100, 20);
    QTest::newRow("top at bottom - 100 kept") << QPoint(100, 620) << QPoint(100, 620);
    QTest::newRow("top one past goes to the top edge") << QPoint(100, 621) << QPoint(100, 20);
}

void tst_SettingsFile::workAreaChecks()
{
    QFETCH(QPoint, saved);
    QFETCH(QPoint, placed);
    QCOMPARE(checkedWindowPosition(saved, QRect(10, 20, 1000, 700)), placed);
}

void tst_SettingsFile::fileBesideTheProgram()
{
    const QString program = m_dir.filePath(u"penloft"_s);
    QCOMPARE(settingsFilePath(program), m_dir.filePath(u"penloft.ini"_s));
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"
