#include "netlist/spice_number.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

#include "textio/number_text.h"
#include "textio/upper_case.h"

namespace etherm {

std::optional<double> SpiceNumberValue(std::string_view word) {
  std::size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  const auto isDigit = [&](std::size_t k) {
    return k < word.size() && word[k] >= '0' && word[k] <= '9';
  };
  if (!isDigit(i) && !(i < word.size() && word[i] == '.')) return std::nullopt;
  std::string digits;
  long exponent = 0;
  while (isDigit(i)) digits += word[i++];
  if (i < word.size() && word[i] == '.') {
    for (++i; isDigit(i); ++i) {
      digits += word[i];
      --exponent;
    }
  }
  if (digits.empty()) digits = "0";
  if (i < word.size() && (UpperCase(word[i]) == 'E' || UpperCase(word[i]) == 'D')) {
    ++i;
    long sign = 1;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) sign = word[i++] == '-' ? -1 : 1;
    long written = 0;
    for (; isDigit(i); ++i) written = std::min(10 * written + (word[i] - '0'), 100000L);
    exponent += sign * written;
  }
  double factor = 1.0;
  const std::string scale = [&] {
    std::string s;
    for (std::size_t k = i; k < word.size() && s.size() < 3; ++k) s += UpperCase(word[k]);
    return s;
  }();
  if (scale.rfind("MEG", 0) == 0) {
    exponent += 6;
  } else if (scale.rfind("MIL", 0) == 0) {
    exponent -= 6;
    factor = 25.4;
  } else if (!scale.empty()) {
    static constexpr std::string_view kLetters = "TGKMUNPFA";
    static constexpr std::array<int, 9> kExponents = {12, 9, 3, -3, -6, -9, -12, -15, -18};
    const std::size_t letter = kLetters.find(scale.front());
    if (letter != std::string_view::npos) exponent += kExponents[letter];
  }
  const std::string text = digits + "e" + std::to_string(exponent);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  value *= factor;
  return negative ? -value : value;
}

}  // namespace etherm
