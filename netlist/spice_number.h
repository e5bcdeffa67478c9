#pragma once

#include <optional>
#include <string_view>

namespace etherm {

// The value ngspice reads from a number word: sign, digits with an optional '.', an exponent
// after E or D, then a scale factor (T G MEG K M MIL U N P F A); letters after that are units.
// Empty for a word that is no number.
std::optional<double> SpiceNumberValue(std::string_view word);

}  // namespace etherm
