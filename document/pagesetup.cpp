#include "pagesetup.h"

#include <QtGlobal>

#include <algorithm>

namespace {

// The report's band on its own A4 page: 1899.70833 tenths of a millimetre.
constexpr int DefaultBandTwips = 10770;

int clampedMargin(int margin, int room)
{
    return std::clamp(margin, 0, qMax(0, room));
}

} // namespace

int PageSetup::textWidthTwips() const
{
    if (!set)
        return DefaultBandTwips;
    return textRectTwips().width();
}

QPageSize PageSetup::pageSize() const
{
    const int w = qMin(paperWidthTwips, paperHeightTwips);
    const int h = qMax(paperWidthTwips, paperHeightTwips);
    // Twips are 1/20 point: the points size, matched to a named paper where one is that size.
    const QSizeF points(w / 20.0, h / 20.0);
    const QPageSize::PageSizeId id = QPageSize::id(points.toSize(), QPageSize::FuzzyMatch);
    if (id != QPageSize::Custom)
        return QPageSize(id);
    return QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch);
}

QRect PageSetup::textRectTwips() const
{
    return QRect(leftTwips, topTwips, paperWidthTwips - leftTwips - rightTwips, paperHeightTwips - topTwips - bottomTwips);
}

PageSetup PageSetup::clamped() const
{
    PageSetup c = *this;
    c.paperWidthTwips = std::clamp(paperWidthTwips, MinPaperTwips, MaxPaperTwips);
    c.paperHeightTwips = std::clamp(paperHeightTwips, MinPaperTwips, MaxPaperTwips);
    c.leftTwips = clampedMargin(leftTwips, c.paperWidthTwips - MinTextTwips);
    c.rightTwips = clampedMargin(rightTwips, c.paperWidthTwips - MinTextTwips - c.leftTwips);
    c.topTwips = clampedMargin(topTwips, c.paperHeightTwips - MinTextTwips);
    c.bottomTwips = clampedMargin(bottomTwips, c.paperHeightTwips - MinTextTwips - c.topTwips);
    return c;
}

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Reads a control word at `i` (just after its backslash): its name, and its number clamped to
// +-10^9 (hostile digits beyond that are passed over). Moves `i` past it.
QByteArrayView controlWord(QByteArrayView rtf, qsizetype &i, qint64 *value, bool *hasValue)
{
    const qsizetype start = i;
    while (i < rtf.size() && isLetter(rtf[i]) && i - start < 32)
        ++i;
    const QByteArrayView name = rtf.sliced(start, i - start);
    const bool negative = i < rtf.size() && rtf[i] == '-';
    if (negative)
        ++i;
    *value = 0;
    *hasValue = false;
    while (i < rtf.size() && rtf[i] >= '0' && rtf[i] <= '9') {
        *value = qMin<qint64>(*value * 10 + (rtf[i] - '0'), 1000000000);
        *hasValue = true;
        ++i;
    }
    if (negative)
        *value = -*value;
    if (i < rtf.size() && rtf[i] == ' ')
        ++i;
    return name;
}

} // namespace

PageSetup PageSetup::fromRtf(QByteArrayView rtf)
{
    PageSetup setup;
    int depth = 0;
    bool landscape = false;
    for (qsizetype i = 0; i < rtf.size();) {
        const char c = rtf[i++];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth <= 0)
                break;
        } else if (c == '\\' && i < rtf.size() && isLetter(rtf[i])) {
            qint64 value = 0;
            bool hasValue = false;
            const QByteArrayView word = controlWord(rtf, i, &value, &hasValue);
            if (word == "bin" && hasValue) {
                i += std::clamp<qint64>(value, 0, rtf.size() - i); // binary data: not words
                continue;
            }
            if (depth != 1)
                continue;
            if (word == "pard" || word == "par" || word == "sectd" || word == "plain")
                break;
            const int number = int(std::clamp<qint64>(value, -MaxPaperTwips, MaxPaperTwips));
            if (word == "landscape") {
                landscape = true;
                continue;
            }
            int *field = word == "paperw" ? &setup.paperWidthTwips
                : word == "paperh"        ? &setup.paperHeightTwips
                : word == "margl"         ? &setup.leftTwips
                : word == "margr"         ? &setup.rightTwips
                : word == "margt"         ? &setup.topTwips
                : word == "margb"         ? &setup.bottomTwips
                                          : nullptr;
            if (field && hasValue) {
                *field = number;
                setup.set = true;
            }
        } else if (c == '\\' && i < rtf.size()) {
            ++i; // a control symbol
        } else if (depth == 1 && c != '\r' && c != '\n' && c != ' ' && c != '\t') {
            break; // the text has begun
        }
    }
    if (!setup.set)
        return {};
    // The paper lies as its sizes say; \landscape alone turns a portrait paper.
    if (landscape && setup.paperWidthTwips < setup.paperHeightTwips)
        std::swap(setup.paperWidthTwips, setup.paperHeightTwips);
    setup.landscape = setup.paperWidthTwips > setup.paperHeightTwips;
    return setup.clamped();
}

QByteArray PageSetup::rtfWords() const
{
    if (!set)
        return {};
    const PageSetup c = clamped();
    QByteArray words = "\\paperw" + QByteArray::number(c.paperWidthTwips) + "\\paperh" + QByteArray::number(c.paperHeightTwips)
        + "\\margl" + QByteArray::number(c.leftTwips) + "\\margr" + QByteArray::number(c.rightTwips) + "\\margt"
        + QByteArray::number(c.topTwips) + "\\margb" + QByteArray::number(c.bottomTwips);
    if (c.paperWidthTwips > c.paperHeightTwips)
        words += "\\landscape";
    return words;
}

QByteArray PageSetup::insertedInto(QByteArray rtf) const
{
    qsizetype at = rtf.indexOf("\\viewkind4");
    if (!set || at < 0)
        return rtf;
    // Document words go before the first section's (a file's own, kept before the text).
    const qsizetype section = QByteArrayView(rtf).first(at).indexOf("\\sectd");
    if (section >= 0)
        at = section;
    return rtf.insert(at, rtfWords() + "\r\n");
}
