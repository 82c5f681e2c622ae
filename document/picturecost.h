#pragma once

#include <QByteArrayView>
#include <QSize>
#include <QtGlobal>

// What decoding a picture costs, read from its header and the markers of its data before any
// pixel is decoded, and how much of it the pictures of one document may spend. A few kilobytes
// of PNG can unpack to sixteen million pixels, and a JPEG can make its decoder keep every
// block of a huge image or walk all of them thousands of times; such pictures show as boxes.
namespace PictureCost {

struct DecodeCost {
    QSize pixels; // the image's own size; empty when the header does not read
    // Memory a decode takes whatever size the picture is drawn at, in bytes: the whole image
    // in its own format for a PNG that cannot be scaled as it is read, every block's
    // coefficients for a JPEG stored in several scans, the rows a decoder keeps.
    qint64 fixedBytes = 0;
    // Time, in units of about one pixel of a PNG decoded and scaled, some 5 to 20 ns here (a
    // JPEG block counts once for each scan that reads it; what is in proportion to the bytes,
    // as the decoding of dense data, is left out).
    qint64 work = 0;
    // A PNG whose rows the image reader scales as it reads them (8-bit colour, not interlaced).
    bool scaledAsRead = false;
};

DecodeCost pngCost(QByteArrayView bytes);
DecodeCost jpegCost(QByteArrayView bytes);

// The most memory one decode of a picture of `bytes` bytes may take: a fixed allowance and some
// bytes for each byte of the picture, as a file's size allows memory in proportion.
qint64 memoryLimit(qint64 bytes);

// The memory a decode to `target` pixels takes beyond the fixed part: the image drawn, and
// for a JPEG the larger image its decoder scales by halves before the last step.
qint64 drawnBytes(const DecodeCost &cost, QSize target, bool jpeg);

// The decoding the pictures read from one file may cost. Each picture may spend some work for
// each of its bytes (so that large honest pictures cost in proportion to the file); what it
// needs beyond that comes from one allowance shared by the whole document, first come first
// served, so that the time to show every picture stays in proportion to the file's size.
class DecodeBudget {
public:
    // Takes the picture's share and returns true, or returns false and takes nothing.
    bool admit(const DecodeCost &cost, qint64 bytes);
    qint64 remaining() const { return m_shared; }

    // Work each byte of a picture pays for itself.
    static constexpr qint64 WorkPerByte = 8;
    // Work the pictures of a document share beyond what their bytes pay for.
    static constexpr qint64 SharedWork = 16 * 1000 * 1000;

private:
    qint64 m_shared = SharedWork;
};

} // namespace PictureCost
