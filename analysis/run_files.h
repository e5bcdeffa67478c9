#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/analysis_state.h"
#include "model/file_names.h"
#include "netlist/circuit_check.h"
#include "netlist/circuit_writer.h"
#include "textio/text_file.h"

namespace etherm {

// Pieces the two drivers share: the run log, the accumulated files, the copying of table lines.

// Opens the run log (state.runLogName) for appending, writes one line, closes it. Text in
// Windows-1250 bytes.
void AppendRunLog(AnalysisState& state, std::string_view text);
// The same with a real in the 23-character exponent form after the text ("dc= ", "t0= ").
void AppendRunLogReal(AnalysisState& state, std::string_view text, double value);

// Creates the named file empty (or empties it).
void CreateEmptyFile(const std::string& name);

struct AccumulatedNames {
  std::string results;       // baseName + ".wyn"
  std::string powers;        // baseName + ".moc"
  std::string temperatures;  // baseName + ".tem"
};
AccumulatedNames AccumulatedNamesOf(const AnalysisState& state);

class RunOutputs;

// Everything a run can check before it touches a file: reads and checks baseName + ".par" for
// the analysis and keeps it in the state, then checks the circuit, the simulator and the
// outputs. A run refused here leaves the files of the last run as they were.
// First of all it takes the folder's lock (RunOutputs::LockFolder) and checks that the longest
// file name the run makes from the base name fits the folder.
void PrepareRun(AnalysisState& state, RunOutputs& outputs, CircuitAnalysis analysis);

// Throws Failure when a file name the run makes from `baseName` would be longer than the folder
// takes (usually 255 bytes): the longest is an iteration's with the most digits an iteration
// number has and the simulator's ".stan.part" after it.
void CheckBaseNameLength(const std::string& baseName);

// The start both analyses share once every check has passed: an empty run log, every device
// at the ambient temperature, iteration 1, and the three accumulated files created empty
// (under the names `outputs` gives them now).
void BeginRun(AnalysisState& state, RunOutputs& outputs, const AccumulatedNames& names);

// The writers' reading of the state: the problem, names, iteration, temperatures and the node
// quantities of an earlier ".PROBE" line.
CircuitWriterInput WriterInputOf(const AnalysisState& state);

// Keeps what a circuit writer returned: the iteration text, the node quantities and, when the
// sources were shifted, the window start as they received it.
void KeepWritten(AnalysisState& state, const WrittenCircuit& written);

// Writes the circuit of the current transient window (windowStartTime .. windowEndTime); the
// carried values come from resultsText, the accumulated results resultsName (or their last
// lines, counted from resultsFirstLine), and from circuitState, the whole state at the window
// start, when there is one. marginOfWindow: see TransientWindow.
void WriteWindowCircuit(AnalysisState& state, const std::string& resultsName,
                        std::string resultsText, int resultsFirstLine,
                        const CircuitState* circuitState = nullptr, bool marginOfWindow = false);

// Marks the start of an iteration whose circuit file is written: "startuję" in the run log and
// on the window.
void LogIterationStart(AnalysisState& state);

// The numbers of a table line: its tokens read as reals, up to the first that is not one.
std::vector<double> LineNumbers(std::string_view line);

// Tells the listener, when there is one, how an iteration ended: x is the sweep value or the
// window start, acceptedEnd the next window start (transient), given the temperatures the
// simulator had, computed those of the thermal model.
void ReportIteration(const AnalysisState& state, double x, std::optional<double> acceptedEnd,
                     const DeviceTable<double>& given, const DeviceTable<double>& computed,
                     double simulatorSeconds, std::vector<double> drift = {});

// Throws Failure naming the table and the wanted time when the table has no more numbers, so
// a copy that waits for a line that never comes ends instead of reading zeros for ever.
void RequireMoreLines(TextFile& table, double wantedTime);

// Reads one line of a table as its time and the rest of the line (up to 200 bytes, starting
// with the blank after the time) and skips to the next line. Throws Failure naming the table
// and the wanted time when the table has no more lines.
double ReadTimedLine(TextFile& table, std::string* rest, double wantedTime);

// Writes a rebuilt line: the time in the 23-character form, one blank, the rest, line end.
void WriteRebuiltLine(TextFile& file, double time, const std::string& rest);

// Deletes the iteration's files with these extensions, ignoring failures.
void DeleteIterationFiles(AnalysisState& state, std::initializer_list<const char*> extensions);

// After a failure: deletes the current iteration's files with these extensions, when this run
// has begun that iteration (a stale iteration text would name an earlier run's files).
void DeleteFailedIterationFiles(AnalysisState& state,
                                std::initializer_list<const char*> extensions);

// After a failure: when the disk of the working folder is full (the failure says so, or less
// than 64 KiB are left), deletes the current iteration's files with these extensions and the
// other named files, ignoring failures. They are cut short and only hold the space the user
// needs back; on a disk with room they stay, to show where the run stopped.
void RemoveScratchOfAFullDisk(AnalysisState& state, std::string_view failureText,
                              std::initializer_list<const char*> extensions,
                              std::initializer_list<const char*> names);

// x in at most 12 characters ("1.5", "0.00015", "1e-07"), for status lines and messages.
std::string ShortNumber(double x);

// The temperatures of devices 1..deviceCount as "300.1 K, 310.2 K", for failure texts.
std::string TemperatureList(const AnalysisState& state, const DeviceTable<double>& temperatures);

}  // namespace etherm
