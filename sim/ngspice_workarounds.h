#pragma once
// Rewrites of circuit lines that ngspice 39 would run wrongly or not at all, each with the fault
// it avoids beside it.

#include <optional>
#include <string>
#include <vector>

namespace etherm::sim {

// `{expr}` without its braces; other text as it is.
std::string Unbraced(const std::string& v);

// The words of a V or I source line with a PULSE whose delay may be negative, rewritten; nothing
// when the source needs no rewrite. `tranStep` stands in for rise and fall times of 0.
std::optional<std::vector<std::string>> RewritePulse(const std::vector<std::string>& words,
                                                     const std::string& tranStep);

}  // namespace etherm::sim
