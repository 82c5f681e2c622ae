#pragma once

#include "pictures.h"

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

// The picture an offered image makes: image/png as it is, any other image Qt reads stored as
// PNG. Null when there is no image or it does not decode.
Picture pictureFrom(const QMimeData *source);

} // namespace PictureClipboard
