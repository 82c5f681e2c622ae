#include "settingsfile.h"

#include "document/cp932.h"
#include "document/documentfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool isSectionLine(const QString &line)
{
    return line.trimmed().startsWith(u'[');
}

QString keyName(qsizetype sectionLine, const QString &key)
{
    return QString::number(sectionLine) + u'\n' + key.toLower();
}

// The file's bytes when it is one to read: a regular file of at most `maxBytes`, opened without
// blocking (a pipe would wait for a writer) and judged on what was opened. `refused` tells a
// file that exists but is not one to read from one that is missing or unreadable.
QByteArray readSettingsFile(const QString &path, qint64 maxBytes, bool *refused)
{
    *refused = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) {
        *refused = true;
        ::close(fd);
        return {};
    }
    QByteArray data(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    data.truncate(done);
    return data;
}

} // namespace

IniFile::IniFile(QString path)
    : m_path(std::move(path))
{
}

void IniFile::load()
{
    parse(readSettingsFile(m_path, MaxBytes, &m_refused));
}

void IniFile::parse(QByteArrayView bytes)
{
    // The file is the system's code page, as the program's other text files are.
    QString text = Cp932::decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_lines = text.split(u'\n');
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
    reindex();
}

void IniFile::reindex()
{
    m_sections.clear();
    m_keys.clear();
    qsizetype section = -1;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString &line = m_lines.at(i);
        if (isSectionLine(line)) {
            section = -1;
            const QString name = sectionName(line);
            if (name.isNull())
                continue;
            const QString lower = name.toLower();
            // A second section of the same name is read past, as the first one's end.
            if (!m_sections.contains(lower)) {
                m_sections.insert(lower, i);
                section = i;
            }
            continue;
        }
        if (section < 0 || isComment(line) || !line.contains(u'='))
            continue;
        const QString key = keyName(section, line.left(line.indexOf(u'=')).trimmed());
        if (!m_keys.contains(key))
            m_keys.insert(key, i);
    }
}

qsizetype IniFile::findSection(const QString &section) const
{
    return m_sections.value(section.toLower(), -1);
}

qsizetype IniFile::findKey(qsizetype sectionLine, const QString &key) const
{
    return m_keys.value(keyName(sectionLine, key), -1);
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
        for (QChar c : digits) {
            if (!c.isDigit() && !(c >= u'a' && c <= u'f') && !(c >= u'A' && c <= u'F'))
                return false; // toUInt would take a sign or blanks here
        }
        magnitude = static_cast<qint64>(digits.toUInt(&ok, 16));
        if (!ok)
            return false;
        // Eight hexadecimal digits name a 32-bit pattern: 0xFFFFFFFF is -1. Negated in 64 bits:
        // -0x80000000 is 2147483648, which is no int.
        const qint64 pattern = static_cast<qint32>(static_cast<quint32>(magnitude));
        const qint64 result = negative ? -pattern : pattern;
        if (result < INT_MIN || result > INT_MAX)
            return false;
        *value = static_cast<int>(result);
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

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
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
            while (at < m_lines.size() && !isSectionLine(m_lines.at(at)))
                ++at;
            while (at > s + 1 && m_lines.at(at - 1).trimmed().isEmpty())
                --at;
            m_lines.insert(at, line);
        }
    }
    reindex();
}

QByteArray IniFile::toBytes() const
{
    const QString text = m_lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    return Cp932::encode(text);
}

bool IniFile::writeValue(const QString &section, const QString &key, const QString &value)
{
    // What was not read (a pipe, a device, a file too large to be ours) is not replaced.
    if (m_refused)
        return false;
    setValue(section, key, value);
    return save();
}

bool IniFile::save()
{
    if (m_refused)
        return false;
    try {
        DocumentFile::write(m_path, toBytes());
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

int checkedWindowSide(int saved)
{
    return qBound(1, saved, MaxWindowSide);
}

int clampedWindowCoordinate(int saved)
{
    // Far beyond any screen, and far from where adding a window's size could overflow.
    constexpr int Far = 1 << 24;
    return qBound(-Far, saved, Far);
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
