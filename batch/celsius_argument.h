#pragma once

#include <optional>
#include <string_view>

namespace etherm {

inline constexpr double kCelsiusZero = 273.15;  // K

// A temperature in degrees Celsius as typed on the command line: a decimal number ("40",
// "-5.5", "1e1"; no hexadecimal, no blanks), nothing after
// it, above absolute zero and below 1000 °C; none otherwise.
std::optional<double> CelsiusArgument(std::string_view text);

}  // namespace etherm
