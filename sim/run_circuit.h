#pragma once
// One run of etherm-sim on one circuit file: translate, simulate, write the probe data, the bias
// file and the listing.

#include <string>

namespace etherm::sim {

// Returns the exit status (exit_status.h): success; refused, when the circuit cannot be run
// (the listing and standard error say why); usage, when not even the listing could be written;
// unexpected for anything else (memory running out). Applies the memory limit first.
int RunCircuitFile(const std::string& circuitPath);

}  // namespace etherm::sim
