#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace etherm::spice {

// The two nodes of a voltage source (V, E, H, or B with V=), plus node first, as written.
using SourceNodes = std::pair<std::string, std::string>;

// The nodes an initial value must not be given to, lower case: the sources decide their
// voltage, and a value held against a source makes ngspice fight it (steps of 1e-13 s, or a
// refused bias point). That is every node tied to ground through sources, and the plus node of
// every other source; a group of nodes joined by sources keeps at least one, which fixes the
// rest. Ground is "0" or "gnd", any case.
std::set<std::string> SourceFixedNodes(const std::vector<SourceNodes>& sources);

// True for an element line that is such a voltage source: its first letter V, E or H, or B with
// a V= expression; `words` are the line's words.
bool IsVoltageSourceLine(const std::vector<std::string>& words);

}  // namespace etherm::spice
