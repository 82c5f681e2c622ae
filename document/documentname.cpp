#include "documentname.h"

#include "document/documentmessages.h"

namespace DocumentName {

QString fileName(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString extension(const QString &path)
{
    const QString name = fileName(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

QString withExtension(const QString &path, const QString &extension)
{
    return path.left(path.size() - DocumentName::extension(path).size()) + u'.' + extension;
}

QString windowTitle(const QString &path)
{
    if (path.isEmpty())
        return Messages::text(Messages::NewDocumentTitle);
    return Messages::text(Messages::TitlePrefix) + fileName(path);
}

QString unsavedQuestion(const QString &path)
{
    const QString name = extension(path).isEmpty() ? Messages::text(Messages::NewDocumentName) : fileName(path);
    return QString::fromUtf16(u"『 ") + name + QString::fromUtf16(u" 』") + QString::fromUtf16(u"  が保存されていません。")
        + QStringLiteral("\n\r\r\n") + QString::fromUtf16(u"   保存しますか？");
}

QString unsavedQuestionForDisplay(const QString &path)
{
    QString text = unsavedQuestion(path);
    text.replace(QStringLiteral("\n\r\r\n"), QStringLiteral("\n\n"));
    return text;
}

} // namespace DocumentName
