#pragma once

// The editor's zoom: how large the document is shown, in percent of its size at 100 %. A view
// property only: the document, its formats and its printed pages do not change with it.
namespace Zoom {

constexpr int MinPercent = 10;
constexpr int MaxPercent = 500;
constexpr int NormalPercent = 100;

// `percent` brought into [MinPercent, MaxPercent].
int clamped(int percent);
// The next step up or down from `percent` (10, 25, 50, 75, 100, 125, 150, 200, 300, 400, 500):
// the first step beyond it, so that a zoom between steps comes back onto them.
int zoomedIn(int percent);
int zoomedOut(int percent);
// `steps` steps up (positive) or down from `percent`, as the wheel turns them.
int stepped(int percent, int steps);

// A length of the document (points at 100 %) as the view shows it, and back; rounded to the
// nearest whole unit.
int shown(int points, int percent);
int unshown(int shownPoints, int percent);

} // namespace Zoom
