// Where recovery files live and whose they are: the folders, the processes that wrote them, the
// paths a restored document may take, and what is left over from programs no longer running.

#include "recoveryfile.h"
#include "recoveryfile_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The kernel never gives a process an id above this (PID_MAX_LIMIT on 64-bit systems).
constexpr qint64 MaxProcessId = 4 * 1024 * 1024;

struct ProcessStat {
    char state = 0;
    quint64 start = 0; // 0 when it cannot be read
};

// The state (field 3) and start time (field 22) of /proc/PID/stat.
ProcessStat processStatOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.read(4096);
    // The command name in parentheses may hold spaces; the fields after it do not.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return {};
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    constexpr int StartTimeAfterName = 19; // field 22 of the line, counted from the state (3)
    if (fields.size() <= StartTimeAfterName || fields.first().isEmpty())
        return {};
    return { fields.first().at(0), fields.at(StartTimeAfterName).toULongLong() };
}

const QByteArray &bootId()
{
    static const QByteArray id = [] {
        QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
        return file.open(QIODevice::ReadOnly) ? file.read(64).trimmed() : QByteArray();
    }();
    return id;
}

bool isRecoveryName(const QByteArray &name)
{
    return name.startsWith("penloft-") && name.endsWith(".recovery");
}

// The process a temporary of a write names: ".penloft-PID-START.recovery.XXXXXX".
std::optional<RecoveryFile::Header> writerOfTemporary(const QByteArray &name)
{
    static constexpr QByteArrayView Prefix = ".penloft-";
    static constexpr QByteArrayView Middle = ".recovery.";
    constexpr qsizetype SuffixBytes = 6;
    if (!name.startsWith(Prefix) || name.size() < Prefix.size() + Middle.size() + SuffixBytes)
        return std::nullopt;
    const QByteArrayView ids
        = QByteArrayView(name).sliced(Prefix.size(), name.size() - Prefix.size() - Middle.size() - SuffixBytes);
    if (QByteArrayView(name).sliced(name.size() - Middle.size() - SuffixBytes, Middle.size()) != Middle)
        return std::nullopt;
    const qsizetype dash = ids.indexOf('-');
    bool pidOk = false;
    bool startOk = false;
    RecoveryFile::Header header;
    if (dash > 0) {
        header.pid = ids.first(dash).toLongLong(&pidOk);
        header.processStart = ids.sliced(dash + 1).toULongLong(&startOk);
    }
    if (!pidOk || !startOk)
        return std::nullopt;
    return header;
}

// The folders recovery files are looked for in, each once.
QStringList folders()
{
    QStringList list { RecoveryFile::folder() };
    if (RecoveryFile::spareFolder() != list.first())
        list += RecoveryFile::spareFolder();
    return list;
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

QString spareFolder()
{
    return QDir::tempPath() + QStringLiteral("/penloft-recovery-%1").arg(::geteuid());
}

Header ownProcess()
{
    Header header;
    header.pid = ::getpid();
    header.processStart = processStatOf(header.pid).start;
    header.bootId = bootId();
    return header;
}

QString fileOf(const Header &header)
{
    return fileIn(folder(), header);
}

QString fileIn(const QString &folder, const Header &header)
{
    return folder + QStringLiteral("/penloft-%1-%2.recovery").arg(header.pid).arg(header.processStart);
}

bool isRunning(const Header &header)
{
    if (header.pid < 1 || header.pid > MaxProcessId || header.processStart == 0)
        return false;
    if (!header.bootId.isEmpty() && !bootId().isEmpty() && header.bootId != bootId())
        return false;
    // A program of this user's wrote the file; another user's process with that id is not it.
    struct stat st {};
    if (::stat(QByteArray("/proc/" + QByteArray::number(header.pid)).constData(), &st) != 0 || st.st_uid != ::geteuid())
        return false;
    const ProcessStat process = processStatOf(header.pid);
    return process.start == header.processStart && process.state != 'Z' && process.state != 'X';
}

QByteArray stampOf(const QString &path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return QByteArray::number(qint64(st.st_size)) + ' ' + QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.'
        + QByteArray::number(qint64(st.st_mtim.tv_nsec)) + ' ' + QByteArray::number(quint64(st.st_dev)) + ' '
        + QByteArray::number(quint64(st.st_ino));
}

QString restorablePath(const QString &documentPath)
{
    if (!documentPath.startsWith(u'/') || RecoveryFile::oneLine(documentPath) != documentPath)
        return {};
    struct stat st {};
    if (::stat(QFile::encodeName(documentPath).constData(), &st) == 0)
        return S_ISREG(st.st_mode) ? documentPath : QString();
    if (errno != ENOENT)
        return {};
    // Gone since: Save makes it again, in a folder the user may write to.
    const QByteArray folder = QFile::encodeName(QFileInfo(documentPath).absolutePath());
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(folder.constData(), W_OK) != 0)
        return {};
    return documentPath;
}

QList<Entry> orphans(QStringList *unsafeFolders)
{
    QList<Entry> found;
    for (const QString &path : folders()) {
        WriteResult check;
        const int folderFd = Private::openFolder(path, Private::Creation::Never, &check);
        if (folderFd < 0) {
            if (check.problem == WriteResult::Problem::UnsafeFolder && unsafeFolders)
                unsafeFolders->append(path);
            continue;
        }
        for (const QByteArray &name : Private::namesIn(folderFd)) {
            if (!isRecoveryName(name))
                continue;
            const int fd = Private::openIn(folderFd, name);
            if (fd < 0)
                continue;
            std::optional<Entry> entry = readEntry(fd, path + u'/' + QFile::decodeName(name));
            ::close(fd);
            if (entry && !isRunning(entry->header))
                found.append(*entry);
        }
        ::close(folderFd);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Entry &a, const Entry &b) { return a.header.written < b.header.written; });
    return found;
}

int removeStaleTemporaries()
{
    int removed = 0;
    for (const QString &path : folders()) {
        WriteResult check;
        const int folderFd = Private::openFolder(path, Private::Creation::Never, &check);
        if (folderFd < 0)
            continue;
        for (const QByteArray &name : Private::namesIn(folderFd)) {
            const std::optional<Header> writer = writerOfTemporary(name);
            struct stat st { };
            if (!writer || ::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0
                || st.st_uid != ::geteuid() || S_ISDIR(st.st_mode) || isRunning(*writer))
                continue;
            removed += ::unlinkat(folderFd, name.constData(), 0) == 0;
        }
        ::close(folderFd);
    }
    return removed;
}

} // namespace RecoveryFile
