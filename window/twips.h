#pragma once

#include <QRect>

#include <climits>
#include <cmath>

// Window geometry is kept in twips; Qt works in logical pixels at 96 dpi.
constexpr double TwipsPerPixel = 15.0;

constexpr double twipsToPixels(double twips)
{
    return twips / TwipsPerPixel;
}
constexpr double pixelsToTwips(double pixels)
{
    return pixels * TwipsPerPixel;
}

// The single place where twips become whole pixels. Values that no int can hold (NaN,
// infinities, absurd sizes) are pinned rather than left to undefined conversion.
inline int twipsToWholePixels(double twips)
{
    const double pixels = twipsToPixels(twips);
    if (std::isnan(pixels))
        return 0;
    if (pixels <= double(INT_MIN))
        return INT_MIN;
    if (pixels >= double(INT_MAX))
        return INT_MAX;
    return int(std::lround(pixels));
}

inline QRect twipsRect(double left, double top, double width, double height)
{
    return QRect(twipsToWholePixels(left), twipsToWholePixels(top), twipsToWholePixels(width),
                 twipsToWholePixels(height));
}
