#pragma once

#include "pictures.h"

#include <QString>

// A picture read from an image file, for inserting into the document. The file is hostile input:
// its size is bounded before it is read, PNG and JPEG bytes are kept as they are (and drawn only
// as far as PictureCost allows), and any other format Qt reads (GIF, BMP, WebP...) is decoded
// within the decoding limit and stored as PNG.
namespace PictureFile {

// The largest picture file taken, in bytes.
constexpr qint64 MaxBytes = qint64(64) << 20;

// The picture of the file at `path`. Throws AppError when the file cannot be read (the open
// messages of documents), is larger than MaxBytes, is no image Qt reads, or is an image too large
// to convert.
Picture read(const QString &path);

// `picture` with a goal size no wider than `widthTwips`, its proportions kept; the picture itself
// when it is no wider.
Picture fittedToWidth(const Picture &picture, int widthTwips);

} // namespace PictureFile
