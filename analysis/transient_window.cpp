#include "analysis/transient_window.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "analysis/run_files.h"
#include "model/file_names.h"
#include "textio/failure.h"
#include "textio/number_text.h"
#include "thermal/transient_temperatures.h"

namespace etherm {

namespace {

// Longer than any line of a table.
constexpr int kWholeLine = 1 << 30;

std::string TimeText(double t) {
  return FormatExponent(t, 23).substr(1);
}

[[noreturn]] void TableEnds(const std::string& table, double wantedTime) {
  throw Failure("The table \"" + table + "\" ends before a line at time " + TimeText(wantedTime) +
                " s");
}

// Makes `file` write to "temp.txt" after its first `keep` bytes, cutting off the rest (the rows
// of the window before); false when the file no longer holds that many bytes (removed or cut
// by someone else meanwhile): it is then emptied.
bool CutRiseFile(TextFile& file, std::uintmax_t keep) {
  file.Flush();
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(kTermRiseFileName, error);
  if (file.mode() == TextFile::Mode::kAppending && !error && size >= keep) {
    if (size > keep) {
      std::filesystem::resize_file(kTermRiseFileName, keep, error);
      if (error) throw Failure(IoErrorText(error.value()) + ": " + kTermRiseFileName);
    }
    return true;
  }
  file.OpenForWriting(kTermRiseFileName);
  file.Close();
  file.OpenForAppending(kTermRiseFileName);
  return keep == 0;
}

int OwnTerms(const Problem& problem, std::size_t d) {
  const std::size_t k = problem.network.pair[d][d].terms.size();
  return k > static_cast<std::size_t>(kMaxTerms) ? kMaxTerms : static_cast<int>(k);
}

// The next row of a window table, or the failure of a table that ends before the wanted time.
const TransientRow& NextRow(const std::vector<TransientRow>& rows, std::size_t& next,
                            const std::string& tableName, double wantedTime) {
  if (next >= rows.size()) TableEnds(tableName, wantedTime);
  return rows[next++];
}

// A copied table line: the time in the 23-character form, one blank, then the rest of the
// line after the time as a table file holds it (it begins with the blank after the time),
// cut to `limit` characters.
void WriteRebuiltRow(TextFile& file, const std::string& rowText, std::size_t limit) {
  WriteText(file, std::string_view(rowText).substr(0, 23));
  WriteChar(file, ' ');
  WriteText(file, std::string_view(rowText).substr(23, limit));
  WriteLineEnd(file);
}

// The line of the term-rise history from a "temp.txt" line: the time, then the own rises
// picked from their places. The reference computation reads them from the file, as the
// program once did.
void AppendTermRiseHistoryFromFile(AnalysisState& state, TextFile& history) {
  TextFile rises;
  rises.OpenForReading(kTermRiseFileName);
  for (;;) {
    RequireMoreLines(rises, state.windowStartTime);
    state.sampleTime = ReadReal(rises);
    if (state.sampleTime >= state.windowStartTime) break;
    SkipLine(rises);
  }
  const std::string rest = ReadString(rises, kWholeLine);
  rises.Close();

  std::vector<std::string> values;
  for (std::size_t i = 0; i < rest.size();) {
    while (i < rest.size() && static_cast<unsigned char>(rest[i]) <= 32) ++i;
    const std::size_t start = i;
    while (i < rest.size() && static_cast<unsigned char>(rest[i]) > 32) ++i;
    if (i > start) values.push_back(rest.substr(start, i - start));
  }
  const bool steadyState = state.sampleTime == 0;
  const Problem& problem = state.problem;
  const std::size_t n = problem.network.pair.size();
  WriteReal(history, state.sampleTime);
  WriteText(history, "  ");  // the rest after the time begins with the blank that followed it
  std::size_t offset = 0;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      const std::size_t slots = steadyState ? kMaxTerms : problem.network.pair[i][j].terms.size();
      if (i == j) {
        const auto own = static_cast<std::size_t>(OwnTerms(problem, i));
        if (offset + own > values.size()) {
          throw Failure(std::string("The line of \"") + kTermRiseFileName + "\" at time " +
                        TimeText(state.sampleTime) +
                        " s holds fewer term rises than the problem has terms");
        }
        for (std::size_t k = 0; k < own; ++k) {
          const std::string& v = values[offset + k];
          if (v.size() < 23) WriteText(history, std::string(23 - v.size(), ' '));
          WriteText(history, v);
          WriteChar(history, ' ');
        }
      }
      offset += slots;
    }
  }
  WriteLineEnd(history);
}

}  // namespace

void AppendTo(TextFile& file, const std::string& name) {
  if (file.mode() == TextFile::Mode::kAppending && file.name() == name) return;
  file.Close();
  file.OpenForAppending(name);
}

WindowTables ComputeWindowTables(const AnalysisState& state, TransientCarry& carry,
                                 PowerTable windowPowers, const std::string& powersName) {
  const ThermalNetwork& network = state.problem.network;
  WindowTables tables;
  TextFile& rises = carry.rises;
  if (state.laterWindow) {
    std::string historyRises;
    if (carry.recompute) {
      tables.start = ReplayThermalHistory(network, powersName, state.windowStartTime, historyRises);
      CutRiseFile(rises, 0);
      carry.historyRiseBytes = 0;
    } else {
      tables.start = carry.thermal.MoveTo(network, state.windowStartTime, historyRises);
      if (!CutRiseFile(rises, carry.historyRiseBytes)) {
        // The history's rise lines are gone from "temp.txt": they come again from the
        // accumulated powers, which hold every accepted row.
        historyRises.clear();
        ReplayThermalHistory(network, powersName, state.windowStartTime, historyRises);
        carry.historyRiseBytes = 0;
      }
    }
    WriteText(rises, historyRises);
    carry.historyRiseBytes += historyRises.size();
    tables.historyRows = 1;
  } else {
    CutRiseFile(rises, 0);
    carry.historyRiseBytes = 0;
  }
  tables.temperatures = ComputeTransientTemperatures(network, windowPowers, tables.start, &rises);
  if (carry.recompute) rises.Flush();  // the reference reads it back
  tables.powers = std::move(windowPowers);
  if (tables.historyRows == 1) {
    TransientRow power{tables.start.time, tables.start.power};
    TransientRow temperature{tables.start.time, {}};
    for (std::size_t i = 1; i <= network.pair.size(); ++i) {
      temperature.value[i] = AsWritten(tables.start.temperature[i]);
    }
    tables.powers.rows.insert(tables.powers.rows.begin(), power);
    tables.temperatures.rows.insert(tables.temperatures.rows.begin(), temperature);
  }
  return tables;
}

void AppendTermRiseHistory(AnalysisState& state, TransientCarry& carry, const WindowTables& tables,
                           const std::string& historyName) {
  if (carry.recompute) {
    AppendTo(carry.history, historyName);
    AppendTermRiseHistoryFromFile(state, carry.history);
    return;
  }
  const double start = state.windowStartTime;
  const std::vector<TransientRow>& rows = tables.temperatures.rows;
  std::size_t at = 0;
  while (at < rows.size() && !(rows[at].time >= start)) ++at;
  if (at == rows.size()) TableEnds(kTermRiseFileName, start);
  // The rises at that row: the window's rows run again from its start line, which is cheap
  // beside keeping every row's rises.
  ThermalLine line = tables.start;
  for (std::size_t r = tables.historyRows; r <= at; ++r) {
    AdvanceThermalLine(state.problem.network, line, tables.powers.rows[r]);
  }

  TermRiseHistoryLine entry;
  entry.time = rows[at].time;
  std::string text = FormatExponent(entry.time, 23) + "  ";
  for (std::size_t d = 0; d < state.problem.network.pair.size(); ++d) {
    for (int k = 1; k <= OwnTerms(state.problem, d); ++k) {
      const double rise = line.rise[d][d][static_cast<std::size_t>(k - 1)];
      text += FormatExponent(rise, 23) + ' ';
      entry.rises[d + 1][static_cast<std::size_t>(k)] = AsWrittenExtended(rise);
    }
  }
  text += "\r\n";
  AppendTo(carry.history, historyName);
  WriteText(carry.history, text);
  state.sampleTime = entry.time;
  carry.previousHistoryLine = carry.lastHistoryLine;
  carry.lastHistoryLine = entry;
}

namespace {

// The first advancing window writes the accumulated files' title and names lines; every window
// skips its table's two.
void AcceptHeaderLines(bool firstAdvance, TransientCarry& carry, TextFile& results,
                       const WindowTables& tables) {
  SkipLine(results);
  if (!firstAdvance) {
    SkipLine(results);
    return;
  }
  for (TextFile* f : {&carry.powerFile, &carry.temperatureFile, &carry.resultFile}) {
    WriteText(*f, tables.temperatures.title);
    WriteLineEnd(*f);
  }
  WriteText(carry.resultFile, ReadString(results, kLineCapacity));
  SkipLine(results);
  WriteLineEnd(carry.resultFile);
  WriteText(carry.powerFile, tables.powers.names);
  WriteLineEnd(carry.powerFile);
  WriteText(carry.temperatureFile, tables.temperatures.names);
  WriteLineEnd(carry.temperatureFile);
}

// Results: every line of the window's table through the first at or after the new start, cut
// to 200 characters after the time in the file. The next window's circuit takes its carried
// values from the whole line: a cut one would lend it a cut number.
void AcceptResultLines(TransientCarry& carry, TextFile& results, double start) {
  double time;
  do {
    RequireMoreLines(results, start);
    time = ReadReal(results);
    const std::string rest = ReadString(results, kWholeLine);
    SkipLine(results);
    const std::string timeText = FormatExponent(time, 23) + ' ';
    WriteText(carry.resultFile, timeText);
    WriteText(carry.resultFile, std::string_view(rest).substr(0, kLineCapacity));
    WriteLineEnd(carry.resultFile);
    carry.results.Add(time, timeText + rest + "\r\n");
  } while (time < start);
  carry.results.KeepFrom(start);
}

// Powers: past the line of the previous start (the first advancing window copies the lines
// through it), then through the first line at or after the new start; the thermal history
// takes each, and the last's powers are the sample the window end is predicted from.
void AcceptPowerRows(AnalysisState& state, TransientCarry& carry, const WindowTables& tables,
                     bool firstAdvance, double previousStart, double start) {
  const int n = state.problem.deviceCount();
  const std::vector<TransientRow>& powers = tables.powers.rows;
  const std::string powerTable = state.baseName + state.iterationText + ".moc";
  std::string text;
  std::size_t next = 0;
  const TransientRow* row;
  do {
    row = &NextRow(powers, next, powerTable, previousStart);
    if (firstAdvance) {
      text.clear();
      AppendRowText(text, *row, n);
      // Not cut like the other copied lines: these powers are the history the windows read.
      WriteRebuiltRow(carry.powerFile, text, std::string::npos);
      carry.thermal.Accept(*row);
    }
  } while (row->time != previousStart);
  do {
    row = &NextRow(powers, next, powerTable, start);
    state.sampleTime = row->time;
    WriteReal(carry.powerFile, row->time);
    WriteChar(carry.powerFile, ' ');
    for (int i = 1; i <= n; ++i) {
      // Held extended, as the window-end prediction computes with it.
      state.powerSample[i] = AsWrittenExtended(row->value[static_cast<std::size_t>(i)]);
      WriteReal(carry.powerFile, static_cast<double>(state.powerSample[i]));
      WriteChar(carry.powerFile, ' ');
    }
    WriteLineEnd(carry.powerFile);
    carry.thermal.Accept(*row);
  } while (state.sampleTime < start);
}

// Temperatures: as the powers, lines copied as rebuilt lines cut to 200 characters, each
// checked for a hot device.
void AcceptTemperatureRows(AnalysisState& state, TransientCarry& carry, const WindowTables& tables,
                           HotDeviceWarnings& warnings, bool firstAdvance, double previousStart,
                           double start) {
  const int n = state.problem.deviceCount();
  const std::vector<TransientRow>& temperatures = tables.temperatures.rows;
  const std::string temperatureTable = state.baseName + state.iterationText + ".tem";
  std::string text;
  std::size_t next = 0;
  const TransientRow* row;
  do {
    row = &NextRow(temperatures, next, temperatureTable, previousStart);
    if (firstAdvance) {
      text.clear();
      AppendRowText(text, *row, n);
      warnings.CheckTimeLine(state, text);
      WriteRebuiltRow(carry.temperatureFile, text, kLineCapacity);
    }
  } while (row->time != previousStart);
  do {
    row = &NextRow(temperatures, next, temperatureTable, start);
    text.clear();
    AppendRowText(text, *row, n);
    warnings.CheckTimeLine(state, text);
    WriteRebuiltRow(carry.temperatureFile, text, kLineCapacity);
  } while (row->time < start);
}

// The next window's end, predicted from the term rises at the last two starts.
void PredictWindowEnd(AnalysisState& state, TransientCarry& carry, const std::string& historyName,
                      double previousStart, double start) {
  HistoryRises rises;
  const TermRiseHistoryLine& previousLine = carry.previousHistoryLine;
  const TermRiseHistoryLine& lastLine = carry.lastHistoryLine;
  if (!carry.recompute && previousLine.time == previousStart && lastLine.time == start) {
    rises.theta1 = previousLine.rises;
    rises.theta0 = lastLine.rises;
    rises.lastTime = lastLine.time;
  } else {
    // Lines that are not the last two of the history: read them from the file.
    carry.history.Flush();
    rises = ReadHistoryRises(state.problem, historyName, previousStart, start);
  }
  state.sampleTime = rises.lastTime;
  state.windowEndTime = ComputeWindowEnd(state.problem, previousStart, rises.theta1, start,
                                         rises.theta0, state.powerSample, state.problem.endTime);
  if (carry.windowGrowthLimit > 1) {
    state.windowEndTime =
        std::min(state.windowEndTime, start + carry.windowGrowthLimit * (start - previousStart));
  }
}

}  // namespace

void AcceptLines(AnalysisState& state, TransientCarry& carry, TextFile& results,
                 const WindowTables& tables, HotDeviceWarnings& warnings,
                 const std::string& historyName) {
  const bool firstAdvance = !state.laterWindow;
  const double previousStart = state.previousWindowStartTime;
  const double start = state.windowStartTime;
  AcceptHeaderLines(firstAdvance, carry, results, tables);
  AcceptResultLines(carry, results, start);
  AcceptPowerRows(state, carry, tables, firstAdvance, previousStart, start);
  AcceptTemperatureRows(state, carry, tables, warnings, firstAdvance, previousStart, start);
  if (start > previousStart) PredictWindowEnd(state, carry, historyName, previousStart, start);
}

void WriteFirstHistoryLine(const Problem& problem, const std::string& historyName) {
  TextFile history;
  history.OpenForWriting(historyName);
  WriteText(history, "0 ");
  for (std::size_t d = 0; d < problem.network.pair.size(); ++d) {
    for (std::size_t k = 0; k < problem.network.pair[d][d].terms.size(); ++k) {
      WriteText(history, "0 ");
    }
  }
  WriteLineEnd(history);
  history.Close();
}

void AppendAcceptedLines(AnalysisState& state, TransientCarry& carry, TextFile& results,
                         const WindowTables& tables, HotDeviceWarnings& warnings,
                         const AcceptedNames& names, AppendedText& appended) {
  AppendTo(carry.powerFile, names.powers);
  AppendTo(carry.temperatureFile, names.temperatures);
  AppendTo(carry.resultFile, names.results);
  carry.resultFile.CopyWritesTo(&appended.results);
  carry.powerFile.CopyWritesTo(&appended.powers);
  carry.temperatureFile.CopyWritesTo(&appended.temperatures);
  AcceptLines(state, carry, results, tables, warnings, names.history);
  for (TextFile* f : {&carry.resultFile, &carry.powerFile, &carry.temperatureFile}) {
    f->CopyWritesTo(nullptr);
  }
  state.laterWindow = true;
}

void FlushCarried(TransientCarry& carry) {
  for (TextFile* f : {&carry.powerFile, &carry.temperatureFile, &carry.resultFile, &carry.history,
                      &carry.rises}) {
    f->Flush();
  }
}

}  // namespace etherm
