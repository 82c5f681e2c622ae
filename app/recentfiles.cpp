#include "recentfiles.h"

#include "settingsfile.h"

#include <QDir>
#include <QUrl>

const QString RecentFiles::Section = QStringLiteral("Recent");

namespace {

QString key(int index)
{
    return QStringLiteral("File%1").arg(index + 1);
}

// The same file named twice (a "." or ".." in one of the names) is one entry.
QString canonical(const QString &path)
{
    return QDir::cleanPath(path);
}

} // namespace

void RecentFiles::read(const IniFile &settings)
{
    m_paths.clear();
    for (int i = 0; i < Max; ++i) {
        const QUrl url(settings.value(Section, key(i)), QUrl::StrictMode);
        if (!url.isValid() || !url.isLocalFile())
            continue;
        const QString path = canonical(url.toLocalFile());
        if (QDir::isAbsolutePath(path) && !path.contains(u'\n') && !path.contains(u'\r') && !m_paths.contains(path))
            m_paths.append(path);
    }
}

void RecentFiles::write(IniFile &settings) const
{
    for (int i = 0; i < Max; ++i) {
        const QString value = i < m_paths.size() ? QString::fromLatin1(QUrl::fromLocalFile(m_paths[i]).toEncoded()) : QString();
        settings.setValue(Section, key(i), value);
    }
}

void RecentFiles::add(const QString &path)
{
    const QString entry = canonical(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
    m_paths.removeAll(entry);
    m_paths.prepend(entry);
    while (m_paths.size() > Max)
        m_paths.removeLast();
}

void RecentFiles::remove(const QString &path)
{
    m_paths.removeAll(canonical(path));
}

QString RecentFiles::menuText(int index, const QString &path)
{
    QString shown = QDir::toNativeSeparators(path);
    shown.replace(u'&', QStringLiteral("&&"));
    return u'&' + QString::number(index + 1) + u' ' + shown;
}
