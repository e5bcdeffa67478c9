#pragma once

#include <string>

#include "model/circuit_state.h"
#include "netlist/circuit_writer_input.h"

namespace etherm {

// A window never simulates more print steps than this: the predicted window end may lie far
// off (a device without power, an end time of 1e30), and the simulator's output grows with the
// print steps. A shorter window is still a correct one, since the next starts where the
// temperatures were accepted.
inline constexpr double kMaxPrintStepsPerWindow = 100000;

// One time window as its circuit gets it.
struct TransientWindow {
  double start = 0;  // s, absolute; 0 for the first window
  double end = 0;    // s, the predicted end
  // The accumulated results the carried values come from: their name (baseName + ".wyn", or
  // the name it is staged under while a run has accepted nothing) and their text, held by the
  // driver. The text may leave out data lines before the first one whose time lies within
  // 1e-10 s of start (they cannot be it), keeping its two header lines (only skipped) and
  // counting them from resultsFirstLine in failure texts.
  std::string resultsName;
  std::string resultsText;
  int resultsFirstLine = 1;
  // The whole state at start when the simulator saved it: the nodes it holds beyond the probed
  // ones join the ".ic" line, and inductor and capacitor lines beyond the problem file's lists
  // take their ic= from it. Null: only the listed values are carried.
  const CircuitState* state = nullptr;
  // The run goes on past the window's end by 5 % of the window's length instead of 5 % of its
  // end time, which late in a long run is many windows' worth of simulation thrown away.
  bool marginOfWindow = false;
};

// Writes the circuit file of one transient window, baseName + iteration + ".cir", from the
// user's circuit baseName + ".cir". The window starts at the absolute time window.start (0 for
// the first window) and the simulator runs it for 1.05 x window.end - window.start seconds, at most
// 10 and at most kMaxPrintStepsPerWindow print steps of the circuit's first ".TRAN" line. Lines are
// copied whole as read (CR LF) except:
// - subcircuit calls and ".MODEL" lines of modelled devices get the device temperatures;
// - independent sources keep their absolute timing (see WriteTransientSourceLine); sources
//   whose timing cannot be carried between windows (SFFM without FC or FS, AM, noise and
//   pattern sources, a PWL repeat, B, E and G expressions of TIME) are refused with a failure
//   quoting their line. The refusal happens in every window, the first included, so a transient
//   analysis with such a source ends before the simulator first runs; no separate check is needed;
// - ".PROBE" lines: in the first window their node quantities are returned;
//   in later windows an ".ic" line with the carried node values is written before them (none
//   when it would be empty). It leaves out a voltage difference V(a,b) and a node that
//   top-level voltage sources fix (see SourceFixedNodes), which no initial value may be
//   held against; the nodes of window.state follow the probed ones;
// - in later windows: inductor and capacitor lines keep four words and get " ic=" with the
//   carried current or voltage; lines beyond the problem file's lists keep their words but an
//   ic=, and get " ic=" with their value in window.state (a failure without one); ".TRAN" (followed
//   by a blank) keeps its print step and gets the window length; ".SAVEB..." becomes a ".savebias"
//   of "a1.bsp" at the window's end. A
//   ".TRAN" line whose print step is not a number above 0 is then a failure.
// The carried values come from the line of the accumulated results whose time is window.start
// (within 1e-10 s); without such a line the analysis ends with a failure naming the time.
// Failures end the analysis; the output file is closed and keeps the lines written before.
WrittenCircuit WriteTransientCircuitFile(const CircuitWriterInput& input,
                                         const TransientWindow& window);

}  // namespace etherm
