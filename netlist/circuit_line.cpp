#include "netlist/circuit_line.h"

#include <algorithm>
#include <limits>

#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/upper_case.h"

namespace etherm {

std::string ReadWholeLine(TextFile& file) {
  std::string text = ReadString(file, std::numeric_limits<int>::max());
  SkipLine(file);
  return text;
}

void SetWholeLine(WholeLineText& line, const std::string& text) {
  const int length = static_cast<int>(text.size());
  line.Fill(std::max(length, kPaddedLineLength));
  line.chars.replace(1, text.size(), text);
  line.length = length;
}

void ReadCircuitLine(AnalysisState& state) {
  SetWholeLine(state.lineBuffer, ReadWholeLine(state.workFileA));
}

int ScanEnd(const AnalysisState& state) {
  return std::max(state.lineBuffer.length, kPaddedLineLength);
}

std::string DotKeyword(const WholeLineText& line) {
  std::string keyword;
  for (int p = 1; p <= 6; ++p) keyword += UpperCase(line.at(p));
  return keyword + "  ";
}

std::string DotKeyword(const AnalysisState& state) {
  return DotKeyword(state.lineBuffer);
}

bool IsTransientLengthLine(const WholeLineText& line) {
  return DotKeyword(line) == ".TRAN   ";
}

std::string TransientPrintStep(const WholeLineText& line) {
  int p = 7;
  while (p <= line.length && line.at(p) == ' ') ++p;
  const int start = p;
  while (p <= line.length && line.at(p) != ' ') ++p;
  return std::string(Span(line, start, p - 1));
}

std::string_view Span(const LineText<kLineCapacity>& text, int first, int last) {
  if (last < first) return {};
  return std::string_view(text.chars.data() + first, static_cast<std::size_t>(last - first + 1));
}

std::string_view Span(const WholeLineText& text, int first, int last) {
  const int stored = static_cast<int>(text.chars.size()) - 1;
  last = std::min(last, stored);
  if (last < first) return {};
  return std::string_view(text.chars.data() + first, static_cast<std::size_t>(last - first + 1));
}

void WritePositions(AnalysisState& state, int first, int last) {
  const std::string_view stored = Span(state.lineBuffer, first, last);
  WriteText(state.workFileC, stored);
  // Positions past the stored text are blanks.
  const int blanks = last - first + 1 - static_cast<int>(stored.size());
  if (blanks > 0) WriteText(state.workFileC, std::string(static_cast<std::size_t>(blanks), ' '));
}

void CopyLine(AnalysisState& state) {
  WritePositions(state, 1, state.lineBuffer.length);
  WriteLineEnd(state.workFileC);
}

void ThrowLineFailure(const AnalysisState& state, std::string_view what) {
  ThrowQuotedFailure(state, what, state.lineBuffer.Text());
}

void ThrowQuotedFailure(const AnalysisState& state, std::string_view what, std::string_view line) {
  throw Failure("Circuit file \"" + state.baseName + ".cir\": " + std::string(what) + ": " +
                std::string(line));
}

std::string ProbeNodeName(const AnalysisState& state, int k) {
  const LineText<kLineCapacity>& names = state.probeNodeNames;
  const int end = std::min(names.length, kLineCapacity);
  int p = 1;
  for (int word = 1;; ++word) {
    while (p <= end && names.at(p) == ' ') ++p;
    const int start = p;
    while (p <= end && names.at(p) != ' ') ++p;
    if (p == start) return "";
    if (word == k) return std::string(Span(names, start, p - 1));
  }
}

void RequireProbeNodeNames(const AnalysisState& state, std::string_view lineKind) {
  for (int k = 1; k <= state.probeNodeCount; ++k) {
    if (ProbeNodeName(state, k).empty()) {
      ThrowLineFailure(state, std::string(lineKind) + " line needs " +
                                  std::to_string(state.probeNodeCount) +
                                  " node quantities from the .PROBE line, and the .PROBE line "
                                  "gave " +
                                  std::to_string(k - 1));
    }
  }
}

double CircuitTemperature(const AnalysisState& state, int device) {
  return state.deviceTemperature[static_cast<std::size_t>(device)] - 273.0;
}

std::string IterationText(std::int32_t iterationNumber) {
  return FormatInteger(iterationNumber, iterationNumber < 10 ? 1 : 2);
}

}  // namespace etherm
