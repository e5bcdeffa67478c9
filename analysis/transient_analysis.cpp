#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/appended_rows.h"
#include "analysis/continuous_transient.h"
#include "analysis/hot_devices.h"
#include "analysis/run_files.h"
#include "analysis/run_outputs.h"
#include "analysis/transient_window.h"
#include "extraction/result_extraction.h"
#include "extraction/saved_state.h"
#include "model/problem_file.h"
#include "netlist/circuit_check.h"
#include "netlist/circuit_writer.h"
#include "power/model_check.h"
#include "process/child.h"
#include "power/power_table.h"
#include "simulator/run_simulator.h"
#include "simulator/simulator_server.h"
#include "simulator/simulator_session.h"
#include "textio/failure.h"
#include "textio/number_text.h"
#include "thermal/thermal.h"

namespace etherm {

namespace {

constexpr double kFirstWindowEnd = 9e-05;
// A window start that stays put this long will not move: the temperatures oscillate.
constexpr int kMaxIterationsWithoutAdvance = 100;

// The whole state the next window starts from, taken at the new start from what the simulator
// saved beside the window's results; without it only the listed values are carried, which the
// run says once.
void CarryWholeState(AnalysisState& state, const std::string& iterationName, double offset,
                     std::optional<CircuitState>& carried, bool& warned) {
  const std::string name = iterationName + ".stan";
  SavedState saved = ReadSavedState(name, offset, state.windowStartTime);
  if (saved.kind == SavedState::Kind::kFound) {
    carried = std::move(saved.state);
    return;
  }
  carried.reset();
  if (std::exchange(warned, true)) return;
  if (saved.kind == SavedState::Kind::kTooLarge) {
    state.ShowWarning("the circuit has " + std::to_string(saved.count) +
                      " state values, more than the simulator saves; later windows start from "
                      "the probed nodes and the listed inductors and capacitors only");
  } else {
    state.ShowWarning("the simulator saved no circuit state (" + name +
                      "); later windows start from the probed nodes and the listed inductors "
                      "and capacitors only");
  }
}

void RunTransient(AnalysisState& state, const TransientOptions& options, RunOutputs& outputs,
                  const AccumulatedNames& accumulated, const std::string& historyName) {
  BeginRun(state, outputs, accumulated);
  WriteFirstHistoryLine(state.problem, outputs.Name(historyName));
  state.windowEndTime = kFirstWindowEnd;
  state.windowStartTime = 0;
  state.previousWindowStartTime = 0;
  state.sampleTime = 0;
  state.laterWindow = false;
  HotDeviceWarnings warnings;
  PowerModelCheck modelCheck(state.problem);
  // Declared before the carried files that copy into it, so it outlives them on a failure.
  AppendedText appended;
  TransientCarry carry;
  carry.recompute = options.recomputeHistory;
  carry.windowGrowthLimit = options.windowGrowthLimit;

  std::optional<CircuitState> wholeState;
  bool warnedOfState = false;
  int iterationsWithoutAdvance = 0;
  do {
    WriteWindowCircuit(state, outputs.Name(accumulated.results), carry.results.Text(),
                       carry.results.FirstLine(), wholeState ? &*wholeState : nullptr,
                       options.windowGrowthLimit > 1);
    LogIterationStart(state);
    {
      // Only this window's simulator may leave the state the next one reads.
      std::error_code ignored;
      std::filesystem::remove(state.baseName + state.iterationText + ".stan", ignored);
    }
    double simulatorSeconds = 0;
    try {
      simulatorSeconds =
          RunSimulator(state.baseName + state.iterationText, state.runLogName,
                       SimulationKind::kTransient, state.listener, state.windowStartTime);
    } catch (const Failure& failure) {
      // The simulator knows only the window's own time.
      const std::string text = failure.what();
      if (text.find("the simulation stalled") == std::string::npos) throw;
      char start[32];
      std::snprintf(start, sizeof start, "%.6g", state.windowStartTime);
      throw Failure(text + " (in the window that starts at t = " + start + " s)");
    }

    const std::string iterationName = state.baseName + state.iterationText;
    const double offset = state.sampleTime;
    // The result table is made once in memory: for the powers and for the accepted lines.
    const std::string tableName = iterationName + ".txt";
    const std::string tableText = ExtractTransientTable(iterationName + ".csd", tableName,
                                                        state.sampleTime, state.windowEndTime);
    TextFile results;
    results.OpenText(tableName, tableText);
    TextFile table;
    table.OpenText(tableName, tableText);
    const WindowTables tables = ComputeWindowTables(
        state, carry, ComputeTransientPower(state.problem, table, state.deviceTemperature),
        outputs.Name(accumulated.powers));
    const DeviceTable<double> given = state.previousTemperature;
    state.previousWindowStartTime = state.windowStartTime;
    const RestartTime restart =
        FindRestartTime(state.problem.deviceCount(), state.previousWindowStartTime, given,
                        tables.temperatures.rows, options.tolerance);
    state.windowStartTime = restart.time;
    for (int i = 1; i <= state.problem.deviceCount(); ++i) {
      state.deviceTemperature[i] = restart.temperatures[i];
    }
    ReportIteration(state, state.previousWindowStartTime, restart.time, given, restart.temperatures,
                    simulatorSeconds);
    state.previousTemperature = state.deviceTemperature;
    const bool accepting = state.windowStartTime > 0;
    if (accepting) outputs.Commit();  // from here on the new results replace the earlier ones

    AppendTermRiseHistory(state, carry, tables, outputs.Name(historyName));
    AppendRunLogReal(state, "t0= ", state.windowStartTime);
    state.ShowStatus(StatusLine::kPosition, ("t0 =" + state.startTimeText).substr(0, 16));

    appended = AppendedText{};
    const int headerLines = state.laterWindow ? 0 : 2;  // the title and the names, once
    if (accepting) {
      AppendAcceptedLines(state, carry, results, tables, warnings,
                          {outputs.Name(accumulated.results), outputs.Name(accumulated.powers),
                           outputs.Name(accumulated.temperatures), outputs.Name(historyName)},
                          appended);
    }
    results.Close();
    FlushCarried(carry);
    if (accepting) {
      ReportAppendedRows(state, appended, headerLines);
      if (modelCheck.Active()) {
        for (const std::string& warning : modelCheck.Check(AppendedPoints(appended, headerLines))) {
          state.ShowWarning(warning);
        }
      }
    }
    if (state.windowStartTime > state.previousWindowStartTime) {
      CarryWholeState(state, iterationName, offset, wholeState, warnedOfState);
    }
    DeleteIterationFiles(state, {".csd", ".txt", ".stan"});
    if (!options.keepIterationFiles) DeleteIterationFiles(state, {".cir", ".out"});
    ++state.iterationNumber;

    if (state.windowStartTime > state.previousWindowStartTime) {
      iterationsWithoutAdvance = 0;
    } else if (++iterationsWithoutAdvance >= kMaxIterationsWithoutAdvance) {
      throw Failure("The transient window at " +
                    FormatExponent(state.windowStartTime, 16).substr(1) +
                    " s has not advanced in " + std::to_string(kMaxIterationsWithoutAdvance) +
                    " iterations; the simulator was given " + TemperatureList(state, given) +
                    " and its results gave " + TemperatureList(state, state.deviceTemperature));
    }
  } while (state.windowStartTime < state.problem.endTime);
  for (TextFile* f : {&carry.powerFile, &carry.temperatureFile, &carry.resultFile, &carry.history,
                      &carry.rises}) {
    f->Close();
  }
  outputs.Commit();
}

// The run's files are closed by now: the driver's record went with the failure.
void EndFailedRun(AnalysisState& state, RunOutputs& outputs, std::string_view failureText) {
  outputs.Discard();
  // The simulator's raw results and saved state mean nothing once the run is over; the
  // circuit file and the listing stay to show where it stopped.
  DeleteFailedIterationFiles(state, {".csd", ".stan"});
  RemoveScratchOfAFullDisk(state, failureText, {".txt"}, {kTermRiseFileName});
}

}  // namespace

void RunTransientAnalysis(AnalysisState& state, const TransientOptions& options) {
  const SimulatorSession simulator;  // one simulator process for the whole run
  const AccumulatedNames accumulated = AccumulatedNamesOf(state);
  const std::string historyName = state.baseName + ".spl";
  RunOutputs outputs(
      state, {accumulated.results, accumulated.powers, accumulated.temperatures, historyName});
  try {
    PrepareRun(state, outputs, CircuitAnalysis::kTransient);
    std::unique_ptr<SimulatorServer> server;
    if (options.engine == TransientEngine::kContinuousWhereServed && !ServingSwitchedOff()) {
      // A simulator that does not serve paused transients runs the windowed engine, as it did
      // before the continuous one became what the front ends run.
      server = SimulatorServer::Start(
          SimulatorProgram(),
          std::min<double>(sim::serve::kReadyTimeoutSeconds, SimulatorTimeoutSeconds()));
      if (process::InterruptSignal() != 0) throw Failure("interrupted");
    }
    if (options.engine == TransientEngine::kContinuous || server) {
      RunContinuousTransient(state, options, outputs, accumulated, historyName, std::move(server));
    } else {
      RunTransient(state, options, outputs, accumulated, historyName);
    }
  } catch (const Failure& failure) {
    EndFailedRun(state, outputs, failure.what());
    throw;
  } catch (...) {
    EndFailedRun(state, outputs, "");
    throw;
  }
}

}  // namespace etherm
