#include "netlist/circuit_line.h"

#include <algorithm>

#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"

namespace etherm {

void ReadCircuitLine(AnalysisState& state) {
  LineText<kLineCapacity>& line = state.lineBuffer;
  line.Fill(kPaddedLineLength);
  const std::string text = ReadString(state.workFileA, kLineCapacity);
  SkipLine(state.workFileA);
  for (std::size_t i = 0; i < text.size(); ++i) line.at(static_cast<int>(i) + 1) = text[i];
  line.length = static_cast<int>(text.size());
}

int ScanEnd(const AnalysisState& state) {
  return std::min(kLineCapacity, std::max(state.lineBuffer.length, kPaddedLineLength));
}

std::string DotKeyword(const AnalysisState& state) {
  std::string keyword;
  for (int p = 1; p <= 6; ++p) keyword += UpperCase(state.lineBuffer.at(p));
  return keyword + "  ";
}

std::string_view Span(const LineText<kLineCapacity>& text, int first, int last) {
  if (last < first) return {};
  return std::string_view(text.chars.data() + first, static_cast<std::size_t>(last - first + 1));
}

void WritePositions(AnalysisState& state, int first, int last) {
  WriteText(state.workFileC, Span(state.lineBuffer, first, last));
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
