#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "tools/helpviewer.h"
#include "tools/mail.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include "testfiles.h"

using namespace Qt::StringLiterals;

class tst_MailAboutHelp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void mailBodyHasEachLineOnceAndNoPictures_data();
    void mailBodyHasEachLineOnceAndNoPictures();
    void bodyTooLongForTheMailCommandFails();
    void failuresOfTheMailCommand();
    void noMailCommandFailsAtOnce();
    void aboutBox();
    void helpOpensTheGuideWithWorkingLinks();
    void missingHelpIsReportedByTheViewer();

private:
    void writeFile(const QString &path, const QByteArray &bytes, bool executable = false);
    // The body of the mailto address the mail command handed on, decoded.
    QByteArray bodySent() const;
    QString urlFile() const { return m_dir.filePath(u"url"_s); }

    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
    QList<MessageBox::Request> m_boxes;
};

void tst_MailAboutHelp::writeFile(const QString &path, const QByteArray &bytes, bool executable)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

void tst_MailAboutHelp::initTestCase()
{
    if (QStandardPaths::findExecutable(u"xdg-email"_s).isEmpty())
        QSKIP("xdg-utils are not installed");
    // The desktop's own mail command, with a stand-in for the mail program: on a desktop it knows
    // nothing of, xdg-email hands the mailto address to $BROWSER, which records it here and
    // ends with the status the test asks for. No desktop's mail program may answer instead.
    const QString browser = m_dir.filePath(u"browser"_s);
    writeFile(browser,
              "#!/bin/sh\n"
              "printf '%s' \"$1\" > \"$PENLOFT_MAIL_URL\"\n"
              "exit ${PENLOFT_MAIL_STATUS:-0}\n",
              true);
    qputenv("BROWSER", QFile::encodeName(browser));
    qputenv("PENLOFT_MAIL_URL", QFile::encodeName(urlFile()));
    for (const char *name : { "XDG_CURRENT_DESKTOP", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "DESKTOP_SESSION",
                              "MAILER", "DISPLAY", "WAYLAND_DISPLAY" })
        qunsetenv(name);
    for (const char *name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS" }) {
        const QString folder = m_dir.filePath(QString::fromLatin1(name));
        QDir().mkpath(folder);
        qputenv(name, QFile::encodeName(folder));
    }
}

void tst_MailAboutHelp::init()
{
    qunsetenv("PENLOFT_MAIL_STATUS");
    QFile::remove(urlFile());
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_boxes.clear();
    MessageBox::setSink([this](QWidget *, const MessageBox::Request &r) {
        m_boxes << r;
        return QMessageBox::Ok;
    });
    m_window = new TPenForm1;
}

void tst_MailAboutHelp::cleanup()
{
    m_window->RichEdit1->setModified(false);
    delete m_window;
    MessageBox::setSink({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

QByteArray tst_MailAboutHelp::bodySent() const
{
    QFile file(urlFile());
    if (!file.open(QIODevice::ReadOnly))
        return "no mailto address was handed on";
    const QByteArray url = file.readAll();
    const QByteArray prefix = "mailto:?body=";
    if (!url.startsWith(prefix))
        return "not a mailto address with a body: " + url;
    return QByteArray::fromPercentEncoding(url.mid(prefix.size()));
}

void tst_MailAboutHelp::mailBodyHasEachLineOnceAndNoPictures_data()
{
    const QByteArray picture = "{\\pict\\pngblip " + TestFiles::fixture(u"pictures/small.png"_s).toHex() + "}";
    const QByteArray cellFormats = "\\trowd\\cellx2000\\cellx4000";
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("body"); // UTF-8, as the mail program gets it
    QTest::newRow("three lines") << "\x88\xea\x8d\x73\x96\xda\r\n\x93\xf1\x8d\x73\x96\xda\r\nthree"_ba
                                 << "一行目\r\n二行目\r\nthree\r\n"_ba;
    QTest::newRow("empty document") << QByteArray() << QByteArray();
    QTest::newRow("empty lines, the last one too") << "a\r\n\r\nb\r\n"_ba << "a\r\n\r\nb\r\n\r\n"_ba;
    // A shell reads a backslash as the start of an escape (\n, \t, \c): none may reach the body.
    QTest::newRow("backslashes and spaces") << "C:\\new\\table \\c  \r\n  \\\\x"_ba << "C:\\new\\table \\c  \r\n  \\\\x\r\n"_ba;
    QTest::newRow("pictures") << "{\\rtf1\\ansi before" + picture + "after\\par " + picture + "\\par end\\par}"
                              << "beforeafter\r\n\r\nend\r\n"_ba;
    // Each cell's paragraphs a line each; the paragraph kept after a table, and the empty one the
    // last \par leaves there, empty lines.
    QTest::newRow("table") << "{\\rtf1\\ansi above\\par " + cellFormats + "\\intbl A1\\cell \\intbl B1\\par second\\cell\\row "
                                  + cellFormats + "\\intbl A2\\cell \\intbl B2\\cell\\row below\\par}"
                           << "above\r\nA1\r\nB1\r\nsecond\r\nA2\r\nB2\r\n\r\nbelow\r\n\r\n"_ba;
    QTest::newRow("a line of 5,000 characters") << QByteArray(5000 * 2, '\0').replace(QByteArray(2, '\0'), "\x82\xa0")
                                                << QString(5000, u'あ').toUtf8() + "\r\n";
}

// Through the command as the user gives it, to the mail program's address.
void tst_MailAboutHelp::mailBodyHasEachLineOnceAndNoPictures()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, body);
    const QString path = m_dir.filePath(u"letter.txt"_s);
    writeFile(path, file);
    m_window->OpenFile(path);
    const QByteArray before = m_window->RichEdit1->textBytes();
    m_window->command(u"OptionSendMail"_s)->trigger();
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(bodySent(), body);
    QCOMPARE(m_window->RichEdit1->textBytes(), before);
}

void tst_MailAboutHelp::bodyTooLongForTheMailCommandFails()
{
    // Each あ takes 9 bytes of the address: refused before the command runs, with the message.
    m_window->RichEdit1->replaceSelection(QString(MailSender::MaximumUrlBytes / 9, u'あ'));
    m_window->command(u"OptionSendMail"_s)->trigger();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().text, u"メール送信に失敗しました。"_s);
    QVERIFY(!QFile::exists(urlFile()));
    // One that fits is sent whole.
    m_boxes.clear();
    m_window->RichEdit1->setSelection(0, -1);
    m_window->RichEdit1->replaceSelection(QString((MailSender::MaximumUrlBytes - 30) / 9, u'あ'));
    m_window->command(u"OptionSendMail"_s)->trigger();
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(bodySent(), QString((MailSender::MaximumUrlBytes - 30) / 9, u'あ').toUtf8() + "\r\n");
}

void tst_MailAboutHelp::failuresOfTheMailCommand()
{
    // The user cancels in the mail program, or it fails.
    m_window->RichEdit1->replaceSelection(u"本文"_s);
    const QByteArray before = m_window->RichEdit1->textBytes();
    qputenv("PENLOFT_MAIL_STATUS", "1");
    m_window->command(u"OptionSendMail"_s)->trigger();
    QCOMPARE(bodySent(), "本文\r\n"_ba); // it was offered
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().caption, u"エラー"_s);
    QCOMPARE(m_boxes.first().text, u"メール送信に失敗しました。"_s);
    QCOMPARE(m_boxes.first().icon, QMessageBox::Critical);
    QCOMPARE(m_boxes.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(m_window->RichEdit1->textBytes(), before);
}

void tst_MailAboutHelp::noMailCommandFailsAtOnce()
{
    // The command is looked for once, at the first send: one installed later is not seen.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir.filePath(u"nowhere"_s)));
    MailSender sender;
    QVERIFY(!sender.send(u"本文\r\n"_s));
    qputenv("PATH", path);
    QVERIFY(!sender.send(u"本文\r\n"_s));
    QVERIFY(!QFile::exists(urlFile()));
}

void tst_MailAboutHelp::aboutBox()
{
    m_window->ActAboutExecute();
    QCOMPARE(m_boxes.size(), 1);
    const MessageBox::Request &about = m_boxes.first();
    QVERIFY(about.caption.contains(u"Penloft"_s));
    const QStringList lines = about.text.split(u'\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.first(), u"Penloft\u3000バージョン 7.07"_s);
    QVERIFY(!lines.last().isEmpty());
    QVERIFY(!about.iconPixmap.isNull());
}

void tst_MailAboutHelp::helpOpensTheGuideWithWorkingLinks()
{
    const QString index = m_dir.filePath(u"help/index.html"_s);
    QDir().mkpath(m_dir.filePath(u"help"_s));
    writeFile(index, "<html><head><title>目次</title></head><body><a href=\"page.html\">印刷</a></body></html>");
    writeFile(m_dir.filePath(u"help/page.html"_s),
              "<html><head><title>印刷</title></head><body><p>印刷のしかた</p></body></html>");
    qApp->setProperty("helpFile", index);
    m_window->ActHelpExecute();
    HelpViewer *viewer = m_window->helpViewer();
    QVERIFY(viewer && viewer->isVisible());
    QTextBrowser *browser = viewer->browser();
    QCOMPARE(browser->source(), QUrl::fromLocalFile(index));
    QVERIFY(!viewer->backAction()->isEnabled());
    browser->setSource(QUrl(u"page.html"_s)); // as a click on the link does
    QVERIFY(browser->toPlainText().contains(u"印刷のしかた"_s));
    QVERIFY(viewer->windowTitle().startsWith(u"印刷"_s));
    QVERIFY(viewer->backAction()->isEnabled());
    viewer->backAction()->trigger();
    QCOMPARE(browser->source(), QUrl::fromLocalFile(index));
    QVERIFY(viewer->forwardAction()->isEnabled());
    // F1 again reuses the window and shows the contents.
    m_window->ActHelpExecute();
    QCOMPARE(m_window->helpViewer(), viewer);
    QVERIFY(m_boxes.isEmpty());
}

void tst_MailAboutHelp::missingHelpIsReportedByTheViewer()
{
    const QString missing = m_dir.filePath(u"no-such-help/index.html"_s);
    qApp->setProperty("helpFile", missing);
    m_window->ActHelpExecute();
    QVERIFY(m_window->helpViewer()->isVisible());
    QCOMPARE(m_window->helpViewer()->browser()->toPlainText().trimmed(), HelpViewer::missingText(missing));
    QVERIFY(m_boxes.isEmpty()); // the command says nothing of its own
}

QTEST_MAIN(tst_MailAboutHelp)
#include "tst_mailabouthelp.moc"
