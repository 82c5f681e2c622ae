#include "pictureclipboard.h"

#include <QBuffer>
#include <QImage>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>

namespace PictureClipboard {

namespace {

const QString PngType = QStringLiteral("image/png");

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
    return source->hasImage() || source->hasFormat(PngType);
}

Picture pictureFrom(const QMimeData *source)
{
    if (source->hasFormat(PngType)) {
        const Picture picture = Picture::fromPng(source->data(PngType));
        if (picture.isDrawable() && !picture.fullImage().isNull())
            return picture;
    }
    if (!source->hasImage())
        return {};
    const QImage image = qvariant_cast<QImage>(source->imageData());
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return Picture::fromPng(png);
}

} // namespace PictureClipboard
