#pragma once

#include "pictures.h"

#include <QSize>

class QMimeData;
class QTextDocumentFragment;

// Pictures on the clipboard: what a copy of a selection with pictures offers besides its RTF,
// and the picture a paste of an image makes.
namespace PictureClipboard {

// When the fragment holds pictures, adds what other programs read them from: the first picture
// that can be drawn as an image, and HTML of the fragment's text with every drawable picture in
// it (as data). A fragment without pictures adds nothing and costs one look at its text.
void addPictures(QMimeData *data, const QTextDocumentFragment &fragment);

// Looks at the offered formats only (never the data): whether a paste could give a picture.
bool offersImage(const QMimeData *source);

// The largest image taken as decoded pixels (another program's image in a format other than
// PNG or JPEG, or one offered only as pixels), in bytes of 32-bit pixels: it is decoded, or
// written as PNG, which takes seconds and as much memory again beyond this.
inline constexpr qint64 ConvertLimitBytes = qint64(256) << 20;

// What a paste of an offered image gives: a picture, or none; with none, the size of an image
// that was offered but is too large to take (empty when there was none).
struct PastedImage {
    Picture picture;
    QSize tooLarge;
};

// The picture an offered image makes. PNG and JPEG bytes are kept as they came, whatever the
// image's size: one larger than Picture::DecodeLimitBytes is taken by its header, never
// decoded, and shown as such a picture read from a file is. Any other image Qt reads is decoded
// within the decoding limit and stored as PNG; an image offered as pixels only is stored as
// PNG up to ConvertLimitBytes. No picture when there is no image or it does not decode.
PastedImage pictureFrom(const QMimeData *source);

} // namespace PictureClipboard
