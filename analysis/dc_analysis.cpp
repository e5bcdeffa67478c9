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
#include "netlist/circuit_writer.h"
#include "power/power_table.h"
#include "simulator/run_simulator.h"
#include "textio/failure.h"
#include "thermal/thermal.h"

namespace etherm {

namespace {

// A point still unsettled after this many iterations is in thermal runaway or oscillating.
constexpr int kMaxIterationsPerPoint = 100;

// Appends line 3 of the table to the accumulated file and returns it.
std::string AppendThirdLine(AnalysisState& state, const std::string& tableName,
                            TextFile& accumulated) {
  TextFile table;
  table.OpenForReading(tableName);
  SkipLine(table);
  SkipLine(table);
  const std::string line = ReadString(table, kLineCapacity);
  table.Close();
  KeepInLineBuffer(state, line);
  WriteText(accumulated, line);
  WriteLineEnd(accumulated);
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
  return (state.sweepValue >= state.analysisEnd && state.stepSize > 0) ||
         (state.sweepValue <= state.analysisEnd && state.stepSize < 0);
}

// Tells the listener the loop gain of the point about to be accepted, and warns of runaway.
void ReportLoopGain(AnalysisState& state, const DcRunawayWatch& runaway,
                    const std::string& sweepName) {
  if (state.listener == nullptr) return;
  const LoopGainReport report = runaway.Report(state, state.sweepValue);
  if (report.runaway) {
    state.listener->Warning(runaway.RunawayWarning(state, sweepName));
  }
  state.listener->LoopGainFound(report);
}

// Everything a DC run can check before it touches a file; a run refused here leaves the files
// of the last run as they were.
void PrepareDcRun(AnalysisState& state, const RunOutputs& outputs) {
  state.probeNodeNames.Fill(120);
  for (int i = 1; i <= kMaxDcNodeValues; ++i) {
    state.nodeValue[i] = 0;
    state.previousNodeValue[i] = 0;
  }
  const Problem problem = ReadProblemFile(state.baseName);
  CheckDcProblem(problem);
  UseProblem(state, problem);
  CheckCircuitForProblem(state, CircuitAnalysis::kDc);
  CheckSimulatorSetup();
  outputs.Check();
}

void RunDc(AnalysisState& state, RunOutputs& outputs, const AccumulatedNames& accumulated,
           const DcOptions& options) {
  BeginRun(state, outputs, accumulated);
  HotDeviceWarnings warnings;
  DcRunawayWatch runaway;
  DcStep step(options.accelerate);
  const std::string sweepName = SweptSourceName(state.baseName + ".cir");

  int iterationsAtPoint = 0;
  do {
    WriteDcCircuitFile(state);
    LogIterationStart(state);
    const double simulatorSeconds =
        RunSimulator(state.baseName + state.iterationText, state.runLogName, SimulationKind::kDc,
                     state.listener);

    const std::string iterationName = state.baseName + state.iterationText;
    ExtractDcResults(state, iterationName + ".csd", iterationName + ".txt");
    ComputeDcPower(state, iterationName + ".txt", iterationName + ".moc");
    const DcTemperatureLine line = ComputeDcTemperatures(
        state.problem.network, iterationName + ".moc", iterationName + ".tem");
    runaway.Add(state, state.previousTemperature, line.powers);
    for (std::size_t i = 0; i < runaway.Slopes().size(); ++i) {
      if (runaway.Slopes()[i]) step.NoteSlope(static_cast<int>(i + 1), *runaway.Slopes()[i]);
    }
    const DcSettleResult test =
        DcTemperaturesSettled(state.deviceCount, state.previousTemperature, iterationName + ".tem");
    for (int i = 1; i <= state.deviceCount; ++i) state.deviceTemperature[i] = test.temperatures[i];
    const bool settled = test.settled;
    ReportIteration(state, state.sweepValue, std::nullopt, state.previousTemperature,
                    test.temperatures, simulatorSeconds);

    if (settled) {
      outputs.Commit();
      ReportLoopGain(state, runaway, sweepName);
      runaway.NewPoint();
      warnings.CheckSweepPoint(state, state.deviceTemperature, state.sweepValue);
      state.resultFile.OpenForAppending(accumulated.results);
      const std::string results = AppendThirdLine(state, iterationName + ".txt", state.resultFile);
      state.resultFile.Close();
      state.sweepValue += state.stepSize;
      state.previousNodeValue = state.nodeValue;
      AppendRunLogReal(state, "dc= ", state.sweepValue);
      state.powerFile.OpenForAppending(accumulated.powers);
      const std::string powers = AppendThirdLine(state, iterationName + ".moc", state.powerFile);
      state.powerFile.Close();
      state.temperatureFile.OpenForAppending(accumulated.temperatures);
      const std::string temperatures =
          AppendThirdLine(state, iterationName + ".tem", state.temperatureFile);
      state.temperatureFile.Close();
      if (state.listener != nullptr) {
        const AcceptedPoint point = PointOf(results, powers, temperatures);
        state.listener->Accepted(std::span<const AcceptedPoint>(&point, 1));
      }
      iterationsAtPoint = 0;
    } else if (++iterationsAtPoint >= kMaxIterationsPerPoint) {
      throw Failure(runaway.UnsettledText(state, sweepName, state.previousTemperature,
                                          state.deviceTemperature, kMaxIterationsPerPoint));
    }

    step.Next(state, state.previousTemperature, state.deviceTemperature);
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
  CloseAllFiles(state);
  outputs.Discard();
  RemoveScratchOfAFullDisk(state, failureText, {".csd", ".txt", ".mif", ".moc", ".tem"}, {});
}

}  // namespace

void RunDcAnalysis(AnalysisState& state, const DcOptions& options) {
  const AccumulatedNames accumulated = AccumulatedNamesOf(state);
  RunOutputs outputs(state, {accumulated.results, accumulated.powers, accumulated.temperatures});
  try {
    PrepareDcRun(state, outputs);
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
