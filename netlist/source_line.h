#pragma once

#include <string>

#include "netlist/circuit_line.h"

namespace etherm {

// Sources in a transient circuit file keep their absolute timing: each window starts at the
// simulator's time 0 while its absolute start is windowStartTime, so every time of a source
// function becomes "{time-startTimeText}" (a braced time "{expr}" becomes
// "{(expr)-startTimeText}"), where startTimeText is windowStartTime with 10 decimals, cut to 12
// characters. Sources whose timing cannot be carried this way are refused with a failure that
// quotes their line; the transient writer meets them while writing the first window, so a
// transient analysis with such a source stops before the simulator first runs.

// A PWL list that continues on "+" lines after its source line.
struct OpenPointList {
  bool open = false;
  bool closedAbove = false;  // "+" lines after the list may still add options to it
  bool nextIsTime = true;
  int valueCount = 0;
  std::string sourceLine;  // quoted by failures
};

// An independent source line (first letter V or I). The function is the fourth word:
// - PULSE (delay = 3rd parameter) and SIN/SINE (delay = 4th): the line up to the delay, the
//   shifted delay, the rest up to the first ')'; text after it is dropped. A missing delay or
//   ')' is a failure.
// - PWL: every time point shifted; the list may continue on "+" lines (points is then left
//   open); text after the ')' is kept, but a repeat (r=) is refused.
// - EXP: both delays shifted (the first inserted as "{0-startTimeText}" when it is missing;
//   the second, when missing, follows the first as its default does); text after ')' dropped.
// - SFFM(VO VA FC MDI FS PHASEC PHASES): each phase (in degrees, 0 when missing) becomes
//   "{PHASE+360*F*startTimeText}" with F its frequency (FC or FS), numbers written as plain
//   digits and expressions in parentheses; missing phases are appended. FC or FS missing or 0
//   (ngspice then takes them from the window's length) is a failure; text after ')' dropped.
// - AM, TRNOISE, TRRANDOM, PAT: refused.
// - anything else (DC and AC values): the line up to position 120, blank padded; a time
//   function later on the line (after a DC value) is refused.
void WriteTransientSourceLine(CircuitLines& lines, OpenPointList& points);

// Lines after a PWL source line: while its list is open, "+" lines continue it and any other
// line but a comment or blank line is a failure (the list never closed); after it closed, "+"
// lines are copied unless they ask for a repeat. Returns false, with nothing written, for a
// line that does not belong to a PWL source.
bool WritePointListContinuation(CircuitLines& lines, OpenPointList& points);

// The end of the circuit: a PWL list still open is a failure.
void CheckPointListClosed(const CircuitLines& lines, const OpenPointList& points);

// A behavioural or controlled source (first letter B, E or G) whose expression uses TIME
// restarts its waveform in every window; it is refused.
void CheckTimeDependentExpression(const CircuitLines& lines);

}  // namespace etherm
