#include <algorithm>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/dc_acceleration.h"
#include "analysis/dc_runaway.h"
#include "analysis/dc_tables.h"
#include "analysis/hot_devices.h"
#include "analysis/run_files.h"
#include "analysis/run_outputs.h"
#include "extraction/result_extraction.h"
#include "model/file_names.h"
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

// The texts of the iteration in progress when its files are not written: each by the name of
// the file it stands for. A failure writes them out, so that the files its text names are there.
struct IterationTexts {
  std::vector<std::pair<std::string, std::string>> files;
  void Keep(const std::string& name, const std::string& text) { files.emplace_back(name, text); }
  const std::string& Text(const std::string& name) const {
    for (const auto& [kept, text] : files)
      if (kept == name) return text;
    throw Failure("File not found: " + name);
  }
};

// Opens the iteration's table `name`: its file, or the text that stands for it.
void OpenTable(TextFile& table, const std::string& name, const IterationTexts* texts) {
  if (texts == nullptr) {
    table.OpenForReading(name);
  } else {
    table.OpenText(name, texts->Text(name));
  }
}

void OpenNewTable(TextFile& table, const std::string& name, const IterationTexts* texts) {
  if (texts == nullptr) {
    table.OpenForWriting(name);
  } else {
    table.OpenInMemory(name);
  }
}

void CloseNewTable(TextFile& table, IterationTexts* texts) {
  if (texts == nullptr) {
    table.Close();
  } else {
    const std::string name = table.name();
    texts->Keep(name, table.TakeText());
  }
}

// Appends line 3 of the table to the accumulated file and returns it.
std::string AppendThirdLine(const std::string& tableName, const std::string& accumulatedName,
                            const IterationTexts* texts) {
  TextFile table;
  OpenTable(table, tableName, texts);
  const std::string line = ThirdLine(table);
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
           const DcOptions& options, IterationTexts& current, std::string& lastCircuit) {
  // Without the files, each iteration's circuit and tables stay in memory and the serving
  // simulator takes the circuit and returns the probe data over its pipe: creating and
  // removing six files an iteration costs ext4 more than the iteration's simulation.
  IterationTexts* texts = options.keepIterationFiles ? nullptr : &current;
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
    current.files.clear();
    const DcPoint point{state.sweepValue, previousNodeValues};
    const RunFileNames names{state.baseName};
    double simulatorSeconds = 0;
    if (texts == nullptr) {
      KeepWritten(state, WriteDcCircuitFile(WriterInputOf(state), point));
      LogIterationStart(state);
      simulatorSeconds = RunSimulator(state.baseName + state.iterationText, state.runLogName,
                                      SimulationKind::kDc, state.listener);
    } else {
      KeepWritten(state, WriteDcCircuitText(WriterInputOf(state), point, &lastCircuit));
      current.Keep(names.IterationCircuit(state.iterationText), lastCircuit);
      LogIterationStart(state);
      SimulatorResults results =
          RunSimulatorOnText(state.baseName + state.iterationText, lastCircuit, state.runLogName,
                             SimulationKind::kDc, state.listener);
      simulatorSeconds = results.seconds;
      current.Keep(names.IterationProbeData(state.iterationText), std::move(results.probeData));
    }

    const std::string& it = state.iterationText;
    const std::string table = names.IterationResults(it);
    const std::string powerTable = names.IterationPowers(it);
    const std::string temperatureTable = names.IterationTemperatures(it);
    if (texts == nullptr) {
      ExtractDcResults(names.IterationProbeData(it), table);
      nodeValues = ComputeDcPower(state.problem, table, powerTable, nodeValues);
    } else {
      current.Keep(table,
                   ExtractDcTableFromText(names.IterationProbeData(it),
                                          current.Text(names.IterationProbeData(it)), table));
      TextFile in, out;
      OpenTable(in, table, texts);
      OpenNewTable(out, powerTable, texts);
      nodeValues = ComputeDcPower(state.problem, in, out, nodeValues);
      CloseNewTable(out, texts);
    }
    DcTemperatureLine line;
    {
      TextFile in, out;
      OpenTable(in, powerTable, texts);
      OpenNewTable(out, temperatureTable, texts);
      line = ComputeDcTemperatures(state.problem.network, in, out);
      in.Close();
      CloseNewTable(out, texts);
    }
    runaway.Add(state.problem, state.previousTemperature, line.powers);
    for (std::size_t i = 0; i < runaway.Slopes().size(); ++i) {
      if (runaway.Slopes()[i]) step.NoteSlope(static_cast<int>(i + 1), *runaway.Slopes()[i]);
    }
    DcSettleResult test;
    {
      TextFile in;
      OpenTable(in, temperatureTable, texts);
      test = DcTemperaturesSettled(deviceCount, state.previousTemperature, in);
    }
    for (int i = 1; i <= deviceCount; ++i) state.deviceTemperature[i] = test.temperatures[i];
    const bool settled = test.settled;
    ReportIteration(state, state.sweepValue, std::nullopt, state.previousTemperature,
                    test.temperatures, simulatorSeconds);

    if (settled) {
      outputs.Commit();
      ReportLoopGain(state, runaway, sweepName);
      runaway.NewPoint();
      warnings.CheckSweepPoint(state, state.deviceTemperature, state.sweepValue);
      const std::string results = AppendThirdLine(table, accumulated.results, texts);
      state.sweepValue += state.problem.sweepStep;
      previousNodeValues = nodeValues;
      AppendRunLogReal(state, "dc= ", state.sweepValue);
      const std::string powers = AppendThirdLine(powerTable, accumulated.powers, texts);
      const std::string temperatures =
          AppendThirdLine(temperatureTable, accumulated.temperatures, texts);
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
    current.files.clear();
    ++state.iterationNumber;
    // A sweep of one point (start = end) must still settle that point before it ends.
  } while (iterationsAtPoint > 0 || !SweepEnded(state));
  outputs.Commit();  // a sweep may end without a settled point
}

// Writes `text` as the file `name`, created anew.
void WriteWholeFile(const std::string& name, const std::string& text) {
  TextFile file;
  file.OpenForReplacing(name);
  WriteText(file, text);
  file.Close();
}

// The copy of the last iteration's circuit stays after the run, as the simulator's passes on
// files leave it; in memory it is written once, at the end.
void WriteLastCircuitCopy(const std::string& lastCircuit) {
  if (!lastCircuit.empty()) WriteWholeFile(kSimulatorCircuitName, lastCircuit);
}

void EndFailedRun(AnalysisState& state, RunOutputs& outputs, std::string_view failureText,
                  const IterationTexts& current, const std::string& lastCircuit) {
  outputs.Discard();
  const bool diskFull = failureText == "Disk full";
  // The failed iteration's files, which its failure text may name, are there to look at as when
  // they are written; a full disk gets nothing more.
  if (!diskFull) {
    try {
      WriteLastCircuitCopy(lastCircuit);
      for (const auto& [name, text] : current.files) {
        std::error_code ec;
        if (!std::filesystem::exists(name, ec)) WriteWholeFile(name, text);
      }
    } catch (const Failure&) {
      // The run's own failure is the one to report.
    }
  }
  RemoveScratchOfAFullDisk(state, failureText, {".csd", ".txt", ".mif", ".moc", ".tem"}, {});
}

}  // namespace

void RunDcAnalysis(AnalysisState& state, const DcOptions& options) {
  SimulatorSession simulator;  // one simulator process for the whole run
  // Started now, the simulator loads ngspice while the run reads and checks its inputs.
  try {
    simulator.Prestart(SimulatorProgram(), std::min<double>(sim::serve::kReadyTimeoutSeconds,
                                                            SimulatorTimeoutSeconds()));
  } catch (const Failure&) {
    // A bad ETHERM_SIM_TIMEOUT: the run's own checks say so.
  }
  const AccumulatedNames accumulated = AccumulatedNamesOf(state);
  RunOutputs outputs(state, {accumulated.results, accumulated.powers, accumulated.temperatures});
  IterationTexts current;
  std::string lastCircuit;
  try {
    PrepareRun(state, outputs, CircuitAnalysis::kDc);
    RunDc(state, outputs, accumulated, options, current, lastCircuit);
    WriteLastCircuitCopy(lastCircuit);
  } catch (const Failure& failure) {
    EndFailedRun(state, outputs, failure.what(), current, lastCircuit);
    throw;
  } catch (...) {
    EndFailedRun(state, outputs, "", current, lastCircuit);
    throw;
  }
}

}  // namespace etherm
