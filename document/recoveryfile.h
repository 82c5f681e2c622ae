#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// Files that keep a document's unsaved work while the program runs, so that a crash, a killed
// process, a logout or a power cut loses at most the last minute of typing. One file a process,
// named after the process; a small header of text lines, then the document as RTF:
//
//   Penloft recovery 1
//   name: <the document's path, or 新規文書>
//   path: <the path, percent-encoded; empty for a new document>
//   written: <ISO date and time>
//   pid: <process id>
//   started: <the process's start time, as the system counts it>
//   <empty line>
//   {\rtf1 ...
namespace RecoveryFile {

struct Header {
    QString documentPath; // empty for a new document
    QDateTime written;
    qint64 pid = 0;
    quint64 processStart = 0; // tells a process from a later one given the same id
};

struct Entry {
    QString file;
    Header header;
};

// $XDG_STATE_HOME/penloft/recovery, by default ~/.local/state/penloft/recovery.
QString folder();

// This process's id and start time.
Header ownProcess();

// The file of the process a header names, in folder().
QString fileOf(const Header &header);

// Whether the process a header names still runs (the same process: its id and start time).
bool isRunning(const Header &header);

// Writes the file as documents are written: a temporary file beside it, flushed to disk, then
// renamed over it; mode 0600 in a folder of mode 0700 (made when missing). False when it could
// not be written; the file written before, if any, is then left as it was.
bool write(const QString &file, const Header &header, QByteArrayView rtf);

// Reads a file; nothing when it is no recovery file at all. A damaged or cut header gives what
// it holds, and whatever follows it is the document (the RTF reader reads what it can).
std::optional<Entry> read(const QString &file, QByteArray *rtf = nullptr);

// The recovery files of processes that no longer run, the oldest first.
QList<Entry> orphans();

// A file held while the user decides about it, so that a second program starting at the same
// time does not offer it as well. Released when destroyed.
class Claim {
public:
    explicit Claim(const QString &file);
    ~Claim();
    Claim(const Claim &) = delete;
    Claim &operator=(const Claim &) = delete;
    bool isHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace RecoveryFile
