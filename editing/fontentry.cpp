#include "fontentry.h"

#include <QFontMetrics>

FontEntryPlacement placeFontEntry(const QFont &face, const QString &name, const QRect &entry)
{
    FontEntryPlacement placement { face, 0 };
    QFontMetrics metrics(placement.font);
    QRect ink = metrics.tightBoundingRect(name); // from the baseline
    placement.baseline = entry.top() + metrics.ascent();
    const auto fits = [&] { return placement.baseline + ink.top() >= entry.top() && placement.baseline + ink.bottom() <= entry.bottom(); };
    if (fits() || ink.isEmpty())
        return placement;
    // Smaller until the ink is no taller than the entry; a pixel at a time, since hinting
    // does not scale in proportion.
    int pixels = placement.font.pixelSize() > 0 ? placement.font.pixelSize() : metrics.height();
    while (ink.height() > entry.height() && pixels > 1) {
        pixels = qMin(pixels - 1, qMax(1, pixels * entry.height() / ink.height()));
        placement.font.setPixelSize(pixels);
        ink = QFontMetrics(placement.font).tightBoundingRect(name);
    }
    placement.baseline = qMin(entry.top() - ink.top(), entry.bottom() - ink.bottom());
    return placement;
}
