#include "netlist/dc_circuit_writer.h"

#include "netlist/circuit_line.h"
#include "netlist/line_rewrites.h"
#include "netlist/writer_files.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/upper_case.h"

namespace etherm {

namespace {

// ".DC V1 5 10 0.5": the command and the swept source are kept with the blanks after them;
// the values, whatever their form, become the single point sweepValue.
void WriteSweepLine(AnalysisState& state) {
  const WholeLineText& line = state.lineBuffer;
  int p = 1;
  while (p <= line.length && line.at(p) != ' ') ++p;
  while (p <= line.length && line.at(p) == ' ') ++p;
  if (p > line.length) ThrowLineFailure(state, ".DC line without the swept source");
  while (p <= line.length && line.at(p) != ' ') ++p;
  while (p <= line.length && line.at(p) == ' ') ++p;
  TextFile& out = state.workFileC;
  WritePositions(state, 1, p - 1);
  if (line.at(p - 1) != ' ') WriteChar(out, ' ');
  WriteReal(out, state.sweepValue);
  WriteChar(out, ' ');
  WriteReal(out, state.sweepValue);
  WriteChar(out, ' ');
  WriteReal(out, state.stepSize);
  WriteLineEnd(out);
}

// From the second sweep point on, the simulator starts from the node values of the last
// converged point.
void WriteNodeSetLine(AnalysisState& state) {
  if (state.sweepValue == state.sweepStart) {
    CopyLine(state);
    return;
  }
  if (state.probeNodeCount > kMaxDcNodeValues) {
    ThrowLineFailure(state, ".NODESET line for " + std::to_string(state.probeNodeCount) +
                                " node quantities; a DC analysis carries at most " +
                                std::to_string(kMaxDcNodeValues));
  }
  RequireProbeNodeNames(state, ".NODESET");
  TextFile& out = state.workFileC;
  WriteText(out, ".NODESET ");
  for (int k = 1; k <= state.probeNodeCount; ++k) {
    WriteText(out, ProbeNodeName(state, k));
    WriteChar(out, '=');
    WriteReal(out, state.previousNodeValue[static_cast<std::size_t>(k)]);
    WriteChar(out, ' ');
  }
  WriteLineEnd(out);
}

void WriteDcLine(AnalysisState& state) {
  const char first = UpperCase(state.lineBuffer.at(1));
  if (first == 'X') {
    RewriteSubcircuitCall(state);
    return;
  }
  if (first != '.') {
    CopyLine(state);
    return;
  }
  const std::string keyword = DotKeyword(state);
  if (keyword == ".MODEL  ") {
    RewriteModelLine(state);
  } else if (keyword[1] == 'D' && keyword[2] == 'C') {
    WriteSweepLine(state);
  } else if (keyword == ".NODES  ") {
    WriteNodeSetLine(state);
  } else if (keyword == ".PROBE  ") {
    CaptureProbeNodes(state);
    CopyLine(state);
  } else {
    CopyLine(state);
  }
}

}  // namespace

void WriteDcCircuitFile(AnalysisState& state) {
  WriterFiles files(state);
  files.OpenInput();
  state.iterationText = IterationText(state.iterationNumber);
  files.CreateOutput();
  while (!AtEnd(state.workFileA)) {
    ReadCircuitLine(state);
    WriteDcLine(state);
  }
  files.CloseAll();
}

}  // namespace etherm
