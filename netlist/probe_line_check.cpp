#include "netlist/probe_line_check.h"

#include <string>

#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"

namespace etherm {

void CheckCircuitHasProbeLine(const AnalysisState& state) {
  const std::string name = state.baseName + ".cir";
  TextFile circuit;
  circuit.OpenForReading(name);
  while (!AtEnd(circuit)) {
    const std::string line = ReadString(circuit, kLineCapacity);
    SkipLine(circuit);
    std::string keyword;
    for (std::size_t i = 0; i < line.size() && i < 6; ++i) keyword += UpperCase(line[i]);
    if (keyword == ".PROBE") return;
  }
  const int pairs = state.probeNodeCount;
  throw Failure("Circuit file \"" + name + "\" has no .PROBE line; it must list " +
                std::to_string(pairs) + (pairs == 1 ? " pair" : " pairs") +
                " of a node voltage and a current for the modelled devices");
}

}  // namespace etherm
