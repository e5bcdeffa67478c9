#include "netlist/transient_circuit_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "netlist/circuit_line.h"
#include "netlist/circuit_temperature.h"
#include "netlist/line_rewrites.h"
#include "netlist/source_line.h"
#include "spice_text/source_fixed_nodes.h"
#include "spice_text/spice_number.h"
#include "spice_text/words.h"
#include "textio/checked_arithmetic.h"
#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/upper_case.h"

namespace etherm {

namespace {

constexpr double kMaxWindowLength = 10.0;  // s
constexpr double kTimeMatch = 1e-10;       // s

// What one call carries from the accumulated results into the circuit: node values, then
// inductor currents, then capacitor voltages.
struct CarriedValues {
  std::array<double, kMaxCarriedValues + 1> value{};
  int inductorIndex = 1;
  int capacitorIndex = 1;
};

// What the writer learns from the circuit before it writes it, and the whole state it carries.
struct WindowContext {
  double printStep = 0;         // of the first ".TRAN" line; 0 when none can be read
  std::set<std::string> fixed;  // nodes top-level voltage sources fix, lower case
  const CircuitState* state = nullptr;
};

std::string LowerText(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

void CheckCarriedCount(const CircuitLines& lines) {
  const int inductors = lines.problem.inductorCount;
  const int capacitors = lines.problem.capacitorCount;
  const int total = lines.probeNodeCount + inductors + capacitors;
  if (lines.probeNodeCount < 0 || inductors < 0 || capacitors < 0 || total > kMaxCarriedValues) {
    throw Failure("Circuit file \"" + lines.baseName +
                  ".cir\": " + std::to_string(lines.probeNodeCount) + " node values, " +
                  std::to_string(inductors) + " inductor currents and " +
                  std::to_string(capacitors) +
                  " capacitor voltages would be carried between time windows; at most " +
                  std::to_string(kMaxCarriedValues) + " values in all are possible");
  }
}

// True when nothing but blanks and line ends is left, so no further time can be read.
bool NoTokenLeft(const TextFile& file) {
  for (std::size_t i = file.position(); i < file.end(); ++i) {
    if (static_cast<unsigned char>(file.data()[i]) > 32) return false;
  }
  return true;
}

void ReadCarriedValues(const CircuitLines& lines, TextFile& results, CarriedValues& carried) {
  for (;;) {
    SkipLine(results);
    if (NoTokenLeft(results)) {
      throw Failure("Accumulated results \"" + lines.baseName +
                    ".wyn\" hold no line at the window start time " +
                    FormatExponent(lines.windowStartTime, 23).substr(1) +
                    " s, so the values to carry into the window are unknown");
    }
    const double time = ReadReal(results);
    if (std::fabs(time - lines.windowStartTime) < kTimeMatch) break;
  }
  for (int k = 1; k <= lines.probeNodeCount; ++k) {
    carried.value[static_cast<std::size_t>(k)] = ReadReal(results);
    ReadReal(results);  // the companion quantity
  }
  const int total =
      lines.probeNodeCount + lines.problem.inductorCount + lines.problem.capacitorCount;
  for (int k = lines.probeNodeCount + 1; k <= total; ++k) {
    carried.value[static_cast<std::size_t>(k)] = ReadReal(results);
  }
}

// A line beyond the problem file's lists: its words but an ic=, then " ic=" and its value in the
// whole state.
void WriteStateElement(CircuitLines& lines, const WindowContext& context, const char* kind,
                       int declared) {
  const std::vector<spice::Word> words = BlankSeparatedWords(lines.lineBuffer, 1);
  const std::optional<double> value =
      words.empty() || !context.state ? std::nullopt
                                      : context.state->Find("ic(" + LowerText(words[0].text) + ")");
  if (!value) {
    ThrowLineFailure(lines, std::string("more ") + kind + " lines than the " +
                                std::to_string(declared) + " the problem file declares");
  }
  TextFile& out = lines.output;
  bool first = true;
  for (const spice::Word& w : words) {
    if (LowerText(w.text.substr(0, 3)) == "ic=") continue;
    if (!first) WriteChar(out, ' ');
    WriteText(out, w.text);
    first = false;
  }
  WriteText(out, " ic=");
  WriteReal(out, *value);
  WriteLineEnd(out);
}

// "L1 3 4 10u" and "C1 6 0 1n": the first four words and the carried initial condition.
void WriteInitialConditionElement(CircuitLines& lines, CarriedValues& carried,
                                  const WindowContext& context, bool inductor) {
  const WholeLineText& line = lines.lineBuffer;
  const char* kind = inductor ? "inductor" : "capacitor";
  int& index = inductor ? carried.inductorIndex : carried.capacitorIndex;
  const int declared = inductor ? lines.problem.inductorCount : lines.problem.capacitorCount;
  if (index > declared) {
    WriteStateElement(lines, context, kind, declared);
    return;
  }
  const std::vector<spice::Word> words = BlankSeparatedWords(line, 1);
  if (words.size() < 4) ThrowLineFailure(lines, std::string(kind) + " line without its value");
  TextFile& out = lines.output;
  for (std::size_t w = 0; w < 4; ++w) {
    if (w > 0) WriteChar(out, ' ');
    WriteText(out, words[w].text);
  }
  WriteText(out, " ic=");
  const int slot = lines.probeNodeCount + (inductor ? 0 : lines.problem.inductorCount) + index;
  WriteReal(out, carried.value[static_cast<std::size_t>(slot)]);
  WriteLineEnd(out);
  ++index;
}

// The print step in seconds; 0 when it is not a number above 0.
double PrintStepValue(const WholeLineText& line) {
  const std::optional<double> step = spice::ParseSpiceNumber(TransientPrintStep(line)).value;
  return step && *step > 0 && std::isfinite(*step) ? *step : 0.0;
}

// ".TRAN 1n 100u": the print step stays, the length becomes the window's.
void WriteLengthLine(CircuitLines& lines, double windowLength) {
  const WholeLineText& line = lines.lineBuffer;
  const std::string step = TransientPrintStep(line);
  if (step.empty()) ThrowLineFailure(lines, ".TRAN line without its print step");
  // The window's bound rests on it.
  if (PrintStepValue(line) == 0.0) {
    ThrowLineFailure(lines, ".TRAN line whose print step is not a number above 0");
  }
  TextFile& out = lines.output;
  WriteText(out, ".TRAN   ");
  WriteText(out, step);
  WriteChar(out, ' ');
  if (windowLength > kMaxWindowLength) {
    WriteText(out, " 10 ");
  } else {
    WriteReal(out, windowLength, 12, 10);
  }
  WriteLineEnd(out);
}

void WriteBiasSaveLine(CircuitLines& lines, double windowLength) {
  TextFile& out = lines.output;
  WriteText(out, ".savebias \"a1.bsp\" tran time=");
  if (windowLength > kMaxWindowLength) {
    WriteText(out, "10");
  } else {
    WriteReal(out, windowLength, 0, 10);
  }
  WriteLineEnd(out);
}

// The node of a node quantity "V(3)", lower case; empty for a difference "V(a,b)" or another
// kind of quantity, which no ".ic" entry can take; nothing when it is neither.
std::optional<std::string> QuantityNode(const std::string& quantity) {
  const std::string lower = LowerText(quantity);
  if (lower.size() < 4 || lower.compare(0, 2, "v(") != 0 || lower.back() != ')') {
    return std::nullopt;
  }
  const std::string node = lower.substr(2, lower.size() - 3);
  if (node.find(',') != std::string::npos) return std::string();
  return node;
}

// ".ic   V(3)=v3  V(5)=v5 ", written before the ".PROBE" line: the probed nodes an initial value
// can be given to, with their carried values, then the other nodes of the whole state.
void WriteNodeInitialLine(CircuitLines& lines, const CarriedValues& carried,
                          const WindowContext& context, TextFile& results) {
  RequireProbeNodeNames(lines, ".ic");
  std::string entries;
  std::set<std::string> written;
  TextFile& out = lines.output;
  auto entry = [&](const std::string& name, double value, int width) {
    if (!entries.empty()) entries += ' ';
    entries += name + '=' + FormatExponent(value, width) + ' ';
  };
  for (int k = 1; k <= lines.probeNodeCount; ++k) {
    const std::string name = ProbeNodeName(lines, k);
    const std::optional<std::string> node = QuantityNode(name);
    if (node && (node->empty() || context.fixed.count(*node))) continue;
    if (node) written.insert(*node);
    entry(name, carried.value[static_cast<std::size_t>(k)], 16);
  }
  if (context.state) {
    for (std::size_t i = 0; i < context.state->names.size(); ++i) {
      const std::optional<std::string> node = QuantityNode(context.state->names[i]);
      if (!node || node->empty() || context.fixed.count(*node) || !written.insert(*node).second) {
        continue;
      }
      entry(context.state->names[i], context.state->values[i], 23);
    }
  }
  results.Close();
  if (entries.empty()) return;  // an empty ".ic" line is no initial condition
  WriteText(out, ".ic   ");
  WriteText(out, entries);
  WriteLineEnd(out);
}

void WriteTransientLine(CircuitLines& lines, CarriedValues& carried, const WindowContext& context,
                        TextFile& results, double windowLength, OpenPointList& points) {
  const bool laterWindow = lines.windowStartTime > 0;
  const char first = UpperCase(lines.lineBuffer.at(1));
  if (first == 'V' || first == 'I') {
    WriteTransientSourceLine(lines, points);
  } else if (first == 'L' && laterWindow) {
    WriteInitialConditionElement(lines, carried, context, true);
  } else if (first == 'C' && laterWindow) {
    WriteInitialConditionElement(lines, carried, context, false);
  } else if (first == 'X') {
    RewriteSubcircuitCall(lines);
  } else if (first == '.') {
    const std::string keyword = DotKeyword(lines);
    if (keyword == ".MODEL  ") {
      RewriteModelLine(lines);
    } else if (keyword == ".TRAN   " && laterWindow) {
      WriteLengthLine(lines, windowLength);
    } else if (keyword == ".SAVEB  " && laterWindow) {
      WriteBiasSaveLine(lines, windowLength);
    } else if (keyword == ".PROBE  ") {
      if (laterWindow) {
        WriteNodeInitialLine(lines, carried, context, results);
      } else {
        CaptureProbeNodes(lines);
      }
      CopyLine(lines);
    } else {
      CopyLine(lines);
    }
  } else {
    CheckTimeDependentExpression(lines);
    CopyLine(lines);
  }
}

// The print step of the circuit's first ".TRAN" line (0 when there is none, or when it cannot
// be read: writing that line fails then) and the nodes its top-level voltage sources fix. Read
// ahead, since the ".SAVEBIAS" line, which takes the same window length, and the sources may
// come after the lines that need them.
WindowContext ReadAhead(const std::string& baseName) {
  WindowContext context;
  TextFile circuit;
  circuit.OpenForReading(baseName + ".cir");
  WholeLineText line;
  bool stepRead = false;
  int definitions = 0;
  std::vector<spice::SourceNodes> sources;
  if (!AtEnd(circuit)) ReadWholeLine(circuit);  // the title
  while (!AtEnd(circuit)) {
    const std::string text = ReadWholeLine(circuit);
    if (spice::IsCommentLine(text)) continue;
    const std::vector<spice::Word> fields =
        spice::SplitWords(std::string_view(text).substr(0, spice::CommentStart(text)));
    if (fields.empty()) continue;
    const std::string first = LowerText(fields[0].text);
    if (first == ".subckt") ++definitions;
    if (first == ".ends" && definitions > 0) --definitions;
    std::vector<std::string> words;
    for (const spice::Word& w : fields) words.emplace_back(w.text);
    if (definitions == 0 && spice::IsVoltageSourceLine(words)) {
      sources.emplace_back(words[1], words[2]);
    }
    if (stepRead) continue;
    SetWholeLine(line, text);
    if (!IsTransientLengthLine(line)) continue;
    context.printStep = PrintStepValue(line);
    stepRead = true;
  }
  circuit.Close();
  context.fixed = spice::SourceFixedNodes(sources);
  return context;
}

}  // namespace

WrittenCircuit WriteTransientCircuitFile(const CircuitWriterInput& input,
                                         const TransientWindow& window) {
  double windowLength = window.marginOfWindow
                            ? checked::Mul(1.05, checked::Sub(window.end, window.start))
                            : checked::Sub(checked::Mul(1.05, window.end), window.start);
  WindowContext context;
  if (window.start > 0) {
    context = ReadAhead(input.baseName);
    context.state = window.state;
    const double step = context.printStep;
    if (step > 0) windowLength = std::min(windowLength, kMaxPrintStepsPerWindow * step);
  }
  CircuitLines lines(input);
  lines.windowStartTime = window.start;
  lines.input.OpenForReading(input.baseName + ".cir");
  WrittenCircuit written;
  written.iterationText = IterationText(input.iterationNumber);
  lines.output.OpenForReplacing(input.baseName + written.iterationText + ".cir");
  CheckCarriedCount(lines);

  CarriedValues carried;
  TextFile results;
  results.OpenText(window.resultsName, window.resultsText, window.resultsFirstLine);
  SkipLine(results);
  if (window.start > 0) ReadCarriedValues(lines, results, carried);

  OpenPointList points;
  bool title = true;
  while (!AtEnd(lines.input)) {
    ReadCircuitLine(lines);
    // The first line is the title, whatever it begins with ("LED driver", "Vin sweep").
    if (std::exchange(title, false)) {
      CopyTitleLine(lines);
    } else if (!WritePointListContinuation(lines, points)) {
      WriteTransientLine(lines, carried, context, results, windowLength, points);
    }
  }
  CheckPointListClosed(lines, points);
  lines.output.Close();
  lines.input.Close();
  results.Close();
  written.probeNodeNames = lines.probeNodeNames;
  written.startTimeText = lines.startTimeText;
  return written;
}

}  // namespace etherm
