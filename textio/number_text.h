#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace etherm {

// Number text of every file of the system. All forms are independent of the locale.

// Longest text FormatExponentTo writes for widths up to kMaxNumberWidth.
inline constexpr int kMaxNumberWidth = 64;
inline constexpr int kNumberBufferSize = kMaxNumberWidth + 32;

// Exponent form of width w: sign column ('-' or blank), one digit, '.', n-1 digits, 'E', sign
// and four exponent digits, where n = w - 8 clamped to 2..18 significant digits (w = 23 gives
// " 1.50000000000000E+0000"). Rounded half away from zero from the 18-digit decimal expansion.
// Blanks in front up to w; never cut. NaN is "Nan", infinities "+Inf" and "-Inf", padded to w.
// Writes into out (at least kNumberBufferSize bytes when w <= kMaxNumberWidth) and returns the
// end of the text.
char* FormatExponentTo(char* out, double x, int w);
std::string FormatExponent(double x, int w);

// Fixed form with width w and d decimals: '-' when the sign bit is set, integer digits, and '.'
// with d digits when d > 0; blanks in front up to w, never cut. From 1E36 on the exponent form
// of width w instead. Rounded half away from zero from the expansion to 17 decimals (|x| < 10)
// or to 18 significant digits.
std::string FormatReal(double x, int w, int d);

// n in decimal with blanks in front up to w characters; never cut.
std::string FormatInteger(std::int32_t n, int w);

struct ParsedInteger {
  std::int32_t value = 0;
  // 0 when the whole text was a number, else the 1-based position of the first character
  // that does not fit (an empty text gives 1).
  int errorPosition = 0;
};

// Leading blanks, an optional sign, then decimal digits or hexadecimal digits after '$', 'x',
// 'X', "0x" or "0X". Values outside 32 bits are errors (hexadecimal up to FFFFFFFF, taken as
// the bit pattern). On error, value holds the digits before the offending character, unsigned.
ParsedInteger ParseInteger(std::string_view text);

// Parses a real token: optional sign, digits, optional '.' and digits (either side may be
// empty, "." is 0), optional 'E'/'e' with optional sign and at least one digit. Returns false
// for any other text or a value beyond the range of a double; underflow gives zero.
bool ParseRealToken(std::string_view token, double* value);
// The same tokens as ParseRealToken, rounded once to the extended format.
bool ParseExtendedToken(std::string_view token, long double* value);

}  // namespace etherm
