#include "documentfile.h"

#include "app/apperror.h"
#include "app/messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString openFailureReason(const QFileInfo &info, const QFile &file)
{
    if (!info.exists())
        return Messages::text(info.absoluteDir().exists() ? Messages::ReasonNotFound : Messages::ReasonFolderNotFound);
    if (info.isDir())
        return Messages::text(Messages::ReasonIsFolder);
    if (!info.isFile())
        return Messages::text(Messages::ReasonNotRegularFile);
    if (!info.isReadable())
        return Messages::text(Messages::ReasonAccessDenied);
    return file.errorString();
}

QString createFailureReason(const QFileInfo &info, int error = 0)
{
    if (info.isDir())
        return Messages::text(Messages::ReasonIsFolder);
    if (!info.absoluteDir().exists())
        return Messages::text(Messages::ReasonFolderNotFound);
    if (error == EACCES || error == EPERM || error == EROFS)
        return Messages::text(Messages::ReasonAccessDenied);
    return error ? QString::fromLocal8Bit(std::strerror(error)) : Messages::text(Messages::ReasonAccessDenied);
}

// What a new file's permissions are: everyone may read and write, less the process's umask.
mode_t newFileMode()
{
    static const mode_t mask = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return static_cast<mode_t>(0666 & ~mask);
}

qint64 systemAvailableMemory()
{
    QFile info(QStringLiteral("/proc/meminfo"));
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : info.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:")) {
            bool ok = false;
            const qint64 kb = line.mid(13).trimmed().split(' ').value(0).toLongLong(&ok);
            return ok ? kb * 1024 : -1;
        }
    }
    return -1;
}

DocumentFile::MemoryProbe &memoryProbe()
{
    static DocumentFile::MemoryProbe probe;
    return probe;
}

} // namespace

namespace DocumentFile {

qint64 openingCost(qint64 bytes, bool rtf)
{
    constexpr qint64 TextPerByte = 5;
    constexpr qint64 RtfPerByte = 12;
    constexpr qint64 Margin = 64 * 1024 * 1024; // layout, undo and the program's own growth
    const qint64 clamped = qBound<qint64>(0, bytes, MaxBytes);
    return clamped * (rtf ? RtfPerByte : TextPerByte) + Margin;
}

void setMemoryProbe(MemoryProbe probe)
{
    memoryProbe() = std::move(probe);
}

QByteArray read(const QString &path)
{
    const QFileInfo info(path);
    QFile file(path);
    // Only regular files: opening a FIFO would wait for a writer, a device may never end.
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        throw AppError(Messages::cannotOpenFile(path, openFailureReason(info, file)));
    const qint64 size = file.size();
    if (size > MaxBytes)
        throw AppError(Messages::cannotOpenFile(path, Messages::text(Messages::ReasonTooLarge)));
    // A file the memory left cannot hold once opened is refused before it is read: running out
    // midway would end the program, and the open document with it.
    const qint64 available = memoryProbe() ? memoryProbe()() : systemAvailableMemory();
    if (available >= 0 && openingCost(size, file.peek(5) == "{\\rtf") > available)
        throw AppError(Messages::cannotOpenFile(path, Messages::text(Messages::ReasonNotEnoughMemory)));
    QByteArray data;
    data.resize(size);
    qint64 done = 0;
    while (done < size) {
        const qint64 got = file.read(data.data() + done, size - done);
        if (got <= 0)
            break;
        done += got;
    }
    if (done != size || file.error() != QFileDevice::NoError)
        throw AppError(Messages::text(Messages::ReadStreamFailed));
    return data;
}

void write(const QString &path, QByteArrayView data)
{
    // A link is followed: the file it names is replaced, the link stays.
    QFileInfo info(path);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
    info = QFileInfo(target);
    if (info.isDir() || !info.absoluteDir().exists())
        throw AppError(Messages::cannotCreateFile(path, createFailureReason(info)));

    // The new content goes to a file of its own beside the target, which replaces the target
    // only once every byte is on the disk: a failure at any point leaves the old file as it was.
    // (QSaveFile commits a file cut short by a full disk as if it were whole.)
    QByteArray temporary = QFile::encodeName(info.absolutePath() + u'/' + u'.' + info.fileName()) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        const int error = errno;
        throw AppError(Messages::cannotCreateFile(path, createFailureReason(info, error)));
    }
    auto fail = [&](const QString &text) {
        ::close(fd);
        ::unlink(temporary.constData());
        throw AppError(text);
    };
    // The replaced file's permissions are kept; a new file gets the usual ones.
    struct stat existing {};
    const bool replaces = ::stat(QFile::encodeName(info.absoluteFilePath()).constData(), &existing) == 0;
    ::fchmod(fd, replaces ? (existing.st_mode & 07777) : newFileMode());
    const char *p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(Messages::text(Messages::WriteStreamFailed));
        p += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        fail(Messages::text(Messages::WriteStreamFailed));
    if (::close(fd) != 0) {
        ::unlink(temporary.constData());
        throw AppError(Messages::text(Messages::WriteStreamFailed));
    }
    if (::rename(temporary.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        throw AppError(Messages::cannotCreateFile(path, createFailureReason(info, error)));
    }
}

} // namespace DocumentFile
