#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/dc_acceleration.h"
#include "analysis/dc_runaway.h"
#include "analysis/hot_devices.h"
#include "analysis/run_files.h"
#include "analysis/run_outputs.h"
#include "extraction/result_extraction.h"
#include "model/problem_file.h"
#include "netlist/circuit_check.h"
#include "netlist/circuit_line.h"
#include "netlist/circuit_writer.h"
#include "power/power_table.h"
#include "simulator/run_simulator.h"
#include "simulator/simulator_session.h"
#include "textio/failure.h"
#include "thermal/thermal.h"

namespace etherm {

namespace {

// A point still unsettled after this many iterations is in thermal runaway or oscillating.
constexpr int kMaxIterationsPerPoint = 100;

// Appends line 3 of the table to the accumulated file and returns it.
std::string AppendThirdLine(const std::string& tableName, const std::string& accumulatedName) {
  TextFile table;
  table.OpenForReading(tableName);
  SkipLine(table);
  SkipLine(table);
  const std::string line = ReadString(table, kLineCapacity);
  table.Close();
  TextFile accumulated;
  accumulated.OpenForAppending(accumulatedName);
  WriteText(accumulated, line);
  WriteLineEnd(accumulated);
  accumulated.Close();
  return line;
}

// The accepted point as the three accumulated lines hold it.
AcceptedPoint PointOf(const std::string& results, const std::string& powers,
                      const std::string& temperatures) {
  AcceptedPoint point;
  std::vector<double> numbers = LineNumbers(results);
  if (!numbers.empty()) point.x = numbers.front();
  point.probes.assign(numbers.begin() + (numbers.empty() ? 0 : 1), numbers.end());
  numbers = LineNumbers(powers);
  point.powers.assign(numbers.begin() + (numbers.empty() ? 0 : 1), numbers.end());
  numbers = LineNumbers(temperatures);
  point.temperatures.assign(numbers.begin() + (numbers.empty() ? 0 : 1), numbers.end());
  return point;
}

bool SweepEnded(const AnalysisState& state) {
  const Problem& p = state.problem;
  return (state.sweepValue >= p.sweepEnd && p.sweepStep > 0) ||
         (state.sweepValue <= p.sweepEnd && p.sweepStep < 0);
}

// Tells the listener the loop gain of the point about to be accepted, and warns of runaway.
void ReportLoopGain(AnalysisState& state, const DcRunawayWatch& runaway,
                    const std::string& sweepName) {
  if (state.listener == nullptr) return;
  const LoopGainReport report = runaway.Report(state.problem, state.sweepValue);
  if (report.runaway) {
    state.listener->Warning(runaway.RunawayWarning(state, sweepName));
  }
  state.listener->LoopGainFound(report);
}

void RunDc(AnalysisState& state, RunOutputs& outputs, const AccumulatedNames& accumulated,
           const DcOptions& options) {
  BeginRun(state, outputs, accumulated);
  HotDeviceWarnings warnings;
  const int deviceCount = state.problem.deviceCount();
  DcRunawayWatch runaway;
  DcStep step(options.accelerate);
  const std::string sweepName = SweptSourceName(state.baseName + ".cir");

  // The node values of the last iteration and of the last settled point (the ".NODESET" start).
  DcNodeValues nodeValues{};
  DcNodeValues previousNodeValues{};
  int iterationsAtPoint = 0;
  do {
    state.iterationText = IterationText(state.iterationNumber);
    KeepWritten(state,
                WriteDcCircuitFile(WriterInputOf(state), {state.sweepValue, previousNodeValues}));
    LogIterationStart(state);
    const double simulatorSeconds =
        RunSimulator(state.baseName + state.iterationText, state.runLogName, SimulationKind::kDc,
                     state.listener);

    const RunFileNames names{state.baseName};
    const std::string& it = state.iterationText;
    const std::string table = names.IterationResults(it);
    const std::string powerTable = names.IterationPowers(it);
    const std::string temperatureTable = names.IterationTemperatures(it);
    ExtractDcResults(names.IterationProbeData(it), table);
    nodeValues = ComputeDcPower(state.problem, table, powerTable, nodeValues);
    const DcTemperatureLine line =
        ComputeDcTemperatures(state.problem.network, powerTable, temperatureTable);
    runaway.Add(state.problem, state.previousTemperature, line.powers);
    for (std::size_t i = 0; i < runaway.Slopes().size(); ++i) {
      if (runaway.Slopes()[i]) step.NoteSlope(static_cast<int>(i + 1), *runaway.Slopes()[i]);
    }
    const DcSettleResult test =
        DcTemperaturesSettled(deviceCount, state.previousTemperature, temperatureTable);
    for (int i = 1; i <= deviceCount; ++i) state.deviceTemperature[i] = test.temperatures[i];
    const bool settled = test.settled;
    ReportIteration(state, state.sweepValue, std::nullopt, state.previousTemperature,
                    test.temperatures, simulatorSeconds);

    if (settled) {
      outputs.Commit();
      ReportLoopGain(state, runaway, sweepName);
      runaway.NewPoint();
      warnings.CheckSweepPoint(state, state.deviceTemperature, state.sweepValue);
      const std::string results = AppendThirdLine(table, accumulated.results);
      state.sweepValue += state.problem.sweepStep;
      previousNodeValues = nodeValues;
      AppendRunLogReal(state, "dc= ", state.sweepValue);
      const std::string powers = AppendThirdLine(powerTable, accumulated.powers);
      const std::string temperatures = AppendThirdLine(temperatureTable, accumulated.temperatures);
      if (state.listener != nullptr) {
        const AcceptedPoint point = PointOf(results, powers, temperatures);
        state.listener->Accepted(std::span<const AcceptedPoint>(&point, 1));
      }
      iterationsAtPoint = 0;
    } else if (++iterationsAtPoint >= kMaxIterationsPerPoint) {
      throw Failure(runaway.UnsettledText(state, sweepName, state.previousTemperature,
                                          state.deviceTemperature, kMaxIterationsPerPoint));
    }

    step.Next(state.problem, state.previousTemperature, state.deviceTemperature);
    state.deviceTemperature = state.previousTemperature;
    state.ShowStatus(StatusLine::kPosition,
                     ("dc = " + ShortNumber(state.sweepValue)).substr(0, 16));
    DeleteIterationFiles(state, {".csd", ".txt", ".mif", ".moc", ".tem", ".out", ".cir"});
    ++state.iterationNumber;
    // A sweep of one point (start = end) must still settle that point before it ends.
  } while (iterationsAtPoint > 0 || !SweepEnded(state));
  outputs.Commit();  // a sweep may end without a settled point
}

void EndFailedRun(AnalysisState& state, RunOutputs& outputs, std::string_view failureText) {
  outputs.Discard();
  RemoveScratchOfAFullDisk(state, failureText, {".csd", ".txt", ".mif", ".moc", ".tem"}, {});
}

}  // namespace

void RunDcAnalysis(AnalysisState& state, const DcOptions& options) {
  const SimulatorSession simulator;  // one simulator process for the whole run
  const AccumulatedNames accumulated = AccumulatedNamesOf(state);
  RunOutputs outputs(state, {accumulated.results, accumulated.powers, accumulated.temperatures});
  try {
    PrepareRun(state, outputs, CircuitAnalysis::kDc);
    RunDc(state, outputs, accumulated, options);
  } catch (const Failure& failure) {
    EndFailedRun(state, outputs, failure.what());
    throw;
  } catch (...) {
    EndFailedRun(state, outputs, "");
    throw;
  }
}

}  // namespace etherm
