#include "settingsfile.h"

#include "document/cp932.h"
#include "document/documentfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <climits>

namespace {

QString sectionName(const QString &line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(u'[') || !trimmed.contains(u']'))
        return {};
    return trimmed.mid(1, trimmed.indexOf(u']') - 1).trimmed();
}

bool isComment(const QString &line)
{
    const QString trimmed = line.trimmed();
    return trimmed.startsWith(u';') || trimmed.startsWith(u'#');
}

} // namespace

IniFile::IniFile(QString path)
    : m_path(std::move(path))
{
}

void IniFile::load()
{
    m_lines.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // The file is the system's code page, as the program's other text files are.
    QString text = Cp932::decode(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_lines = text.split(u'\n');
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
}

qsizetype IniFile::findSection(const QString &section) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (sectionName(m_lines.at(i)).compare(section, Qt::CaseInsensitive) == 0 && !isComment(m_lines.at(i))
            && m_lines.at(i).trimmed().startsWith(u'['))
            return i;
    }
    return -1;
}

qsizetype IniFile::findKey(qsizetype sectionLine, const QString &key) const
{
    for (qsizetype i = sectionLine + 1; i < m_lines.size(); ++i) {
        const QString &line = m_lines.at(i);
        if (line.trimmed().startsWith(u'['))
            break;
        if (isComment(line) || !line.contains(u'='))
            continue;
        if (line.left(line.indexOf(u'=')).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString IniFile::value(const QString &section, const QString &key) const
{
    const qsizetype s = findSection(section);
    if (s < 0)
        return {};
    const qsizetype k = findKey(s, key);
    if (k < 0)
        return {};
    const QString &line = m_lines.at(k);
    return line.mid(line.indexOf(u'=') + 1).trimmed();
}

bool IniFile::parseInteger(QString text, int *value)
{
    text = text.trimmed();
    bool negative = false;
    if (text.startsWith(u'-') || text.startsWith(u'+')) {
        negative = text.startsWith(u'-');
        text.remove(0, 1);
    }
    if (text.isEmpty())
        return false;
    bool ok = false;
    qint64 magnitude = 0;
    if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
        const QString digits = text.mid(2);
        if (digits.isEmpty() || digits.size() > 8)
            return false;
        magnitude = static_cast<qint64>(digits.toUInt(&ok, 16));
        if (!ok)
            return false;
        // Eight hexadecimal digits name a 32-bit pattern: 0xFFFFFFFF is -1.
        const qint32 pattern = static_cast<qint32>(static_cast<quint32>(magnitude));
        *value = negative ? -pattern : pattern;
        return true;
    }
    for (QChar c : std::as_const(text)) {
        if (c < u'0' || c > u'9')
            return false;
    }
    magnitude = text.toLongLong(&ok);
    if (!ok)
        return false;
    const qint64 result = negative ? -magnitude : magnitude;
    if (result < INT_MIN || result > INT_MAX)
        return false;
    *value = static_cast<int>(result);
    return true;
}

int IniFile::integer(const QString &section, const QString &key, int fallback) const
{
    int result = 0;
    return parseInteger(value(section, key), &result) ? result : fallback;
}

bool IniFile::writeValue(const QString &section, const QString &key, const QString &value)
{
    const QString line = key + u'=' + value;
    qsizetype s = findSection(section);
    if (s < 0) {
        m_lines.append(u'[' + section + u']');
        m_lines.append(line);
    } else {
        const qsizetype k = findKey(s, key);
        if (k >= 0) {
            m_lines[k] = line;
        } else {
            // After the section's last key, before any blank lines that end it.
            qsizetype at = s + 1;
            while (at < m_lines.size() && !m_lines.at(at).trimmed().startsWith(u'['))
                ++at;
            while (at > s + 1 && m_lines.at(at - 1).trimmed().isEmpty())
                --at;
            m_lines.insert(at, line);
        }
    }
    try {
        const QString text = m_lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
        DocumentFile::write(m_path, Cp932::encode(text));
    } catch (...) {
        return false;
    }
    return true;
}

QString settingsFilePath(const QString &executablePath)
{
    const QFileInfo executable(executablePath);
    const QString beside = executable.absolutePath() + u'/' + executable.completeBaseName() + QStringLiteral(".ini");
    const QFileInfo besideInfo(beside);
    const bool writable = besideInfo.exists() ? besideInfo.isWritable() : QFileInfo(executable.absolutePath()).isWritable();
    if (writable)
        return beside;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/penloft");
    QDir().mkpath(folder);
    return folder + u'/' + executable.completeBaseName() + QStringLiteral(".ini");
}

QPoint checkedWindowPosition(QPoint topLeft, const QRect &workArea)
{
    const int right = workArea.x() + workArea.width();
    const int bottom = workArea.y() + workArea.height();
    int left = topLeft.x();
    int top = topLeft.y();
    if (left > right - 100)
        left = workArea.x();
    if (left < workArea.x())
        left = workArea.x();
    if (top < workArea.y())
        top = workArea.y();
    if (top > bottom - 100)
        top = workArea.y();
    return { left, top };
}
