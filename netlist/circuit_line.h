#pragma once

#include <string>
#include <string_view>

#include "model/analysis_state.h"

namespace etherm {

// Helpers the circuit writers share. The line being processed is state.lineBuffer; the input
// circuit is read through state.workFileA and the output written through state.workFileC.

// Lines are read into a buffer of 120 blanks, so scans that stop at a blank find one right
// after a line shorter than this.
inline constexpr int kPaddedLineLength = 120;

// Reads the next line of workFileA whole into lineBuffer, padded with blanks to at least 120
// positions; the length becomes the number of bytes read.
void ReadCircuitLine(AnalysisState& state);

// A circuit line read whole from a file (without its line end).
std::string ReadWholeLine(TextFile& file);

// Stores text as line, padded with blanks to at least 120 positions.
void SetWholeLine(WholeLineText& line, const std::string& text);

// The last position a scan may look at: the line itself or its blank padding, whichever is
// longer.
int ScanEnd(const AnalysisState& state);

// The keyword of a dot command: positions 1..6 in upper case followed by two blanks.
std::string DotKeyword(const AnalysisState& state);
std::string DotKeyword(const WholeLineText& line);

// A ".TRAN" line followed by a blank, whose length the transient writer sets, and its print
// step: the first word after the keyword (empty when there is none).
bool IsTransientLengthLine(const WholeLineText& line);
std::string TransientPrintStep(const WholeLineText& line);

// Positions first..last of a line text (empty when last < first); for a whole line, at most
// up to its stored positions.
std::string_view Span(const LineText<kLineCapacity>& text, int first, int last);
std::string_view Span(const WholeLineText& text, int first, int last);

// Writes positions first..last of lineBuffer (nothing when last < first).
void WritePositions(AnalysisState& state, int first, int last);

// Writes the line as read and the line end.
void CopyLine(AnalysisState& state);

// Ends the analysis over a line a rewrite needs but cannot handle, quoting it.
[[noreturn]] void ThrowLineFailure(const AnalysisState& state, std::string_view what);
// The same for a line read earlier.
[[noreturn]] void ThrowQuotedFailure(const AnalysisState& state, std::string_view what,
                                     std::string_view line);

// The k-th node quantity (1-based) stored in probeNodeNames; empty when there is none.
std::string ProbeNodeName(const AnalysisState& state, int k);

// The first probeNodeCount node quantities, or a failure naming the line that needs them.
void RequireProbeNodeNames(const AnalysisState& state, std::string_view lineKind);

// The temperature of device i as the circuit receives it: kelvin minus 273.
double CircuitTemperature(const AnalysisState& state, int device);

// iterationNumber as the digits of the per-iteration file names.
std::string IterationText(std::int32_t iterationNumber);

}  // namespace etherm
