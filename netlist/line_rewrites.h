#pragma once

#include "model/analysis_state.h"
#include "model/name_field.h"

namespace etherm {

// Line rewrites shared by the DC and the transient circuit writers. Each works on the line in
// state.lineBuffer (read by ReadCircuitLine, so positions up to 120 past its end are blanks)
// and writes the resulting line, with its line end, to state.workFileC. Scans never go past
// the line. A failure names the circuit file and quotes the line.

// The first device 1..deviceCount whose name equals key (all 8 bytes, case included), or
// deviceCount + 1 when there is none.
int FindDevice(const AnalysisState& state, const NameField& key);

// A subcircuit call "X1 4 5 6 QSUB PARAMS: t=27": the part before the first ':' after
// position 1, then ": t=" and the device's temperature in degrees Celsius (width 8, 3
// decimals). The subcircuit name is the word before the word holding the ':', upper-cased.
// A call without such a ':' or whose subcircuit is not a modelled device is copied unchanged.
void RewriteSubcircuitCall(AnalysisState& state);

// A ".MODEL name type(first ...)" line of a modelled device (name as written, case included):
// ".MODEL  ", the name padded to 8, a blank, the text up to the first '(', "t_abs=" and the
// device's temperature in degrees Celsius (3 decimals) in place of the first parameter, then
// the rest up to the first ')' (or to position 120 when the list continues on "+" lines).
// A model line of a device the problem does not model is copied unchanged; one of a modelled
// device without '(' is a failure.
void RewriteModelLine(AnalysisState& state);

// Stores the node quantities of the ".PROBE" line into probeNodeNames, each followed by one
// blank, from position 1: the words after the keyword's first word form probeNodeCount pairs
// (a node quantity and its companion), and the first of each pair is taken. Nothing is written.
// A line with fewer than 2 x probeNodeCount words after its first word is a failure, and
// probeNodeNames is then left as it was.
void CaptureProbeNodes(AnalysisState& state);

}  // namespace etherm
