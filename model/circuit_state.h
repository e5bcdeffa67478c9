#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace etherm {

// The circuit's state at a window start, as the simulator saved it: every node voltage the
// next window may start from, named "v(node)" (subcircuit nodes as "v(x1.n3)"), and the value
// each top-level inductor and capacitor takes as its ic=, "ic(l1)", "ic(c1)"; names lower case.
struct CircuitState {
  std::vector<std::string> names;
  std::vector<double> values;

  std::optional<double> Find(std::string_view name) const {
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
      if (names[i] == name) return values[i];
    }
    return std::nullopt;
  }
};

}  // namespace etherm
