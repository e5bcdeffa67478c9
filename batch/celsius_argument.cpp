#include "batch/celsius_argument.h"

#include <algorithm>
#include <cmath>

#include "textio/number_text.h"

namespace etherm {

std::optional<double> CelsiusArgument(std::string_view text) {
  // Decimal only: strtod read "0x10" as 16 and took "inf" and leading blanks too.
  const bool digit =
      std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  double value = 0;
  if (!digit || !ParseRealToken(text, &value) || !std::isfinite(value)) return std::nullopt;
  if (value <= -kCelsiusZero || value >= 1000) return std::nullopt;
  return value;
}

}  // namespace etherm
