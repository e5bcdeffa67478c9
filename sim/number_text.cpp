#include "number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace etherm::sim {

std::string ShortestText(double value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, end);
}

std::string EfloatText(double value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 8);
  std::string text(buf, end);
  size_t e = text.find('e');
  if (e == std::string::npos) return text;  // inf or nan: refused before writing
  std::string mantissa = text.substr(0, e);
  char sign = text[e + 1];
  std::string digits = text.substr(e + 2);
  while (digits.size() < 3) digits.insert(digits.begin(), '0');
  return mantissa + 'e' + sign + digits;
}

std::string DeckNumber(double value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 16);
  return std::string(buf, end);
}

}  // namespace etherm::sim
