#include "batch/celsius_argument.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace etherm {

std::optional<double> CelsiusArgument(std::string_view text) {
  const std::string copy(text);
  if (copy.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
  if (value <= -kCelsiusZero || value >= 1000) return std::nullopt;
  return value;
}

}  // namespace etherm
