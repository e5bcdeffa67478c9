#pragma once
// .FUNC definitions that call themselves, directly or through others: ngspice expands them
// without end and crashes, so they are refused before it sees them.

#include <vector>

#include "deck.h"

namespace etherm::sim {

// Throws SimError naming the first .FUNC line whose function can reach itself, and the chain
// of calls ("F -> G -> F").
void RefuseRecursiveFunctions(const std::vector<SourceLine>& lines);

}  // namespace etherm::sim
