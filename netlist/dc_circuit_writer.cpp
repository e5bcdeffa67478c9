#include "netlist/dc_circuit_writer.h"

#include <utility>
#include <vector>

#include "netlist/circuit_line.h"
#include "netlist/circuit_temperature.h"
#include "netlist/line_rewrites.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/upper_case.h"

namespace etherm {

namespace {

// ".DC V1 5 10 0.5": the command and the swept source are kept with the blanks after them;
// the values, whatever their form, become the single point.
void WriteSweepLine(CircuitLines& lines, const DcPoint& point) {
  const WholeLineText& line = lines.lineBuffer;
  const std::vector<spice::Word> words = BlankSeparatedWords(line, 1);
  if (words.size() < 2) ThrowLineFailure(lines, ".DC line without the swept source");
  // The position of the first value, or the end of the line.
  const int p = words.size() > 2 ? static_cast<int>(words[2].offset) + 1 : line.length + 1;
  TextFile& out = lines.output;
  WritePositions(lines, 1, p - 1);
  if (line.at(p - 1) != ' ') WriteChar(out, ' ');
  WriteReal(out, point.sweepValue);
  WriteChar(out, ' ');
  WriteReal(out, point.sweepValue);
  WriteChar(out, ' ');
  WriteReal(out, lines.problem.sweepStep);
  WriteLineEnd(out);
}

// From the second sweep point on, the simulator starts from the node values of the last
// converged point.
void WriteNodeSetLine(CircuitLines& lines, const DcPoint& point) {
  if (point.sweepValue == lines.problem.sweepStart) {
    CopyLine(lines);
    return;
  }
  if (lines.probeNodeCount > kMaxDcNodeValues) {
    ThrowLineFailure(lines, ".NODESET line for " + std::to_string(lines.probeNodeCount) +
                                " node quantities; a DC analysis carries at most " +
                                std::to_string(kMaxDcNodeValues));
  }
  RequireProbeNodeNames(lines, ".NODESET");
  TextFile& out = lines.output;
  WriteText(out, ".NODESET ");
  for (int k = 1; k <= lines.probeNodeCount; ++k) {
    WriteText(out, ProbeNodeName(lines, k));
    WriteChar(out, '=');
    WriteReal(out, point.previousNodeValues[static_cast<std::size_t>(k)]);
    WriteChar(out, ' ');
  }
  WriteLineEnd(out);
}

void WriteDcLine(CircuitLines& lines, const DcPoint& point) {
  const char first = UpperCase(lines.lineBuffer.at(1));
  if (first == 'X') {
    RewriteSubcircuitCall(lines);
    return;
  }
  if (first != '.') {
    CopyLine(lines);
    return;
  }
  const std::string keyword = DotKeyword(lines);
  if (keyword == ".MODEL  ") {
    RewriteModelLine(lines);
  } else if (keyword[1] == 'D' && keyword[2] == 'C') {
    WriteSweepLine(lines, point);
  } else if (keyword == ".NODES  ") {
    WriteNodeSetLine(lines, point);
  } else if (keyword == ".PROBE  ") {
    CaptureProbeNodes(lines);
    CopyLine(lines);
  } else {
    CopyLine(lines);
  }
}

// The iteration's circuit to the file, or to *text when text is given.
WrittenCircuit WriteDcCircuit(const CircuitWriterInput& input, const DcPoint& point,
                              std::string* text) {
  CircuitLines lines(input);
  lines.input.OpenForReading(input.baseName + ".cir");
  WrittenCircuit written;
  written.iterationText = IterationText(input.iterationNumber);
  const std::string name = input.baseName + written.iterationText + ".cir";
  if (text != nullptr) {
    lines.output.OpenInMemory(name);
  } else {
    lines.output.OpenForReplacing(name);
  }
  bool title = true;
  while (!AtEnd(lines.input)) {
    ReadCircuitLine(lines);
    // The first line is the title, whatever it begins with ("X-ray tube supply").
    if (std::exchange(title, false)) {
      CopyTitleLine(lines);
    } else {
      WriteDcLine(lines, point);
    }
  }
  if (text != nullptr) {
    *text = lines.output.TakeText();
  } else {
    lines.output.Close();
  }
  lines.input.Close();
  written.probeNodeNames = lines.probeNodeNames;
  return written;
}

}  // namespace

WrittenCircuit WriteDcCircuitFile(const CircuitWriterInput& input, const DcPoint& point) {
  return WriteDcCircuit(input, point, nullptr);
}

WrittenCircuit WriteDcCircuitText(const CircuitWriterInput& input, const DcPoint& point,
                                  std::string* text) {
  return WriteDcCircuit(input, point, text);
}

}  // namespace etherm
