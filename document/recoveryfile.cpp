#include "recoveryfile.h"

#include "document/documentmessages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Magic[] = "Penloft recovery 1";
constexpr qsizetype MaxHeaderBytes = 64 * 1024;

// The start time of a process, field 22 of /proc/PID/stat; 0 when it cannot be read.
quint64 processStartOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.read(4096);
    // The command name in parentheses may hold spaces; the fields after it do not.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    constexpr int StartTimeAfterName = 19; // field 22 of the line, counted from the state (3)
    return fields.size() > StartTimeAfterName ? fields.at(StartTimeAfterName).toULongLong() : 0;
}

bool writeAll(int fd, QByteArrayView data)
{
    const char *p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool makePrivateFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    return ::chmod(QFile::encodeName(path).constData(), 0700) == 0 || QFileInfo(path).isWritable();
}

} // namespace

namespace RecoveryFile {

QString folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/penloft/recovery");
}

Header ownProcess()
{
    Header header;
    header.pid = ::getpid();
    header.processStart = processStartOf(header.pid);
    return header;
}

QString fileOf(const Header &header)
{
    return folder() + QStringLiteral("/penloft-%1-%2.recovery").arg(header.pid).arg(header.processStart);
}

bool isRunning(const Header &header)
{
    if (header.pid <= 0 || (::kill(static_cast<pid_t>(header.pid), 0) != 0 && errno == ESRCH))
        return false;
    const quint64 start = processStartOf(header.pid);
    // Another process with the same id is not the one that wrote the file.
    return start == 0 || header.processStart == 0 || start == header.processStart;
}

bool write(const QString &file, const Header &header, QByteArrayView rtf)
{
    const QFileInfo target(file);
    if (!makePrivateFolder(target.absolutePath()))
        return false;
    const QString name = header.documentPath.isEmpty() ? Messages::text(Messages::NewDocumentName) : header.documentPath;
    QByteArray head = Magic;
    head += "\nname: " + name.toUtf8().replace('\n', ' ');
    head += "\npath: " + QUrl::toPercentEncoding(header.documentPath, "/");
    head += "\nwritten: " + header.written.toString(Qt::ISODate).toLatin1();
    head += "\npid: " + QByteArray::number(header.pid);
    head += "\nstarted: " + QByteArray::number(header.processStart);
    head += "\n\n";

    QByteArray pattern = QFile::encodeName(target.absolutePath() + u"/." + target.fileName() + u".XXXXXX");
    const int fd = ::mkstemp(pattern.data()); // mode 0600
    if (fd < 0)
        return false;
    const bool ok = writeAll(fd, head) && writeAll(fd, rtf) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || ::rename(pattern.constData(), QFile::encodeName(file).constData()) != 0) {
        ::unlink(pattern.constData());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(QFile::encodeName(target.absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

std::optional<Entry> read(const QString &file, QByteArray *rtf)
{
    const QFileInfo info(file);
    if (!info.isFile())
        return std::nullopt;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray start = f.read(MaxHeaderBytes);
    if (!start.startsWith(Magic))
        return std::nullopt;
    Entry entry { file, {} };
    entry.header.written = info.lastModified();
    qsizetype body = start.indexOf("\n\n");
    const QByteArray head = body < 0 ? start : start.left(body);
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(": ");
        if (colon < 0)
            continue;
        const QByteArray key = line.left(colon);
        const QByteArray value = line.mid(colon + 2);
        if (key == "path")
            entry.header.documentPath = QUrl::fromPercentEncoding(value);
        else if (key == "written") {
            const QDateTime written = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
            if (written.isValid())
                entry.header.written = written;
        } else if (key == "pid")
            entry.header.pid = value.toLongLong();
        else if (key == "started")
            entry.header.processStart = value.toULongLong();
    }
    if (rtf) {
        // The document is all that follows the header, however it ends.
        *rtf = body < 0 ? QByteArray() : start.mid(body + 2);
        if (!f.atEnd()) {
            const qint64 size = f.size();
            if (size > 0 && size <= qint64(0x7FFFFFF0))
                *rtf += f.readAll();
        }
    }
    return entry;
}

QList<Entry> orphans()
{
    QList<Entry> found;
    const QDir dir(folder());
    for (const QFileInfo &info : dir.entryInfoList({ QStringLiteral("penloft-*.recovery") }, QDir::Files, QDir::Time | QDir::Reversed)) {
        std::optional<Entry> entry = read(info.absoluteFilePath());
        if (entry && !isRunning(entry->header))
            found.append(*entry);
    }
    return found;
}

Claim::Claim(const QString &file)
{
    m_fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Claim::~Claim()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace RecoveryFile
