#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/appended_rows.h"
#include "analysis/hot_devices.h"
#include "analysis/run_files.h"
#include "analysis/run_outputs.h"
#include "extraction/result_extraction.h"
#include "model/problem_file.h"
#include "netlist/circuit_check.h"
#include "netlist/circuit_writer.h"
#include "power/power_table.h"
#include "simulator/run_simulator.h"
#include "simulator/simulator_session.h"
#include "textio/failure.h"
#include "textio/number_text.h"
#include "thermal/thermal.h"

namespace etherm {

namespace {

constexpr double kFirstWindowEnd = 9e-05;
// A window start that stays put this long will not move: the temperatures oscillate.
constexpr int kMaxIterationsWithoutAdvance = 100;

void WriteFirstHistoryLine(AnalysisState& state, const std::string& historyName) {
  TextFile history;
  history.OpenForWriting(historyName);
  WriteText(history, "0 ");
  for (int i = 1; i <= state.deviceCount; ++i) {
    for (int k = 1; k <= state.selfTermCount[i]; ++k) WriteText(history, "0 ");
  }
  WriteLineEnd(history);
  history.Close();
}

std::vector<std::string> SplitTokens(const std::string& text) {
  std::vector<std::string> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
    const std::size_t start = i;
    while (i < text.size() && static_cast<unsigned char>(text[i]) > 32) ++i;
    if (i > start) tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

// Appends to the history the line of "temp.txt" at or after the new window start, holding
// after its time only each device's own term rises. A "temp.txt" line lists the rises of every
// pair, four slots a pair at time 0, so the own terms are picked from their places; the line
// is read whole, since ten devices' rises do not fit 200 characters.
void AppendTermRiseHistory(AnalysisState& state, const std::string& historyName) {
  TextFile rises;
  rises.OpenForReading(kTermRiseFileName);
  for (;;) {
    RequireMoreLines(rises, state.windowStartTime);
    state.sampleTime = ReadReal(rises);
    if (state.sampleTime >= state.windowStartTime) break;
    SkipLine(rises);  // the rises of earlier lines are not needed
  }
  const std::string rest = ReadString(rises, 1 << 24);
  rises.Close();

  const std::vector<std::string> values = SplitTokens(rest);
  const bool steadyState = state.sampleTime == 0;
  TextFile history;
  history.OpenForAppending(historyName);
  WriteReal(history, state.sampleTime);
  WriteChar(history, ' ');
  WriteChar(history, ' ');  // the rest after the time begins with the blank that followed it
  std::size_t offset = 0;
  for (int i = 1; i <= state.deviceCount; ++i) {
    for (int j = 1; j <= state.deviceCount; ++j) {
      const int slots = steadyState ? kMaxTerms : std::max(state.termCount[i][j], 0);
      if (i == j) {
        if (offset + static_cast<std::size_t>(state.selfTermCount[i]) > values.size()) {
          throw Failure(std::string("The line of \"") + kTermRiseFileName + "\" at time " +
                        FormatExponent(state.sampleTime, 23).substr(1) +
                        " s holds fewer term rises than the problem has terms");
        }
        for (int k = 0; k < state.selfTermCount[i]; ++k) {
          const std::string& v = values[offset + static_cast<std::size_t>(k)];
          if (v.size() < 23) WriteText(history, std::string(23 - v.size(), ' '));
          WriteText(history, v);
          WriteChar(history, ' ');
        }
      }
      offset += static_cast<std::size_t>(slots);
    }
  }
  WriteLineEnd(history);
  history.Close();
}

// The current line of a table from the reading position, without its line end; nothing read.
std::string_view PeekLine(const TextFile& table) {
  const char* p = table.data();
  std::size_t end = table.position();
  while (end < table.end() && p[end] != '\r') ++end;
  return std::string_view(p + table.position(), end - table.position());
}

// Reads table lines as time and rest until one at or after `until` (inclusive), appending
// them rebuilt to `target`; temperature lines go past `warnings` when given.
void CopyThrough(TextFile& table, TextFile& target, double until,
                 HotDeviceWarnings* warnings = nullptr, const AnalysisState* state = nullptr) {
  std::string rest;
  double time;
  do {
    if (warnings != nullptr) warnings->CheckTimeLine(*state, PeekLine(table));
    time = ReadTimedLine(table, &rest, until);
    WriteRebuiltLine(target, time, rest);
  } while (time < until);
}

// Passes over table lines through the one whose time equals `time` exactly, appending them
// rebuilt to `target` only when `copy` is set; copied temperature lines go past `warnings`
// when given.
void PassThroughExactly(TextFile& table, TextFile& target, double time, bool copy,
                        HotDeviceWarnings* warnings = nullptr,
                        const AnalysisState* state = nullptr) {
  std::string rest;
  double read;
  do {
    if (copy) {
      if (warnings != nullptr) warnings->CheckTimeLine(*state, PeekLine(table));
      read = ReadTimedLine(table, &rest, time);
      WriteRebuiltLine(target, read, rest);
    } else {
      RequireMoreLines(table, time);
      read = ReadReal(table);
      SkipLine(table);
    }
  } while (read != time);
}

void CopyHeaderLine(TextFile& table, TextFile& target) {
  const std::string line = ReadString(table, kLineCapacity);
  SkipLine(table);
  WriteText(target, line);
  WriteLineEnd(target);
}

// Appends the accepted lines of the iteration's tables to the accumulated files.
void AcceptLines(AnalysisState& state, TextFile& results, TextFile& powers, TextFile& temperatures,
                 HotDeviceWarnings& warnings) {
  const bool firstAdvance = !state.laterWindow;
  if (firstAdvance) {
    SkipLine(results);
    SkipLine(powers);
    const std::string title = ReadString(temperatures, kLineCapacity);
    SkipLine(temperatures);
    for (TextFile* f : {&state.powerFile, &state.temperatureFile, &state.resultFile}) {
      WriteText(*f, title);
      WriteLineEnd(*f);
    }
    CopyHeaderLine(results, state.resultFile);
    CopyHeaderLine(powers, state.powerFile);
    CopyHeaderLine(temperatures, state.temperatureFile);
  } else {
    for (TextFile* f : {&results, &powers, &temperatures}) {
      SkipLine(*f);
      SkipLine(*f);
    }
  }

  CopyThrough(results, state.resultFile, state.windowStartTime);

  PassThroughExactly(powers, state.powerFile, state.previousWindowStartTime, firstAdvance);
  do {
    RequireMoreLines(powers, state.windowStartTime);
    state.sampleTime = ReadReal(powers);
    WriteReal(state.powerFile, state.sampleTime);
    WriteChar(state.powerFile, ' ');
    for (int i = 1; i <= state.deviceCount; ++i) {
      // Held extended, as the window-end prediction computes with it.
      state.powerSample[i] = ReadExtended(powers);
      WriteReal(state.powerFile, static_cast<double>(state.powerSample[i]));
      WriteChar(state.powerFile, ' ');
    }
    SkipLine(powers);
    WriteLineEnd(state.powerFile);
  } while (state.sampleTime < state.windowStartTime);

  PassThroughExactly(temperatures, state.temperatureFile, state.previousWindowStartTime,
                     firstAdvance, &warnings, &state);
  CopyThrough(temperatures, state.temperatureFile, state.windowStartTime, &warnings, &state);

  if (state.windowStartTime > state.previousWindowStartTime) ComputeWindowEnd(state);
}

void RunTransient(AnalysisState& state, const TransientOptions& options, RunOutputs& outputs,
                  const AccumulatedNames& accumulated, const std::string& historyName) {
  BeginRun(state, outputs, accumulated);
  WriteFirstHistoryLine(state, outputs.Name(historyName));
  state.windowEndTime = kFirstWindowEnd;
  state.windowStartTime = 0;
  state.previousWindowStartTime = 0;
  state.sampleTime = 0;
  state.laterWindow = false;
  HotDeviceWarnings warnings;

  int iterationsWithoutAdvance = 0;
  do {
    WriteWindowCircuit(state);
    LogIterationStart(state);
    const double simulatorSeconds =
        RunSimulator(state.baseName + state.iterationText, state.runLogName,
                     SimulationKind::kTransient, state.listener);

    const std::string iterationName = state.baseName + state.iterationText;
    ExtractTransientResults(iterationName + ".csd", iterationName + ".txt", state.sampleTime,
                            state.windowEndTime);
    ComputeTransientPower(state, iterationName + ".txt", iterationName + ".moc",
                          outputs.Name(accumulated.powers));
    ComputeTransientTemperatures(state.problem.network, iterationName + ".moc",
                                 iterationName + ".tem");
    const DeviceTable<double> given = state.previousTemperature;
    state.previousWindowStartTime = state.windowStartTime;
    const RestartTime restart = FindRestartTime(state.deviceCount, state.previousWindowStartTime,
                                                given, iterationName + ".tem");
    state.windowStartTime = restart.time;
    for (int i = 1; i <= state.deviceCount; ++i) {
      state.deviceTemperature[i] = restart.temperatures[i];
    }
    ReportIteration(state, state.previousWindowStartTime, restart.time, given, restart.temperatures,
                    simulatorSeconds);
    state.previousTemperature = state.deviceTemperature;
    const bool accepting = state.windowStartTime > 0;
    if (accepting) outputs.Commit();  // from here on the new results replace the earlier ones

    AppendTermRiseHistory(state, outputs.Name(historyName));
    AppendRunLogReal(state, "t0= ", state.windowStartTime);
    state.ShowStatus(StatusLine::kPosition, ("t0 =" + state.startTimeText).substr(0, 16));

    const AppendedRows appended(outputs.Name(accumulated.results), outputs.Name(accumulated.powers),
                                outputs.Name(accumulated.temperatures));
    const int headerLines = state.laterWindow ? 0 : 2;  // the title and the names, once
    state.powerFile.OpenForAppending(outputs.Name(accumulated.powers));
    state.temperatureFile.OpenForAppending(outputs.Name(accumulated.temperatures));
    state.resultFile.OpenForAppending(outputs.Name(accumulated.results));
    TextFile results;
    TextFile powers;
    TextFile temperatures;
    results.OpenForReading(iterationName + ".txt");
    powers.OpenForReading(iterationName + ".moc");
    temperatures.OpenForReading(iterationName + ".tem");
    if (accepting) {
      AcceptLines(state, results, powers, temperatures, warnings);
      state.laterWindow = true;
    }
    for (TextFile* f : {&state.powerFile, &state.temperatureFile, &state.resultFile, &results,
                        &powers, &temperatures}) {
      f->Close();
    }
    if (accepting) appended.Report(state, headerLines);
    DeleteIterationFiles(state, {".csd", ".txt", ".moc", ".tem"});
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
  } while (state.windowStartTime < state.analysisEnd);
  outputs.Commit();
}

void EndFailedRun(AnalysisState& state, RunOutputs& outputs, std::string_view failureText) {
  CloseAllFiles(state);
  outputs.Discard();
  RemoveScratchOfAFullDisk(state, failureText, {".csd", ".txt", ".moc", ".tem"},
                           {kTermRiseFileName});
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
    RunTransient(state, options, outputs, accumulated, historyName);
  } catch (const Failure& failure) {
    EndFailedRun(state, outputs, failure.what());
    throw;
  } catch (...) {
    EndFailedRun(state, outputs, "");
    throw;
  }
}

}  // namespace etherm
