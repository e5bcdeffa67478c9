#include "spice_text/spice_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "spice_text/ascii_case.h"

namespace etherm::spice {

namespace {

// Exponents beyond this are far outside a double either way; capping keeps the sum in range.
constexpr long kExponentCap = 100000;

bool IsDigit(std::string_view text, std::size_t i) {
  return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

char UpperAt(std::string_view text, std::size_t i) {
  return i < text.size() ? UpperChar(text[i]) : '\0';
}

// The scale factor at position i: its power of ten and length; mil is 25.4e-6.
struct Scale {
  long exponent = 0;
  std::size_t length = 0;
  bool mil = false;
};

Scale ReadScale(std::string_view text, std::size_t i) {
  switch (UpperAt(text, i)) {
    case 'T':
      return {12, 1};
    case 'G':
      return {9, 1};
    case 'K':
      return {3, 1};
    case 'U':
      return {-6, 1};
    case 'N':
      return {-9, 1};
    case 'P':
      return {-12, 1};
    case 'F':
      return {-15, 1};
    case 'A':
      return {-18, 1};
    case 'M':
      if (UpperAt(text, i + 1) == 'E' && UpperAt(text, i + 2) == 'G') return {6, 3};
      if (UpperAt(text, i + 1) == 'I' && UpperAt(text, i + 2) == 'L') return {-6, 3, true};
      return {-3, 1};
    default:
      return {};
  }
}

// Decimal digits times a small factor, exactly.
std::string TimesSmall(const std::string& digits, int factor) {
  std::string product(digits.size(), '0');
  int carry = 0;
  for (std::size_t k = digits.size(); k-- > 0;) {
    const int d = (digits[k] - '0') * factor + carry;
    product[k] = static_cast<char>('0' + d % 10);
    carry = d / 10;
  }
  return carry == 0 ? product : std::to_string(carry) + product;
}

bool IsLineBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

ParsedNumber ParseSpiceNumber(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  std::string digits;
  long exponent = 0;
  while (IsDigit(text, i)) digits += text[i++];
  if (i < text.size() && text[i] == '.') {
    for (++i; IsDigit(text, i); ++i) {
      digits += text[i];
      --exponent;
    }
  }
  if (digits.empty()) return {};

  const char letter = UpperAt(text, i);
  if (letter == 'E' || letter == 'D') {
    ++i;
    long sign = 1;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) sign = text[i++] == '-' ? -1 : 1;
    long written = 0;
    for (; IsDigit(text, i); ++i) written = std::min(10 * written + (text[i] - '0'), kExponentCap);
    exponent += sign * written;
  }
  const Scale scale = ReadScale(text, i);
  i += scale.length;
  exponent += scale.exponent;

  ParsedNumber result;
  result.used = i;
  if (scale.mil) {
    // 25.4e-6 as the exact decimal 254e-7, so "1mil" is the double nearest 2.54e-5.
    digits = TimesSmall(digits, 254);
    exponent -= 1;
  }
  const std::size_t firstNonZero = digits.find_first_not_of('0');
  if (firstNonZero == std::string::npos) {
    result.value = negative ? -0.0 : 0.0;
    return result;
  }
  const std::string decimal = digits.substr(firstNonZero) + "e" + std::to_string(exponent);
  double value = 0.0;
  const auto [end, error] = std::from_chars(decimal.data(), decimal.data() + decimal.size(), value);
  if (error == std::errc::result_out_of_range) {
    // The decimal point sits after the first significant digit at this power of ten.
    const long magnitude = static_cast<long>(digits.size() - firstNonZero) - 1 + exponent;
    if (magnitude > 0) return result;  // too large: no value
    value = 0.0;
  } else if (error != std::errc() || end != decimal.data() + decimal.size()) {
    return {};
  }
  if (!std::isfinite(value)) return result;
  result.value = negative ? -value : value;
  return result;
}

std::optional<double> SpiceNumberWord(std::string_view word) {
  while (!word.empty() && IsLineBlank(word.front())) word.remove_prefix(1);
  while (!word.empty() && IsLineBlank(word.back())) word.remove_suffix(1);
  const ParsedNumber number = ParseSpiceNumber(word);
  if (!number.value) return std::nullopt;
  for (std::size_t i = number.used; i < word.size(); ++i) {
    if (!IsAsciiLetter(word[i])) return std::nullopt;
  }
  return number.value;
}

}  // namespace etherm::spice
