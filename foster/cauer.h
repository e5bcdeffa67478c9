#pragma once

#include <cstddef>
#include <vector>

#include "foster/foster_network.h"

namespace etherm {

// Beyond this the dense eigenproblem takes minutes and gigabytes; makers' ladders have a few
// stages, ladders reduced from a finite-element model some hundreds.
inline constexpr std::size_t kMaxCauerStages = 1000;

// One stage of a Cauer ladder, counted from the junction: the capacitance C (J/K) from the
// stage's node to ambient and the resistance R (K/W) to the next node (the last stage's R
// leads to ambient).
struct CauerStage {
  double resistance = 0;
  double capacitance = 0;
};

// The Foster network with the same impedance seen from the junction, one term per stage: the
// time constants are the inverse eigenvalues of the ladder's node equations C dT/dt = -G T + P,
// the resistances the residues of Z(s) at those poles. Stages need R > 0 and C > 0. Throws
// Failure for more than kMaxCauerStages stages and when GSL fails (with GSL's reason).
FosterNetwork CauerToFoster(const std::vector<CauerStage>& ladder);

}  // namespace etherm
