#pragma once

#include <string>
#include <vector>

namespace etherm {

// The names a circuit gives the columns of its results.
struct CircuitNames {
  std::string sweptSource;              // the source of the first .DC line, as written
  std::vector<std::string> probeNames;  // every top-level .PROBE quantity, in order
};

// Reads them from the circuit file the way the simulator labels its probe data: the function
// and its arguments in upper case, arguments joined by commas ("V(2)", "IB(Q1)", "V(3,X1.4)").
// Continuation lines and comments count as the simulator takes them; reading stops at a word it
// would refuse. Never throws: a file that cannot be read gives no names.
CircuitNames ReadCircuitNames(const std::string& circuitFile);

}  // namespace etherm
