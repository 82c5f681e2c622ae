#include "mail.h"

#include "document/plaintext.h"

#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTextDocument>

QString MailSender::bodyOf(const QTextDocument &document)
{
    if (document.isEmpty())
        return {};
    QString text = PlainText::documentText(document, PlainText::CellEnd::LineBreak);
    text.remove(QChar::ObjectReplacementCharacter); // a picture has no text
    return text + QStringLiteral("\r\n");
}

QByteArray MailSender::mailtoUrl(const QString &body)
{
    return "mailto:?body=" + body.toUtf8().toPercentEncoding();
}

bool MailSender::send(const QString &body)
{
    if (!m_program)
        m_program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (m_program->isEmpty())
        return false;
    // The address goes as it is: given the body, xdg-email would write each line end it holds
    // again (CR CR LF), drop the last, and read backslashes as escapes.
    const QByteArray url = mailtoUrl(body);
    if (url.size() > MaximumUrlBytes)
        return false;
    QProcess process;
    process.setProgram(*m_program);
    process.setArguments({ QString::fromLatin1(url) });
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
