#pragma once

#include <QtGlobal>

#include <cmath>

// Report geometry is kept in tenths of a millimetre, as floating-point values (254 to the inch).
namespace ReportUnits {

constexpr double TenthsPerInch = 254.0;
constexpr int TwipsPerInch = 1440;

// Every rounding of the report engine: to the nearest integer, an exact half to the even one.
inline long long roundHalfEven(double value)
{
    return static_cast<long long>(std::nearbyint(value)); // the default rounding mode is to nearest, ties to even
}

// Device pixels of a report coordinate measured from the paper's edge: (x - offset) * factor,
// rounded; a size has no offset.
inline int toDevice(double tenths, double offset, double factor)
{
    return static_cast<int>(roundHalfEven((tenths - offset) * factor));
}
inline int sizeToDevice(double tenths, double factor)
{
    return static_cast<int>(roundHalfEven(tenths * factor));
}

// Twips of a device coordinate, in integer arithmetic (truncated).
inline int twips(int pixels, int dotsPerInch)
{
    return static_cast<int>(static_cast<long long>(pixels) * TwipsPerInch / dotsPerInch);
}

// Pixels of a device to tenths of a millimetre, rounded.
inline double pixelsToTenths(double pixels, double dotsPerInch)
{
    return static_cast<double>(roundHalfEven(pixels / dotsPerInch * TenthsPerInch));
}

} // namespace ReportUnits
