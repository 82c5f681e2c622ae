#include "filereplacement.h"

#include "document/apperror.h"
#include "document/documentmessages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int AlphabetSize = 62;
constexpr int SuffixLength = 6;

long long g_failInPlaceAfter = -1;

// The check characters of a temporary's suffix: FNV-1a over the file's name, a dot and the three
// random characters, in three characters of the alphabet.
QByteArray checkCharacters(const QByteArray &fileName, QByteArrayView random)
{
    quint32 hash = 2166136261u;
    auto add = [&hash](char c) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    };
    for (char c : fileName)
        add(c);
    add('.');
    for (char c : random)
        add(c);
    QByteArray check(3, Qt::Uninitialized);
    for (char &c : check) {
        c = Alphabet[hash % AlphabetSize];
        hash /= AlphabetSize;
    }
    return check;
}

// Why a file cannot be created, in a sentence of the program's own where it sees the cause, else
// with the system's description of `error`.
QString createFailure(const QString &path, const QFileInfo &info, int error)
{
    using Messages::FileProblem;
    if (info.isDir())
        return Messages::cannotCreateFile(path, FileProblem::IsFolder);
    if (!info.absoluteDir().exists())
        return Messages::cannotCreateFile(path, FileProblem::FolderNotFound);
    if (error == 0 || error == EACCES || error == EPERM || error == EROFS)
        return Messages::cannotCreateFile(path, FileProblem::AccessDenied);
    return Messages::cannotCreateFile(path, QString::fromLocal8Bit(std::strerror(error)));
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

// Writes all of [data, data + size) at `offset`; false on any failure. `limit` (tests only)
// makes the write fail past that many bytes.
bool writeAll(int fd, const char *data, qint64 size, qint64 offset, long long limit = -1)
{
    qint64 done = 0;
    while (done < size) {
        qint64 chunk = size - done;
        if (limit >= 0 && done + chunk > limit) {
            chunk = limit - done;
            if (chunk <= 0) {
                errno = ENOSPC;
                return false;
            }
        }
        const ssize_t n = ::pwrite(fd, data + done, static_cast<size_t>(chunk), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Copies `from` (its first `size` bytes) over the start of `to`, cuts `to` to that size and
// syncs it.
bool copyContent(int from, int to, qint64 size, long long limit = -1)
{
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(from, buffer.data(), static_cast<size_t>(qMin<qint64>(buffer.size(), size - done)), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        if (!writeAll(to, buffer.constData(), n, done, limit < 0 ? -1 : qMax<long long>(0, limit - done)))
            return false;
        done += n;
    }
    return ::ftruncate(to, size) == 0 && ::fsync(to) == 0;
}

// Creates a new temporary beside `fileName` in `folder` (O_EXCL), named by `makeName`; -1 with
// errno set when it cannot.
template<typename MakeName>
int createExclusive(const QByteArray &folder, MakeName makeName, QByteArray *created)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray path = folder + '/' + QByteArray(makeName());
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            // Locked from the start: no other save takes it for a stale one while it is written.
            ::flock(fd, LOCK_EX);
            *created = path;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

// Removes the temporaries other saves left in `folder`: ours, older than StaleSeconds, and not
// locked by a process that is still writing them.
void removeStaleTemporaries(const QByteArray &folder)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    const time_t now = ::time(nullptr);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith('.') || name.size() < SuffixLength + 3
            || !FileReplacement::isTemporaryName(QFile::decodeName(name)))
            continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
            || now - st.st_mtime < FileReplacement::StaleSeconds)
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace

struct FileReplacement::Private {
    QString absolutePath; // for messages: the path as given, made absolute
    QByteArray target; // the file replaced (a link's target)
    QByteArray folder;
    QByteArray fileName;
    QByteArray temporary;
    int fd = -1;
    bool existed = false;
    struct stat old {};
    QFile device;
    bool committed = false;

    void discard()
    {
        if (fd >= 0) {
            device.close();
            ::close(fd);
            fd = -1;
        }
        if (!temporary.isEmpty())
            ::unlink(temporary.constData());
        temporary.clear();
    }

    [[noreturn]] void fail(const QString &text)
    {
        discard();
        throw AppError(text);
    }

    void writeInPlace(qint64 size);
    void syncFolder() const
    {
        const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
};

FileReplacement::FileReplacement(const QString &path, const QString &temporaryStem)
    : d(std::make_unique<Private>())
{
    const QFileInfo given(path);
    d->absolutePath = given.absoluteFilePath();
    // A link is followed: the file it names is replaced, the link stays.
    const QFileInfo info(given.isSymLink() && given.exists() ? given.canonicalFilePath() : given.absoluteFilePath());
    d->target = QFile::encodeName(info.absoluteFilePath());
    d->folder = QFile::encodeName(info.absolutePath());
    d->fileName = QFile::encodeName(info.fileName());

    struct stat st {};
    if (::lstat(d->target.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw AppError(Messages::cannotCreateFile(d->absolutePath, Messages::FileProblem::IsFolder));
        // A device, a pipe or a socket would be replaced by a file (or, written, never end).
        if (!S_ISREG(st.st_mode))
            throw AppError(Messages::cannotCreateFile(d->absolutePath, Messages::FileProblem::NotRegularFile));
        // A write-protected file stays as it is, for root as well: the rename could replace it.
        if (::access(d->target.constData(), W_OK) != 0 || (st.st_mode & 0222) == 0)
            throw AppError(Messages::cannotWrite(d->absolutePath));
        d->existed = true;
        d->old = st;
    } else if (!info.absoluteDir().exists()) {
        throw AppError(Messages::cannotCreateFile(d->absolutePath, Messages::FileProblem::FolderNotFound));
    }

    removeStaleTemporaries(d->folder);
    const QString stem = temporaryStem.isEmpty() ? QFile::decodeName(d->fileName) : temporaryStem;
    d->fd = createExclusive(
        d->folder, [&stem]() -> QByteArray { return QFile::encodeName(temporaryName(stem)); }, &d->temporary);
    if (d->fd < 0) {
        const int error = errno;
        throw AppError(createFailure(d->absolutePath, info, error));
    }
    d->device.open(d->fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
}

FileReplacement::~FileReplacement()
{
    if (!d->committed)
        d->discard();
}

QIODevice &FileReplacement::device()
{
    return d->device;
}

QByteArray FileReplacement::temporaryPath() const
{
    return d->temporary;
}

void FileReplacement::commit()
{
    const QString writeFailed = Messages::text(Messages::WriteStreamFailed);
    if (d->device.error() != QFileDevice::NoError || ::fsync(d->fd) != 0)
        d->fail(writeFailed);
    const qint64 size = static_cast<qint64>(::lseek(d->fd, 0, SEEK_END));
    if (size < 0)
        d->fail(writeFailed);

    bool inPlace = false;
    if (!d->existed) {
        ::fchmod(d->fd, newFileMode());
    } else {
        // Other names of the same file would keep the old content after a rename.
        inPlace = d->old.st_nlink > 1;
        struct stat temporary {};
        ::fstat(d->fd, &temporary);
        if (!inPlace && (temporary.st_uid != d->old.st_uid || temporary.st_gid != d->old.st_gid))
            inPlace = ::fchown(d->fd, d->old.st_uid, d->old.st_gid) != 0;
        // After the owner: a change of owner clears the set-id bits.
        if (!inPlace)
            inPlace = ::fchmod(d->fd, d->old.st_mode & 07777) != 0;
    }
    if (inPlace) {
        d->writeInPlace(size);
    } else if (::rename(d->temporary.constData(), d->target.constData()) != 0) {
        const int error = errno;
        d->fail(createFailure(d->absolutePath, QFileInfo(d->absolutePath), error));
    } else {
        d->temporary.clear(); // it is the file now
        d->syncFolder();
    }
    if (d->fd >= 0) {
        d->device.close();
        ::close(d->fd);
        d->fd = -1;
    }
    d->committed = true;
}

void FileReplacement::Private::writeInPlace(qint64 size)
{
    const QString writeFailed = Messages::text(Messages::WriteStreamFailed);
    const int file = ::open(target.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (file < 0)
        fail(Messages::cannotWrite(absolutePath));
    QByteArray backupPath;
    const int backup = createExclusive(
        folder, [this]() -> QByteArray { return QFile::encodeName(temporaryName(QFile::decodeName(fileName))) + '~'; },
        &backupPath);
    const qint64 oldSize = static_cast<qint64>(old.st_size);
    if (backup < 0 || !copyContent(file, backup, oldSize)) {
        // Nothing of the file was touched yet.
        if (backup >= 0) {
            ::close(backup);
            ::unlink(backupPath.constData());
        }
        ::close(file);
        fail(writeFailed);
    }
    if (copyContent(fd, file, size, g_failInPlaceAfter)) {
        ::close(backup);
        ::unlink(backupPath.constData());
        ::close(file);
        discard();
        return;
    }
    // Put the old content back; only then may its copy go.
    if (copyContent(backup, file, oldSize))
        ::unlink(backupPath.constData());
    ::close(backup);
    ::close(file);
    fail(writeFailed);
}

QString FileReplacement::temporaryName(const QString &fileName)
{
    const QByteArray name = fileName.toUtf8();
    QByteArray random(3, Qt::Uninitialized);
    for (char &c : random)
        c = Alphabet[QRandomGenerator::global()->bounded(AlphabetSize)];
    return u'.' + fileName + u'.' + QString::fromLatin1(random + checkCharacters(name, random));
}

bool FileReplacement::isTemporaryName(const QString &entryName)
{
    return !temporaryStem(entryName).isEmpty();
}

QString FileReplacement::temporaryStem(const QString &entryName)
{
    if (entryName.size() < SuffixLength + 3 || !entryName.startsWith(u'.'))
        return {};
    const qsizetype dot = entryName.size() - SuffixLength - 1;
    if (entryName.at(dot) != u'.')
        return {};
    const QByteArray suffix = entryName.mid(dot + 1).toLatin1();
    for (char c : suffix) {
        if (c == '\0' || !std::strchr(Alphabet, c))
            return {};
    }
    const QString stem = entryName.mid(1, dot - 1);
    const QByteArray name = stem.toUtf8();
    if (name.isEmpty() || checkCharacters(name, QByteArrayView(suffix).first(3)) != suffix.mid(3))
        return {};
    return stem;
}

void FileReplacement::failInPlaceWritesAfter(long long bytes)
{
    g_failInPlaceAfter = bytes;
}
