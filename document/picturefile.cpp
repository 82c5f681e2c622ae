#include "picturefile.h"

#include "apperror.h"
#include "documentfile.h"
#include "documentmessages.h"
#include "pictureclipboard.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>

namespace PictureFile {

namespace {

// The MIME type of the image format the bytes hold, by their content; empty when Qt reads none.
QString mimeTypeOf(QByteArray &bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (format.isEmpty())
        return {};
    return QStringLiteral("image/") + QString::fromLatin1(format == "jpg" ? QByteArray("jpeg") : format);
}

} // namespace

Picture read(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile() && info.size() > MaxBytes)
        throw AppError(Messages::cannotOpenFile(info.absoluteFilePath(), Messages::FileProblem::TooLarge));
    QByteArray bytes = DocumentFile::read(path);
    const QString type = mimeTypeOf(bytes);
    // The file's bytes go the way a pasted image's do, under the type its content shows.
    QMimeData data;
    if (!type.isEmpty())
        data.setData(type, bytes);
    const PictureClipboard::PastedImage image = PictureClipboard::pictureFrom(&data);
    if (!image.tooLarge.isEmpty())
        throw AppError(Messages::pictureFileTooLarge(info.absoluteFilePath(), image.tooLarge.width(), image.tooLarge.height()));
    if (image.picture.isNull())
        throw AppError(Messages::notAPictureFile(info.absoluteFilePath()));
    return image.picture;
}

Picture fittedToWidth(const Picture &picture, int widthTwips)
{
    const QSizeF shown = picture.sizeTwips();
    if (picture.isNull() || widthTwips <= 0 || shown.width() <= widthTwips)
        return picture;
    const qreal scale = widthTwips / shown.width();
    Picture::Data data;
    data.bytes = picture.bytes();
    data.oddNibble = picture.oddNibble();
    for (Picture::Word word : picture.words()) {
        // The goal is the size shown once the scale words apply: they go, the goal takes them in.
        if (word.name == "picscalex" || word.name == "picscaley")
            continue;
        if (word.name == "picwgoal")
            word.value = qMax(Picture::MinTwips, int(shown.width() * scale));
        else if (word.name == "pichgoal")
            word.value = qMax(Picture::MinTwips, int(shown.height() * scale));
        data.words.push_back(word);
    }
    return Picture(std::move(data));
}

} // namespace PictureFile
