#include "documentfile.h"

#include "app/apperror.h"
#include "app/messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

QString createFailureReason(const QFileInfo &info, const QSaveFile &file)
{
    if (info.isDir())
        return Messages::text(Messages::ReasonIsFolder);
    if (!info.absoluteDir().exists())
        return Messages::text(Messages::ReasonFolderNotFound);
    if ((info.exists() && !info.isWritable()) || !QFileInfo(info.absolutePath()).isWritable())
        return Messages::text(Messages::ReasonAccessDenied);
    return file.errorString();
}

} // namespace

namespace DocumentFile {

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
    const QFileInfo info(path);
    QSaveFile file(path);
    if (info.isDir() || !file.open(QIODevice::WriteOnly))
        throw AppError(Messages::cannotCreateFile(path, createFailureReason(info, file)));
    if (file.write(data.data(), data.size()) != data.size()) {
        file.cancelWriting();
        throw AppError(Messages::text(Messages::WriteStreamFailed));
    }
    if (!file.commit())
        throw AppError(Messages::text(Messages::WriteStreamFailed));
}

} // namespace DocumentFile
