#include "pictureclipboard.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>

#include <algorithm>

namespace PictureClipboard {

namespace {

const QString PngType = QStringLiteral("image/png");
const QString JpegType = QStringLiteral("image/jpeg");
const QString ImageTypes = QStringLiteral("image/");

qint64 pixelBytes(QSize size)
{
    return qint64(size.width()) * size.height() * 4;
}

// PNG or JPEG bytes as a picture that keeps them: checked by decoding when that stays within
// the limits (broken data leaves the way to another format offered), taken by the header alone
// when decoding it would cost more, as a file's picture is (and shown the same way).
Picture keptAsItCame(const QByteArray &bytes, bool png)
{
    const Picture picture = png ? Picture::fromPng(bytes) : Picture::fromJpeg(bytes);
    if (picture.pixels().isEmpty())
        return {};
    if (picture.isDrawable() && picture.decodesWithinLimit() && picture.fullImage().isNull())
        return {};
    return picture;
}

Picture asPng(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return Picture::fromPng(png);
}

// Another format Qt reads (GIF, BMP...), stored as PNG: its size read from its header first,
// and decoded only when that fits the decoding limit.
PastedImage converted(QByteArray bytes, const QByteArray &format)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.canRead() ? reader.size() : QSize();
    if (size.isEmpty())
        return {};
    if (pixelBytes(size) > Picture::DecodeLimitBytes)
        return { {}, size };
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    const Picture picture = asPng(image);
    return { picture, picture.isNull() ? size : QSize() };
}

// Calls f(picture) for every picture of the fragment, in order, until it returns false.
template<typename F> void forEachPicture(const QTextDocument &document, F f)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment part = it.fragment();
            if (part.isValid() && Pictures::isPicture(part.charFormat()) && !f(Pictures::pictureOf(part.charFormat())))
                return;
        }
    }
}

std::unique_ptr<QTextDocument> documentOf(const QTextDocumentFragment &fragment)
{
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    QTextCursor(document.get()).insertFragment(fragment);
    return document;
}

QString imageHtml(const Picture &picture)
{
    if (!picture.isDrawable())
        return {};
    const char *type = picture.kind() == Picture::Kind::Png ? "image/png" : "image/jpeg";
    const QSizeF px = picture.sizeTwips() / 15; // pixels at 96 to the inch
    return QStringLiteral("<img src=\"data:") + QLatin1StringView(type) + QStringLiteral(";base64,")
        + QString::fromLatin1(picture.bytes().toBase64()) + QStringLiteral("\" width=\"")
        + QString::number(qRound(px.width())) + QStringLiteral("\" height=\"") + QString::number(qRound(px.height()))
        + QStringLiteral("\">");
}

QString html(const QTextDocument &document)
{
    QString out = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>");
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        out += QStringLiteral("<p>");
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment part = it.fragment();
            if (!part.isValid())
                continue;
            if (Pictures::isPicture(part.charFormat())) {
                const QString img = imageHtml(Pictures::pictureOf(part.charFormat()));
                for (int i = 0; i < part.length(); ++i)
                    out += img;
            } else {
                QString text = part.text().toHtmlEscaped();
                text.replace(QChar::LineSeparator, QStringLiteral("<br>"));
                out += text;
            }
        }
        out += QStringLiteral("</p>");
    }
    out += QStringLiteral("</body></html>");
    return out;
}

} // namespace

void addPictures(QMimeData *data, const QTextDocumentFragment &fragment)
{
    if (!fragment.toPlainText().contains(QChar::ObjectReplacementCharacter))
        return;
    const std::unique_ptr<QTextDocument> document = documentOf(fragment);
    Picture first;
    bool any = false;
    forEachPicture(*document, [&](const Picture &picture) {
        any = true;
        if (!picture.isDrawable())
            return true;
        first = picture;
        return false;
    });
    if (!any)
        return;
    if (!first.isNull()) {
        if (first.kind() == Picture::Kind::Png) {
            data->setData(PngType, first.bytes());
        } else {
            const QImage image = first.fullImage();
            if (!image.isNull())
                data->setImageData(image);
        }
    }
    data->setHtml(html(*document));
}

bool offersImage(const QMimeData *source)
{
    if (source->hasImage())
        return true;
    const QStringList types = source->formats();
    return std::any_of(types.begin(), types.end(), [](const QString &type) { return type.startsWith(ImageTypes); });
}

PastedImage pictureFrom(const QMimeData *source)
{
    for (const QString &type : { PngType, JpegType }) {
        if (source->hasFormat(type)) {
            const Picture picture = keptAsItCame(source->data(type), type == PngType);
            if (!picture.isNull())
                return { picture, {} };
        }
    }
    QSize refused;
    for (const QString &type : source->formats()) {
        if (!type.startsWith(ImageTypes) || type == PngType || type == JpegType)
            continue;
        const QList<QByteArray> formats = QImageReader::imageFormatsForMimeType(type.toLatin1());
        if (formats.isEmpty())
            continue;
        const PastedImage pasted = converted(source->data(type), formats.first());
        if (!pasted.picture.isNull())
            return pasted;
        refused = refused.isEmpty() ? pasted.tooLarge : refused;
    }
    // An image offered as pixels only: none of its formats above gave a picture (none of them
    // is read further than above by the system's clipboard either).
    if (!refused.isEmpty() || !source->hasImage())
        return { {}, refused };
    const QImage image = qvariant_cast<QImage>(source->imageData());
    if (image.isNull())
        return {};
    if (pixelBytes(image.size()) > ConvertLimitBytes)
        return { {}, image.size() };
    const Picture picture = asPng(image);
    return { picture, picture.isNull() ? image.size() : QSize() };
}

} // namespace PictureClipboard
