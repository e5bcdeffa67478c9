#include "netlist/line_rewrites.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "netlist/circuit_line.h"
#include "spice_text/ascii_case.h"
#include "spice_text/subcircuit_call.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/upper_case.h"

namespace etherm {

namespace {

// Device names hold at most 7 characters, so a longer word can never name a device.
bool CanNameDevice(int length) {
  return length >= 1 && length <= kMaxNameLength;
}

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= static_cast<unsigned char>(' ');
}

}  // namespace

int FindDevice(const Problem& problem, const NameField& key) {
  for (int i = 1; i <= problem.deviceCount(); ++i) {
    if (problem.devices[static_cast<std::size_t>(i - 1)].name == key) return i;
  }
  return problem.deviceCount() + 1;
}

TemperatureField FindCallTemperatureField(const Problem& problem, const WholeLineText& line) {
  TemperatureField field;
  const std::string text = line.Text();
  const std::optional<spice::SubcircuitCall> call = spice::ParseSubcircuitCall(text);
  // A call without PARAMS: is copied as written.
  if (!call || call->paramsKeyword.empty() || !CanNameDevice(int(call->subcircuit.text.size()))) {
    return field;
  }
  const std::string name = spice::ToUpper(call->subcircuit.text);
  const int device = FindDevice(problem, NameField::From(name));
  if (device < 1 || device > problem.deviceCount()) return field;
  field.device = device;

  // Positions count from 1, offsets from 0.
  const int colon = static_cast<int>(call->paramsKeyword.end());
  const std::vector<spice::Parameter>& parameters = call->parameters;
  for (std::size_t k = 0; k < parameters.size(); ++k) {
    const spice::Parameter& parameter = parameters[k];
    if (!parameter.hasEquals || !spice::EqualNoCase(parameter.name.text, "T")) continue;
    // Written first, it keeps the form ": t=" the call has always been given; the other values
    // stay as written.
    field.first = k == 0 ? colon : static_cast<int>(parameter.whole.offset) + 1;
    field.last = static_cast<int>(parameter.whole.end());
    field.prefix = k == 0 ? ": t=" : "t=";
    return field;
  }
  if (!parameters.empty()) {
    field.problem = "subcircuit call of " + name +
                    " without t= among its PARAMS: values; t= receives the device temperature, "
                    "and no other value may take its place";
    return field;
  }
  field.first = colon;
  field.last = line.length;
  field.prefix = ": t=";
  return field;
}

TemperatureField FindModelTemperatureField(const Problem& problem, const WholeLineText& line) {
  TemperatureField field;
  const int length = line.length;
  int p = 8;
  while (p <= length && line.at(p) == ' ') ++p;
  const int nameStart = p;
  while (p <= length && line.at(p) != ' ') ++p;
  const int nameBlank = p;  // the blank after the name (padding when the name ends the line)
  if (!CanNameDevice(nameBlank - nameStart)) return field;
  const std::string name(Span(line, nameStart, nameBlank - 1));
  const int device = FindDevice(problem, NameField::From(name));
  if (device < 1 || device > problem.deviceCount()) return field;
  field.device = device;

  int open = 0;
  for (int q = nameBlank + 1; q <= length && open == 0; ++q) {
    if (line.at(q) == '(') open = q;
  }
  if (open == 0) {
    field.problem = ".MODEL line of a modelled device without \"(\" after its type";
    return field;
  }
  // The first parameter is replaced; it ends at ',', a blank or ')'.
  const int scanEnd = std::max(length, kPaddedLineLength);
  int delimiter = open + 1;
  while (delimiter <= scanEnd && line.at(delimiter) != ',' && line.at(delimiter) != ')' &&
         !IsBlankOrControl(line.at(delimiter))) {
    ++delimiter;
  }
  std::string first(Span(line, open + 1, delimiter - 1));
  std::string head;
  for (std::size_t i = 0; i < first.size() && i < 6; ++i) head += UpperCase(first[i]);
  if (!first.empty() && head != "T_ABS=") {
    field.problem = ".MODEL line of " + name + " whose first parameter is " + first +
                    ", not T_ABS=; the first parameter receives the device temperature, so " +
                    first + " would be lost";
    return field;
  }
  field.first = open + 1;
  field.last = delimiter - 1;
  field.prefix = "t_abs=";
  return field;
}

void RewriteSubcircuitCall(CircuitLines& lines) {
  const TemperatureField field = FindCallTemperatureField(lines.problem, lines.lineBuffer);
  if (field.device == 0) {
    CopyLine(lines);
    return;
  }
  if (!field.problem.empty()) ThrowLineFailure(lines, field.problem);
  WritePositions(lines, 1, field.first - 1);
  WriteText(lines.output, field.prefix);
  WriteReal(lines.output, CircuitTemperature(lines, field.device), 8, 3);
  WritePositions(lines, field.last + 1, lines.lineBuffer.length);
  WriteLineEnd(lines.output);
}

void RewriteModelLine(CircuitLines& lines) {
  const WholeLineText& line = lines.lineBuffer;
  const TemperatureField field = FindModelTemperatureField(lines.problem, line);
  if (field.device == 0) {
    CopyLine(lines);
    return;
  }
  if (!field.problem.empty()) ThrowLineFailure(lines, field.problem);

  int nameBlank = 8;
  while (nameBlank <= line.length && line.at(nameBlank) == ' ') ++nameBlank;
  const int nameStart = nameBlank;
  while (nameBlank <= line.length && line.at(nameBlank) != ' ') ++nameBlank;

  // The list ends at the first ')' outside braces; without one it continues on "+" lines and
  // the line is written whole, padded to 120 as it always was.
  int end = ScanOutsideBraces(line, field.last + 1, [](char c) { return c == ')'; });
  if (end > line.length) end = ScanEnd(lines);

  TextFile& out = lines.output;
  WriteText(out, ".MODEL  ");
  WriteText(out, NameField::From(Span(line, nameStart, nameBlank - 1)).Text());
  WriteChar(out, ' ');
  WritePositions(lines, nameBlank + 1, field.first - 1);
  WriteText(out, field.prefix);
  WriteReal(out, CircuitTemperature(lines, field.device), 3, 3);
  WritePositions(lines, field.last + 1, end);
  WriteLineEnd(out);
}

void CaptureProbeNodes(CircuitLines& lines) {
  // The first word after the keyword is an option such as /CSDF; then pairs of a node quantity
  // and its companion.
  const std::vector<spice::Word> words = BlankSeparatedWords(lines.lineBuffer, 7);
  const auto wanted = static_cast<std::size_t>(2 * std::max(0, lines.probeNodeCount));
  if (wanted > 0 && words.size() < 1 + wanted) {
    ThrowLineFailure(lines, ".PROBE line with fewer than " +
                                std::to_string(2 * lines.probeNodeCount) +
                                " quantities after its first word (the word right after "
                                ".PROBE is taken as an option such as /CSDF, not as a quantity)");
  }
  std::string names;
  for (std::size_t w = 1; w < 1 + wanted; w += 2) {
    names += words[w].text;
    names += ' ';
  }

  LineText<kLineCapacity>& target = lines.probeNodeNames;
  if (names.size() > static_cast<std::size_t>(kLineCapacity)) {
    ThrowLineFailure(lines, ".PROBE line whose node quantities take more than " +
                                std::to_string(kLineCapacity) + " characters");
  }
  for (std::size_t i = 0; i < names.size(); ++i) target.at(static_cast<int>(i) + 1) = names[i];
  target.length = std::max(target.length, static_cast<int>(names.size()));
}

}  // namespace etherm
