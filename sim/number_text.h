#pragma once
// Numbers of etherm-sim's files and decks: read with spice_text's reader, written here,
// independently of the C locale.

#include <optional>
#include <string>
#include <string_view>

#include "spice_text/spice_number.h"

namespace etherm::sim {

// A word that is a number and nothing else: `1.5`, `-2E+0003`, `10u`, `4.7MEG`, `3.3pF`.
// Expressions, names, `inf` and `nan` give nothing.
inline std::optional<double> NumberWord(std::string_view word) {
  return spice::SpiceNumberWord(word);
}

// The shortest decimal text that reads back as exactly the same double.
std::string ShortestText(double value);

// `2.50000000e+000`: one digit, '.', 8 digits, 'e', sign, three exponent digits.
std::string EfloatText(double value);

// Full precision for decks handed to ngspice (round trip, C locale).
std::string DeckNumber(double value);

}  // namespace etherm::sim
