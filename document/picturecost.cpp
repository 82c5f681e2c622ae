#include "picturecost.h"

#include <climits>
#include <cstring>

namespace PictureCost {

namespace {

// One decode may take this much memory whatever the picture's size, and this many bytes more
// for each byte of the picture (a file may make the program take 12 bytes for each of its own,
// and a picture's bytes are among the file's: in hex, each takes two of them).
constexpr qint64 FixedMemory = 32 * 1024 * 1024;
constexpr qint64 MemoryPerByte = 12;
// What a decoder keeps for each pixel of a row besides the image: the rows it unpacks and
// scales.
constexpr qint64 RowBytesPerPixel = 256;
// A JPEG's block holds 64 coefficients of two bytes.
constexpr qint64 CoefficientBytesPerBlock = 128;
constexpr int MaxJpegComponents = 10;
// Pixel counts beyond this are all "too many": it keeps the products below in range.
constexpr qint64 ManyPixels = qint64(1) << 48;

quint32 bigEndian32(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

int bigEndian16(const uchar *p)
{
    return p[0] << 8 | p[1];
}

// The bits a pixel takes in the image the reader makes of a PNG (one bit for black and white,
// a byte for grey and palette pictures, 32 or 64 bits for colour and for transparency).
int pngImageBits(int colourType, int depth, bool transparency)
{
    const bool wide = depth == 16;
    switch (colourType) {
    case 0:
        if (transparency)
            return wide ? 64 : 32;
        return depth == 1 ? 1 : wide ? 16 : 8;
    case 3:
        return depth == 1 && !transparency ? 1 : 8;
    default:
        return wide ? 64 : 32;
    }
}

// Whether a transparency chunk comes before the image data.
bool pngHasTransparency(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    qsizetype at = 33; // after the signature and the header chunk
    while (at + 8 <= bytes.size()) {
        const qint64 length = bigEndian32(p + at);
        const QByteArrayView type = bytes.sliced(at + 4, 4);
        if (type == "IDAT" || type == "IEND")
            return false;
        if (type == "tRNS")
            return true;
        at += 12 + length;
    }
    return false;
}

struct JpegComponent {
    int id = 0;
    int h = 1;
    int v = 1;
    qint64 blocks = 0;
};

struct JpegFrame {
    bool found = false;
    bool progressive = false;
    int width = 0;
    int height = 0;
    int count = 0;
    JpegComponent components[MaxJpegComponents];
};

bool isFrameMarker(uchar marker)
{
    // SOF0-SOF15 but DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Reads a frame header; false when it is not one the decoder takes.
bool readFrame(uchar marker, const uchar *body, int length, JpegFrame &frame)
{
    if (length < 6)
        return false;
    frame.height = bigEndian16(body + 1);
    frame.width = bigEndian16(body + 3);
    frame.count = body[5];
    if (frame.width == 0 || frame.height == 0 || frame.count < 1 || frame.count > MaxJpegComponents
        || length < 6 + 3 * frame.count)
        return false;
    frame.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
    int maxH = 1;
    int maxV = 1;
    for (int i = 0; i < frame.count; ++i) {
        JpegComponent &c = frame.components[i];
        c.id = body[6 + 3 * i];
        c.h = qBound(1, body[7 + 3 * i] >> 4, 4);
        c.v = qBound(1, body[7 + 3 * i] & 15, 4);
        maxH = qMax(maxH, c.h);
        maxV = qMax(maxV, c.v);
    }
    // As the decoder lays them out: each component's blocks, rounded up to whole units of its
    // sampling.
    for (int i = 0; i < frame.count; ++i) {
        JpegComponent &c = frame.components[i];
        const qint64 across = (qint64(frame.width) * c.h + 8 * maxH - 1) / (8 * maxH);
        const qint64 down = (qint64(frame.height) * c.v + 8 * maxV - 1) / (8 * maxV);
        c.blocks = ((across + c.h - 1) / c.h * c.h) * ((down + c.v - 1) / c.v * c.v);
    }
    frame.found = true;
    return true;
}

// The blocks a scan reads: those of each component it names.
qint64 scanBlocks(const uchar *body, int length, const JpegFrame &frame)
{
    if (length < 1)
        return 0;
    const int count = qMin<int>(body[0], (length - 1) / 2);
    qint64 blocks = 0;
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < frame.count; ++c) {
            if (frame.components[c].id == body[1 + 2 * i]) {
                blocks += frame.components[c].blocks;
                break;
            }
        }
    }
    return blocks;
}

// Where the coded data that starts at `at` ends: the next marker (0xFF followed by neither a
// stuffed zero nor a restart marker).
qsizetype endOfCodedData(const uchar *p, qsizetype size, qsizetype at)
{
    while (at < size) {
        const void *found = std::memchr(p + at, 0xFF, size_t(size - at));
        if (!found)
            return size;
        at = static_cast<const uchar *>(found) - p;
        if (at + 1 >= size)
            return size;
        const uchar next = p[at + 1];
        if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7))
            return at;
        at += 2;
    }
    return size;
}

struct JpegScans {
    int count = 0;
    qint64 blocks = 0; // each scan's blocks, added up
};

// Reads the segments after the start of image up to its end (or as far as the data goes): the
// frame header, and the scans with the blocks each reads. False when the frame header is not
// one the decoder takes.
bool readSegments(const uchar *p, qsizetype size, JpegFrame &frame, JpegScans &scans)
{
    qsizetype at = 2;
    while (at + 1 < size) {
        if (p[at] != 0xFF || p[at + 1] == 0xFF) {
            ++at; // bytes between segments, or fill before a marker
            continue;
        }
        const uchar marker = p[at + 1];
        at += 2;
        if (marker == 0xD9)
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;
        if (at + 2 > size)
            break;
        const int length = bigEndian16(p + at);
        if (length < 2 || at + length > size)
            break;
        const uchar *body = p + at + 2;
        if (isFrameMarker(marker) && !frame.found && !readFrame(marker, body, length - 2, frame))
            return false;
        at += length;
        if (marker == 0xDA && frame.found) {
            scans.blocks += scanBlocks(body, length - 2, frame);
            ++scans.count;
            at = endOfCodedData(p, size, at);
        }
    }
    return true;
}

} // namespace

DecodeCost pngCost(QByteArrayView bytes)
{
    static const uchar Signature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    DecodeCost cost;
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    if (bytes.size() < 33 || std::memcmp(p, Signature, 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0)
        return cost;
    const quint32 width = bigEndian32(p + 16);
    const quint32 height = bigEndian32(p + 20);
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX)
        return cost;
    const int depth = p[24];
    const int colourType = p[25];
    const bool interlaced = p[28] != 0;
    const qint64 pixels = qMin(qint64(width) * height, ManyPixels);
    cost.pixels = QSize(int(width), int(height));
    cost.scaledAsRead = (colourType == 2 || colourType == 6) && depth == 8 && !interlaced;
    cost.fixedBytes = qint64(width) * RowBytesPerPixel;
    const int bits = pngImageBits(colourType, depth, pngHasTransparency(bytes));
    if (!cost.scaledAsRead)
        cost.fixedBytes += pixels * bits / 8;
    // A bit a pixel unpacks in about half the time of a byte.
    cost.work = bits == 1 ? pixels / 2 : pixels;
    return cost;
}

DecodeCost jpegCost(QByteArrayView bytes)
{
    DecodeCost cost;
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    JpegFrame frame;
    JpegScans scans;
    if (bytes.size() < 4 || p[0] != 0xFF || p[1] != 0xD8 || !readSegments(p, bytes.size(), frame, scans)
        || !frame.found)
        return cost;
    qint64 blocks = 0;
    for (int i = 0; i < frame.count; ++i)
        blocks += frame.components[i].blocks;
    cost.pixels = QSize(frame.width, frame.height);
    cost.fixedBytes = qint64(frame.width) * RowBytesPerPixel;
    // Stored in several scans, the image is put together in memory before any row comes out.
    if (frame.progressive || scans.count > 1)
        cost.fixedBytes += blocks * CoefficientBytesPerBlock;
    cost.work = qMax(blocks, scans.blocks);
    return cost;
}

qint64 memoryLimit(qint64 bytes)
{
    return FixedMemory + MemoryPerByte * bytes;
}

qint64 drawnBytes(const DecodeCost &cost, QSize target, bool jpeg)
{
    const qint64 drawn = qMin(qint64(target.width()) * target.height(), ManyPixels);
    const qint64 own = qMin(qint64(cost.pixels.width()) * cost.pixels.height(), ManyPixels);
    // The decoder scales by halves to at least the size asked for: up to twice it each way.
    const qint64 decoded = jpeg ? qMin(own, 4 * drawn) : 0;
    return 4 * (drawn + decoded);
}

bool DecodeBudget::admit(const DecodeCost &cost, qint64 bytes)
{
    if (cost.pixels.isEmpty() || cost.fixedBytes > memoryLimit(bytes))
        return false;
    const qint64 beyond = cost.work - bytes * WorkPerByte;
    if (beyond <= 0)
        return true;
    if (beyond > m_shared)
        return false;
    m_shared -= beyond;
    return true;
}

} // namespace PictureCost
