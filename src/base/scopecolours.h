#pragma once

#include <QRgb>

namespace veruziva::scopecolours {

// The scope's colours, which the trend chart shares so that a channel looks the same in both.
inline constexpr QRgb Teal = 0xFF008080;
inline constexpr QRgb White = 0xFFFFFFFF;
inline constexpr QRgb Yellow = 0xFFFFFF00;  // trace A, lit indicator
inline constexpr QRgb Aqua = 0xFF00FFFF;    // trace B

}  // namespace veruziva::scopecolours
