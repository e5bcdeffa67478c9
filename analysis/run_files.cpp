#include "analysis/run_files.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <utility>

#include "analysis/run_outputs.h"
#include "model/problem_file.h"
#include "netlist/circuit_line.h"
#include "netlist/circuit_temperature.h"
#include "simulator/run_simulator.h"
#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm {

void AppendRunLog(AnalysisState& state, std::string_view text) {
  TextFile log;
  log.OpenForAppending(state.runLogName);
  WriteText(log, text);
  WriteLineEnd(log);
  log.Close();
}

void AppendRunLogReal(AnalysisState& state, std::string_view text, double value) {
  TextFile log;
  log.OpenForAppending(state.runLogName);
  WriteText(log, text);
  WriteReal(log, value);
  WriteLineEnd(log);
  log.Close();
}

void CreateEmptyFile(const std::string& name) {
  TextFile file;
  file.OpenForWriting(name);
  file.Close();
}

AccumulatedNames AccumulatedNamesOf(const AnalysisState& state) {
  const RunFileNames names{state.baseName};
  return {names.Results(), names.Powers(), names.Temperatures()};
}

void CheckBaseNameLength(const std::string& baseName) {
  const std::filesystem::path path(baseName);
  const std::string name = path.filename().string();
  const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
  long most = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (most <= 0) most = NAME_MAX;
  const std::size_t longest = name.size() + kLongestRunNameTail;
  if (longest > static_cast<std::size_t>(most)) {
    throw Failure("The base name \"" + name + "\" is too long: it has " +
                  std::to_string(name.size()) + " characters, and the run makes file names of " +
                  std::to_string(kLongestRunNameTail) +
                  " more (an iteration's number and \".stan.part\"), where the folder takes " +
                  std::to_string(most) + "; use at most " +
                  std::to_string(static_cast<std::size_t>(most) - kLongestRunNameTail));
  }
}

void PrepareRun(AnalysisState& state, RunOutputs& outputs, CircuitAnalysis analysis) {
  outputs.LockFolder();
  CheckBaseNameLength(state.baseName);
  state.probeNodeNames.Fill(120);
  const Problem problem = ReadProblemFile(state.baseName);
  if (analysis == CircuitAnalysis::kDc) {
    CheckDcProblem(problem);
  } else {
    CheckTransientProblem(problem);
  }
  UseProblem(state, problem);
  CheckCircuitForProblem(problem, state.baseName, analysis);
  state.circuitTemperature.reset();
  state.circuitOwnTemperature.clear();
  if (const auto own = CircuitTemperatureSetting(state.baseName + ".cir")) {
    state.circuitOwnTemperature = *own;
  } else if (state.ambientForCircuit) {
    // In the circuit's degrees, as the modelled devices get theirs: kelvin less 273.
    state.circuitTemperature = state.ambientTemperature - 273.0;
  }
  CheckSimulatorSetup();
  outputs.Check();
}

void BeginRun(AnalysisState& state, RunOutputs& outputs, const AccumulatedNames& names) {
  outputs.Begin();
  for (int i = 1; i <= state.problem.deviceCount(); ++i) {
    state.deviceTemperature[i] = state.problem.network.ambient;
  }
  state.previousTemperature = state.deviceTemperature;
  state.iterationNumber = 1;
  CreateEmptyFile(outputs.Name(names.powers));
  CreateEmptyFile(outputs.Name(names.temperatures));
  CreateEmptyFile(outputs.Name(names.results));
}

CircuitWriterInput WriterInputOf(const AnalysisState& state) {
  return {state.problem,           state.baseName,       state.iterationNumber,
          state.deviceTemperature, state.probeNodeNames, state.circuitTemperature};
}

void KeepWritten(AnalysisState& state, const WrittenCircuit& written) {
  state.iterationText = written.iterationText;
  state.probeNodeNames = written.probeNodeNames;
  if (!written.startTimeText.empty()) state.startTimeText = written.startTimeText;
}

void WriteWindowCircuit(AnalysisState& state, const std::string& resultsName,
                        std::string resultsText, int resultsFirstLine,
                        const CircuitState* circuitState, bool marginOfWindow) {
  // Named before the writer runs, so that a full disk's scratch is found when it fails.
  state.iterationText = IterationText(state.iterationNumber);
  KeepWritten(state, WriteTransientCircuitFile(
                         WriterInputOf(state),
                         {state.windowStartTime, state.windowEndTime, resultsName,
                          std::move(resultsText), resultsFirstLine, circuitState, marginOfWindow}));
}

void LogIterationStart(AnalysisState& state) {
  AppendRunLog(state, "startuj\xEA");
  state.ShowStatus(StatusLine::kIteration, "startuję");
  if (state.listener != nullptr) state.listener->IterationStarted(state.iterationNumber);
}

std::vector<double> LineNumbers(std::string_view line) {
  std::vector<double> numbers;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && static_cast<unsigned char>(line[i]) <= 32) ++i;
    const std::size_t start = i;
    while (i < line.size() && static_cast<unsigned char>(line[i]) > 32) ++i;
    if (i == start) break;
    double value = 0;
    if (!ParseRealToken(line.substr(start, i - start), &value)) break;
    numbers.push_back(value);
  }
  return numbers;
}

void ReportIteration(const AnalysisState& state, double x, std::optional<double> acceptedEnd,
                     const DeviceTable<double>& given, const DeviceTable<double>& computed,
                     double simulatorSeconds, std::vector<double> drift) {
  if (state.listener == nullptr) return;
  IterationReport report;
  report.iteration = state.iterationNumber;
  report.x = x;
  report.acceptedEnd = acceptedEnd;
  for (int i = 1; i <= state.problem.deviceCount(); ++i) {
    report.givenTemperatures.push_back(given[i]);
    report.computedTemperatures.push_back(computed[i]);
    report.largestDeviation = std::max(report.largestDeviation, std::fabs(computed[i] - given[i]));
  }
  report.simulatorSeconds = simulatorSeconds;
  report.drift = std::move(drift);
  state.listener->IterationFinished(report);
}

void RequireMoreLines(TextFile& table, double wantedTime) {
  if (AtEndOfTokens(table)) {
    throw Failure("The table \"" + table.name() + "\" ends before a line at time " +
                  FormatExponent(wantedTime, 23).substr(1) + " s");
  }
}

double ReadTimedLine(TextFile& table, std::string* rest, double wantedTime) {
  RequireMoreLines(table, wantedTime);
  const double time = ReadReal(table);
  *rest = ReadString(table, kLineCapacity);
  SkipLine(table);
  return time;
}

void WriteRebuiltLine(TextFile& file, double time, const std::string& rest) {
  WriteReal(file, time);
  WriteChar(file, ' ');
  WriteText(file, rest);
  WriteLineEnd(file);
}

void DeleteIterationFiles(AnalysisState& state, std::initializer_list<const char*> extensions) {
  for (const char* extension : extensions) {
    std::error_code ignored;
    std::filesystem::remove(state.baseName + state.iterationText + extension, ignored);
  }
}

void DeleteFailedIterationFiles(AnalysisState& state,
                                std::initializer_list<const char*> extensions) {
  if (state.iterationText == IterationText(state.iterationNumber)) {
    DeleteIterationFiles(state, extensions);
  }
}

void RemoveScratchOfAFullDisk(AnalysisState& state, std::string_view failureText,
                              std::initializer_list<const char*> extensions,
                              std::initializer_list<const char*> names) {
  constexpr unsigned long long kNearlyFull = 64 * 1024;
  struct statvfs disk {};
  const bool full = failureText == "Disk full" ||
                    (statvfs(".", &disk) == 0 &&
                     static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < kNearlyFull);
  // A run refused by another's lock has no scratch of its own here.
  if (!full || !RunOutputs::FolderIsThisRuns()) return;
  DeleteFailedIterationFiles(state, extensions);
  for (const char* name : names) {
    std::error_code ignored;
    std::filesystem::remove(name, ignored);
  }
}

std::string ShortNumber(double x) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 6);
  return std::string(buf, res.ptr);
}

std::string TemperatureList(const AnalysisState& state, const DeviceTable<double>& temperatures) {
  std::string text;
  for (int i = 1; i <= state.problem.deviceCount(); ++i) {
    if (i > 1) text += ", ";
    text += state.problem.devices[static_cast<std::size_t>(i - 1)].name.Trimmed() + " " +
            FormatReal(temperatures[i], 0, 3) + " K";
  }
  return text;
}

}  // namespace etherm
