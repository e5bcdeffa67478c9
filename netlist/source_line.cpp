#include "netlist/source_line.h"

#include <string>

#include "netlist/circuit_line.h"
#include "textio/number_text.h"
#include "textio/text_file.h"

namespace etherm {

namespace {

constexpr int kStartTimeTextLength = 12;

// A word of a source function ends at a blank or '('; the run of blanks and '(' after it
// goes with it.
int SkipFunctionWord(const LineText<kLineCapacity>& line, int p) {
  while (p <= line.length && line.at(p) != ' ' && line.at(p) != '(') ++p;
  while (p <= line.length && (line.at(p) == ' ' || line.at(p) == '(')) ++p;
  return p;
}

// Pulse and sine sources: the delay is the (n+1)-th word of the function.
void WriteDelayedSource(AnalysisState& state, int functionStart, int wordsBeforeDelay,
                        const char* kind) {
  const LineText<kLineCapacity>& line = state.lineBuffer;
  int p = functionStart;
  for (int i = 0; i < wordsBeforeDelay; ++i) p = SkipFunctionWord(line, p);
  if (p > line.length) {
    ThrowLineFailure(state,
                     std::string(kind) + " source without its delay (write 0 if it has none)");
  }
  const int delayStart = p;
  // A delay written last, right before the ')', ends there.
  while (p <= line.length && line.at(p) != ' ' && line.at(p) != ')') ++p;
  const int delayEnd = p;
  int close = 0;
  for (int q = delayEnd; q <= line.length && close == 0; ++q) {
    if (line.at(q) == ')') close = q;
  }
  if (close == 0) ThrowLineFailure(state, std::string(kind) + " source without \")\"");

  state.startTimeText =
      FormatReal(state.windowStartTime, kStartTimeTextLength, 10).substr(0, kStartTimeTextLength);
  TextFile& out = state.workFileC;
  WritePositions(state, 1, delayStart - 1);
  WriteChar(out, '{');
  WritePositions(state, delayStart, delayEnd - 1);
  WriteChar(out, '-');
  WriteText(out, state.startTimeText);
  WriteChar(out, '}');
  WritePositions(state, delayEnd, close);
  WriteLineEnd(out);
}

}  // namespace

void WriteTransientSourceLine(AnalysisState& state) {
  const LineText<kLineCapacity>& line = state.lineBuffer;
  const int scanEnd = ScanEnd(state);
  int p = 1;
  for (int word = 0; word < 3; ++word) {
    while (p <= scanEnd && line.at(p) != ' ') ++p;
    while (p <= scanEnd && line.at(p) == ' ') ++p;
  }
  const int functionStart = p;
  const char first = p <= scanEnd ? UpperCase(line.at(p)) : ' ';
  const char second = p + 1 <= scanEnd ? UpperCase(line.at(p + 1)) : ' ';
  if (first == 'P' || second == 'U') {
    WriteDelayedSource(state, functionStart, 3, "pulse");
  } else if (first == 'S' || second == 'I') {
    WriteDelayedSource(state, functionStart, 4, "sine");
  } else {
    WritePositions(state, 1, std::max(functionStart - 1, kPaddedLineLength));
    WriteLineEnd(state.workFileC);
  }
}

}  // namespace etherm
