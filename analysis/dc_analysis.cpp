#include <string>

#include "analysis/analysis.h"
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

constexpr double kRelaxation = 0.5;
// A point still unsettled after this many iterations is in thermal runaway or oscillating.
constexpr int kMaxIterationsPerPoint = 100;

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

// Everything a DC run can check before it touches a file; a run refused here leaves the files
// of the last run as they were.
void PrepareDcRun(AnalysisState& state, const RunOutputs& outputs) {
  state.probeNodeNames.Fill(120);
  for (int i = 1; i <= kMaxDcNodeValues; ++i) {
    state.nodeValue[i] = 0;
    state.previousNodeValue[i] = 0;
  }
  ReadProblemFile(state);
  CheckDcProblem(state);
  CheckCircuitForProblem(state, CircuitAnalysis::kDc);
  CheckSimulatorSetup();
  outputs.Check();
}

void RunDc(AnalysisState& state, RunOutputs& outputs, const AccumulatedNames& accumulated) {
  BeginRun(state, outputs, accumulated);
  HotDeviceWarnings warnings;

  int iterationsAtPoint = 0;
  do {
    WriteDcCircuitFile(state);
    LogIterationStart(state);
    RunSimulator(state, SimulationKind::kDc);

    const std::string iterationName = state.baseName + state.iterationText;
    ExtractDcResults(state, iterationName + ".csd", iterationName + ".txt");
    state.stageInputName = iterationName + ".moc";
    ComputeDcPower(state, iterationName + ".txt", iterationName + ".moc");
    state.stageOutputName = iterationName + ".tem";
    ComputeDcTemperatures(state, iterationName + ".moc", iterationName + ".tem");
    const bool settled = DcTemperaturesSettled(state, iterationName + ".tem");

    if (settled) {
      outputs.Commit();
      warnings.CheckSweepPoint(state, state.deviceTemperature, state.sweepValue);
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
    state.DrawStatusLine(30, 60, ("dc = " + ShortNumber(state.sweepValue)).substr(0, 16));
    DeleteIterationFiles(state, {".csd", ".txt", ".mif", ".moc", ".tem", ".out", ".cir"});
    ++state.iterationNumber;
  } while (!SweepEnded(state));
  outputs.Commit();  // a sweep may end without a settled point
}

void EndFailedRun(AnalysisState& state, RunOutputs& outputs, std::string_view failureText) {
  CloseAllFiles(state);
  outputs.Discard();
  RemoveScratchOfAFullDisk(state, failureText, {".csd", ".txt", ".mif", ".moc", ".tem"}, {});
}

}  // namespace

void RunDcAnalysis(AnalysisState& state) {
  const AccumulatedNames accumulated = AccumulatedNamesOf(state);
  RunOutputs outputs(state, {accumulated.results, accumulated.powers, accumulated.temperatures});
  try {
    PrepareDcRun(state, outputs);
    RunDc(state, outputs, accumulated);
  } catch (const Failure& failure) {
    EndFailedRun(state, outputs, failure.what());
    throw;
  } catch (...) {
    EndFailedRun(state, outputs, "");
    throw;
  }
}

}  // namespace etherm
