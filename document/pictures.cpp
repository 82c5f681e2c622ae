#include "pictures.h"

#include "picturedecode.h"
#include "rtf/rtfkept.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCache>
#include <QFontMetricsF>
#include <QImage>
#include <QImageReader>
#include <QMutex>
#include <QPaintDevice>
#include <QPainter>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextObjectInterface>

#include <atomic>
#include <string_view>

namespace {

constexpr int PictureProperty = QTextFormat::UserProperty + 0x200;
// The picture's serial number: the format hash mixes it in, so that the formats of many
// pictures do not all share one hash (a picture property hashes by its type name alone).
constexpr int SerialProperty = QTextFormat::UserProperty + 0x201;
constexpr qint64 TwipsPerPixel96 = 15; // 1440 twips to the inch, 96 pixels
constexpr int DefaultTwips = 1440;
// The decoded images kept for drawing, in kilobytes of pixels.
constexpr int ImageCacheKb = 64 * 1024;
// The largest size the document shows a picture at (a QSizeF, device pixels of its layout).
constexpr char SizeBoundProperty[] = "penloftPictureSizeBound";
// What a table cell adds around a line within such a bound, pixels at 96 to the inch.
constexpr qreal CellAllowance = 8;

std::atomic<int> nextSerial { 1 };

Picture::Kind kindOf(std::string_view name)
{
    if (name == "pngblip")
        return Picture::Kind::Png;
    if (name == "jpegblip")
        return Picture::Kind::Jpeg;
    if (name == "emfblip")
        return Picture::Kind::Emf;
    if (name == "wmetafile")
        return Picture::Kind::Wmf;
    if (name == "macpict")
        return Picture::Kind::MacPict;
    if (name == "pmmetafile")
        return Picture::Kind::PmMetafile;
    if (name == "dibitmap")
        return Picture::Kind::DiBitmap;
    if (name == "wbitmap")
        return Picture::Kind::WBitmap;
    return Picture::Kind::Unknown;
}

const char *formatName(Picture::Kind kind)
{
    return kind == Picture::Kind::Png ? "png" : "jpeg";
}

PictureDecode::Format decodeFormat(Picture::Kind kind)
{
    return kind == Picture::Kind::Png ? PictureDecode::Format::Png : PictureDecode::Format::Jpeg;
}

bool isValidTwips(qint64 twips)
{
    return twips > 0 && twips <= Picture::MaxTwips;
}

// The image cache: decoded (and scaled) images by picture and pixel size, least recently used
// first out.
struct ImageKey {
    int serial;
    int width;
    int height;
    bool operator==(const ImageKey &) const = default;
};

size_t qHash(const ImageKey &key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, key.serial, key.width, key.height);
}

struct ImageCache {
    QMutex mutex;
    QCache<ImageKey, QImage> images { ImageCacheKb };
};

ImageCache &imageCache()
{
    static ImageCache cache;
    return cache;
}

} // namespace

struct Picture::Shared {
    Data data;
    Kind kind = Kind::Unknown;
    bool drawable = false;
    QSize pixels; // the image's own size, from its header
    PictureCost::DecodeCost cost;
    QSizeF sizeTwips;
    int serial = 0;
    // Set when decoding failed after the header read well: not tried again.
    mutable std::atomic<bool> broken { false };
};

namespace {

int wordValue(const Picture::Data &data, std::string_view name, int fallback)
{
    for (const Picture::Word &w : data.words) {
        if (w.hasValue && std::string_view(w.name.constData(), size_t(w.name.size())) == name)
            return w.value;
    }
    return fallback;
}

// The size a picture is shown at, every number clamped before it is used.
QSizeF displayTwips(const Picture::Data &data, Picture::Kind kind, QSize pixels)
{
    qint64 natural[2] = { DefaultTwips, DefaultTwips };
    const int picSize[2] = { wordValue(data, "picw", 0), wordValue(data, "pich", 0) };
    for (int i = 0; i < 2; ++i) {
        const qint64 px = i == 0 ? pixels.width() : pixels.height();
        if (px > 0) {
            natural[i] = px * TwipsPerPixel96;
        } else if (picSize[i] > 0) {
            // Metafiles give their extent in hundredths of a millimetre, bitmaps in pixels.
            const bool metric = kind == Picture::Kind::Wmf || kind == Picture::Kind::Emf
                || kind == Picture::Kind::PmMetafile || kind == Picture::Kind::MacPict;
            natural[i] = metric ? qint64(picSize[i]) * 1440 / 2540 : qint64(picSize[i]) * TwipsPerPixel96;
        }
    }
    const qint64 goal[2] = { wordValue(data, "picwgoal", 0), wordValue(data, "pichgoal", 0) };
    const qint64 scale[2] = { wordValue(data, "picscalex", 100), wordValue(data, "picscaley", 100) };
    qint64 result[2];
    for (int i = 0; i < 2; ++i) {
        const qint64 base = isValidTwips(goal[i]) ? goal[i] : natural[i];
        const qint64 percent = scale[i] > 0 && scale[i] <= 10000 ? scale[i] : 100;
        result[i] = base * percent / 100;
    }
    // A picture larger than MaxTwips either way is shown smaller in its proportions.
    const qint64 longest = qMax(result[0], result[1]);
    for (qint64 &side : result) {
        if (longest > Picture::MaxTwips)
            side = side * Picture::MaxTwips / longest;
        side = qBound(qint64(Picture::MinTwips), side, qint64(Picture::MaxTwips));
    }
    return { qreal(result[0]), qreal(result[1]) };
}

} // namespace

Picture::Picture(Data data, PictureCost::DecodeBudget *budget)
{
    auto shared = std::make_shared<Shared>();
    shared->data = std::move(data);
    shared->data.bytes.squeeze();
    if (shared->data.words.size() > MaxWords)
        shared->data.words.resize(MaxWords);
    for (const Word &w : shared->data.words) {
        const Kind k = kindOf(std::string_view(w.name.constData(), size_t(w.name.size())));
        if (k != Kind::Unknown) {
            shared->kind = k;
            break;
        }
    }
    if ((shared->kind == Kind::Png || shared->kind == Kind::Jpeg) && shared->data.oddNibble < 0) {
        // The header alone: the size without decoding the image.
        QBuffer buffer(&shared->data.bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, formatName(shared->kind));
        reader.setDecideFormatFromContent(false);
        const QSize size = reader.canRead() ? reader.size() : QSize();
        if (size.width() > 0 && size.height() > 0) {
            shared->pixels = size;
            const QByteArrayView bytes(shared->data.bytes);
            shared->cost = shared->kind == Kind::Png ? PictureCost::pngCost(bytes) : PictureCost::jpegCost(bytes);
            PictureCost::DecodeBudget own;
            shared->drawable = (budget ? budget : &own)->admit(shared->cost, bytes.size());
        }
    }
    shared->sizeTwips = displayTwips(shared->data, shared->kind, shared->pixels);
    shared->serial = nextSerial.fetch_add(1, std::memory_order_relaxed);
    m_d = std::move(shared);
}

Picture Picture::fromPng(const QByteArray &png)
{
    return fromEncoded(png, "pngblip");
}

Picture Picture::fromJpeg(const QByteArray &jpeg)
{
    return fromEncoded(jpeg, "jpegblip");
}

Picture Picture::fromEncoded(const QByteArray &bytes, const char *blipWord)
{
    Data data;
    data.bytes = bytes;
    data.words = { { blipWord, 0, false } };
    const Picture probe(data);
    const QSize px = probe.m_d->pixels;
    // A larger image is shown smaller, as it stands: at most MaxTwips either way.
    const qint64 w = qint64(px.width()) * TwipsPerPixel96;
    const qint64 h = qint64(px.height()) * TwipsPerPixel96;
    const qint64 longest = qMax(w, h);
    const qint64 goalW = longest > MaxTwips ? w * MaxTwips / longest : w;
    const qint64 goalH = longest > MaxTwips ? h * MaxTwips / longest : h;
    data.words = { { "picw", px.width(), true }, { "pich", px.height(), true },
        { "picwgoal", int(qMax<qint64>(goalW, MinTwips)), true },
        { "pichgoal", int(qMax<qint64>(goalH, MinTwips)), true }, { blipWord, 0, false } };
    return Picture(std::move(data));
}

Picture::Kind Picture::kind() const
{
    return m_d ? m_d->kind : Kind::Unknown;
}

const std::vector<Picture::Word> &Picture::words() const
{
    static const std::vector<Word> none;
    return m_d ? m_d->data.words : none;
}

const QByteArray &Picture::bytes() const
{
    static const QByteArray none;
    return m_d ? m_d->data.bytes : none;
}

int Picture::oddNibble() const
{
    return m_d ? m_d->data.oddNibble : -1;
}

bool Picture::isDrawable() const
{
    return m_d && m_d->drawable && !m_d->broken.load(std::memory_order_relaxed);
}

QSizeF Picture::sizeTwips() const
{
    return m_d ? m_d->sizeTwips : QSizeF(DefaultTwips, DefaultTwips);
}

int Picture::serial() const
{
    return m_d ? m_d->serial : 0;
}

QSize Picture::pixels() const
{
    return m_d ? m_d->pixels : QSize();
}

bool Picture::decodesWithinLimit() const
{
    const QSize px = pixels();
    return !px.isEmpty() && qint64(px.width()) * px.height() * 4 <= DecodeLimitBytes;
}

QImage Picture::fullImage() const
{
    if (!isDrawable())
        return {};
    return PictureDecode::decode(m_d->data.bytes, decodeFormat(m_d->kind), m_d->cost, m_d->pixels);
}

QImage Picture::image(QSize pixels) const
{
    if (!isDrawable() || pixels.isEmpty())
        return {};
    // Never more pixels than the image has: a larger drawing scales it on the way.
    pixels = pixels.boundedTo(m_d->pixels);
    pixels = pixels.expandedTo(QSize(1, 1));
    const ImageKey key { m_d->serial, pixels.width(), pixels.height() };
    ImageCache &cache = imageCache();
    {
        QMutexLocker lock(&cache.mutex);
        if (const QImage *found = cache.images.object(key))
            return *found;
    }
    const QImage image = PictureDecode::decode(m_d->data.bytes, decodeFormat(m_d->kind), m_d->cost, pixels);
    if (image.isNull()) {
        m_d->broken.store(true, std::memory_order_relaxed);
        return {};
    }
    const qint64 kb = qMax<qint64>(1, image.sizeInBytes() / 1024);
    QMutexLocker lock(&cache.mutex);
    if (kb <= ImageCacheKb)
        cache.images.insert(key, new QImage(image), int(kb));
    return image;
}

namespace {

class PictureHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    QSizeF intrinsicSize(QTextDocument *document, int, const QTextFormat &format) override
    {
        // In the layout's device pixels; a layout without a device works in pixels of 96 to
        // the inch, as paragraph indents do.
        const QPaintDevice *device = document->documentLayout()->paintDevice();
        const qreal dpiX = device ? device->logicalDpiX() : 96;
        const qreal dpiY = device ? device->logicalDpiY() : 96;
        const QSizeF twips = Pictures::pictureOf(format).sizeTwips();
        QSizeF size(twips.width() * dpiX / 1440, twips.height() * dpiY / 1440);
        QSizeF bound = document->property(SizeBoundProperty).toSizeF();
        if (!bound.isValid())
            return size;
        // The line is as tall as the picture and the descent of its font below it; a table
        // cell adds its padding and borders (a few pixels) around the line.
        const QFont font = format.toCharFormat().font();
        const QFontMetricsF metrics = device ? QFontMetricsF(font, device) : QFontMetricsF(font);
        bound.rheight() -= metrics.descent() + CellAllowance * dpiY / 96;
        if (size.width() > bound.width() || size.height() > bound.height())
            size = size.scaled(bound.expandedTo(QSizeF(1, 1)), Qt::KeepAspectRatio);
        return size;
    }

    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int, const QTextFormat &format) override
    {
        // A selection over the picture is drawn by the text line, over what is drawn here.
        Pictures::draw(painter, rect, Pictures::pictureOf(format));
    }
};

PictureHandler *handler()
{
    // Lives as long as the program: layouts hold it by a guarded pointer.
    static PictureHandler *instance = new PictureHandler;
    return instance;
}

} // namespace

namespace Pictures {

QTextCharFormat charFormat(const Picture &picture, const QTextCharFormat &base)
{
    QTextCharFormat format = base;
    format.setObjectType(ObjectType);
    format.setProperty(PictureProperty, QVariant::fromValue(picture));
    format.setProperty(SerialProperty, picture.serial());
    // Text typed after the picture starts from this format; these say nothing to it.
    format.clearProperty(QTextFormat::ObjectIndex);
    return format;
}

Picture pictureOf(const QTextFormat &format)
{
    if (format.objectType() != ObjectType)
        return {};
    return format.property(PictureProperty).value<Picture>();
}

bool withoutPicture(QTextCharFormat &format)
{
    const bool anchor = RtfKept::withoutAnchor(format);
    if (!format.hasProperty(PictureProperty) && !isPicture(format))
        return anchor;
    format.clearProperty(PictureProperty);
    format.clearProperty(SerialProperty);
    format.setObjectType(QTextFormat::NoObject);
    return true;
}

bool isPicture(const QTextFormat &format)
{
    return format.objectType() == ObjectType;
}

void setSizeBound(QTextDocument &document, const QSizeF &pixels)
{
    document.setProperty(SizeBoundProperty, pixels.isEmpty() ? QVariant() : QVariant(pixels));
}

void registerHandler(QAbstractTextDocumentLayout *layout)
{
    layout->registerHandler(ObjectType, handler());
    RtfKept::registerHandler(layout);
}

void draw(QPainter *painter, const QRectF &rect, const Picture &picture)
{
    if (rect.isEmpty())
        return;
    if (picture.isDrawable()) {
        // As many pixels as the device shows the rectangle with.
        const QRectF device = painter->deviceTransform().mapRect(rect);
        const QImage image = picture.image(QSize(qCeil(device.width()), qCeil(device.height())));
        if (!image.isNull()) {
            painter->drawImage(rect, image);
            return;
        }
    }
    painter->save();
    painter->fillRect(rect, QColor(0xE0, 0xE0, 0xE0));
    QPen border(QColor(0x90, 0x90, 0x90));
    border.setCosmetic(true);
    border.setWidth(1);
    painter->setPen(border);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    painter->restore();
}

} // namespace Pictures

#include "pictures.moc"
