#pragma once

#include <array>
#include <string>

#include "netlist/circuit_writer_input.h"

namespace etherm {

// One DC sweep point as its circuit gets it.
struct DcPoint {
  double sweepValue = 0;
  // Node values of the last converged point, indexed from 1 as the ".PROBE" line names them.
  std::array<double, kMaxDcNodeValues + 1> previousNodeValues{};
};

// Writes the circuit file of one DC iteration, baseName + iteration + ".cir", from the user's
// circuit baseName + ".cir". Lines are copied whole as read (CR LF) except:
// - subcircuit calls and ".MODEL" lines of modelled devices get the device temperatures;
// - the ".DC" line keeps its command and source (with the blanks after them) and sweeps the
//   single point: the sweep value twice and the problem's step in the 23-wide exponent form;
// - ".NODES..." lines after the first sweep point become ".NODESET " with the node
//   quantities of the ".PROBE" line set to previousNodeValues;
// - ".PROBE" lines are copied, and their node quantities returned.
// Failures (a missing input, a line that cannot be rewritten) end the analysis; the output
// file is closed and keeps the lines written before.
WrittenCircuit WriteDcCircuitFile(const CircuitWriterInput& input, const DcPoint& point);
// The same circuit into *text (the file's bytes) instead of the file; nothing is written.
WrittenCircuit WriteDcCircuitText(const CircuitWriterInput& input, const DcPoint& point,
                                  std::string* text);

}  // namespace etherm
