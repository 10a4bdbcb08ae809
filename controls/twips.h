#pragma once
// Positions and sizes of windows and controls are kept in twips (1/1440 inch). The program
// assumes the usual logical resolution of 96 dpi, where one pixel is 15 twips.

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace numarika {

inline constexpr int kTwipsPerPixel = 15;

// Rounds to the nearest integer, halves to the even neighbour (the default IEEE mode).
inline double roundHalfEven(double v) { return std::nearbyint(v); }

inline int twipsToPixels(double twips) {
    return static_cast<int>(roundHalfEven(twips / kTwipsPerPixel));
}
inline float pixelsToTwips(int pixels) { return static_cast<float>(pixels) * kTwipsPerPixel; }

// CInt: a 16-bit integer, or nothing when the value does not fit.
inline std::optional<std::int16_t> toInt16(double v) {
    if (!std::isfinite(v)) return std::nullopt;
    const double r = roundHalfEven(v);
    if (r < std::numeric_limits<std::int16_t>::min() ||
        r > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}

}  // namespace numarika
