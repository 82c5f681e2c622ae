#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QTextDocument;

// Hands a text to the desktop's mail program as the body of a new message (xdg-email), which
// the user completes and sends there.
class MailSender {
public:
    // Linux limits one command-line argument to 128 KiB; the message's address, body included,
    // must fit in one.
    static constexpr qsizetype MaximumUrlBytes = 128 * 1024 - 1;

    // The document's text as a body: each paragraph (each paragraph of a table cell as well) a
    // line followed by CR LF, without pictures; an empty document gives an empty body.
    static QString bodyOf(const QTextDocument &document);

    // The mailto address that carries the body, every byte of its UTF-8 but letters, digits and
    // "-._~" percent-encoded.
    static QByteArray mailtoUrl(const QString &body);

    // True when the mail program took the message: the command ran and ended with status 0.
    // Whether the command exists is decided at the first send of each sender, and kept.
    bool send(const QString &body);

    // The one sender of the program.
    static MailSender &instance();

private:
    std::optional<QString> m_program; // decided once: the command's path, empty when there is none
};
