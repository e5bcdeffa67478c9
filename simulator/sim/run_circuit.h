#pragma once
// One run of etherm-sim on one circuit file: translate, simulate, write the probe data, the bias
// file and the listing.

#include <string>

namespace etherm::sim {

// Returns the exit status: 0 after a successful run, 1 when the run failed (the listing and
// standard error say why), 2 when not even the listing could be written.
int RunCircuitFile(const std::string& circuitPath);

}  // namespace etherm::sim
