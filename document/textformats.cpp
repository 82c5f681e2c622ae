#include "textformats.h"

#include "cp932.h"

#include <QFont>
#include <QPaintDevice>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextListFormat>

namespace {

enum Property {
    SizeTwipsProperty = QTextFormat::UserProperty + 0x100,
    CharSetProperty,
    PitchProperty,
    AlignmentProperty,
    FirstIndentProperty,
    LeftIndentProperty,
    RightIndentProperty,
    FaceKeyProperty,
    SizeUnstatedProperty,
};

// Qt lays text out in pixels of 96 to the inch: a twip is 1/15 of one.
constexpr qreal TwipsPerPixel = 15.0;

constexpr qreal MinimumShownPoints = 1.0;
constexpr qreal MaximumShownPoints = 1638.0;

qreal shownPointSize(int sizeTwips)
{
    return qBound(MinimumShownPoints, sizeTwips / qreal(TextFormats::TwipsPerPoint), MaximumShownPoints);
}

Qt::Alignment qtAlignment(int code)
{
    switch (code) {
    case ParaFormat::AlignRight:
        return Qt::AlignRight;
    case ParaFormat::AlignCenter:
        return Qt::AlignHCenter;
    case ParaFormat::AlignJustify:
        return Qt::AlignJustify;
    default:
        return Qt::AlignLeft;
    }
}

int alignmentCode(Qt::Alignment a)
{
    if (a & Qt::AlignRight)
        return ParaFormat::AlignRight;
    if (a & Qt::AlignHCenter)
        return ParaFormat::AlignCenter;
    if (a & Qt::AlignJustify)
        return ParaFormat::AlignJustify;
    return ParaFormat::AlignLeft;
}

int intProperty(const QTextFormat &f, int property, int fallback)
{
    return f.hasProperty(property) ? f.intProperty(property) : fallback;
}

// Whole twips of any length, held to an indent's range.
int clampedTwips(qreal twips)
{
    if (!(twips > -ParaFormat::MaxIndentTwips))
        return -ParaFormat::MaxIndentTwips;
    if (!(twips < ParaFormat::MaxIndentTwips))
        return ParaFormat::MaxIndentTwips;
    return qRound(twips);
}

// Pixels of a length Qt keeps (a margin, an indent) in whole twips, held to an indent's range:
// a pasted format may carry any length, and rounding a huge one to int is undefined.
int indentFromPixels(qreal pixels)
{
    return clampedTwips(pixels * TwipsPerPixel);
}

} // namespace

namespace TextFormats {

int clampedIndent(qint64 twips)
{
    return static_cast<int>(qBound(qint64(-ParaFormat::MaxIndentTwips), twips, qint64(ParaFormat::MaxIndentTwips)));
}

int clampedSize(qint64 twips)
{
    return static_cast<int>(qBound(qint64(0), twips, qint64(MaxSizeTwips)));
}

QString truncatedFaceName(const QString &name)
{
    int bytes = 0;
    qsizetype i = 0;
    while (i < name.size()) {
        const bool pair = name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate();
        const int width = pair ? 1 : Cp932::encodedWidth(name.at(i).unicode());
        if (bytes + width > MaxFaceNameBytes)
            break;
        bytes += width;
        i += pair ? 2 : 1;
    }
    return name.left(i);
}

CharFormat newDocumentFormat(const CharFormat &defaults)
{
    CharFormat format;
    format.mask = CharFormat::Color | CharFormat::Size | CharFormat::Face | CharFormat::Bold | CharFormat::Italic
        | CharFormat::Underline | CharFormat::StrikeOut;
    format.autoColor = false;
    format.color = Qt::black;
    format.sizeTwips = 11 * TwipsPerPoint;
    format.faceName = defaults.faceName;
    format.bold = defaults.bold;
    format.italic = defaults.italic;
    format.underline = defaults.underline;
    format.strikeOut = defaults.strikeOut;
    return format;
}

CharFormat editorDefaultFormat()
{
    CharFormat format;
    format.mask = CharFormat::AllFields;
    format.faceName = QString::fromUtf16(EditorFace);
    format.sizeTwips = 11 * TwipsPerPoint;
    format.autoColor = true;
    return format;
}

CharFormat newDocumentFormat()
{
    CharFormat plain;
    plain.faceName = QString::fromUtf16(EditorFace);
    return newDocumentFormat(plain);
}

QTextCharFormat toTextCharFormat(const CharFormat &f)
{
    QTextCharFormat q;
    if (f.has(CharFormat::Face)) {
        const QString face = truncatedFaceName(f.faceName);
        q.setFontFamilies(QStringList { face });
        // Qt finds a format among the document's by a hash that leaves the family list out: with
        // many faces, every new format would be compared with all those of other faces. The
        // face's own hash, as a number, puts it into the format's hash.
        q.setProperty(FaceKeyProperty, static_cast<int>(qHash(face)));
    }
    if (f.has(CharFormat::Size)) {
        q.setProperty(SizeTwipsProperty, f.sizeTwips);
        q.setFontPointSize(shownPointSize(f.sizeTwips));
        q.setProperty(SizeUnstatedProperty, false); // merged over an unstated size, states it
    }
    if (f.has(CharFormat::Bold))
        q.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
    if (f.has(CharFormat::Italic))
        q.setFontItalic(f.italic);
    if (f.has(CharFormat::Underline))
        q.setFontUnderline(f.underline);
    if (f.has(CharFormat::StrikeOut))
        q.setFontStrikeOut(f.strikeOut);
    if (f.has(CharFormat::Color))
        q.setForeground(f.autoColor ? QBrush() : QBrush(f.color));
    if (f.has(CharFormat::CharSet))
        q.setProperty(CharSetProperty, f.charSet);
    if (f.has(CharFormat::Pitch))
        q.setProperty(PitchProperty, static_cast<int>(f.pitch));
    return q;
}

void setSizeUnstated(QTextCharFormat &format)
{
    format.setProperty(SizeUnstatedProperty, true);
}

bool isSizeUnstated(const QTextFormat &format)
{
    return format.boolProperty(SizeUnstatedProperty);
}

CharFormat fromTextCharFormat(const QTextCharFormat &q, const CharFormat &defaults, const QColor &windowText)
{
    CharFormat f = defaults;
    f.mask = CharFormat::AllFields;
    if (q.hasProperty(QTextFormat::FontFamilies)) {
        const QStringList families = q.fontFamilies().toStringList();
        if (!families.isEmpty())
            f.faceName = families.first();
    }
    if (q.hasProperty(SizeTwipsProperty)) {
        f.sizeTwips = clampedSize(q.intProperty(SizeTwipsProperty));
    } else if (q.hasProperty(QTextFormat::FontPointSize)) {
        const qreal twips = q.fontPointSize() * TwipsPerPoint;
        f.sizeTwips = twips > 0 ? (twips < MaxSizeTwips ? qRound(twips) : MaxSizeTwips) : 0;
    }
    if (q.hasProperty(QTextFormat::FontWeight))
        f.bold = q.fontWeight() >= QFont::DemiBold;
    if (q.hasProperty(QTextFormat::FontItalic))
        f.italic = q.fontItalic();
    if (q.hasProperty(QTextFormat::TextUnderlineStyle) || q.hasProperty(QTextFormat::FontUnderline))
        f.underline = q.fontUnderline();
    if (q.hasProperty(QTextFormat::FontStrikeOut))
        f.strikeOut = q.fontStrikeOut();
    if (q.hasProperty(QTextFormat::ForegroundBrush)) {
        const QBrush brush = q.foreground();
        f.autoColor = brush.style() == Qt::NoBrush;
        if (!f.autoColor)
            f.color = brush.color();
    }
    f.charSet = intProperty(q, CharSetProperty, f.charSet);
    f.pitch = static_cast<CharFormat::FontPitch>(intProperty(q, PitchProperty, static_cast<int>(f.pitch)));
    if (f.autoColor)
        f.color = windowText;
    return f;
}

QFont displayFont(const CharFormat &f)
{
    QFont font;
    // Japanese and Latin text need no shaping: skipping it halves the cost of laying out a
    // long paragraph. Scripts that do need it (Arabic, Indic) are still shaped.
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setFamilies(QStringList { f.faceName });
    font.setPointSizeF(shownPointSize(f.sizeTwips));
    font.setBold(f.bold);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikeOut);
    if (f.pitch == CharFormat::FontPitch::Fixed)
        font.setFixedPitch(true);
    return font;
}

QFont atResolutionOf(const QFont &font, const QPaintDevice *device)
{
    return device ? QFont(font, device) : font;
}

QFont atDefaultResolution(const QFont &font)
{
    // Resolving against a font of its own takes that font's resolution and only what this one
    // leaves unset; a font that sets nothing is that font.
    return font.resolveMask() ? font.resolve(QFont()) : QFont();
}

void applyToBlockFormat(QTextBlockFormat &block, const ParaFormat &given)
{
    ParaFormat full = given;
    full.firstIndentTwips = clampedIndent(given.firstIndentTwips);
    full.leftIndentTwips = clampedIndent(given.leftIndentTwips);
    full.rightIndentTwips = clampedIndent(given.rightIndentTwips);
    block.setProperty(AlignmentProperty, full.alignment);
    block.setAlignment(qtAlignment(full.alignment));
    block.setProperty(FirstIndentProperty, full.firstIndentTwips);
    block.setProperty(LeftIndentProperty, full.leftIndentTwips);
    block.setProperty(RightIndentProperty, full.rightIndentTwips);
    // Every line but the first starts at first + left; a bulleted paragraph's first line too,
    // its bullet standing in the room the left indent leaves.
    const qreal following = (qint64(full.firstIndentTwips) + full.leftIndentTwips) / TwipsPerPixel;
    block.setLeftMargin(following);
    block.setTextIndent(full.numbering == ParaFormat::NumberingBullet ? 0.0 : -full.leftIndentTwips / TwipsPerPixel);
    block.setRightMargin(full.rightIndentTwips / TwipsPerPixel);
    block.setIndent(0);
}

ParaFormat fromBlockFormat(const QTextBlockFormat &block, bool bulleted)
{
    ParaFormat p;
    p.mask = ParaFormat::AllFields;
    p.alignment = intProperty(block, AlignmentProperty, alignmentCode(block.alignment()));
    p.numbering = bulleted ? ParaFormat::NumberingBullet : ParaFormat::NumberingNone;
    if (block.hasProperty(FirstIndentProperty)) {
        p.firstIndentTwips = clampedIndent(block.intProperty(FirstIndentProperty));
        p.leftIndentTwips = clampedIndent(intProperty(block, LeftIndentProperty, 0));
    } else {
        // A format made by Qt itself (pasted or typed before any write): derive from margins.
        const int indent = indentFromPixels(block.textIndent());
        const int left = indentFromPixels(block.leftMargin());
        p.firstIndentTwips = bulleted ? left : clampedIndent(qint64(left) + indent);
        p.leftIndentTwips = bulleted ? 0 : -indent;
    }
    p.rightIndentTwips = block.hasProperty(RightIndentProperty) ? clampedIndent(block.intProperty(RightIndentProperty))
                                                                : indentFromPixels(block.rightMargin());
    return p;
}

void applySpacing(QTextBlockFormat &block, const ParaSpacing &spacing)
{
    const int before = qBound(0, spacing.beforeTwips, ParaFormat::MaxIndentTwips);
    const int after = qBound(0, spacing.afterTwips, ParaFormat::MaxIndentTwips);
    const int line = clampedIndent(spacing.lineTwips);
    if (before != 0)
        block.setTopMargin(before / TwipsPerPixel);
    else
        block.clearProperty(QTextFormat::BlockTopMargin);
    if (after != 0)
        block.setBottomMargin(after / TwipsPerPixel);
    else
        block.clearProperty(QTextFormat::BlockBottomMargin);
    if (line < 0)
        block.setLineHeight(-line / TwipsPerPixel, QTextBlockFormat::FixedHeight);
    else if (line > 0 && spacing.multiple)
        block.setLineHeight(line * 100.0 / 240, QTextBlockFormat::ProportionalHeight);
    else if (line > 0)
        block.setLineHeight(line / TwipsPerPixel, QTextBlockFormat::MinimumHeight);
    else {
        block.clearProperty(QTextFormat::LineHeight);
        block.clearProperty(QTextFormat::LineHeightType);
    }
}

ParaSpacing spacingOf(const QTextBlockFormat &block)
{
    ParaSpacing s;
    s.beforeTwips = qMax(0, indentFromPixels(block.topMargin()));
    s.afterTwips = qMax(0, indentFromPixels(block.bottomMargin()));
    switch (block.lineHeightType()) {
    case QTextBlockFormat::ProportionalHeight:
        s.lineTwips = qMax(0, clampedTwips(block.lineHeight() * 240 / 100));
        s.multiple = s.lineTwips > 0;
        break;
    case QTextBlockFormat::FixedHeight:
        s.lineTwips = -qMax(0, indentFromPixels(block.lineHeight()));
        break;
    case QTextBlockFormat::MinimumHeight:
        s.lineTwips = qMax(0, indentFromPixels(block.lineHeight()));
        break;
    default:
        break;
    }
    return s;
}

QTextListFormat bulletListFormat()
{
    QTextListFormat format;
    format.setStyle(QTextListFormat::ListDisc);
    format.setIndent(0);
    return format;
}

} // namespace TextFormats
