#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "model/analysis_state.h"
#include "testing/scratch_folder.h"

namespace etherm::testing {

// A state as the drivers leave it before a writer runs: devices QN (295 K) and QSUB
// (350.5 K), probeNodeCount 2 with names V(3) and V(5) stored, one inductor and one capacitor
// carried, iteration 3, DC sweep from 5 at 7.5 step 0.5, window 9e-05 .. 2e-04.
void SetUpState(AnalysisState& state, const std::filesystem::path& folder);

// Accumulated results with two header lines and lines at 0 and at windowStartTime; the line at
// the window start carries V(3) = 0.71, V(5) = -2.5, the inductor 0.125 A, the capacitor 3.3 V.
void WriteResults(const AnalysisState& state);

}  // namespace etherm::testing
