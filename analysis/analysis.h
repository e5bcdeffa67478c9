#pragma once

#include "model/analysis_state.h"

namespace etherm {

// The DC analysis behind "Start DC": reads baseName + ".par" and runs the sweep to its end,
// each point iterated until its temperatures settle. Throws Failure where it stops: before the
// first settled point the run log and the accumulated files stay as the last run left them,
// after it they keep what was written. A device above 1000 K is warned of through the display.
struct DcOptions {
  // Newton steps on each point's fixed point instead of the relaxed plain step.
  bool accelerate = false;
  // Each iteration's files (baseName + n + ".cir", ".csd", ".out", ".txt", ".moc", ".tem") are
  // written and stay after the run. Without, none is written: the circuit, the probe data and
  // the tables stay in memory, the serving simulator takes the circuit and returns the probe
  // data over its pipe, and only a failed iteration's files are written, for its failure text.
  bool keepIterationFiles = false;
};
void RunDcAnalysis(AnalysisState& state, const DcOptions& options);
inline void RunDcAnalysis(AnalysisState& state) {
  RunDcAnalysis(state, {});
}

// How the transient runs the circuit. Windowed: every window restarts the circuit from the
// state carried to its start, as specified. Continuous: one transient, paused where etherm
// takes the temperatures, given them in place and resumed; never restarted. Continuous where
// served: the continuous engine when the simulator serves paused transients (etherm-sim --serve
// does), the windowed one otherwise; what the front ends run unless told.
enum class TransientEngine { kWindowed, kContinuous, kContinuousWhereServed };

struct TransientOptions {
  TransientEngine engine = TransientEngine::kWindowed;
  // K. Windowed: a window is accepted up to where the temperatures computed leave those
  // simulated by more than this. Continuous: segments are sized for about half of it, and one
  // that drifted further makes the next one shorter.
  double tolerance = 1.0;
  // Each iteration's circuit file and simulator listing (baseName + n + ".cir", ".out") stay
  // after the run; without, they go as soon as their iteration is done.
  bool keepIterationFiles = true;
  // Every window computes its thermal history (term rises and powers at its start, the rises
  // the window end is predicted from) from time 0 out of the accumulated files, as the program
  // once did, instead of carrying it from window to window: the same files, at a cost that
  // grows with the time already simulated. The reference the carried history is tested by.
  bool recomputeHistory = false;
  // Above 1: a window asks the simulator for at most this many times the time the last window
  // advanced. The prediction alone can ask for a tenth of the time already simulated when the
  // temperatures follow no single step (a switching circuit), of which a small part is kept, so
  // the simulator's work per window grows with the run; with the limit the run also goes past
  // the window's end by 5 % of the window's length, not of the end time. 0: as predicted.
  double windowGrowthLimit = 0;
};

// The transient analysis behind "Start TRAN": reads baseName + ".par" and runs the time axis
// from 0 to the end time in windows. Throws Failure where it stops: before the first accepted
// window the run log, the accumulated files and the term-rise history stay as the last run left
// them, after it they keep what was written. Warns of devices above 1000 K as the DC run does.
void RunTransientAnalysis(AnalysisState& state, const TransientOptions& options);
inline void RunTransientAnalysis(AnalysisState& state) {
  RunTransientAnalysis(state, {});
}

}  // namespace etherm
