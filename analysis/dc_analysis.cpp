#include <charconv>
#include <string>

#include "analysis/analysis.h"
#include "analysis/run_files.h"
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

constexpr double kRelaxation = 0.5;
// A point still unsettled after this many iterations is in thermal runaway or oscillating.
constexpr int kMaxIterationsPerPoint = 100;

// The sweep value in at most 12 characters for the "dc =" status line.
std::string ShortNumber(double x) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 6);
  return std::string(buf, res.ptr);
}

// Appends line 3 of the table to the accumulated file.
void AppendThirdLine(AnalysisState& state, const std::string& tableName, TextFile& accumulated) {
  TextFile& table = state.workFileB;
  table.OpenForReading(tableName);
  SkipLine(table);
  SkipLine(table);
  const std::string line = ReadString(table, kLineCapacity);
  table.Close();
  KeepInLineBuffer(state, line);
  WriteText(accumulated, line);
  WriteLineEnd(accumulated);
}

bool SweepEnded(const AnalysisState& state) {
  return (state.sweepValue >= state.analysisEnd && state.stepSize > 0) ||
         (state.sweepValue <= state.analysisEnd && state.stepSize < 0);
}

void RunDc(AnalysisState& state) {
  state.probeNodeNames.Fill(120);
  for (int i = 1; i <= kMaxDcNodeValues; ++i) {
    state.nodeValue[i] = 0;
    state.previousNodeValue[i] = 0;
  }
  const Problem problem = ReadProblemFile(state.baseName);
  CheckDcProblem(problem);
  UseProblem(state, problem);
  CheckCircuitForProblem(state, CircuitAnalysis::kDc);
  const AccumulatedNames accumulated = BeginRun(state);

  int iterationsAtPoint = 0;
  do {
    WriteDcCircuitFile(state);
    LogIterationStart(state);
    RunSimulator(state.baseName + state.iterationText, SimulationKind::kDc, state.listener);

    const std::string iterationName = state.baseName + state.iterationText;
    ExtractDcResults(state, iterationName + ".csd", iterationName + ".txt");
    ComputeDcPower(state, iterationName + ".txt", iterationName + ".moc");
    ComputeDcTemperatures(state.problem.network, iterationName + ".moc", iterationName + ".tem");
    const DcSettleResult test =
        DcTemperaturesSettled(state.deviceCount, state.previousTemperature, iterationName + ".tem");
    for (int i = 1; i <= state.deviceCount; ++i) state.deviceTemperature[i] = test.temperatures[i];
    const bool settled = test.settled;

    if (settled) {
      state.resultFile.OpenForAppending(accumulated.results);
      AppendThirdLine(state, iterationName + ".txt", state.resultFile);
      state.resultFile.Close();
      state.sweepValue += state.stepSize;
      state.previousNodeValue = state.nodeValue;
      AppendRunLogReal(state, "dc= ", state.sweepValue);
      state.powerFile.OpenForAppending(accumulated.powers);
      AppendThirdLine(state, iterationName + ".moc", state.powerFile);
      state.powerFile.Close();
      state.temperatureFile.OpenForAppending(accumulated.temperatures);
      AppendThirdLine(state, iterationName + ".tem", state.temperatureFile);
      state.temperatureFile.Close();
      iterationsAtPoint = 0;
    } else if (++iterationsAtPoint >= kMaxIterationsPerPoint) {
      throw Failure("The DC point at the sweep value " + ShortNumber(state.sweepValue) +
                    " has not settled after " + std::to_string(kMaxIterationsPerPoint) +
                    " iterations; the simulator was given " +
                    TemperatureList(state, state.previousTemperature) + " and its results gave " +
                    TemperatureList(state, state.deviceTemperature));
    }

    for (int i = 1; i <= kMaxDevices; ++i) {
      state.deviceTemperature[i] =
          (state.deviceTemperature[i] + state.previousTemperature[i]) * kRelaxation;
      state.previousTemperature[i] = state.deviceTemperature[i];
    }
    state.ShowStatus(StatusLine::kPosition, ("dc = " + ShortNumber(state.sweepValue)).substr(0, 16));
    DeleteIterationFiles(state, {".csd", ".txt", ".mif", ".moc", ".tem", ".out", ".cir"});
    ++state.iterationNumber;
  } while (!SweepEnded(state));
}

}  // namespace

void RunDcAnalysis(AnalysisState& state) {
  try {
    RunDc(state);
  } catch (const Failure&) {
    CloseAllFiles(state);
    throw;
  }
}

}  // namespace etherm
