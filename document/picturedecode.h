#pragma once

#include "picturecost.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

// Decoding a picture at the size it is drawn, within the memory its size allows.
namespace PictureDecode {

enum class Format { Png, Jpeg };

// The picture's image at `target` pixels (no larger than its own size), or at the largest size
// that fits the memory a picture of its bytes may take; null when it does not decode. JPEGs and
// colour PNGs are scaled as they are read; other PNGs are read whole in their own format (a bit
// or a byte a pixel) and scaled from there.
QImage decode(const QByteArray &bytes, Format format, const PictureCost::DecodeCost &cost, QSize target);

// `source` reduced to `target` (no larger either way), each pixel the mean of those it covers,
// a few rows at a time: no copy of the whole source in another format.
QImage boxScaled(const QImage &source, QSize target);

} // namespace PictureDecode
