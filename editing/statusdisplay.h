#pragma once

#include <QColor>
#include <QString>

// The texts and colours of the status bar's position panels and of the length counter.
namespace StatusDisplay {

// Panel 2: the line counted from 1 and the column (in bytes) from 0: "L 行　C 列   ".
QString lineAndColumn(int line, qint64 column);

// Panel 1: the position in characters (" %-3d 文字目です。") or in bytes (" %-3d バイト目です。"):
// the number left-justified in a field at least three wide.
QString position(bool inCharacters, qint64 value);

struct Counter {
    QString number;
    QColor color;
    QString unit;
};

// The counter and its unit label: characters in yellow with " 文字", or bytes in aqua with
// " バイト".
Counter counter(bool inCharacters, qint64 characters, qint64 bytes);

} // namespace StatusDisplay

// The ruler's scale, 4 pixels to 3 points, and its markers' left edges in the ruler panel's
// coordinates. Indents are whole points; T(x) truncates toward zero.
namespace IndentGeometry {

struct MarkerEdges {
    int first;
    int left;
    int right;
};

// first: T(4 fi / 3) + 2; left: T(4 (li + fi) / 3) + 2; right: W - 6 - T(4 (ri + 6) / 3), W being
// the ruler strip's client width.
MarkerEdges markerEdges(int firstPoints, int leftPoints, int rightPoints, int rulerWidth);

// The inverse, from a released marker's left edge and the grab offset (half the marker's width):
// the first indent T(3 (edge + grab - 6) / 4); the left indent T(3 (edge + grab - 6) / 4) - fi;
// the right indent T(3 (W - edge + grab - 2) / 4) - 12.
int firstIndentAt(int edge, int grabOffset);
int leftIndentAt(int edge, int grabOffset, int firstPoints);
int rightIndentAt(int edge, int grabOffset, int rulerWidth);

} // namespace IndentGeometry
