#pragma once
// Integer types and fixed values of the window-system interface the program was written
// against. Keeping the widths exact matters: the hot key identifier is a sign-extended
// 16-bit atom compared as a full 32-bit value, and booleans of the shared state are -1/0.

#include <QColor>
#include <cstdint>

#include "platform/keyboard.h"

namespace numarika {

using Int16 = std::int16_t;    // VB Integer
using Int32 = std::int32_t;    // VB Long
using Bool16 = std::int16_t;   // VB Boolean: True is -1
using Hwnd = std::int32_t;     // window handle as a 32-bit value
using Colour = std::uint32_t;  // 0x00BBGGRR

inline constexpr Bool16 kTrue = -1;
inline constexpr Bool16 kFalse = 0;

inline constexpr std::uint32_t WM_HOTKEY = 0x0312;
inline constexpr Int32 GWL_WNDPROC = -4;
inline constexpr Int32 VK_SNAPSHOT = kPrintScreenKey;

// Colours are kept as 0x00BBGGRR, red in the low byte.
inline constexpr QRgb rgbOf(Colour c) {
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}
inline constexpr Colour colourOf(QRgb rgb) {
    return static_cast<Colour>(qRed(rgb)) | (static_cast<Colour>(qGreen(rgb)) << 8) |
           (static_cast<Colour>(qBlue(rgb)) << 16);
}

}  // namespace numarika
