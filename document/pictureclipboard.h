#pragma once

#include "pictures.h"

class QMimeData;
class QTextDocumentFragment;

// Pictures on the clipboard: what a copy of a selection with pictures offers besides its RTF,
// and the picture a paste of an image makes.
namespace PictureClipboard {

// True when the fragment holds a picture.
bool hasPictures(const QTextDocumentFragment &fragment);

// Adds what other programs read pictures from: the first picture that can be drawn as an
// image, and HTML of the fragment's text with every drawable picture in it (as data).
void addPictures(QMimeData *data, const QTextDocumentFragment &fragment);

// Looks at the offered formats only (never the data): whether a paste could give a picture.
bool offersImage(const QMimeData *source);

// The picture an offered image makes: image/png as it is, any other image Qt reads stored as
// PNG. Null when there is no image or it does not decode.
Picture pictureFrom(const QMimeData *source);

} // namespace PictureClipboard
