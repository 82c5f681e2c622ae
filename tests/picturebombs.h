#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <cmath>

// Pictures that are small in the file and costly to decode, made on the spot: a few bytes of
// PNG or JPEG that unpack to millions of pixels, or a JPEG whose scans repeat.
namespace PictureBombs {

// A PNG of `side` x `side` black pixels, one bit each: about 2 KB for 4000 x 4000.
inline QByteArray flatPng(int side)
{
    QImage image(side, side, QImage::Format_Mono);
    image.fill(0);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

namespace Detail {

// Entropy-coded data: bits from the most significant, each 0xFF byte followed by 0x00, the
// last byte filled with ones.
class BitWriter {
public:
    explicit BitWriter(QByteArray &out)
        : m_out(out)
    {
    }
    void put(quint32 bits, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            m_byte = quint8(m_byte << 1 | ((bits >> i) & 1));
            if (++m_used == 8)
                flush();
        }
    }
    // `count` zero bits, a byte at a time where it can.
    void zeros(qint64 count)
    {
        while (count > 0 && m_used != 0) {
            put(0, 1);
            --count;
        }
        m_out.append(qsizetype(count / 8), '\0');
        put(0, int(count % 8));
    }
    void finish()
    {
        while (m_used != 0)
            put(1, 1);
    }

private:
    void flush()
    {
        m_out.append(char(m_byte));
        if (m_byte == 0xFF)
            m_out.append('\0');
        m_byte = 0;
        m_used = 0;
    }
    QByteArray &m_out;
    quint8 m_byte = 0;
    int m_used = 0;
};

inline void segment(QByteArray &out, quint8 marker, const QByteArray &body)
{
    const int length = int(body.size()) + 2;
    out += char(0xFF);
    out += char(marker);
    out += char(length >> 8);
    out += char(length & 0xFF);
    out += body;
}

inline QByteArray bigEndian16(int value)
{
    QByteArray bytes;
    bytes += char(value >> 8);
    bytes += char(value & 0xFF);
    return bytes;
}

} // namespace Detail

// A progressive grey JPEG of `side` x `side` pixels, all mid-grey: its first scan gives every
// block a DC value of nothing (a bit a block), and each of the `acScans` scans after it says
// "no AC coefficients" for every block in runs of 32767. A decoder keeps every block's
// coefficients for the whole image (128 bytes a block) and walks all blocks in every scan.
inline QByteArray progressiveJpeg(int side, int acScans)
{
    using namespace Detail;
    QByteArray out("\xFF\xD8", 2);
    segment(out, 0xDB, QByteArray(1, '\0') + QByteArray(64, '\x01'));
    segment(out, 0xC2, QByteArray(1, 8) + bigEndian16(side) + bigEndian16(side) + QByteArray("\x01\x01\x11\x00", 4));
    // DC table 0: category 0 only, coded "0". AC table 0: EOB runs 2^0..2^14, four bits each.
    QByteArray dc(1, '\x00');
    dc += QByteArray("\x01", 1) + QByteArray(15, '\0') + QByteArray(1, '\0');
    QByteArray ac(1, '\x10');
    ac += QByteArray(3, '\0') + QByteArray(1, 15) + QByteArray(12, '\0');
    for (int r = 0; r <= 14; ++r)
        ac += char(r << 4);
    segment(out, 0xC4, dc + ac);
    const qint64 blocks = qint64((side + 7) / 8) * ((side + 7) / 8);

    segment(out, 0xDA, QByteArray("\x01\x01\x00\x00\x00\x00", 6));
    {
        BitWriter bits(out);
        bits.zeros(blocks);
        bits.finish();
    }
    for (int scan = 0; scan < acScans; ++scan) {
        segment(out, 0xDA, QByteArray("\x01\x01\x00\x01\x3F\x00", 6));
        BitWriter bits(out);
        for (qint64 left = blocks; left > 0;) {
            const qint64 run = qMin<qint64>(left, 32767);
            int r = 0;
            while ((qint64(2) << r) <= run)
                ++r;
            bits.put(quint32(r), 4);
            bits.put(quint32(run - (qint64(1) << r)), r);
            left -= run;
        }
        bits.finish();
    }
    out += QByteArray("\xFF\xD9", 2);
    return out;
}

// An honest picture to compare with: `side` x `side` pixels of noise, which compresses to
// about as many bytes as it has pixels (or three times that for a PNG).
inline QByteArray noisePicture(const char *format, int side, bool progressive = false)
{
    QImage image(side, side, QImage::Format_RGB32);
    quint32 state = 2463534242u;
    for (int y = 0; y < side; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            line[x] = 0xFF000000u | (state & 0xFFFFFFu);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// A noise picture of at least `bytes` bytes, its side grown from an estimate in steps of 5 %.
inline QByteArray noisePictureOfAtLeast(const char *format, qsizetype bytes)
{
    for (int side = qMax(8, int(std::sqrt(double(bytes) / 4)));; side += qMax(1, side / 20)) {
        const QByteArray picture = noisePicture(format, side);
        if (picture.size() >= bytes)
            return picture;
    }
}

// The RTF of `count` copies of a picture of `kind` ("pngblip", "jpegblip"), each shown at
// `twips` x `twips`.
inline QByteArray rtfWithPictures(const QByteArray &kind, const QByteArray &bytes, int count, int twips)
{
    const QByteArray goal = QByteArray::number(twips);
    const QByteArray one = "{\\pict\\" + kind + "\\picwgoal" + goal + "\\pichgoal" + goal + " " + bytes.toHex() + "}";
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg932 ";
    rtf.reserve(rtf.size() + one.size() * count + 16);
    for (int i = 0; i < count; ++i)
        rtf += one;
    return rtf + "\\par}";
}

} // namespace PictureBombs
