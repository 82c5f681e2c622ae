#include "fileassociation.h"

#include "document/apperror.h"
#include "document/documentmessages.h"
#include "document/documentfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamWriter>

using namespace Qt::StringLiterals;

namespace {

QString baseDirectory(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QDir::homePath() + fallback;
}

// The whole file or nothing, as documents are saved.
bool writeAtomically(const QString &path, const QByteArray &data)
{
    try {
        DocumentFile::write(path, data);
        return true;
    } catch (const AppError &) {
        return false;
    }
}

// An ending that can be part of a file name, an XML text and an entry's value.
bool usableExtension(const QString &extension)
{
    for (const QChar c : extension) {
        if (c == u'/' || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

bool sameFile(const QString &a, const QString &b)
{
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

void runTool(const QString &name, const QStringList &arguments, int timeoutMs)
{
    const QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        return;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(path, arguments);
    if (!process.waitForStarted(timeoutMs))
        return;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
    }
}

} // namespace

FileAssociation::Folders FileAssociation::Folders::fromEnvironment()
{
    return { baseDirectory("XDG_DATA_HOME", u"/.local/share"_s), baseDirectory("XDG_CONFIG_HOME", u"/.config"_s) };
}

QString FileAssociation::valueFailed(const QString &valueName)
{
    return QString::fromUtf16(u"'%1' の設定に失敗しました").arg(valueName);
}

QString FileAssociation::keyFailed(const QString &key)
{
    return QString::fromUtf16(u"キー %1 の作成に失敗しました").arg(key);
}

FileAssociation::FileAssociation(Folders folders)
    : m_folders(std::move(folders))
{
}

FileAssociation::Written FileAssociation::associate(const QString &extension, const QString &program)
{
    Written written;
    written.mimeType = registerMimeType(extension, &written.mimePackage);
    createApplicationsFolder(extension);
    written.desktopEntry = writeDesktopEntry(extension, written.mimeType, FileAssociation::program(program));
    written.mimeAppsList = setDefaultApplication(written.mimeType, desktopFileName(extension));
    return written;
}

void FileAssociation::refresh(const Written &written, int timeoutMs)
{
    if (!written.desktopEntry.isEmpty())
        runTool(u"update-desktop-database"_s, { QFileInfo(written.desktopEntry).absolutePath() }, timeoutMs);
    // The package sits in <mime>/packages; the tool takes <mime>.
    if (!written.mimePackage.isEmpty())
        runTool(u"update-mime-database"_s, { QFileInfo(QFileInfo(written.mimePackage).absolutePath()).absolutePath() },
                timeoutMs);
}

QString FileAssociation::desktopFileName(const QString &extension)
{
    return u"penloft-"_s + typeName(extension) + u".desktop"_s;
}

QString FileAssociation::packageFileName(const QString &extension)
{
    return u"penloft-"_s + typeName(extension) + u".xml"_s;
}

QString FileAssociation::knownMimeType(const QString &extension)
{
    // By the name alone: no file is looked at.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(u"file."_s + extension, QMimeDatabase::MatchExtension);
    return type.isValid() && !type.isDefault() ? type.name() : QString();
}

QString FileAssociation::ownMimeType(const QString &extension)
{
    QString name = u"application/x-penloft-"_s;
    for (const char byte : extension.toLower().toUtf8()) {
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '.' || byte == '+'
            || byte == '-';
        if (plain) {
            name += QLatin1Char(byte);
        } else {
            name += u'_';
            name += QString::number(static_cast<unsigned char>(byte), 16).rightJustified(2, u'0');
        }
    }
    return name + u"file"_s;
}

QByteArray FileAssociation::mimePackage(const QString &extension)
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeDefaultNamespace(u"http://www.freedesktop.org/standards/shared-mime-info"_s);
    writer.writeStartElement(u"mime-info"_s);
    writer.writeStartElement(u"mime-type"_s);
    writer.writeAttribute(u"type"_s, ownMimeType(extension));
    writer.writeTextElement(u"comment"_s, typeName(extension));
    writer.writeEmptyElement(u"glob"_s);
    writer.writeAttribute(u"pattern"_s, u"*."_s + extension);
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}

QString FileAssociation::registerMimeType(const QString &extension, QString *packagePath)
{
    if (!usableExtension(extension))
        throw AppError(valueFailed());
    const QString own = ownMimeType(extension);
    const QString known = knownMimeType(extension);
    if (!known.isEmpty() && known != own)
        return known;
    const QString path = m_folders.mimePackages() + u'/' + packageFileName(extension);
    if (!QDir().mkpath(m_folders.mimePackages()) || !writeAtomically(path, mimePackage(extension)))
        throw AppError(valueFailed());
    if (packagePath)
        *packagePath = path;
    return own;
}

void FileAssociation::createApplicationsFolder(const QString &extension)
{
    const QString folder = m_folders.applications();
    if (!QDir().mkpath(folder))
        throw AppError(keyFailed(typeName(extension)));
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isWritable())
        throw AppError(keyFailed(typeName(extension)));
}

QString FileAssociation::writeDesktopEntry(const QString &extension, const QString &mimeType, const Program &program)
{
    const QString path = m_folders.applications() + u'/' + desktopFileName(extension);
    if (!writeAtomically(path, desktopEntry(extension, mimeType, program)))
        throw AppError(valueFailed());
    return path;
}

QString FileAssociation::setDefaultApplication(const QString &mimeType, const QString &desktopFileName)
{
    const QString path = m_folders.mimeAppsList();
    if (!QDir().mkpath(m_folders.configHome))
        throw AppError(valueFailed());
    QByteArray list;
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            throw AppError(valueFailed());
        list = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw AppError(valueFailed());
        file.close();
    }
    if (!writeAtomically(path, withDefaultApplication(list, mimeType, desktopFileName)))
        throw AppError(valueFailed());
    return path;
}

FileAssociation::Program FileAssociation::program(const QString &text)
{
    QString path;
    if (text.contains(u'/')) {
        const QFileInfo info(text);
        if (info.isFile() && info.isExecutable())
            path = info.absoluteFilePath();
    } else if (!text.isEmpty()) {
        path = QStandardPaths::findExecutable(text);
    }
    const QString self = QCoreApplication::applicationFilePath();
    Program program;
    if (path.isEmpty() || sameFile(path, self)) {
        program.executable = self;
        program.name = Messages::text(Messages::ProductName);
        program.icon = u"penloft"_s;
        program.isThisProgram = true;
    } else {
        program.executable = path;
        program.name = QFileInfo(path).fileName();
        program.icon = path;
    }
    return program;
}

QByteArray FileAssociation::desktopEntry(const QString &extension, const QString &mimeType, const Program &program)
{
    // Hidden from the menus: the entry only serves to open these files.
    const QString entry = u"[Desktop Entry]\n"
                          u"Type=Application\n"
                          u"Name="_s
        + escapeValue(program.name) + u"\nComment="_s + escapeValue(typeName(extension)) + u"\nIcon="_s
        + escapeValue(program.icon) + u"\nExec="_s + escapeValue(execLine(program.executable)) + u"\nMimeType="_s
        + mimeType + u";\nNoDisplay=true\n"_s;
    return entry.toUtf8();
}

QString FileAssociation::execLine(const QString &executable)
{
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    bool quote = false;
    for (const QChar c : executable)
        quote = quote || reserved.contains(c);
    QString argument;
    if (quote) {
        argument += u'"';
        for (const QChar c : executable) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                argument += u'\\';
            argument += c;
        }
        argument += u'"';
    } else {
        argument = executable;
    }
    // A percent sign is a field code's start even inside quotes.
    argument.replace(u'%', u"%%"_s);
    return argument + u" %f"_s;
}

QString FileAssociation::escapeValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\')
            escaped += u"\\\\"_s;
        else if (c == u'\n')
            escaped += u"\\n"_s;
        else if (c == u'\t')
            escaped += u"\\t"_s;
        else if (c == u'\r')
            escaped += u"\\r"_s;
        else if (c == u' ' && i == 0)
            escaped += u"\\s"_s;
        else
            escaped += c;
    }
    return escaped;
}

QByteArray FileAssociation::withDefaultApplication(const QByteArray &list, const QString &mimeType,
                                                   const QString &desktopFileName)
{
    const QByteArray group = "[Default Applications]";
    const QByteArray key = mimeType.toUtf8().toLower();
    const QByteArray entry = mimeType.toUtf8() + '=' + desktopFileName.toUtf8();

    QList<QByteArray> lines = list.split('\n');
    if (list.endsWith('\n') || list.isEmpty())
        lines.removeLast();

    qsizetype insertAt = -1; // after the last entry of the first group
    bool inGroup = false;
    bool firstGroupDone = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.startsWith('[')) {
            if (inGroup)
                firstGroupDone = true;
            inGroup = line == group;
            if (inGroup && insertAt < 0)
                insertAt = i + 1;
            continue;
        }
        if (!inGroup || line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed().toLower() == key) {
            lines[i] = entry;
            return lines.join('\n') + '\n';
        }
        if (!firstGroupDone)
            insertAt = i + 1;
    }
    if (insertAt >= 0) {
        lines.insert(insertAt, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines << QByteArray();
        lines << group << entry;
    }
    return lines.join('\n') + '\n';
}
