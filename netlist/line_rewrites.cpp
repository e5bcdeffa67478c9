#include "netlist/line_rewrites.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "netlist/circuit_line.h"
#include "spice_text/ascii_case.h"
#include "spice_text/model_line.h"
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
  const std::string text = line.Text();
  const std::optional<spice::ModelLine> model = spice::ParseModelLine(text);
  if (!model || model->name.empty()) return field;
  // A name not followed by a blank, such as QN in "QN(...)", has never named a device.
  const std::size_t after = model->name.end();
  if (after < text.size() && !spice::IsBlank(text[after])) return field;
  if (!CanNameDevice(static_cast<int>(model->name.text.size()))) return field;
  const std::string name(model->name.text);
  const int device = FindDevice(problem, NameField::From(name));
  if (device < 1 || device > problem.deviceCount()) return field;
  field.device = device;

  if (!model->open) {
    field.problem = ".MODEL line of a modelled device without \"(\" after its type";
    return field;
  }
  // Positions count from 1, offsets from 0: the position after the '(' is its offset + 2.
  field.first = static_cast<int>(*model->open) + 2;
  field.last = field.first - 1;  // nothing to replace: the temperature is inserted
  field.prefix = "t_abs=";
  const std::vector<spice::Parameter>& parameters = model->parameters;
  if (parameters.empty() || parameters[0].whole.offset != *model->open + 1) return field;
  // The first parameter right after the '(' is replaced.
  const spice::Parameter& first = parameters[0];
  if (!first.hasEquals || !spice::EqualNoCase(first.name.text, "T_ABS")) {
    const std::string written(first.whole.text);
    field.problem = ".MODEL line of " + name + " whose first parameter is " + written +
                    ", not T_ABS=; the first parameter receives the device temperature, so " +
                    written + " would be lost";
    return field;
  }
  field.last = static_cast<int>(first.whole.end());
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
  const std::string text = line.Text();
  const spice::ModelLine model = *spice::ParseModelLine(text);
  const int nameEnd = static_cast<int>(model.name.end());  // its last position

  // Without the list's ')' it continues on "+" lines and the line is written whole, padded to
  // 120 as it always was.
  const int end = model.close ? static_cast<int>(*model.close) + 1 : ScanEnd(lines);

  TextFile& out = lines.output;
  WriteText(out, ".MODEL  ");
  WriteText(out, NameField::From(model.name.text).Text());
  WriteChar(out, ' ');
  WritePositions(lines, nameEnd + 2, field.first - 1);
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
