#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QRect>
#include <QString>
#include <QStringList>

// A Windows-style initialisation file: "[Section]" lines and "key=value" lines, names compared
// without regard to case. Writing a value keeps every other line of the file (other sections,
// keys, comments) as it was.
//
// Only a regular file of at most MaxBytes is read; anything else (a pipe, a device, a huge
// file) reads as empty and is never written. The lines are indexed once as they are read:
// a value costs one look-up, however long the file.
class IniFile {
public:
    static constexpr qint64 MaxBytes = 1024 * 1024;

    explicit IniFile(QString path);

    const QString &path() const { return m_path; }

    // Reads the file; a missing, unreadable, non-regular or too large file reads as empty.
    void load();
    // Takes the file's content from bytes (CP932), as load() does from the file.
    void parse(QByteArrayView bytes);

    // The value of a key, or a null string when the section or key is missing. Where a
    // section or a key appears twice, the first counts.
    QString value(const QString &section, const QString &key) const;
    // The value read as an integer: decimal, or hexadecimal after "0x"/"0X", with an optional
    // sign and surrounding blanks; anything else (missing, empty, garbage, out of range) gives
    // `fallback`.
    int integer(const QString &section, const QString &key, int fallback) const;

    // Sets a key in memory, adding the section or the key where missing.
    void setValue(const QString &section, const QString &key, const QString &value);
    // The file's content as it would be written (CP932, CR LF).
    QByteArray toBytes() const;
    // Sets a key and writes the whole file to disk at once, creating the file and the section
    // when missing. Returns false when the file cannot be written (the file is left as it was),
    // and for a file load() would not read.
    bool writeValue(const QString &section, const QString &key, const QString &value);
    // Writes the whole file as it stands in memory, as writeValue() does.
    bool save();

    // The integer rule of integer(), on its own.
    static bool parseInteger(QString text, int *value);

private:
    void reindex();
    qsizetype findSection(const QString &section) const;
    qsizetype findKey(qsizetype sectionLine, const QString &key) const;

    QString m_path;
    QStringList m_lines;
    bool m_refused = false; // the file exists but is not one to read or write
    // Lower-case names: the first line of each section, and each section's keys.
    QHash<QString, qsizetype> m_sections;
    QHash<QString, qsizetype> m_keys; // "section line\nkey" -> line
};

// Where the main window's placement is kept: beside the executable, named after it with
// ".ini"; when that folder cannot be written (an installed program), in the user's
// configuration folder instead.
QString settingsFilePath(const QString &executablePath);

// Pulls a saved top-left corner back onto the work area, the four checks in this order, each on
// the values current at that moment: left past the work area's right edge less 100, left before
// its left edge, top above its top edge, top below its bottom edge less 100. Right and bottom are
// the work area's exclusive edges (left + width, top + height).
QPoint checkedWindowPosition(QPoint topLeft, const QRect &workArea);

// The largest outer width or height a window is given, in pixels: as wide as two 4K screens
// side by side or one 8K screen, within what window systems make (X11 takes at most 32767).
// A window's pixels are held in memory: 256 MB at 8192 x 8192, four times that at 16384.
inline constexpr int MaxWindowSide = 8192;

// A saved outer width or height as the window takes it: unchanged, a window larger than the
// screen included, held only to what can be made, from 1 to MaxWindowSide (a saved
// 2147483647 would be a window no system makes).
int checkedWindowSide(int saved);

// A saved left or top held far beyond any screen before any arithmetic: the position checks
// pull such a corner back to the work area all the same.
int clampedWindowCoordinate(int saved);
