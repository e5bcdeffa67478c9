#include "spice_number.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "text_util.h"

namespace etherm::sim {

std::optional<double> ParseSpiceNumber(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text[0] == '+' || text[0] == '-') return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc()) return std::nullopt;
  std::string rest = Lower(std::string_view(end, text.data() + text.size() - end));
  double scale = 1;
  if (rest.rfind("meg", 0) == 0) {
    scale = 1e6;
    rest.erase(0, 3);
  } else if (rest.rfind("mil", 0) == 0) {
    scale = 25.4e-6;
    rest.erase(0, 3);
  } else if (!rest.empty()) {
    switch (rest[0]) {
      case 't':
        scale = 1e12;
        break;
      case 'g':
        scale = 1e9;
        break;
      case 'k':
        scale = 1e3;
        break;
      case 'm':
        scale = 1e-3;
        break;
      case 'u':
        scale = 1e-6;
        break;
      case 'n':
        scale = 1e-9;
        break;
      case 'p':
        scale = 1e-12;
        break;
      case 'f':
        scale = 1e-15;
        break;
      default:
        break;
    }
    if (scale != 1) rest.erase(0, 1);
  }
  for (char c : rest)
    if (!((c >= 'a' && c <= 'z'))) return std::nullopt;
  value *= scale;
  return negative ? -value : value;
}

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
