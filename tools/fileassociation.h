#pragma once

#include <QByteArray>
#include <QString>

// Makes this program (or another one) the desktop's default application for the files ending in
// "." + an extension E, in the user's own folders, the way the freedesktop.org desktop entry,
// shared MIME database and MIME applications rules describe:
//
//   1. the MIME type of the ending: the one the system already knows for it, or else a type of
//      our own, declared in a MIME package $XDG_DATA_HOME/mime/packages/penloft-<E>File.xml;
//   2. the applications folder $XDG_DATA_HOME/applications, where the entry will live;
//   3. the desktop entry penloft-<E>File.desktop there: its Icon and its Exec line (the program
//      followed by %f), listing the MIME type;
//   4. the entry as the type's default application in $XDG_CONFIG_HOME/mimeapps.list.
//
// Each step only starts when the one before it succeeded, so the user's default never names an
// entry that is not there, and an entry never lists a type the system cannot find. A failure
// throws AppError with the user text and leaves whatever the earlier steps wrote.
//
// E is used as it is given: a leading dot is not removed (".rtf" stands for the ending "..rtf").
class FileAssociation {
public:
    // The user's folders; relative settings count as unset, as the base directory rules say.
    struct Folders {
        QString dataHome;   // $XDG_DATA_HOME, else ~/.local/share
        QString configHome; // $XDG_CONFIG_HOME, else ~/.config

        // Read from the environment at every call.
        static Folders fromEnvironment();

        QString applications() const { return dataHome + QStringLiteral("/applications"); }
        QString mime() const { return dataHome + QStringLiteral("/mime"); }
        QString mimePackages() const { return mime() + QStringLiteral("/packages"); }
        QString mimeAppsList() const { return configHome + QStringLiteral("/mimeapps.list"); }
    };

    // The program that opens the files.
    struct Program {
        QString executable; // absolute path
        QString name;       // the entry's Name
        QString icon;       // the entry's Icon
        bool isThisProgram = false;
    };

    // What one association wrote, by absolute path; mimePackage is empty when the system knew
    // the type already.
    struct Written {
        QString mimeType;
        QString mimePackage;
        QString desktopEntry;
        QString mimeAppsList;
    };

    // User texts. The value name is empty (the texts name the value that failed, and every value
    // written here is a default value, which has no name).
    static QString valueFailed(const QString &valueName = QString());
    static QString keyFailed(const QString &key);
    static constexpr char16_t Done[] = u"関連付けを完了しました";

    explicit FileAssociation(Folders folders = Folders::fromEnvironment());

    const Folders &folders() const { return m_folders; }

    // All four steps. E and P must not be empty (the dialog does nothing then).
    Written associate(const QString &extension, const QString &program);

    // Tells the desktop's caches about what was written: update-desktop-database on the
    // applications folder, and update-mime-database on the MIME folder when a package was
    // written. Tools that are missing, fail or take longer than timeoutMs are passed over.
    static void refresh(const Written &written, int timeoutMs = 10000);

    // -- The steps and their parts, in order --

    // E + "File": the name the entry and the package go by.
    static QString typeName(const QString &extension) { return extension + QStringLiteral("File"); }
    static QString desktopFileName(const QString &extension);
    static QString packageFileName(const QString &extension);
    // The type the system gives a file ending in "." + E; empty when it knows none.
    static QString knownMimeType(const QString &extension);
    // The type declared for "." + E when the system knows none: application/x-penloft-<e>file,
    // with e the lower-case E in which characters outside a-z 0-9 . + - are written "_" and
    // their UTF-8 bytes in hex.
    static QString ownMimeType(const QString &extension);
    static QByteArray mimePackage(const QString &extension);

    // Step 1: the type, writing the package when the type is our own (again when it is already
    // known as our own, so repeating an association writes the same files). An E that cannot be
    // part of a file name or an entry's value ("/", control characters) fails here.
    QString registerMimeType(const QString &extension, QString *packagePath = nullptr);
    // Step 2.
    void createApplicationsFolder(const QString &extension);
    // Step 3; returns the entry's path.
    QString writeDesktopEntry(const QString &extension, const QString &mimeType, const Program &program);
    // Step 4; returns the list's path.
    QString setDefaultApplication(const QString &mimeType, const QString &desktopFileName);

    // P as a program: an executable file named by a path, or by a name found on PATH; anything
    // else names this program's own executable.
    static Program program(const QString &text);

    static QByteArray desktopEntry(const QString &extension, const QString &mimeType, const Program &program);
    // The Exec line's value: the executable (quoted when it has a reserved character) and %f.
    static QString execLine(const QString &executable);
    // A string value as an entry file holds it: backslash, newline, tab, CR and a leading
    // space escaped.
    static QString escapeValue(const QString &value);

    // mimeapps.list with mimeType=desktopFileName in its [Default Applications] group: an
    // existing line for the type is replaced, else the line is added at the end of the group,
    // else the group is added at the end. Every other line stays as it was.
    static QByteArray withDefaultApplication(const QByteArray &list, const QString &mimeType,
                                             const QString &desktopFileName);

private:
    Folders m_folders;
};
