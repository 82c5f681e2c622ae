#pragma once

#include "documentfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Files that keep a document's unsaved work while the program runs, so that a crash, a killed
// process, a logout or a power cut loses at most the last minute of typing. One file a process,
// named after the process; a small header of text lines, then the document as RTF:
//
//   Penloft recovery 1
//   name: <the document's path, or 新規文書>
//   path: <the document's absolute path, percent-encoded; empty for a new document>
//   original: <the document's file on disk as it was then (size, time, device, inode)>
//   written: <ISO date and time>
//   pid: <process id>
//   started: <the process's start time, field 22 of /proc/PID/stat>
//   boot: <the system's boot id>
//   length: <bytes of the RTF that follows>
//   sha256: <the RTF's SHA-256, in hex>
//   <empty line>
//   {\rtf1 ...
//
// Everything read from the folder is treated as hostile: only regular files of the user's own in
// a folder that only the user can write are read, never through a symbolic link, and no more
// than the header is read until the user asks for the document.
namespace RecoveryFile {

// The most of a file read as its header, in bytes; a header without its end in them is cut off.
constexpr qsizetype MaxHeaderBytes = 64 * 1024;
// The largest recovery file read: the RTF of the largest document the editor opens, at four bytes
// of RTF for each byte of its text (a double-byte character is written \'hh\'hh), and a header.
constexpr qint64 MaxBytes = 4 * DocumentFile::MaxBytes + MaxHeaderBytes;

struct Header {
    QString documentPath; // empty for a new document
    QByteArray originalStamp; // stampOf(documentPath) when written; empty when there was no file
    QDateTime written;
    qint64 pid = 0;
    quint64 processStart = 0; // tells a process from a later one given the same id
    QByteArray bootId; // tells this boot's processes from an earlier one's; empty when unknown
    qint64 bodyBytes = -1; // the RTF's length; -1 in files that do not record it
    QByteArray bodyDigest; // the RTF's SHA-256 in hex; empty in files that do not record it
};

struct Entry {
    QString file;
    Header header;
    qint64 fileBytes = 0;
    qint64 headerBytes = -1; // where the document starts; -1 when the header is cut off
    // Whether the file holds all that was written: its size agrees with the length the header
    // records or, where it records none, the document visibly ends (its last character "}").
    bool complete = false;
    // Refused whole: larger than any recovery file of a document the editor can hold.
    bool isTooLarge() const { return fileBytes > MaxBytes; }
};

// The document of an entry; complete when it is all there and, where the header records a
// digest, unchanged.
struct Body {
    QByteArray rtf;
    bool complete = false;
};

// $XDG_STATE_HOME/penloft/recovery, by default ~/.local/state/penloft/recovery.
QString folder();
// Where the work goes when the folder above cannot take it at the program's end:
// <temporary folder>/penloft-recovery-<uid>. The next start looks there too.
QString spareFolder();

// This process's id, start time and boot.
Header ownProcess();

// The file of the process a header names, in folder() or in another folder.
QString fileOf(const Header &header);
QString fileIn(const QString &folder, const Header &header);

// Whether the process a header names still runs: the same id, a process of this user, started
// at the recorded time, in this boot. A header with an impossible id or no start time names
// none.
bool isRunning(const Header &header);

// What identifies a file's content on disk (size, modification time, device, inode), following
// links; empty when the path is no regular file.
QByteArray stampOf(const QString &path);

// The path a restored document may carry: an absolute path on one line (no control character)
// that names an existing regular file or a file to be made in an existing folder the user may
// write to. Empty when it is none of these: the document is then restored as a new one.
QString restorablePath(const QString &documentPath);

// Why a recovery file could not be written. A folder is used only when it belongs to the user
// and no one else may write to it.
struct WriteResult {
    enum class Problem { None, UnsafeFolder, Failed };
    Problem problem = Problem::None;
    int error = 0; // errno of the failure
    QString folder;
    explicit operator bool() const { return problem == Problem::None; }
};

// The text on one line: each control character and line or paragraph separator made a space.
QString oneLine(const QString &text);

// The header a file for `rtf` starts with (the RTF follows it).
QByteArray headerFor(const Header &header, QByteArrayView rtf);

// Writes the file as documents are written: a temporary file beside it, flushed to disk, then
// renamed over it; mode 0600 in a folder of mode 0700 (made when missing). The file written
// before, if any, is left as it was when this fails.
WriteResult write(const QString &file, const Header &header, QByteArrayView rtf);
// Writes `rtf` as a new file of its own (an RTF document, not a recovery file): never over an
// existing file or through a link; the file is removed again when writing fails.
WriteResult writeCopy(const QString &path, QByteArrayView rtf);

// The header of a recovery file open at `fd` (read from its start; at most MaxHeaderBytes and
// the file's last bytes are read), or nothing when it is no regular file or no recovery file at
// all. A damaged or cut header gives what it holds.
std::optional<Entry> readEntry(int fd, const QString &file);
// The document of an entry, read from `fd`: what follows the header, however it ends. Nothing
// for a file that is too large or whose header is cut off.
Body readBody(int fd, const Entry &entry);

// Opens a recovery file for reading: a regular file of the user's own, not through a link, in a
// folder that only the user can write; -1 otherwise.
int open(const QString &file);
// Opens and reads a file whole (header and document).
std::optional<Entry> read(const QString &file, QByteArray *rtf = nullptr);

// The recovery files of processes that no longer run, in folder() and spareFolder(), the oldest
// first. Folders that exist but may not be used (another user's, or writable by others) are
// passed over and named in `unsafeFolders`.
QList<Entry> orphans(QStringList *unsafeFolders = nullptr);

// Removes the temporary files that writes killed midway left in those folders, of processes
// that no longer run. Returns how many.
int removeStaleTemporaries();

// A file held while the user decides about it, so that a second program starting at the same
// time does not offer it as well; its header and document are read from what is held. Released
// when destroyed.
class Claim {
public:
    explicit Claim(const QString &file);
    ~Claim();
    Claim(const Claim &) = delete;
    Claim &operator=(const Claim &) = delete;
    bool isHeld() const { return m_fd >= 0; }

    std::optional<Entry> entry() const { return isHeld() ? readEntry(m_fd, m_file) : std::nullopt; }
    Body body(const Entry &entry) const { return isHeld() ? readBody(m_fd, entry) : Body {}; }
    // Removes the file from its folder.
    void remove();

private:
    QString m_file;
    int m_fd = -1;
};

} // namespace RecoveryFile
