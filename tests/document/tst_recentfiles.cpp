// The File menu's list of the documents last opened or saved: kept in the settings file, newest
// first, at most eight, and what choosing one does.

#include "app/japaneseui.h"
#include "app/recentfiles.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include "realdialogs.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

class tst_RecentFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listKeepsNewestFirstAndAtMostEight();
    void settingsKeepTheListBesideThePlacement();
    void hostileValuesArePassedOver();
    void menuTextShowsThePathAsItIs();

    void openedAndSavedDocumentsAreListedAboveExit();
    void choosingOneOpensIt();
    void choosingOneThatIsGoneSaysSoAndDropsIt();
    void listSurvivesARestart();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString settingsPath() const { return settingsFilePath(QCoreApplication::applicationFilePath()); }
    QStringList fileMenuTexts() const;

    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

void tst_RecentFiles::initTestCase()
{
    installJapaneseUi();
}

void tst_RecentFiles::init()
{
    QFile::remove(settingsPath());
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_RecentFiles::cleanup()
{
    RealDialogs::cancelPending();
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QFile::remove(settingsPath());
}

QStringList tst_RecentFiles::fileMenuTexts() const
{
    QStringList texts;
    const QList<QAction *> items = m_window->menuBar()->actions().first()->menu()->actions();
    for (QAction *action : items) {
        if (action->isVisible())
            texts << (action->isSeparator() ? u"--"_s : action->text());
    }
    return texts;
}

void tst_RecentFiles::listKeepsNewestFirstAndAtMostEight()
{
    RecentFiles files;
    for (int i = 1; i <= 10; ++i)
        files.add(u"/docs/%1.rtf"_s.arg(i));
    QCOMPARE(files.paths().size(), 8);
    QCOMPARE(files.paths().first(), u"/docs/10.rtf"_s);
    QCOMPARE(files.paths().last(), u"/docs/3.rtf"_s);
    // Opening one again brings it to the top, once.
    files.add(u"/docs/./5.rtf"_s);
    QCOMPARE(files.paths().first(), u"/docs/5.rtf"_s);
    QCOMPARE(files.paths().count(u"/docs/5.rtf"_s), 1);
    QCOMPARE(files.paths().size(), 8);
    files.remove(u"/docs/5.rtf"_s);
    QCOMPARE(files.paths().first(), u"/docs/10.rtf"_s);
    QCOMPARE(files.paths().size(), 7);
}

void tst_RecentFiles::settingsKeepTheListBesideThePlacement()
{
    const QString ini = path(u"settings.ini"_s);
    TestFiles::write(ini, "[Form]\r\nTop=10\r\nLeft=20\r\n"_ba);
    IniFile settings(ini);
    settings.load();
    RecentFiles files;
    files.read(settings);
    QVERIFY(files.paths().isEmpty());
    files.add(u"/home/ユーザー/日本語 & 😀.txt"_s);
    files.add(u"/tmp/a.rtf"_s);
    files.write(settings);
    QVERIFY(settings.save());

    IniFile again(ini);
    again.load();
    QCOMPARE(again.value(u"Form"_s, u"Top"_s), u"10"_s);
    QCOMPARE(again.value(u"Form"_s, u"Left"_s), u"20"_s);
    RecentFiles read;
    read.read(again);
    QCOMPARE(read.paths(), QStringList({ u"/tmp/a.rtf"_s, u"/home/ユーザー/日本語 & 😀.txt"_s }));
    // Written in ASCII whatever the names hold: the settings file's code page cannot hold every name.
    const QByteArray bytes = TestFiles::read(ini);
    for (const char c : bytes)
        QVERIFY(static_cast<unsigned char>(c) < 0x80);
}

void tst_RecentFiles::hostileValuesArePassedOver()
{
    IniFile settings(path(u"hostile.ini"_s));
    settings.parse("[Recent]\r\nFile1=relative/name.txt\r\nFile2=http://example.org/a.rtf\r\nFile3=\r\n"
                   "File4=file:///ok.rtf\r\nFile5=file:///ok.rtf\r\nFile6=file:///x%0Ay.txt\r\nFile7=%%%\r\n"
                   "File9=file:///ninth.rtf\r\n"_ba);
    RecentFiles files;
    files.read(settings);
    QCOMPARE(files.paths(), QStringList({ u"/ok.rtf"_s }));
}

void tst_RecentFiles::menuTextShowsThePathAsItIs()
{
    QCOMPARE(RecentFiles::menuText(0, u"/a/R&D.rtf"_s), u"&1 /a/R&&D.rtf"_s);
    QCOMPARE(RecentFiles::menuText(7, u"/b.txt"_s), u"&8 /b.txt"_s);
}

void tst_RecentFiles::openedAndSavedDocumentsAreListedAboveExit()
{
    const QStringList before = fileMenuTexts();
    QCOMPARE(before.last(), m_window->command(u"FileExit"_s)->text());
    QCOMPARE(before.at(before.size() - 2), u"--"_s);
    TestFiles::write(path(u"one.rtf"_s), "{\\rtf1 one}");
    TestFiles::write(path(u"two.txt"_s), "two");
    m_window->OpenFile(path(u"one.rtf"_s));
    m_window->OpenFile(path(u"two.txt"_s));
    const QStringList texts = fileMenuTexts();
    const int exit = int(texts.size()) - 1;
    QCOMPARE(texts.mid(exit - 4), QStringList({ u"--"_s, RecentFiles::menuText(0, path(u"two.txt"_s)),
                                               RecentFiles::menuText(1, path(u"one.rtf"_s)), u"--"_s,
                                               m_window->command(u"FileExit"_s)->text() }));
    // Everything the menu had before is still there, in its order.
    QCOMPARE(texts.first(before.size() - 2), before.first(before.size() - 2));

    // A save lists what it wrote, on top of the list the settings file has then (another
    // window's, here an emptied one).
    QFile::remove(settingsPath());
    m_window->RichEdit1->setFocus();
    QTest::keyClicks(m_window->RichEdit1, u"x"_s);
    QApplication::setActiveWindow(m_window);
    QTRY_VERIFY(m_window->isActiveWindow());
    QTest::keyClick(m_window->RichEdit1, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(TestFiles::read(path(u"two.txt"_s)), "xtwo"_ba);
    QCOMPARE(m_window->recentFiles().paths(), QStringList({ path(u"two.txt"_s) }));
}

void tst_RecentFiles::choosingOneOpensIt()
{
    TestFiles::write(path(u"first.rtf"_s), "{\\rtf1 first}");
    TestFiles::write(path(u"second.rtf"_s), "{\\rtf1 second}");
    m_window->OpenFile(path(u"first.rtf"_s));
    m_window->OpenFile(path(u"second.rtf"_s));
    m_window->recentFileItems().at(1)->trigger();
    QCOMPARE(m_window->CurrentFileName, path(u"first.rtf"_s));
    QCOMPARE(m_window->RichEdit1->textBytes(), "first"_ba);
    QCOMPARE(m_window->recentFiles().paths().first(), path(u"first.rtf"_s));
}

void tst_RecentFiles::choosingOneThatIsGoneSaysSoAndDropsIt()
{
    TestFiles::write(path(u"kept.rtf"_s), "{\\rtf1 kept}");
    TestFiles::write(path(u"gone.rtf"_s), "{\\rtf1 gone}");
    m_window->OpenFile(path(u"gone.rtf"_s));
    m_window->OpenFile(path(u"kept.rtf"_s));
    QFile::remove(path(u"gone.rtf"_s));
    QString said;
    RealDialogs::whenModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        said = box->text();
        box->accept();
    });
    m_window->recentFileItems().at(1)->trigger();
    QVERIFY2(said.contains(path(u"gone.rtf"_s)), qPrintable(said));
    // The open document stays as it was; the entry is gone from the menu and the settings.
    QCOMPARE(m_window->CurrentFileName, path(u"kept.rtf"_s));
    QCOMPARE(m_window->recentFiles().paths(), QStringList({ path(u"kept.rtf"_s) }));
    QVERIFY(!m_window->recentFileItems().at(1)->isVisible());
    IniFile settings(settingsPath());
    settings.load();
    RecentFiles stored;
    stored.read(settings);
    QCOMPARE(stored.paths(), QStringList({ path(u"kept.rtf"_s) }));
}

void tst_RecentFiles::listSurvivesARestart()
{
    TestFiles::write(path(u"a.rtf"_s), "{\\rtf1 a}");
    TestFiles::write(path(u"b.rtf"_s), "{\\rtf1 b}");
    m_window->OpenFile(path(u"a.rtf"_s));
    m_window->OpenFile(path(u"b.rtf"_s));
    m_window->close();
    delete m_window;
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QCOMPARE(m_window->recentFiles().paths(), QStringList({ path(u"b.rtf"_s), path(u"a.rtf"_s) }));
    QVERIFY(fileMenuTexts().contains(RecentFiles::menuText(1, path(u"a.rtf"_s))));
}

QTEST_MAIN(tst_RecentFiles)
#include "tst_recentfiles.moc"
