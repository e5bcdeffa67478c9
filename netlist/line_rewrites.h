#pragma once

#include <string>

#include "model/analysis_state.h"
#include "model/name_field.h"
#include "netlist/circuit_line.h"

namespace etherm {

// Line rewrites shared by the DC and the transient circuit writers. Each works on the whole
// line in lines.lineBuffer (read by ReadCircuitLine, so positions up to 120 past its end are
// blanks) and writes the resulting line, with its line end, to lines.output. No rewrite
// drops text by length. A failure names the circuit file and quotes the line.

// The first device 1..deviceCount whose name equals key (all 8 bytes, case included), or
// deviceCount + 1 when there is none.
int FindDevice(const Problem& problem, const NameField& key);

// Where a line of a modelled device takes the device's temperature: positions first..last of
// the line are replaced by prefix and the temperature (nothing is replaced when last < first).
struct TemperatureField {
  int device = 0;  // 0: not a line of a modelled device, copied unchanged
  int first = 0;
  int last = 0;
  std::string prefix;
  std::string problem;  // not empty: the line cannot take the temperature without losing text
};

// A subcircuit call "X1 4 5 6 QSUB PARAMS: t=27", read as the shared call parser reads it; the
// subcircuit name is compared upper-cased, and a call without PARAMS: takes no temperature.
// The value of t= among the PARAMS: values is replaced; written first, the text from the ':'
// to the value becomes ": t=". A PARAMS: with nothing after it gets ": t=" appended; a list of
// other values without t= is a problem.
TemperatureField FindCallTemperatureField(const Problem& problem, const WholeLineText& line);

// A ".MODEL name type(T_ABS=27 ...)" line, read as the shared .MODEL parser reads it (name as
// written, case included, followed by a blank): the parameter right after the '(' is replaced
// by "t_abs=" (inserted when none stands there). A first parameter other than T_ABS=..., or no
// '(', is a problem.
TemperatureField FindModelTemperatureField(const Problem& problem, const WholeLineText& line);

// Writes a subcircuit call with the device's temperature in degrees Celsius (width 8, 3
// decimals) in its field, the rest of the line as written. A call without PARAMS: or whose
// subcircuit is not a modelled device is copied unchanged; a problem is a failure.
void RewriteSubcircuitCall(CircuitLines& lines);

// Writes a ".MODEL" line of a modelled device as ".MODEL  ", the name padded to 8, a blank, the
// text up to the '(', "t_abs=" and the temperature in degrees Celsius (3 decimals), then the rest
// up to the ')' that closes the list; without one (the list continues on "+" lines) the whole
// line, padded to 120. A model line of a device the problem does not model is copied unchanged;
// a problem is a failure.
void RewriteModelLine(CircuitLines& lines);

// Stores the node quantities of the ".PROBE" line into probeNodeNames, each followed by one
// blank, from position 1: the words after the keyword's first word form probeNodeCount pairs
// (a node quantity and its companion), and the first of each pair is taken. Nothing is written.
// A line with fewer than 2 x probeNodeCount words after its first word is a failure, and
// probeNodeNames is then left as it was.
void CaptureProbeNodes(CircuitLines& lines);

}  // namespace etherm
