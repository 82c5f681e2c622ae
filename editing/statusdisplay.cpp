#include "statusdisplay.h"

namespace StatusDisplay {

QString lineAndColumn(int line, qint64 column)
{
    return QString::number(line + 1) + QString::fromUtf16(u" 行　") + QString::number(column) + QStringLiteral(" 列   ");
}

QString position(bool inCharacters, qint64 value)
{
    // " %-3d" and the unit's text: at least three places, padded on the right.
    const QString number = QString::number(value).leftJustified(3, u' ');
    return u' ' + number + (inCharacters ? QString::fromUtf16(u" 文字目です。") : QString::fromUtf16(u" バイト目です。"));
}

Counter counter(bool inCharacters, qint64 characters, qint64 bytes)
{
    if (inCharacters)
        return { QString::number(characters), QColor(255, 255, 0), QString::fromUtf16(u" 文字") };
    return { QString::number(bytes), QColor(0, 255, 255), QString::fromUtf16(u" バイト") };
}

} // namespace StatusDisplay

namespace IndentGeometry {

MarkerEdges markerEdges(int firstPoints, int leftPoints, int rightPoints, int rulerWidth)
{
    // Integer division truncates toward zero, as the scale's rule asks.
    return { 4 * firstPoints / 3 + 2, 4 * (leftPoints + firstPoints) / 3 + 2,
             rulerWidth - 6 - 4 * (rightPoints + 6) / 3 };
}

int firstIndentAt(int edge, int grabOffset)
{
    return 3 * (edge + grabOffset - 6) / 4;
}

int leftIndentAt(int edge, int grabOffset, int firstPoints)
{
    return 3 * (edge + grabOffset - 6) / 4 - firstPoints;
}

int rightIndentAt(int edge, int grabOffset, int rulerWidth)
{
    return 3 * (rulerWidth - edge + grabOffset - 2) / 4 - 12;
}

} // namespace IndentGeometry
