#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

// A Windows-style initialisation file: "[Section]" lines and "key=value" lines, names compared
// without regard to case. Writing a value keeps every other line of the file (other sections,
// keys, comments) as it was.
class IniFile {
public:
    explicit IniFile(QString path);

    const QString &path() const { return m_path; }

    // Reads the file; a missing or unreadable file reads as empty.
    void load();

    // The value of a key, or a null string when the section or key is missing.
    QString value(const QString &section, const QString &key) const;
    // The value read as an integer: decimal, or hexadecimal after "0x"/"0X", with an optional
    // sign and surrounding blanks; anything else (missing, empty, garbage, out of range) gives
    // `fallback`.
    int integer(const QString &section, const QString &key, int fallback) const;

    // Sets a key and writes the whole file to disk at once, creating the file and the section
    // when missing. Returns false when the file cannot be written (the file is left as it was).
    bool writeValue(const QString &section, const QString &key, const QString &value);

    // The integer rule of integer(), on its own.
    static bool parseInteger(QString text, int *value);

private:
    qsizetype findSection(const QString &section) const;
    qsizetype findKey(qsizetype sectionLine, const QString &key) const;

    QString m_path;
    QStringList m_lines;
};

// Where the main window's placement is kept: beside the executable, named after it with
// ".ini"; when that folder cannot be written (an installed program), in the user's
// configuration folder instead.
QString settingsFilePath(const QString &executablePath);

// Pulls a saved top-left corner back onto the work area, the four checks in this order, each on
// the values current at that moment: left past the work area's right edge less 100, left before
// its left edge, top above its top edge, top below its bottom edge less 100. Right and bottom are
// the work area's exclusive edges (left + width, top + height). Width and height are not checked.
QPoint checkedWindowPosition(QPoint topLeft, const QRect &workArea);
