#pragma once

#include <QString>

#include <optional>

// Hands a text to the desktop's mail program as the body of a new message (xdg-email), which
// the user completes and sends there.
class MailSender {
public:
    // Linux limits one command-line argument to 128 KiB; the body must fit in one.
    static constexpr qsizetype MaximumBodyBytes = 128 * 1024 - 1;

    // The document's text as a body: each line followed by CR LF.
    static QString bodyOf(const QString &plainText);

    // True when the mail program took the message: the command ran and ended with status 0.
    // Whether the command exists is decided at the first send of each sender, and kept.
    bool send(const QString &body);

    // The one sender of the program.
    static MailSender &instance();

private:
    std::optional<QString> m_program; // decided once: the command's path, empty when there is none
};
