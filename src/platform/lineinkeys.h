#pragma once

#include <array>
#include <span>
#include <string_view>

namespace veruziva {

// Keys that mark the line-in source, looked for in upper-cased line names. The server's port
// descriptions are translated, hence the other languages' words.
inline constexpr std::array<std::string_view, 3> StartupLineInKeys{"LINE", "ENTR", "VSTUP"};
inline constexpr std::array<std::string_view, 4> DeviceChangeLineInKeys{"LINE", "LIJN", "ENTR",
                                                                        "VSTUP"};

// True when one of the keys occurs in the name with its letters a to z upper-cased.
bool NameHoldsKey(std::string_view lineName, std::span<const std::string_view> keys);

}  // namespace veruziva
