#include "plaintext.h"

#include "cp932.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace PlainText {

QString breaksAsNewlines(QString text)
{
    if (!text.contains(u'\r'))
        return text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

void read(QTextDocument &document, QByteArrayView bytes, const QTextCharFormat &format)
{
    const QString text = breaksAsNewlines(Cp932::decode(bytes));
    document.clear();
    QTextCursor cursor(&document);
    cursor.setCharFormat(format);
    cursor.insertText(text, format);
}

QString documentText(const QTextDocument &document)
{
    QString text;
    text.reserve(document.characterCount() + document.blockCount());
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            text += QStringLiteral("\r\n");
        text += block.text();
    }
    text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return text;
}

QByteArray write(const QTextDocument &document)
{
    return Cp932::encode(documentText(document));
}

} // namespace PlainText
