#include "apperror.h"

#include "document/cp932.h"

AppError::AppError(QString text)
    : m_text(std::move(text))
    , m_utf8(m_text.toUtf8())
{
}

QString errorBoxText(const QString &text)
{
    if (text.isEmpty())
        return text;
    qsizetype last = text.size() - 1;
    if (last > 0 && text.at(last).isLowSurrogate() && text.at(last - 1).isHighSurrogate())
        --last;
    const QByteArray bytes = Cp932::encode(QStringView(text).mid(last));
    return bytes > QByteArrayView(".") ? text + u'.' : text;
}
