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

void ReadCircuitLine(CircuitLines& lines) {
  SetWholeLine(lines.lineBuffer, ReadWholeLine(lines.input));
}

int ScanEnd(const CircuitLines& lines) {
  return std::max(lines.lineBuffer.length, kPaddedLineLength);
}

std::string DotKeyword(const WholeLineText& line) {
  std::string keyword;
  for (int p = 1; p <= 6; ++p) keyword += UpperCase(line.at(p));
  return keyword + "  ";
}

std::string DotKeyword(const CircuitLines& lines) {
  return DotKeyword(lines.lineBuffer);
}

bool IsTransientLengthLine(const WholeLineText& line) {
  return DotKeyword(line) == ".TRAN   ";
}

std::vector<spice::Word> BlankSeparatedWords(const WholeLineText& line, int from) {
  // Offsets in the words count from position `from`.
  return spice::SplitWords(Span(line, from, line.length), spice::WordRules{" ", false});
}

std::string TransientPrintStep(const WholeLineText& line) {
  const std::vector<spice::Word> words = BlankSeparatedWords(line, 7);
  return words.empty() ? std::string() : std::string(words.front().text);
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

void WritePositions(CircuitLines& lines, int first, int last) {
  const std::string_view stored = Span(lines.lineBuffer, first, last);
  WriteText(lines.output, stored);
  // Positions past the stored text are blanks.
  const int blanks = last - first + 1 - static_cast<int>(stored.size());
  if (blanks > 0) WriteText(lines.output, std::string(static_cast<std::size_t>(blanks), ' '));
}

void CopyLine(CircuitLines& lines) {
  WritePositions(lines, 1, lines.lineBuffer.length);
  WriteLineEnd(lines.output);
}

void ThrowLineFailure(const CircuitLines& lines, std::string_view what) {
  ThrowQuotedFailure(lines, what, lines.lineBuffer.Text());
}

void ThrowQuotedFailure(const CircuitLines& lines, std::string_view what, std::string_view line) {
  throw Failure("Circuit file \"" + lines.baseName + ".cir\": " + std::string(what) + ": " +
                std::string(line));
}

std::string ProbeNodeName(const CircuitLines& lines, int k) {
  const LineText<kLineCapacity>& names = lines.probeNodeNames;
  const std::vector<spice::Word> words = spice::SplitWords(
      Span(names, 1, std::min(names.length, kLineCapacity)), spice::WordRules{" ", false});
  if (k < 1 || static_cast<std::size_t>(k) > words.size()) return "";
  return std::string(words[static_cast<std::size_t>(k - 1)].text);
}

void RequireProbeNodeNames(const CircuitLines& lines, std::string_view lineKind) {
  for (int k = 1; k <= lines.probeNodeCount; ++k) {
    if (ProbeNodeName(lines, k).empty()) {
      ThrowLineFailure(lines, std::string(lineKind) + " line needs " +
                                  std::to_string(lines.probeNodeCount) +
                                  " node quantities from the .PROBE line, and the .PROBE line "
                                  "gave " +
                                  std::to_string(k - 1));
    }
  }
}

double CircuitTemperature(const CircuitLines& lines, int device) {
  return lines.deviceTemperature[static_cast<std::size_t>(device)] - 273.0;
}

std::string IterationText(std::int32_t iterationNumber) {
  return FormatInteger(iterationNumber, iterationNumber < 10 ? 1 : 2);
}

}  // namespace etherm
