#include "tabstops.h"

#include <QByteArray>
#include <QList>
#include <QTextFormat>
#include <QTextOption>

#include <algorithm>

namespace TabStops {

namespace {

// The stops as read, four bytes each: position (little-endian), kind, leader.
constexpr int StopsProperty = QTextFormat::UserProperty + 0x1A00;
constexpr qreal TwipsPerPixel = 15.0; // layout pixels are 1/96 inch

// The layout measures a tab from where the paragraph's lines begin, its left indent; a file
// measures it from the margin.
QTextOption::Tab shownTab(const Stop &stop, qreal indentPixels)
{
    const qreal pixels = qMax<qreal>(0, stop.twips / TwipsPerPixel - indentPixels);
    switch (stop.kind) {
    case Kind::Right:
        return QTextOption::Tab(pixels, QTextOption::RightTab);
    case Kind::Center:
        return QTextOption::Tab(pixels, QTextOption::CenterTab);
    case Kind::Decimal:
        return QTextOption::Tab(pixels, QTextOption::DelimiterTab, QLatin1Char('.'));
    default:
        return QTextOption::Tab(pixels, QTextOption::LeftTab);
    }
}

Stop stopOf(const QTextOption::Tab &tab, qreal indentPixels)
{
    Stop stop;
    const qreal twips = (tab.position + indentPixels) * TwipsPerPixel;
    stop.twips = static_cast<int16_t>(qBound(0, qRound(qBound<qreal>(0, twips, MaxTwips)), MaxTwips));
    switch (tab.type) {
    case QTextOption::RightTab:
        stop.kind = Kind::Right;
        break;
    case QTextOption::CenterTab:
        stop.kind = Kind::Center;
        break;
    case QTextOption::DelimiterTab:
        stop.kind = Kind::Decimal;
        break;
    default:
        break;
    }
    return stop;
}

} // namespace

void apply(QTextBlockFormat &format, const Stop *stops, int count)
{
    count = qBound(0, count, MaxStops);
    if (count == 0) {
        format.clearProperty(QTextFormat::TabPositions);
        format.clearProperty(StopsProperty);
        return;
    }
    std::vector<Stop> sorted(stops, stops + count);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Stop &a, const Stop &b) { return a.twips < b.twips; });
    QByteArray kept;
    QList<QTextOption::Tab> shown;
    for (const Stop &stop : sorted) {
        const int twips = qBound(0, int(stop.twips), MaxTwips);
        kept.append(char(twips & 0xFF));
        kept.append(char(twips >> 8));
        kept.append(char(std::min<int>(int(stop.kind), int(Kind::Bar))));
        kept.append(char(std::min<int>(int(stop.leader), int(Leader::Equals))));
        if (stop.kind != Kind::Bar)
            shown.append(shownTab(stop, format.leftMargin()));
    }
    format.setTabPositions(shown);
    format.setProperty(StopsProperty, kept);
}

std::vector<Stop> of(const QTextBlockFormat &format)
{
    std::vector<Stop> stops;
    const QByteArray kept = format.property(StopsProperty).toByteArray();
    if (!kept.isEmpty()) {
        for (qsizetype i = 0; i + 3 < kept.size() && stops.size() < size_t(MaxStops); i += 4) {
            Stop stop;
            const int twips = (uchar(kept.at(i)) | uchar(kept.at(i + 1)) << 8);
            stop.twips = static_cast<int16_t>(qMin(twips, MaxTwips));
            stop.kind = static_cast<Kind>(qMin<int>(uchar(kept.at(i + 2)), int(Kind::Bar)));
            stop.leader = static_cast<Leader>(qMin<int>(uchar(kept.at(i + 3)), int(Leader::Equals)));
            stops.push_back(stop);
        }
        return stops;
    }
    const QList<QTextOption::Tab> shown = format.tabPositions();
    for (const QTextOption::Tab &tab : shown) {
        if (stops.size() < size_t(MaxStops))
            stops.push_back(stopOf(tab, format.leftMargin()));
    }
    std::stable_sort(stops.begin(), stops.end(), [](const Stop &a, const Stop &b) { return a.twips < b.twips; });
    return stops;
}

} // namespace TabStops
