#pragma once

#include "picturecost.h"

#include <QByteArray>
#include <QMetaType>
#include <QSizeF>

#include <memory>
#include <vector>

class QAbstractTextDocumentLayout;
class QImage;
class QPainter;
class QRectF;
class QTextCharFormat;
class QTextDocument;
class QTextFormat;

// A picture held in the document as one object character (U+FFFC) whose character format
// carries it. The picture keeps the bytes it was read with, as they were, and the words that
// described it, so that it is written back unchanged; PNG and JPEG data are drawn, everything
// else (metafiles, device-independent bitmaps, data that does not decode) shows as a light grey
// box of the picture's size. So does a picture whose decoding would cost more than its bytes and
// the document's allowance pay for (see PictureCost): how much is read from its header first.
//
// The bytes are held once, whatever copies of the format the document, its undo history, its
// clones for printing and the clipboard make: a Picture is a shared pointer to data that never
// changes after it is made.
class Picture {
public:
    // How the picture's bytes are encoded, as the word that announced them says.
    enum class Kind { Unknown, Png, Jpeg, Emf, Wmf, MacPict, PmMetafile, DiBitmap, WBitmap };

    // One control word of the picture's description, in the order it was read (\picw, \picwgoal,
    // \picscalex, \pngblip, \bliptag...).
    struct Word {
        QByteArray name;
        int value = 0;
        bool hasValue = false;
    };

    struct Data {
        std::vector<Word> words;
        QByteArray bytes;
        // A last hex digit without its pair (-1: none): data the picture cannot be, kept so
        // that it is written back as it came.
        int oddNibble = -1;
    };

    // At most this many words are kept (a description has about ten).
    static constexpr size_t MaxWords = 32;
    // Sizes from 1 pixel to 22 inches, in twips; anything outside (0, 2^31) is not a size.
    static constexpr int MinTwips = 15;
    static constexpr int MaxTwips = 31680;

    Picture() = default;
    // The picture of `data`; its decoding is paid for from `budget`, the allowance of the
    // document it belongs to, or from an allowance of its own when none is given.
    explicit Picture(Data data, PictureCost::DecodeBudget *budget = nullptr);

    // The most memory an image is decoded into, in bytes of 32-bit pixels (4096 x 4096). A
    // larger image is decoded straight at the smaller size it is drawn at where its format
    // allows that (JPEG, most PNG), and otherwise shows as a box, rather than take that much
    // memory for a moment at every size it is drawn at.
    static constexpr qint64 DecodeLimitBytes = qint64(64) << 20;

    // A PNG or JPEG picture from its bytes, at its pixel size at 96 dots to the inch, at most
    // MaxTwips either way.
    static Picture fromPng(const QByteArray &png);
    static Picture fromJpeg(const QByteArray &jpeg);

    bool isNull() const { return !m_d; }
    Kind kind() const;
    const std::vector<Word> &words() const;
    const QByteArray &bytes() const;
    int oddNibble() const;
    // Whether the picture is drawn (PNG or JPEG whose header reads, and whose decoding its
    // document can afford); a picture whose data turns out broken when decoded shows as a box
    // all the same.
    bool isDrawable() const;
    // The size it is shown at, in twips: the goal size (\picwgoal, \pichgoal, or else the
    // image's own size at 96 dots to the inch) scaled by \picscalex and \picscaley, clamped to
    // [MinTwips, MaxTwips].
    QSizeF sizeTwips() const;
    // A number for this picture, unique in the process.
    int serial() const;
    // The image's own size in pixels, from its header (empty when it has none that reads).
    QSize pixels() const;
    // Whether the whole image decodes within DecodeLimitBytes, by its header.
    bool decodesWithinLimit() const;

    // The decoded image at (at most) the given size in device pixels, from a cache shared by
    // all pictures and bounded in memory; null when it does not decode. Smaller when the memory
    // the picture may take for decoding does not hold that size.
    QImage image(QSize pixels) const;
    // The whole image at its own size (or the largest that memory allows), not cached (for the
    // clipboard); null when it does not decode.
    QImage fullImage() const;

    // The same data: pictures are compared by identity, never by their bytes.
    bool operator==(const Picture &other) const { return m_d == other.m_d; }

private:
    static Picture fromEncoded(const QByteArray &bytes, const char *blipWord);

    struct Shared;
    std::shared_ptr<const Shared> m_d;
};

Q_DECLARE_METATYPE(Picture)

namespace Pictures {

// The object type of a picture's character format.
constexpr int ObjectType = 0x1000 + 1; // QTextFormat::UserObject + 1

// A character format for the picture's object character: `base` (the font and colour of the
// text around it) with the picture.
QTextCharFormat charFormat(const Picture &picture, const QTextCharFormat &base);
// The picture a format carries, or a null picture.
Picture pictureOf(const QTextFormat &format);
bool isPicture(const QTextFormat &format);
// `format` without what makes a character a picture or the anchor of a kept group (see RtfKept):
// for text typed next to one. False when there was nothing to take away.
bool withoutPicture(QTextCharFormat &format);

// Pictures of the document larger than `pixels` (device pixels of its layout) either way are
// shown smaller, in their proportions, to fit: on pages, a picture fits on one. An empty size
// lifts the bound. Set before the document is laid out.
void setSizeBound(QTextDocument &document, const QSizeF &pixels);

// Lets a layout size and draw pictures. Every layout of a document with pictures needs it.
void registerHandler(QAbstractTextDocumentLayout *layout);

// Draws the picture into rect (the painter's units): the image, or the grey box.
void draw(QPainter *painter, const QRectF &rect, const Picture &picture);

} // namespace Pictures
