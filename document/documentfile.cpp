#include "documentfile.h"

#include "document/apperror.h"
#include "document/documentmessages.h"
#include "filereplacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why a file cannot be read, in a sentence of the program's own where it sees the cause, else
// with the system's description of `error` (of `fallback` when there is no error number).
QString openFailure(const QString &path, const QFileInfo &info, int error, const QString &fallback = {})
{
    using Messages::FileProblem;
    if (!info.exists())
        return Messages::cannotOpenFile(path, info.absoluteDir().exists() ? FileProblem::NotFound : FileProblem::FolderNotFound);
    if (info.isDir())
        return Messages::cannotOpenFile(path, FileProblem::IsFolder);
    if (!info.isFile())
        return Messages::cannotOpenFile(path, FileProblem::NotRegularFile);
    if (!info.isReadable() || error == EACCES || error == EPERM)
        return Messages::cannotOpenFile(path, FileProblem::AccessDenied);
    return Messages::cannotOpenFile(path, error ? QString::fromLocal8Bit(std::strerror(error)) : fallback);
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

qint64 availableMemory()
{
    return memoryProbe() ? memoryProbe()() : systemAvailableMemory();
}

std::vector<QByteArray> readPieces(const QString &path, qint64 pieceBytes)
{
    const QFileInfo info(path);
    const QString absolute = info.absoluteFilePath();
    // Without blocking: opening a FIFO would wait for a writer. Only a regular file is read
    // (a device may never end), judged on what was opened, not on the name.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        throw AppError(openFailure(absolute, info, error));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw AppError(openFailure(absolute, info, 0, file.errorString()));
    }
    const qint64 size = static_cast<qint64>(st.st_size);
    if (size > MaxBytes)
        throw AppError(Messages::cannotOpenFile(absolute, Messages::FileProblem::TooLarge));
    // A file the memory left cannot hold once opened is refused before it is read: running out
    // midway would end the program, and the open document with it.
    const bool rtf = file.peek(5) == "{\\rtf";
    const qint64 available = availableMemory();
    if (available >= 0 && openingCost(size, rtf) > available)
        throw AppError(Messages::cannotOpenFile(absolute, Messages::FileProblem::NotEnoughMemory));
    // RTF is read in one piece: its reader needs it whole.
    if (rtf || pieceBytes <= 0)
        pieceBytes = std::max<qint64>(size, 1);
    std::vector<QByteArray> pieces;
    qint64 done = 0;
    while (done < size) {
        QByteArray &piece = pieces.emplace_back();
        piece.resize(std::min(pieceBytes, size - done));
        qint64 filled = 0;
        while (filled < piece.size()) {
            const qint64 got = file.read(piece.data() + filled, piece.size() - filled);
            if (got <= 0)
                break;
            filled += got;
        }
        done += filled;
        if (filled != piece.size())
            break;
    }
    if (done != size || file.error() != QFileDevice::NoError)
        throw AppError(Messages::text(Messages::ReadStreamFailed));
    return pieces;
}

QByteArray read(const QString &path)
{
    std::vector<QByteArray> pieces = readPieces(path, 0);
    return pieces.empty() ? QByteArray() : std::move(pieces.front());
}

void write(const QString &path, QByteArrayView data)
{
    FileReplacement replacement(path);
    QIODevice &device = replacement.device();
    qsizetype done = 0;
    while (done < data.size()) {
        const qint64 n = device.write(data.data() + done, data.size() - done);
        if (n <= 0)
            throw AppError(Messages::text(Messages::WriteStreamFailed));
        done += n;
    }
    replacement.commit();
}

} // namespace DocumentFile
