#include "zoom.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace Zoom {

namespace {

constexpr std::array<int, 11> Steps = { 10, 25, 50, 75, 100, 125, 150, 200, 300, 400, 500 };

} // namespace

int clamped(int percent)
{
    return std::clamp(percent, MinPercent, MaxPercent);
}

int zoomedIn(int percent)
{
    const auto next = std::upper_bound(Steps.begin(), Steps.end(), percent);
    return next == Steps.end() ? MaxPercent : *next;
}

int zoomedOut(int percent)
{
    const auto atOrAbove = std::lower_bound(Steps.begin(), Steps.end(), percent);
    return atOrAbove == Steps.begin() ? MinPercent : *(atOrAbove - 1);
}

int stepped(int percent, int steps)
{
    // At most as many steps as there are: a flung wheel reports hundreds.
    steps = std::clamp(steps, -int(Steps.size()), int(Steps.size()));
    for (; steps > 0; --steps)
        percent = zoomedIn(percent);
    for (; steps < 0; ++steps)
        percent = zoomedOut(percent);
    return clamped(percent);
}

int shown(int points, int percent)
{
    return int(std::lround(double(points) * percent / 100));
}

int unshown(int shownPoints, int percent)
{
    return int(std::lround(double(shownPoints) * 100 / clamped(percent)));
}

} // namespace Zoom
