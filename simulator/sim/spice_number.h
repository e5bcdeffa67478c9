#pragma once
// Numbers as SPICE writes them, read and written independently of the C locale.

#include <optional>
#include <string>
#include <string_view>

namespace etherm::sim {

// `1.5`, `-2E+0003`, `10u`, `4.7MEG`, `3.3pF`: a number, an optional scale suffix, then unit
// letters that SPICE ignores. Anything else (an expression, a name) gives nothing.
std::optional<double> ParseSpiceNumber(std::string_view text);

// The shortest decimal text that reads back as exactly the same double.
std::string ShortestText(double value);

// `2.50000000e+000`: one digit, '.', 8 digits, 'e', sign, three exponent digits.
std::string EfloatText(double value);

// Full precision for decks handed to ngspice (round trip, C locale).
std::string DeckNumber(double value);

}  // namespace etherm::sim
