#pragma once

// One transient window's thermal work beside the simulator: its tables from the carried
// history, its term-rise history line and the acceptance of its lines into the accumulated
// files. The transient driver owns the carried record and calls these in its loop.

#include <cstdint>
#include <string>

#include "analysis/appended_rows.h"
#include "analysis/hot_devices.h"
#include "analysis/results_tail.h"
#include "model/analysis_state.h"
#include "model/transient_tables.h"
#include "textio/text_file.h"
#include "thermal/thermal_history.h"
#include "thermal/window_end.h"

namespace etherm {

// A line of the term-rise history: its time and each device's own term rises as its text
// reads back.
struct TermRiseHistoryLine {
  double time = 0;
  OwnRises rises{};
};

// What a transient run carries from one window to the next instead of reading back its
// accumulated files. Its size follows the devices, terms and one window's lines, not the time
// already simulated.
// The accumulated results' last lines are kept whole, as the next window's circuit reads them.
struct TransientCarry {
  // Each window computes its thermal history from time 0 out of the accumulated files instead,
  // as the program once did: the reference the carried record must match, byte for byte.
  bool recompute = false;
  // Above 1: the next window asks for at most this many times the last window's advance.
  double windowGrowthLimit = 0;
  ThermalHistory thermal;
  ResultsTail results;
  // The last two lines written to the term-rise history, which the window-end prediction
  // reads; the run starts the history with zeros at time 0.
  TermRiseHistoryLine previousHistoryLine;
  TermRiseHistoryLine lastHistoryLine;
  // Bytes at the start of "temp.txt" that hold the rise lines of the history rows.
  std::uintmax_t historyRiseBytes = 0;
  // "temp.txt" and the term-rise history, open for the run; written out at the end of each
  // window, as the accumulated files are.
  TextFile rises;
  TextFile history;
  // The accumulated results, powers and temperatures, open for appending from the first
  // accepted window on.
  TextFile resultFile;
  TextFile powerFile;
  TextFile temperatureFile;
};

// Starts the term-rise history historyName with its line at time 0: every rise 0.
void WriteFirstHistoryLine(const Problem& problem, const std::string& historyName);

// Opens `file` for appending to `name`, unless it already is (a staged name changes when the
// run's outputs move into place).
void AppendTo(TextFile& file, const std::string& name);

// The tables of one window: in a later window the history's last row (the line the window
// continues from) first, then the window's own rows.
struct WindowTables {
  PowerTable powers;
  TemperatureTable temperatures;
  ThermalLine start;  // after the history's last row; all zero in the first window
  std::size_t historyRows = 0;
};

// Computes the temperatures of the window that starts at state.windowStartTime from its powers
// and rewrites "temp.txt" with the term rises of the history rows and of the window's rows.
// powersName is the accumulated powers, which only the recompute reads.
WindowTables ComputeWindowTables(const AnalysisState& state, TransientCarry& carry,
                                 PowerTable windowPowers, const std::string& powersName);

// Appends to the term-rise history historyName the line of the first table row at or after
// state.windowStartTime (the new start): its time and each device's own term rises. Sets
// state.sampleTime to that time and carry.lastHistoryLine to the line.
void AppendTermRiseHistory(AnalysisState& state, TransientCarry& carry, const WindowTables& tables,
                           const std::string& historyName);

// Appends the accepted lines of the iteration's result table (results, open for reading) and
// of the window's tables to the accumulated files (carry's resultFile, powerFile and
// temperatureFile, open for appending; historyName is the term-rise history), from the previous
// window start through the first line at or after the new one; warns of hot devices on the way.
// When the window start advanced, sets state.windowEndTime for the next window. The carried record
// takes the accepted lines.
void AcceptLines(AnalysisState& state, TransientCarry& carry, TextFile& results,
                 const WindowTables& tables, HotDeviceWarnings& warnings,
                 const std::string& historyName);

// The names the accepted lines go to now (staged before the run commits).
struct AcceptedNames {
  std::string results, powers, temperatures, history;
};

// AcceptLines into the accumulated files, opened for appending under `names` where they are
// not yet; the bytes appended to the three tables are copied into `appended`'s texts.
void AppendAcceptedLines(AnalysisState& state, TransientCarry& carry, TextFile& results,
                         const WindowTables& tables, HotDeviceWarnings& warnings,
                         const AcceptedNames& names, AppendedText& appended);
// What a window added reaches the files before the next one starts.
void FlushCarried(TransientCarry& carry);

}  // namespace etherm
