#pragma once

#include <QString>
#include <QStringList>

class IniFile;

// The documents last opened or saved, newest first, at most Max of them, as the File menu lists
// them. Kept in the settings file in a section of its own ([Recent], keys File1..File8), each
// path written as a file: URL so that any name survives the file's code page; a settings file
// without the section has an empty list, and values that are not absolute local paths are
// passed over.
class RecentFiles {
public:
    static constexpr int Max = 8;
    static const QString Section;

    const QStringList &paths() const { return m_paths; }

    void read(const IniFile &settings);
    // Sets every key of the section (unused ones empty) in `settings`, in memory.
    void write(IniFile &settings) const;

    // Puts a path first, taking it out of where it stood; the oldest goes past Max.
    void add(const QString &path);
    void remove(const QString &path);

    // The menu item's text: "&1 " and the path, an "&" of the path shown as itself.
    static QString menuText(int index, const QString &path);

private:
    QStringList m_paths;
};
