#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/analysis_state.h"
#include "netlist/circuit_writer_input.h"
#include "spice_text/words.h"
#include "textio/text_file.h"

namespace etherm {

// Helpers the circuit writers share. The line being processed is lines.lineBuffer; the input
// circuit is read through lines.input and the output written through lines.output.

// One writer call's working record: what it reads, the current line and its two files, which
// close when the call ends, by a failure too, keeping the lines written before.
struct CircuitLines {
  CircuitLines(const CircuitWriterInput& in)
      : problem(in.problem),
        baseName(in.baseName),
        deviceTemperature(in.temperatures),
        probeNodeCount(in.problem.ProbeNodeCount()),
        probeNodeNames(in.probeNodeNames),
        circuitTemperature(in.circuitTemperature) {}

  const Problem& problem;
  const std::string& baseName;  // failure texts name baseName + ".cir"
  const DeviceTable<double>& deviceTemperature;
  int probeNodeCount;
  WholeLineText lineBuffer;
  TextFile input;   // the user's circuit
  TextFile output;  // the iteration's circuit
  ProbeNodeNames probeNodeNames;
  std::string startTimeText;                 // set by the first source rewritten with its timing
  double windowStartTime = 0;                // transient
  std::optional<double> circuitTemperature;  // degrees Celsius, see CircuitWriterInput
};

// Lines are read into a buffer of 120 blanks, so scans that stop at a blank find one right
// after a line shorter than this.
inline constexpr int kPaddedLineLength = 120;

// Reads the next line of the input whole into lineBuffer, padded with blanks to at least 120
// positions; the length becomes the number of bytes read.
void ReadCircuitLine(CircuitLines& lines);

// A circuit line read whole from a file (without its line end).
std::string ReadWholeLine(TextFile& file);

// Stores text as line, padded with blanks to at least 120 positions.
void SetWholeLine(WholeLineText& line, const std::string& text);

// The last position a scan may look at: the line itself or its blank padding, whichever is
// longer.
int ScanEnd(const CircuitLines& lines);

// The first position from p on, up to the line's length, whose byte ends a scan outside braces
// ({...} nest and hide what they hold; a '}' without its '{' is passed over), or length + 1.
template <class Stop>
int ScanOutsideBraces(const WholeLineText& line, int p, Stop stops) {
  int depth = 0;
  for (; p <= line.length; ++p) {
    const char c = line.at(p);
    if (c == '{') {
      ++depth;
    } else if (c == '}') {
      depth = depth > 0 ? depth - 1 : 0;
    } else if (depth == 0 && stops(c)) {
      break;
    }
  }
  return p;
}

// The words of positions from..length of a line, separated by blanks only (a tab is part of a
// word, as the writers have always taken it).
std::vector<spice::Word> BlankSeparatedWords(const WholeLineText& line, int from);

// The keyword of a dot command: positions 1..6 in upper case followed by two blanks.
std::string DotKeyword(const CircuitLines& lines);
std::string DotKeyword(const WholeLineText& line);

// A ".TRAN" line followed by a blank, whose length the transient writer sets, and its print
// step: the first word after the keyword (empty when there is none).
bool IsTransientLengthLine(const WholeLineText& line);
std::string TransientPrintStep(const WholeLineText& line);

// Positions first..last of a line text (empty when last < first); for a whole line, at most
// up to its stored positions.
std::string_view Span(const LineText<kLineCapacity>& text, int first, int last);
std::string_view Span(const WholeLineText& text, int first, int last);

// Writes positions first..last of lineBuffer to the output (nothing when last < first).
void WritePositions(CircuitLines& lines, int first, int last);

// Writes the line as read and the line end.
void CopyLine(CircuitLines& lines);

// Ends the analysis over a line a rewrite needs but cannot handle, quoting it.
[[noreturn]] void ThrowLineFailure(const CircuitLines& lines, std::string_view what);
// The same for a line read earlier.
[[noreturn]] void ThrowQuotedFailure(const CircuitLines& lines, std::string_view what,
                                     std::string_view line);

// The k-th node quantity (1-based) stored in probeNodeNames; empty when there is none.
std::string ProbeNodeName(const CircuitLines& lines, int k);

// The first probeNodeCount node quantities, or a failure naming the line that needs them.
void RequireProbeNodeNames(const CircuitLines& lines, std::string_view lineKind);

// The temperature of device i as the circuit receives it: kelvin minus 273.
double CircuitTemperature(const CircuitLines& lines, int device);

// iterationNumber as the digits of the per-iteration file names.
std::string IterationText(std::int32_t iterationNumber);

}  // namespace etherm
