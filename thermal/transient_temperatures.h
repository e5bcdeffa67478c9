#pragma once

#include <array>
#include <string>

#include "model/analysis_state.h"
#include "model/problem.h"
#include "model/transient_tables.h"
#include "textio/text_file.h"

namespace etherm {

// The rise (K) of every term of every pair (i, j) of devices, [i][j][k] counted from 0; four
// slots a pair, as the steady state of time 0 fills them.
using TermRises = std::array<std::array<std::array<double, kMaxTerms>, kMaxDevices>, kMaxDevices>;

// What the recursive convolution carries from one line of a power history to the next: the
// line's time and powers, the term rises after it and the temperatures they give. Before the
// first line of a history everything is zero.
struct ThermalLine {
  double time = 0;                    // s
  DeviceTable<double> power{};        // W, devices 1..n
  TermRises rise{};                   // K
  DeviceTable<double> temperature{};  // K, devices 1..n, as computed
};

// Thermal network of the transient analysis, by recursive convolution: moves `line` on to the
// next line of powers (`powers`: its time and the powers of devices 1..n), computing the rise
// of every term k of every pair (i, j):
// - on a line at time 0 exactly, the steady state R_ij a_ijk P_j of all four term slots (the
//   slots above the pair's terms weigh nothing);
// - on any other line, over the step d from the previous line, with the power of device j
//   taken as the previous line's during the first half of the step and this line's during the
//   second: theta = e theta' + sqrt(e) c P'_j + c P_j, e = exp(-d / tau), c = (1 - sqrt(e)) R a,
//   for the pair's terms;
// and T_i = network.ambient + the rises of all pairs (i, j). A history's lines go through this one after
// another, so a window continues from the line its start was reached at exactly as a
// computation from time 0 over the same lines would.
// Arithmetic failures end the call with their texts ("Floating point division by zero" for a
// zero time constant, "Invalid floating point operation" for 0/0, "Floating point overflow"
// for a time that runs backwards); `line` is then partly updated.
void AdvanceThermalLine(const ThermalNetwork& network, ThermalLine& line,
                        const TransientRow& powers);

// The line of the term rises "temp.txt" holds for `line`: its time, then the rises in the order
// i, j, k, four slots a pair on a line at time 0 and the pair's terms on any other; every
// number in the 23-character form followed by a blank; CR LF.
void AppendTermRiseLine(std::string& out, const ThermalNetwork& network, const ThermalLine& line);

// The temperatures of a window: `powers`' rows one after another from `start` (the history
// line the window continues from, or a zero line for the first window). Returns the table with
// the power table's header lines (each cut to 120 characters) and one row per power row, the
// temperatures as their text reads back. Writes each row's term-rise line to riseFile when one
// is given (open for writing or appending). Failures as AdvanceThermalLine's; the rise lines
// of the rows before stay.
TemperatureTable ComputeTransientTemperatures(const ThermalNetwork& network,
                                              const PowerTable& powers, ThermalLine start,
                                              TextFile* riseFile);

}  // namespace etherm
