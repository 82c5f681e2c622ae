#include "picturedecode.h"

#include <QBuffer>
#include <QImageReader>

#include <climits>
#include <vector>

namespace PictureDecode {

namespace {

// Source rows converted at a time while scaling.
constexpr int BandRows = 16;

// `target`, made smaller (keeping its shape) until drawing at it fits beside the fixed part;
// empty when not even a pixel does.
QSize fittingTarget(const PictureCost::DecodeCost &cost, QSize target, bool jpeg, qint64 limit)
{
    const qint64 available = limit - cost.fixedBytes;
    const auto fits = [&](QSize size) { return PictureCost::drawnBytes(cost, size, jpeg) <= available; };
    if (fits(target))
        return target;
    if (!fits(QSize(1, 1)))
        return {};
    const auto scaled = [&](double scale) {
        return QSize(int(target.width() * scale), int(target.height() * scale)).expandedTo(QSize(1, 1));
    };
    // The memory grows with the size: halve the range of scales that may fit.
    double fitting = 0;
    double tooLarge = 1;
    for (int i = 0; i < 24; ++i) {
        const double middle = (fitting + tooLarge) / 2;
        (fits(scaled(middle)) ? fitting : tooLarge) = middle;
    }
    return scaled(fitting);
}

int megabytesFor(qint64 bytes)
{
    return int(qMin<qint64>(INT_MAX, bytes / (1024 * 1024) + 1));
}

} // namespace

QImage decode(const QByteArray &bytes, Format format, const PictureCost::DecodeCost &cost, QSize target)
{
    const bool jpeg = format == Format::Jpeg;
    target = fittingTarget(cost, target.boundedTo(cost.pixels), jpeg, PictureCost::memoryLimit(bytes.size()));
    if (target.isEmpty())
        return {};
    QBuffer buffer(const_cast<QByteArray *>(&bytes));
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, jpeg ? "jpeg" : "png");
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);
    const bool scaledAsRead = jpeg || cost.scaledAsRead;
    if (scaledAsRead && target != cost.pixels)
        reader.setScaledSize(target);
    // The reader's own limit stands behind the cost read from the header; it counts four bytes
    // for each pixel of the image it makes (eight for 16-bit colour).
    const qint64 made = scaledAsRead ? PictureCost::drawnBytes(cost, target, jpeg)
                                     : 8 * qint64(cost.pixels.width()) * cost.pixels.height();
    reader.setAllocationLimit(megabytesFor(made));
    QImage image = reader.read();
    if (image.isNull() || image.size() == target)
        return image;
    if (image.width() >= target.width() && image.height() >= target.height())
        return boxScaled(image, target);
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage boxScaled(const QImage &source, QSize target)
{
    const int sourceWidth = source.width();
    const int sourceHeight = source.height();
    target = target.boundedTo(source.size());
    if (target.isEmpty())
        return {};
    QImage out(target, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return {};
    const int width = target.width();
    // The column of the result each source column falls in, and how many fall in each.
    std::vector<int> columnOf(static_cast<size_t>(sourceWidth));
    std::vector<quint64> columns(size_t(width), 0);
    for (int x = 0; x < sourceWidth; ++x) {
        columnOf[size_t(x)] = int(qint64(x) * width / sourceWidth);
        ++columns[size_t(columnOf[size_t(x)])];
    }
    std::vector<quint64> sums(size_t(width) * 4);
    int top = 0;
    for (int y = 0; y < target.height(); ++y) {
        const int bottom = int(qint64(y + 1) * sourceHeight / target.height());
        std::fill(sums.begin(), sums.end(), 0);
        for (int row = top; row < bottom; row += BandRows) {
            const int rows = qMin(BandRows, bottom - row);
            const QImage band
                = source.copy(0, row, sourceWidth, rows).convertToFormat(QImage::Format_ARGB32_Premultiplied);
            for (int r = 0; r < rows; ++r) {
                const auto *line = reinterpret_cast<const QRgb *>(band.constScanLine(r));
                for (int x = 0; x < sourceWidth; ++x) {
                    quint64 *sum = &sums[size_t(columnOf[size_t(x)]) * 4];
                    const QRgb pixel = line[x];
                    sum[0] += qAlpha(pixel);
                    sum[1] += qRed(pixel);
                    sum[2] += qGreen(pixel);
                    sum[3] += qBlue(pixel);
                }
            }
        }
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        const quint64 rowsCovered = quint64(bottom - top);
        for (int x = 0; x < width; ++x) {
            const quint64 count = columns[size_t(x)] * rowsCovered;
            const quint64 *sum = &sums[size_t(x) * 4];
            line[x] = qRgba(int(sum[1] / count), int(sum[2] / count), int(sum[3] / count), int(sum[0] / count));
        }
        top = bottom;
    }
    return out;
}

} // namespace PictureDecode
