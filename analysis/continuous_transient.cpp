#include "analysis/continuous_transient.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "analysis/appended_rows.h"
#include "analysis/hot_devices.h"
#include "analysis/transient_window.h"
#include "extraction/result_extraction.h"
#include "netlist/circuit_line.h"
#include "power/model_check.h"
#include "power/power_table.h"
#include "simulator/paused_transient.h"
#include "simulator/run_simulator.h"
#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm {

namespace {

// The first segment: at most the windowed engine's first window, and short against the run,
// since its points are all accepted however far the temperatures drift; the prediction takes
// over after it.
constexpr double kFirstSegmentEnd = 9e-05;
constexpr double kFirstSegmentPart = 1e-3;
// Above every time of a run: the extraction keeps all of a segment's points.
constexpr double kNoWindowEnd = 1e300;
// A segment is at most this many times as long as the one before it.
constexpr double kLongestGrowth = 2.0;
// The drift from the simulated temperatures a segment is sized for, as a part of the tolerance:
// the prediction is rough where a converter rings, and every point counts.
constexpr double kDriftAimed = 0.5;
// The width of the window start on the position status line ("t0 =0.0000900000").
constexpr int kStartTimeTextLength = 12;
// A segment no shorter than this part of the end time: the run always advances.
constexpr double kShortestSegment = 1e-9;

// Each device's temperature for the simulator: its model's name and degrees Celsius as the
// circuit files take them (kelvin minus 273).
std::vector<std::pair<std::string, double>> ModelTemperatures(const AnalysisState& state) {
  std::vector<std::pair<std::string, double>> temps;
  for (int i = 1; i <= state.problem.deviceCount(); ++i) {
    temps.emplace_back(state.problem.devices[static_cast<std::size_t>(i - 1)].name.Trimmed(),
                       state.deviceTemperature[i] - 273.0);
  }
  return temps;
}

// Time 0 is a thermal steady state: the thermal model takes each device at R_ij a_ijk P_j of the
// powers there. The circuit's operating point and those temperatures are iterated to agree, as
// a DC point is, before the transient starts, so it starts at the temperatures it should.
constexpr int kMaxSettleIterations = 100;

void SettleTimeZero(AnalysisState& state, PausedTransient& simulator, double tolerance) {
  const Problem& problem = state.problem;
  const int devices = problem.deviceCount();
  const std::string name =
      "the operating point of " + state.baseName + state.iterationText + ".cir";
  for (int iteration = 0;; ++iteration) {
    const std::string tableText =
        ExtractTransientTableFromText(name, simulator.Settle(), name, 0, kNoWindowEnd);
    TextFile table;
    table.OpenText(name, tableText);
    const PowerTable powers = ComputeTransientPower(problem, table, state.deviceTemperature);
    if (powers.rows.empty()) throw Failure("The operating point at time 0 gave no powers");
    const DeviceTable<double>& power = powers.rows.front().value;
    double change = 0;
    DeviceTable<double> steady{};
    for (int i = 1; i <= devices; ++i) {
      double rise = 0;
      for (int j = 1; j <= devices; ++j) {
        const ThermalPair& pair =
            problem.network.pair[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
        double weights = 0;
        for (const ThermalTerm& term : pair.terms) weights += term.weight;
        rise += pair.resistance * weights * power[j];
      }
      steady[i] = problem.network.ambient + rise;
      change = std::max(change, std::abs(steady[i] - state.deviceTemperature[i]));
    }
    if (change <= 0.1 * tolerance) return;
    if (iteration == kMaxSettleIterations) {
      throw Failure("The operating point at time 0 did not settle in " +
                    std::to_string(kMaxSettleIterations) + " iterations: the temperatures " +
                    "still moved by " + ShortNumber(change) + " K");
    }
    // Halfway, as the DC iterations step, so a steep dependence does not oscillate.
    for (int i = 1; i <= devices; ++i) {
      state.deviceTemperature[i] = 0.5 * (state.deviceTemperature[i] + steady[i]);
    }
    state.previousTemperature = state.deviceTemperature;
    simulator.SetTemperatures(ModelTemperatures(state));
  }
}

// What the guard and the shadows take from each device's own impedance: where its probe
// quantities start, the steepest slope of its step response (the sum of R_k/tau_k, K/J) and its
// fastest term (R_k and tau_k); slope 0 and no term for a device without one.
struct OwnHeat {
  const Device* device = nullptr;
  int first = 0;
  double slope = 0;
  double fastestOhms = 0, fastestSeconds = 0;
};

std::vector<OwnHeat> OwnHeats(const Problem& problem) {
  std::vector<OwnHeat> heats;
  int first = 0;
  for (std::size_t i = 0; i < problem.devices.size(); ++i) {
    OwnHeat& heat = heats.emplace_back();
    heat.device = &problem.devices[i];
    heat.first = first;
    first += QuantityCount(heat.device->kind);
    if (i >= problem.network.pair.size() || i >= problem.network.pair[i].size()) continue;
    const ThermalPair& own = problem.network.pair[i][i];
    for (const ThermalTerm& term : own.terms) {
      if (!(term.timeConstant > 0) || !(term.weight > 0)) continue;
      heat.slope += own.resistance * term.weight / term.timeConstant;
      if (heat.fastestSeconds == 0 || term.timeConstant < heat.fastestSeconds) {
        heat.fastestSeconds = term.timeConstant;
        heat.fastestOhms = own.resistance * term.weight;
      }
    }
  }
  return heats;
}

// What lets the simulator pause a segment early: each device's power as its quantities' plain
// products; the energy that, departed from its mean power, would move its temperature by the
// drift aimed at (the own impedance's steepest slope, the sum of R_k/tau_k over its terms,
// bounds how fast an energy heats the device); and its fastest own time constant, over which
// the mean is taken.
std::vector<sim::serve::PowerGuard> PowerGuards(const std::vector<OwnHeat>& heats,
                                                double tolerance) {
  std::vector<sim::serve::PowerGuard> guard;
  for (const OwnHeat& heat : heats) {
    const double budget = kDriftAimed * tolerance / heat.slope;
    if (heat.slope > 0 && std::isfinite(budget) && budget > 0)
      guard.push_back(
          {static_cast<int>(heat.device->kind), heat.first, budget, heat.fastestSeconds});
  }
  return guard;
}

// Each device's fastest own thermal term as a resistor and capacitor: the simulator's steps
// then follow the device's heat as the direct self-heating solution's do (a switching edge's
// power peak between two far points would otherwise be a triangle of the wrong size).
std::vector<sim::serve::PowerShadow> PowerShadows(const std::vector<OwnHeat>& heats) {
  std::vector<sim::serve::PowerShadow> shadows;
  for (const OwnHeat& heat : heats) {
    if (heat.fastestOhms > 0 && std::isfinite(heat.fastestOhms))
      shadows.push_back({static_cast<int>(heat.device->kind), heat.first, heat.fastestOhms,
                         heat.fastestSeconds / heat.fastestOhms});
  }
  return shadows;
}

}  // namespace

void RunContinuousTransient(AnalysisState& state, const TransientOptions& options,
                            RunOutputs& outputs, const AccumulatedNames& accumulated,
                            const std::string& historyName,
                            std::unique_ptr<SimulatorServer> server) {
  BeginRun(state, outputs, accumulated);
  WriteFirstHistoryLine(state.problem, outputs.Name(historyName));
  const double end = state.problem.endTime;
  state.windowStartTime = 0;
  state.previousWindowStartTime = 0;
  state.sampleTime = 0;
  state.laterWindow = false;
  HotDeviceWarnings warnings;
  AppendedText appended;
  PowerModelCheck modelCheck(state.problem);
  TransientCarry carry;

  // One circuit file for the whole run: the first window's, its transient running past the end.
  state.windowEndTime = end;
  WriteWindowCircuit(state, outputs.Name(accumulated.results), carry.results.Text(),
                     carry.results.FirstLine(), nullptr, false);
  const std::string circuitName = state.baseName + state.iterationText + ".cir";
  const std::vector<OwnHeat> heats = OwnHeats(state.problem);
  PausedTransient simulator(circuitName, SimulatorTimeoutSeconds(), PowerShadows(heats),
                            std::move(server));
  SettleTimeZero(state, simulator, options.tolerance);
  state.windowEndTime = std::min(kFirstSegmentEnd, kFirstSegmentPart * end);

  const std::vector<sim::serve::PowerGuard> guard = PowerGuards(heats, options.tolerance);
  bool finished = false;
  do {
    if (state.iterationNumber > 1) state.iterationText = IterationText(state.iterationNumber);
    LogIterationStart(state);
    const std::string iterationName = state.baseName + state.iterationText;
    const double segmentEnd = std::min(
        end, std::max(state.windowEndTime, state.windowStartTime + kShortestSegment * end));
    const auto started = std::chrono::steady_clock::now();
    std::string probeData = simulator.RunUntil(
        segmentEnd,
        [&](double time) {
          if (state.listener != nullptr) state.listener->SimulatorAdvanced(time);
        },
        guard);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    LogSimulatorPass(state.runLogName, SimulationKind::kTransient, state.listener);

    const std::string tableName = iterationName + ".txt";
    // Every point the simulator gave is kept, the pause's own too (at or just after the end).
    const std::string tableText = ExtractTransientTableFromText(
        iterationName + ".csd", std::move(probeData), tableName, 0, kNoWindowEnd);
    TextFile results;
    results.OpenText(tableName, tableText);
    TextFile table;
    table.OpenText(tableName, tableText);
    const WindowTables tables = ComputeWindowTables(
        state, carry, ComputeTransientPower(state.problem, table, state.deviceTemperature),
        outputs.Name(accumulated.powers));
    const DeviceTable<double> given = state.previousTemperature;
    state.previousWindowStartTime = state.windowStartTime;
    // Every point is accepted: the simulator cannot go back. How far the temperatures drifted
    // from those simulated decides the next segment's length.
    const std::vector<TransientRow>& rows = tables.temperatures.rows;
    if (rows.empty())
      throw Failure("The simulator gave no points up to " + ShortNumber(segmentEnd) + " s");
    double drift = 0;
    std::vector<double> drifts(static_cast<std::size_t>(state.problem.deviceCount()), 0.0);
    for (const TransientRow& row : rows) {
      if (row.time < state.previousWindowStartTime) continue;
      for (int i = 1; i <= state.problem.deviceCount(); ++i) {
        double& d = drifts[static_cast<std::size_t>(i - 1)];
        d = std::max(d, std::abs(row.value[i] - given[i]));
        drift = std::max(drift, d);
      }
    }
    state.windowStartTime = rows.back().time;
    for (int i = 1; i <= state.problem.deviceCount(); ++i) {
      state.deviceTemperature[i] = rows.back().value[i];
    }
    ReportIteration(state, state.previousWindowStartTime, state.windowStartTime, given,
                    state.deviceTemperature, took.count(), drifts);
    state.previousTemperature = state.deviceTemperature;
    outputs.Commit();

    AppendTermRiseHistory(state, carry, tables, outputs.Name(historyName));
    AppendRunLogReal(state, "t0= ", state.windowStartTime);
    // As a window's circuit would have given it (no circuit is written per segment).
    state.startTimeText =
        FormatReal(state.windowStartTime, kStartTimeTextLength, 10).substr(0, kStartTimeTextLength);
    state.ShowStatus(StatusLine::kPosition, ("t0 =" + state.startTimeText).substr(0, 16));

    appended = AppendedText{};
    const int headerLines = state.laterWindow ? 0 : 2;
    AppendAcceptedLines(state, carry, results, tables, warnings,
                        {outputs.Name(accumulated.results), outputs.Name(accumulated.powers),
                         outputs.Name(accumulated.temperatures), outputs.Name(historyName)},
                        appended);
    results.Close();
    FlushCarried(carry);
    ReportAppendedRows(state, appended, headerLines);
    if (modelCheck.Active()) {
      for (const std::string& warning : modelCheck.Check(AppendedPoints(appended, headerLines)))
        state.ShowWarning(warning);
    }
    ++state.iterationNumber;

    // AcceptLines predicted the next end from the thermal history. Every point of a segment is
    // kept, so a segment grows at most twice as long as the last, and one that drifted beyond
    // the tolerance shortens the next in proportion.
    const double length = state.windowStartTime - state.previousWindowStartTime;
    if (length > 0) {
      const double factor =
          drift > options.tolerance
              ? std::max(0.1, kDriftAimed * options.tolerance / drift)
              : std::min(kLongestGrowth, kDriftAimed * options.tolerance /
                                             std::max(drift, 1e-3 * options.tolerance));
      state.windowEndTime = std::min(state.windowEndTime, state.windowStartTime + length * factor);
    }
    // The simulator pauses at the first point at or past a segment's end, or earlier where its
    // guard trips, unless that point is the transient's last; ngspice's clock may end a hair
    // before the end time.
    finished = segmentEnd >= end || state.windowStartTime >= end * (1 - 1e-9);
    if (!finished) simulator.SetTemperatures(ModelTemperatures(state));
  } while (!finished);
  for (TextFile* f : {&carry.powerFile, &carry.temperatureFile, &carry.resultFile, &carry.history,
                      &carry.rises}) {
    f->Close();
  }
  outputs.Commit();
  // The run's one circuit and listing, as a window's go (a failed run keeps them for its text).
  if (!options.keepIterationFiles) {
    for (const std::string& name :
         {circuitName, circuitName.substr(0, circuitName.size() - 4) + ".out"}) {
      std::error_code ignored;
      std::filesystem::remove(name, ignored);
    }
  }
}

}  // namespace etherm
