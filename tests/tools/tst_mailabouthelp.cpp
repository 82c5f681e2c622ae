#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "tools/helpviewer.h"
#include "tools/mail.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

using namespace Qt::StringLiterals;

class tst_MailAboutHelp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void bodyIsTheLinesEachEndedByCrLf();
    void sendHandsTheBodyToTheMailCommand();
    void failuresOfTheMailCommand();
    void noMailCommandFailsAtOnce();
    void mailCommandShowsOnlyFailures();
    void aboutBox();
    void helpOpensTheGuideWithWorkingLinks();
    void missingHelpIsReportedByTheViewer();

private:
    void writeFile(const QString &path, const QByteArray &bytes, bool executable = false);
    QStringList received() const;

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_log;
    QByteArray m_path;
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
    // A stand-in for the mail command: it records its arguments, one file each, and ends with
    // the status the test asks for.
    m_bin = m_dir.filePath(u"bin"_s);
    m_log = m_dir.filePath(u"log"_s);
    QVERIFY(QDir().mkpath(m_bin));
    QVERIFY(QDir().mkpath(m_log));
    writeFile(m_bin + u"/xdg-email"_s,
              "#!/bin/sh\n"
              "n=0\n"
              "for a in \"$@\"; do n=$((n+1)); printf '%s' \"$a\" > \"$PENLOFT_MAIL_LOG/$n\"; done\n"
              "exit ${PENLOFT_MAIL_STATUS:-0}\n",
              true);
    m_path = qgetenv("PATH");
    qputenv("PATH", m_bin.toLocal8Bit() + ':' + m_path);
    qputenv("PENLOFT_MAIL_LOG", m_log.toLocal8Bit());
}

void tst_MailAboutHelp::init()
{
    qunsetenv("PENLOFT_MAIL_STATUS");
    QDir(m_log).removeRecursively();
    QDir().mkpath(m_log);
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
    delete m_window;
    MessageBox::setSink({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

QStringList tst_MailAboutHelp::received() const
{
    QStringList arguments;
    for (int n = 1;; ++n) {
        QFile file(m_log + u'/' + QString::number(n));
        if (!file.open(QIODevice::ReadOnly))
            return arguments;
        arguments << QString::fromUtf8(file.readAll());
    }
}

void tst_MailAboutHelp::bodyIsTheLinesEachEndedByCrLf()
{
    QCOMPARE(MailSender::bodyOf(QString()), QString());
    QCOMPARE(MailSender::bodyOf(u"一行目\r\n二行目\r\nthree"_s), u"一行目\r\n二行目\r\nthree\r\n"_s);
    QCOMPARE(MailSender::bodyOf(u"a\nb\r\n"_s), u"a\r\nb\r\n"_s);
    QCOMPARE(MailSender::bodyOf(u"\r\n"_s), u"\r\n"_s);
}

void tst_MailAboutHelp::sendHandsTheBodyToTheMailCommand()
{
    MailSender sender;
    const QString longLine(5000, u'あ'); // far past 4,096 bytes: it stays whole
    const QString body = MailSender::bodyOf(u"一行目\r\n"_s + longLine + u"\r\n三行目"_s);
    QVERIFY(sender.send(body));
    QCOMPARE(received(), (QStringList { u"--utf8"_s, u"--body"_s, body }));
    // An empty document sends an empty body.
    QDir(m_log).removeRecursively();
    QDir().mkpath(m_log);
    QVERIFY(sender.send(QString()));
    QCOMPARE(received(), (QStringList { u"--utf8"_s, u"--body"_s, QString() }));
}

void tst_MailAboutHelp::failuresOfTheMailCommand()
{
    MailSender sender;
    qputenv("PENLOFT_MAIL_STATUS", "4");
    QVERIFY(!sender.send(u"本文\r\n"_s));
    qputenv("PENLOFT_MAIL_STATUS", "0");
    // Too long for one argument: refused without running the command.
    QDir(m_log).removeRecursively();
    QDir().mkpath(m_log);
    QVERIFY(!sender.send(QString(MailSender::MaximumBodyBytes / 3 + 1, u'あ')));
    QVERIFY(received().isEmpty());
}

void tst_MailAboutHelp::noMailCommandFailsAtOnce()
{
    // The command is looked for once, at the first send: one installed later is not seen.
    qputenv("PATH", m_dir.filePath(u"nowhere"_s).toLocal8Bit());
    MailSender sender;
    QVERIFY(!sender.send(u"本文\r\n"_s));
    qputenv("PATH", m_bin.toLocal8Bit() + ':' + m_path);
    QVERIFY(!sender.send(u"本文\r\n"_s));
    QVERIFY(received().isEmpty());
}

void tst_MailAboutHelp::mailCommandShowsOnlyFailures()
{
    m_window->RichEdit1->replaceSelection(u"一行目\r\n二行目\r\n三行目"_s);
    const QByteArray before = m_window->RichEdit1->textBytes();
    m_window->OptionSendMailExecute();
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(received().value(2), u"一行目\r\n二行目\r\n三行目\r\n"_s);
    // The user cancels in the mail program, or it fails.
    qputenv("PENLOFT_MAIL_STATUS", "1");
    m_window->OptionSendMailExecute();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().caption, u"エラー"_s);
    QCOMPARE(m_boxes.first().text, u"メール送信に失敗しました。"_s);
    QCOMPARE(m_boxes.first().icon, QMessageBox::Critical);
    QCOMPARE(m_boxes.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(m_window->RichEdit1->textBytes(), before);
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
