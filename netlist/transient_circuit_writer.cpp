#include "netlist/transient_circuit_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "netlist/circuit_line.h"
#include "netlist/line_rewrites.h"
#include "netlist/source_line.h"
#include "netlist/spice_number.h"
#include "netlist/writer_files.h"
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

void CheckCarriedCount(const AnalysisState& state) {
  const int total = state.probeNodeCount + state.inductorCount + state.capacitorCount;
  if (state.probeNodeCount < 0 || state.inductorCount < 0 || state.capacitorCount < 0 ||
      total > kMaxCarriedValues) {
    throw Failure("Circuit file \"" + state.baseName +
                  ".cir\": " + std::to_string(state.probeNodeCount) + " node values, " +
                  std::to_string(state.inductorCount) + " inductor currents and " +
                  std::to_string(state.capacitorCount) +
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

void ReadCarriedValues(AnalysisState& state, CarriedValues& carried) {
  TextFile& results = state.resultFile;
  for (;;) {
    SkipLine(results);
    if (NoTokenLeft(results)) {
      throw Failure("Accumulated results \"" + state.baseName +
                    ".wyn\" hold no line at the window start time " +
                    FormatExponent(state.windowStartTime, 23).substr(1) +
                    " s, so the values to carry into the window are unknown");
    }
    const double time = ReadReal(results);
    if (std::fabs(time - state.windowStartTime) < kTimeMatch) break;
  }
  for (int k = 1; k <= state.probeNodeCount; ++k) {
    carried.value[static_cast<std::size_t>(k)] = ReadReal(results);
    ReadReal(results);  // the companion quantity
  }
  const int total = state.probeNodeCount + state.inductorCount + state.capacitorCount;
  for (int k = state.probeNodeCount + 1; k <= total; ++k) {
    carried.value[static_cast<std::size_t>(k)] = ReadReal(results);
  }
}

// "L1 3 4 10u" and "C1 6 0 1n": the first four words and the carried initial condition.
void WriteInitialConditionElement(AnalysisState& state, CarriedValues& carried, bool inductor) {
  const WholeLineText& line = state.lineBuffer;
  const char* kind = inductor ? "inductor" : "capacitor";
  int& index = inductor ? carried.inductorIndex : carried.capacitorIndex;
  const int declared = inductor ? state.inductorCount : state.capacitorCount;
  if (index > declared) {
    ThrowLineFailure(state, std::string("more ") + kind + " lines than the " +
                                std::to_string(declared) + " the problem file declares");
  }
  std::array<int, 5> start{};
  std::array<int, 5> end{};
  int p = 1;
  for (int w = 1; w <= 4; ++w) {
    while (p <= line.length && line.at(p) == ' ') ++p;
    if (p > line.length) ThrowLineFailure(state, std::string(kind) + " line without its value");
    start[static_cast<std::size_t>(w)] = p;
    while (p <= line.length && line.at(p) != ' ') ++p;
    end[static_cast<std::size_t>(w)] = p - 1;
  }
  TextFile& out = state.workFileC;
  for (int w = 1; w <= 4; ++w) {
    if (w > 1) WriteChar(out, ' ');
    WritePositions(state, start[static_cast<std::size_t>(w)], end[static_cast<std::size_t>(w)]);
  }
  WriteText(out, " ic=");
  const int slot = state.probeNodeCount + (inductor ? 0 : state.inductorCount) + index;
  WriteReal(out, carried.value[static_cast<std::size_t>(slot)]);
  WriteLineEnd(out);
  ++index;
}

// The print step in seconds; 0 when it is not a number above 0.
double PrintStepValue(const WholeLineText& line) {
  const std::optional<double> step = SpiceNumberValue(TransientPrintStep(line));
  return step && *step > 0 && std::isfinite(*step) ? *step : 0.0;
}

// ".TRAN 1n 100u": the print step stays, the length becomes the window's.
void WriteLengthLine(AnalysisState& state, double windowLength) {
  const WholeLineText& line = state.lineBuffer;
  const std::string step = TransientPrintStep(line);
  if (step.empty()) ThrowLineFailure(state, ".TRAN line without its print step");
  // The window's bound rests on it.
  if (PrintStepValue(line) == 0.0) {
    ThrowLineFailure(state, ".TRAN line whose print step is not a number above 0");
  }
  TextFile& out = state.workFileC;
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

void WriteBiasSaveLine(AnalysisState& state, double windowLength) {
  TextFile& out = state.workFileC;
  WriteText(out, ".savebias \"a1.bsp\" tran time=");
  if (windowLength > kMaxWindowLength) {
    WriteText(out, "10");
  } else {
    WriteReal(out, windowLength, 0, 10);
  }
  WriteLineEnd(out);
}

// ".ic   V(3)=v3  V(5)=v5 ", written before the ".PROBE" line.
void WriteNodeInitialLine(AnalysisState& state, const CarriedValues& carried, WriterFiles& files) {
  RequireProbeNodeNames(state, ".ic");
  TextFile& out = state.workFileC;
  WriteText(out, ".ic   ");
  for (int k = 1; k <= state.probeNodeCount; ++k) {
    if (k >= 2) WriteChar(out, ' ');
    WriteText(out, ProbeNodeName(state, k));
    WriteChar(out, '=');
    WriteReal(out, carried.value[static_cast<std::size_t>(k)], 16);
    WriteChar(out, ' ');
  }
  files.CloseResults();
  WriteLineEnd(out);
}

void WriteTransientLine(AnalysisState& state, CarriedValues& carried, WriterFiles& files,
                        double windowLength, OpenPointList& points) {
  const bool laterWindow = state.windowStartTime > 0;
  const char first = UpperCase(state.lineBuffer.at(1));
  if (first == 'V' || first == 'I') {
    WriteTransientSourceLine(state, points);
  } else if (first == 'L' && laterWindow) {
    WriteInitialConditionElement(state, carried, true);
  } else if (first == 'C' && laterWindow) {
    WriteInitialConditionElement(state, carried, false);
  } else if (first == 'X') {
    RewriteSubcircuitCall(state);
  } else if (first == '.') {
    const std::string keyword = DotKeyword(state);
    if (keyword == ".MODEL  ") {
      RewriteModelLine(state);
    } else if (keyword == ".TRAN   " && laterWindow) {
      WriteLengthLine(state, windowLength);
    } else if (keyword == ".SAVEB  " && laterWindow) {
      WriteBiasSaveLine(state, windowLength);
    } else if (keyword == ".PROBE  ") {
      if (laterWindow) {
        WriteNodeInitialLine(state, carried, files);
      } else {
        CaptureProbeNodes(state);
      }
      CopyLine(state);
    } else {
      CopyLine(state);
    }
  } else {
    CheckTimeDependentExpression(state);
    CopyLine(state);
  }
}

// The print step of the circuit's first ".TRAN" line (0 when there is none, or when it cannot
// be read: writing that line fails then). Read ahead, since the ".SAVEBIAS" line, which takes
// the same window length, may come first.
double FirstPrintStep(const AnalysisState& state) {
  TextFile circuit;
  circuit.OpenForReading(state.baseName + ".cir");
  WholeLineText line;
  while (!AtEnd(circuit)) {
    SetWholeLine(line, ReadWholeLine(circuit));
    if (!IsTransientLengthLine(line)) continue;
    circuit.Close();
    return PrintStepValue(line);
  }
  circuit.Close();
  return 0;
}

}  // namespace

void WriteTransientCircuitFile(AnalysisState& state) {
  double windowLength =
      checked::Sub(checked::Mul(1.05, state.windowEndTime), state.windowStartTime);
  if (state.windowStartTime > 0) {
    const double step = FirstPrintStep(state);
    if (step > 0) windowLength = std::min(windowLength, kMaxPrintStepsPerWindow * step);
  }
  WriterFiles files(state);
  files.OpenInput();
  state.iterationText = IterationText(state.iterationNumber);
  files.CreateOutput();
  CheckCarriedCount(state);

  CarriedValues carried;
  files.OpenResults();
  SkipLine(state.resultFile);
  if (state.windowStartTime > 0) ReadCarriedValues(state, carried);

  OpenPointList points;
  while (!AtEnd(state.workFileA)) {
    ReadCircuitLine(state);
    if (!WritePointListContinuation(state, points)) {
      WriteTransientLine(state, carried, files, windowLength, points);
    }
  }
  CheckPointListClosed(state, points);
  files.CloseAll();
}

}  // namespace etherm
