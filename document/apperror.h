#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The one exception type of the program: a failure the user is told about, carrying the text
// to show (Japanese, as the program's messages are). Raised by file, stream and conversion code;
// caught by the command wrapper or the converter, which show or print text().
class AppError : public std::exception {
public:
    explicit AppError(QString text);

    const QString &text() const noexcept { return m_text; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
};

// The text as the central error handler shows it: "." is appended when the text's last
// character sorts after "." (comparing its code page 932 bytes), so a Japanese sentence gains
// a closing "." and a text ending in ")" or "." does not.
QString errorBoxText(const QString &text);
