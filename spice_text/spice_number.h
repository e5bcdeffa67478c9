#pragma once
// Numbers as circuit files write them, read the way ngspice reads a number field:
//
//   [+|-] digits [. digits] [(E|e|D|d) [+|-] digits] [scale factor] [unit letters]
//
// - The mantissa needs at least one digit, on either side of the point: "5.", ".5" and "+.5"
//   are numbers, "." and "-" are not (ngspice reads a lone "." as 0; here it is no number).
// - D is an exponent letter like E ("1.5d3" is 1500). An exponent letter without digits counts
//   as exponent 0 ("1e" is 1), as in ngspice.
// - Scale factors, any case, right after the mantissa or the exponent ("-1e-3meg" is -1):
//   T 1e12, G 1e9, MEG 1e6, K 1e3, M 1e-3, MIL 25.4e-6, U 1e-6, N 1e-9, P 1e-12, F 1e-15,
//   A 1e-18. ngspice's number reader takes A as atto, although its manual lists it not; "1a"
//   is therefore 1e-18, not 1 with a unit. M is milli: mega is MEG.
// - Letters after the number or its scale factor are units and change nothing ("10uF" is
//   1e-5, "5V" is 5, "1kHz" is 1000).
// - The value is the decimal text rounded once to the nearest double (C locale, no locale
//   decimal comma), so the same text always gives the same bits. Values too small for a double
//   are 0; values too large are no value, never infinity.

#include <cstddef>
#include <optional>
#include <string_view>

namespace etherm::spice {

struct ParsedNumber {
  // Empty when the text does not begin with a number, or when the number is beyond the range
  // of a double (then `used` is not 0, so a caller can say "too large" rather than "no number").
  std::optional<double> value;
  // Bytes of sign, mantissa, exponent and scale factor; unit letters after them are not counted.
  std::size_t used = 0;
};

// Reads the number at the start of `text` (no blanks skipped). Never throws.
ParsedNumber ParseSpiceNumber(std::string_view text);

// The value of a word that is a number and nothing else: surrounding blanks, tabs, CR and LF
// are allowed, and after the number only unit letters. So "10uF" and " 7.5E+0000" are numbers,
// while "1k5", "1.2.3", "2*3", "{a}", "inf" and "nan" are not (a word with more after its number
// is read by ngspice in ways that differ between its readers; a caller treats it as text or an
// expression instead of guessing a value).
std::optional<double> SpiceNumberWord(std::string_view word);

}  // namespace etherm::spice
