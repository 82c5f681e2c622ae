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
