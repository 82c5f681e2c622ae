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
    void firstSectionAndKeyCount();
    void setValueThenBytes();
    void windowSides_data();
    void windowSides();
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
    QTest::newRow("lowest int as a pattern") << u"0x80000000"_s << int(0x80000000u);
    QTest::newRow("lowest int negated is no int") << u"-0x80000000"_s << -999;
    QTest::newRow("negated largest") << u"-0x7FFFFFFF"_s << -2147483647;
    QTest::newRow("lowest int in decimal") << u"-2147483648"_s << int(0x80000000u);
    QTest::newRow("one below it") << u"-2147483649"_s << -999;
    QTest::newRow("sign after 0x") << u"0x-1"_s << -999;
    QTest::newRow("blank after 0x") << u"0x 1"_s << -999;
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

void tst_SettingsFile::firstSectionAndKeyCount()
{
    IniFile ini(m_dir.filePath(u"twice.ini"_s));
    ini.parse("[Form]\r\nTop=1\r\nTop=2\r\n; Left=9\r\n[form]\r\nLeft=3\r\n[Form\r\nWidth=4\r\n");
    QCOMPARE(ini.integer(u"Form"_s, u"Top"_s, -1), 1);
    // The second section of the same name, and keys after a broken section line, are not read.
    QCOMPARE(ini.integer(u"Form"_s, u"Left"_s, -1), -1);
    QCOMPARE(ini.integer(u"Form"_s, u"Width"_s, -1), -1);
}

void tst_SettingsFile::setValueThenBytes()
{
    IniFile ini(m_dir.filePath(u"memory.ini"_s));
    ini.parse("; note\r\n[Form]\r\nTop=1\r\n\r\n[Other]\r\nx=\x82\xa0\r\n");
    ini.setValue(u"Form"_s, u"Left"_s, u"2"_s);
    ini.setValue(u"New"_s, u"Key"_s, u"v"_s);
    QCOMPARE(ini.toBytes(), "; note\r\n[Form]\r\nTop=1\r\nLeft=2\r\n\r\n[Other]\r\nx=\x82\xa0\r\n[New]\r\nKey=v\r\n"_ba);
    QCOMPARE(ini.value(u"other"_s, u"X"_s), u"あ"_s);
    QCOMPARE(ini.integer(u"Form"_s, u"Left"_s, -1), 2);
}

void tst_SettingsFile::windowSides_data()
{
    QTest::addColumn<int>("saved");
    QTest::addColumn<int>("side");
    QTest::newRow("fits") << 637 << 637;
    QTest::newRow("larger than a 1280 x 1024 screen") << 1500 << 1500;
    QTest::newRow("largest made") << MaxWindowSide << MaxWindowSide;
    QTest::newRow("one more") << MaxWindowSide + 1 << MaxWindowSide;
    QTest::newRow("largest int") << 2147483647 << MaxWindowSide;
    QTest::newRow("zero") << 0 << 1;
    QTest::newRow("lowest int") << int(0x80000000u) << 1;
}

void tst_SettingsFile::windowSides()
{
    QFETCH(int, saved);
    QFETCH(int, side);
    QCOMPARE(checkedWindowSide(saved), side);
    // Corners far off every screen are pulled back by the checks all the same.
    const QRect workArea(10, 20, 1000, 700);
    QCOMPARE(checkedWindowPosition(QPoint(clampedWindowCoordinate(saved), clampedWindowCoordinate(saved)), workArea),
             checkedWindowPosition(QPoint(qBound(-100000, saved, 100000), qBound(-100000, saved, 100000)), workArea));
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
