#include "mail.h"

#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>

QString MailSender::bodyOf(const QString &plainText)
{
    if (plainText.isEmpty())
        return {};
    QString body = plainText;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(u'\r', u'\n');
    body.replace(u'\n', QStringLiteral("\r\n"));
    if (!body.endsWith(QStringLiteral("\r\n")))
        body += QStringLiteral("\r\n");
    return body;
}

bool MailSender::send(const QString &body)
{
    if (!m_program)
        m_program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (m_program->isEmpty())
        return false;
    if (body.toUtf8().size() > MaximumBodyBytes)
        return false;
    QProcess process;
    process.setProgram(*m_program);
    process.setArguments({ QStringLiteral("--utf8"), QStringLiteral("--body"), body });
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    // The command returns once the mail program has the message; meanwhile the windows keep
    // painting, but take no input.
    QEventLoop wait;
    QObject::connect(&process, &QProcess::finished, &wait, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &wait, [&wait](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            wait.quit();
    });
    process.start();
    if (process.state() != QProcess::NotRunning)
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    return process.exitStatus() == QProcess::NormalExit && process.error() == QProcess::UnknownError
        && process.exitCode() == 0;
}

MailSender &MailSender::instance()
{
    static MailSender sender;
    return sender;
}
