#include "netlist/source_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "netlist/circuit_line.h"
#include "spice_text/spice_number.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/upper_case.h"

namespace etherm {

namespace {

constexpr int kStartTimeTextLength = 12;

// Functions whose waveform a window cannot continue: an amplitude modulation, and noise and
// pattern sources that restart their sequence.
constexpr std::array<std::string_view, 4> kRefusedFunctions = {"AM", "TRNOISE", "TRRANDOM", "PAT"};
constexpr std::array<std::string_view, 10> kTimeFunctions = {
    "PULSE", "SIN", "SINE", "PWL", "EXP", "SFFM", "AM", "TRNOISE", "TRRANDOM", "PAT"};

template <std::size_t N>
bool IsOneOf(std::string_view word, const std::array<std::string_view, N>& words) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

using Line = WholeLineText;

void SetStartTimeText(CircuitLines& lines) {
  lines.startTimeText =
      FormatReal(lines.windowStartTime, kStartTimeTextLength, 10).substr(0, kStartTimeTextLength);
}

// The name of a source function: the word up to '(' or a blank, upper-cased.
std::string FunctionName(const Line& line, int p) {
  std::string name;
  while (p <= line.length && line.at(p) != '(' && line.at(p) != ' ')
    name += UpperCase(line.at(p++));
  return name;
}

std::string ShiftedTime(std::string_view time, const std::string& startTimeText) {
  if (time.size() >= 2 && time.front() == '{' && time.back() == '}') {
    return "{(" + std::string(time.substr(1, time.size() - 2)) + ")-" + startTimeText + "}";
  }
  return "{" + std::string(time) + "-" + startTimeText + "}";
}

// A word of a pulse or sine function ends at a blank or '('; the run of blanks and '(' after
// it goes with it.
int SkipFunctionWord(const Line& line, int p) {
  while (p <= line.length && line.at(p) != ' ' && line.at(p) != '(') ++p;
  while (p <= line.length && (line.at(p) == ' ' || line.at(p) == '(')) ++p;
  return p;
}

void WriteDelayedSource(CircuitLines& lines, int functionStart, int wordsBeforeDelay,
                        const char* kind) {
  const Line& line = lines.lineBuffer;
  int p = functionStart;
  for (int i = 0; i < wordsBeforeDelay; ++i) p = SkipFunctionWord(line, p);
  if (p > line.length) {
    ThrowLineFailure(lines,
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
  if (close == 0) ThrowLineFailure(lines, std::string(kind) + " source without \")\"");

  SetStartTimeText(lines);
  TextFile& out = lines.output;
  WritePositions(lines, 1, delayStart - 1);
  WriteChar(out, '{');
  WritePositions(lines, delayStart, delayEnd - 1);
  WriteChar(out, '-');
  WriteText(out, lines.startTimeText);
  WriteChar(out, '}');
  WritePositions(lines, delayEnd, close);
  WriteLineEnd(out);
}

// Parameters of a PWL or EXP list, separated by blanks or commas; a braced expression is one
// parameter whatever it holds.
struct Parameter {
  int first;
  int last;
};

bool IsSeparator(char c) {
  return c == ' ' || c == ',' || c == '\t';
}

// The parameters from position p up to the first ')' outside braces or the end of the line;
// close is that ')' or 0.
std::vector<Parameter> ScanParameters(const Line& line, int p, int& close) {
  std::vector<Parameter> parameters;
  close = 0;
  while (p <= line.length) {
    if (line.at(p) == ')') {
      close = p;
      break;
    }
    if (IsSeparator(line.at(p))) {
      ++p;
      continue;
    }
    const int first = p;
    p = ScanOutsideBraces(line, p, [](char c) { return IsSeparator(c) || c == ')'; });
    parameters.push_back({first, p - 1});
  }
  return parameters;
}

// The '(' that opens the list after the function name, or a failure.
int OpenParenthesis(const CircuitLines& lines, int functionStart, const std::string& name) {
  const Line& line = lines.lineBuffer;
  int p = functionStart;
  while (p <= line.length && line.at(p) != '(' && line.at(p) != ' ') ++p;
  while (p <= line.length && line.at(p) == ' ') ++p;
  if (p > line.length || line.at(p) != '(') {
    ThrowLineFailure(lines, name + " source without \"(\"");
  }
  return p;
}

// True when the words after a PWL list ask for a repeat (r=...), which would repeat from a
// time the window shift has moved.
bool AsksForRepeat(const Line& line, int p) {
  while (p <= line.length) {
    while (p <= line.length && (IsSeparator(line.at(p)) || line.at(p) == '=')) ++p;
    if (p > line.length || line.at(p) == ';' || line.at(p) == '$') return false;
    std::string word;
    while (p <= line.length && !IsSeparator(line.at(p)) && line.at(p) != '=') {
      word += UpperCase(line.at(p++));
    }
    if (word == "R") return true;
  }
  return false;
}

[[noreturn]] void RefuseRepeat(const CircuitLines& lines, const OpenPointList& points) {
  ThrowQuotedFailure(lines,
                     "PWL source with a repeat (r=): its timing cannot be carried from one time "
                     "window to the next",
                     points.sourceLine);
}

// Writes the line with the PWL points from position p on, every time shifted, and closes the
// list at its ')'. A list that cannot be carried fails before any of the line is written.
void WritePoints(CircuitLines& lines, int p, OpenPointList& points) {
  const int listStart = p;
  const Line& line = lines.lineBuffer;
  int close = 0;
  const std::vector<Parameter> parameters = ScanParameters(line, p, close);
  if (close != 0) {
    const bool oddCount = parameters.size() % 2 == 1;
    const bool endsOnTime = points.nextIsTime == oddCount;
    const int values =
        points.valueCount + static_cast<int>(parameters.size() + (points.nextIsTime ? 0 : 1)) / 2;
    if (values == 0) ThrowQuotedFailure(lines, "PWL source without points", points.sourceLine);
    if (endsOnTime) {
      ThrowQuotedFailure(lines, "PWL source with a time point without its value",
                         points.sourceLine);
    }
    if (AsksForRepeat(line, close + 1)) RefuseRepeat(lines, points);
  }
  TextFile& out = lines.output;
  WritePositions(lines, 1, listStart - 1);
  for (const Parameter& parameter : parameters) {
    WritePositions(lines, p, parameter.first - 1);
    const std::string_view text = Span(line, parameter.first, parameter.last);
    if (points.nextIsTime) {
      WriteText(out, ShiftedTime(text, lines.startTimeText));
    } else {
      WriteText(out, text);
      ++points.valueCount;
    }
    points.nextIsTime = !points.nextIsTime;
    p = parameter.last + 1;
  }
  WritePositions(lines, p, line.length);
  WriteLineEnd(out);
  if (close != 0) {
    points.open = false;
    points.closedAbove = true;
  }
}

void WritePointListSource(CircuitLines& lines, int functionStart, OpenPointList& points) {
  const int open = OpenParenthesis(lines, functionStart, "PWL");
  SetStartTimeText(lines);
  points = OpenPointList{};
  points.open = true;
  points.sourceLine = lines.lineBuffer.Text();
  WritePoints(lines, open + 1, points);
}

// EXP(V1 V2 TD1 TAU1 TD2 TAU2): both delays shifted.
void WriteExponentialSource(CircuitLines& lines, int functionStart) {
  const Line& line = lines.lineBuffer;
  const int open = OpenParenthesis(lines, functionStart, "EXP");
  int close = 0;
  const std::vector<Parameter> parameters = ScanParameters(line, open + 1, close);
  if (close == 0) ThrowLineFailure(lines, "EXP source without \")\"");
  if (parameters.size() < 2) ThrowLineFailure(lines, "EXP source without its two values");
  SetStartTimeText(lines);
  TextFile& out = lines.output;
  WritePositions(lines, 1, open);
  int p = open + 1;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    WritePositions(lines, p, parameters[i].first - 1);
    const std::string_view text = Span(line, parameters[i].first, parameters[i].last);
    WriteText(out, i == 2 || i == 4 ? ShiftedTime(text, lines.startTimeText) : std::string(text));
    p = parameters[i].last + 1;
  }
  // Without a first delay the rise would start again at every window start.
  if (parameters.size() == 2) WriteText(out, " " + ShiftedTime("0", lines.startTimeText));
  WritePositions(lines, p, close);
  WriteLineEnd(out);
}

// A parameter as an operand of a phase expression: a number as plain digits, so the expression
// does not rest on how the expression parser reads scale letters and units; an expression (or
// anything else) in parentheses.
std::string PhaseOperand(std::string_view text) {
  if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
    return "(" + std::string(text.substr(1, text.size() - 2)) + ")";
  }
  const std::optional<double> value = spice::ParseSpiceNumber(text).value;
  if (!value) return "(" + std::string(text) + ")";
  std::array<char, 400> buffer{};
  auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), *value, std::chars_format::fixed);
  if (result.ec != std::errc() || result.ptr - buffer.data() > 24) {
    result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), *value);
  }
  const std::string plain(buffer.data(), result.ptr);
  return *value < 0 ? "(" + plain + ")" : plain;
}

// SFFM(VO VA FC MDI FS PHASEC PHASES), phases in degrees: the waveform at absolute time
// t = t' + start is the window's own waveform with PHASEC + 360 FC start and PHASES + 360 FS start.
// FC or FS missing or 0 would be taken from each window's length, which no phase can carry.
void WriteFrequencyModulatedSource(CircuitLines& lines, int functionStart) {
  const Line& line = lines.lineBuffer;
  const int open = OpenParenthesis(lines, functionStart, "SFFM");
  int close = 0;
  const std::vector<Parameter> parameters = ScanParameters(line, open + 1, close);
  if (close == 0) ThrowLineFailure(lines, "SFFM source without \")\"");
  const auto text = [&](std::size_t i) {
    return Span(line, parameters[i].first, parameters[i].last);
  };
  const auto isZero = [](std::string_view word) {
    const std::optional<double> value = spice::ParseSpiceNumber(word).value;
    return value && *value == 0.0;
  };
  if (parameters.size() < 5 || isZero(text(2)) || isZero(text(4))) {
    ThrowLineFailure(lines,
                     "SFFM source without its carrier frequency FC or signal frequency FS: FC and "
                     "FS must be given (not 0), since ngspice would otherwise take them from each "
                     "time window's length");
  }
  SetStartTimeText(lines);
  const auto shiftedPhase = [&](std::size_t phase, std::size_t frequency) {
    std::string expression = "{";
    if (phase < parameters.size()) expression += PhaseOperand(text(phase)) + "+";
    return expression + "360*" + PhaseOperand(text(frequency)) + "*" + lines.startTimeText + "}";
  };
  TextFile& out = lines.output;
  WritePositions(lines, 1, open);
  int p = open + 1;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    WritePositions(lines, p, parameters[i].first - 1);
    if (i == 5) {
      WriteText(out, shiftedPhase(5, 2));
    } else if (i == 6) {
      WriteText(out, shiftedPhase(6, 4));
    } else {
      WriteText(out, text(i));
    }
    p = parameters[i].last + 1;
  }
  if (parameters.size() < 6) WriteText(out, " " + shiftedPhase(5, 2));
  if (parameters.size() < 7) WriteText(out, " " + shiftedPhase(6, 4));
  WritePositions(lines, p, close);
  WriteLineEnd(out);
}

[[noreturn]] void RefuseFunction(const CircuitLines& lines, const std::string& name) {
  ThrowLineFailure(lines, name +
                              " source: its waveform cannot be carried from one time window to "
                              "the next, so a transient analysis cannot use it");
}

// A DC or AC source, or a function the line names only after its DC value.
void WritePlainSource(CircuitLines& lines, int functionStart) {
  const Line& line = lines.lineBuffer;
  for (int p = functionStart; p <= line.length;) {
    while (p <= line.length && IsSeparator(line.at(p))) ++p;
    if (p > line.length || line.at(p) == ';' || line.at(p) == '$') break;
    const std::string name = FunctionName(line, p);
    if (IsOneOf(name, kTimeFunctions)) {
      ThrowLineFailure(lines, name +
                                  " after the source's DC or AC value: a transient analysis "
                                  "carries a time function only right after the nodes");
    }
    while (p <= line.length && !IsSeparator(line.at(p))) ++p;
  }
  WritePositions(lines, 1, std::max(functionStart - 1, ScanEnd(lines)));
  WriteLineEnd(lines.output);
}

bool IsIdentifierChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

void WriteTransientSourceLine(CircuitLines& lines, OpenPointList& points) {
  const Line& line = lines.lineBuffer;
  const int scanEnd = ScanEnd(lines);
  int p = 1;
  for (int word = 0; word < 3; ++word) {
    while (p <= scanEnd && line.at(p) != ' ') ++p;
    while (p <= scanEnd && line.at(p) == ' ') ++p;
  }
  const int functionStart = p;
  const std::string name = FunctionName(line, functionStart);
  if (name == "PULSE") {
    WriteDelayedSource(lines, functionStart, 3, "pulse");
  } else if (name == "SIN" || name == "SINE") {
    WriteDelayedSource(lines, functionStart, 4, "sine");
  } else if (name == "PWL") {
    WritePointListSource(lines, functionStart, points);
  } else if (name == "EXP") {
    WriteExponentialSource(lines, functionStart);
  } else if (name == "SFFM") {
    WriteFrequencyModulatedSource(lines, functionStart);
  } else if (IsOneOf(name, kRefusedFunctions)) {
    RefuseFunction(lines, name);
  } else {
    WritePlainSource(lines, functionStart);
  }
}

bool WritePointListContinuation(CircuitLines& lines, OpenPointList& points) {
  if (!points.open && !points.closedAbove) return false;
  const Line& line = lines.lineBuffer;
  int firstNonBlank = 1;
  while (firstNonBlank <= line.length && line.at(firstNonBlank) == ' ') ++firstNonBlank;
  if (firstNonBlank > line.length || line.at(1) == '*') {
    CopyLine(lines);
  } else if (line.at(1) == '+' && points.open) {
    WritePoints(lines, 2, points);
  } else if (line.at(1) == '+') {
    if (AsksForRepeat(line, 2)) RefuseRepeat(lines, points);
    CopyLine(lines);
  } else if (points.open) {
    ThrowQuotedFailure(lines, "PWL source without \")\"", points.sourceLine);
  } else {
    points.closedAbove = false;
    return false;
  }
  return true;
}

void CheckPointListClosed(const CircuitLines& lines, const OpenPointList& points) {
  if (points.open) ThrowQuotedFailure(lines, "PWL source without \")\"", points.sourceLine);
}

void CheckTimeDependentExpression(const CircuitLines& lines) {
  const Line& line = lines.lineBuffer;
  const char first = UpperCase(line.at(1));
  if (first != 'B' && first != 'E' && first != 'G') return;
  // The expression follows the nodes: after the first '=', '{' or quote.
  int p = 1;
  while (p <= line.length && line.at(p) != '=' && line.at(p) != '{' && line.at(p) != '\'') ++p;
  for (; p + 3 <= line.length; ++p) {
    if (UpperCase(line.at(p)) == 'T' && UpperCase(line.at(p + 1)) == 'I' &&
        UpperCase(line.at(p + 2)) == 'M' && UpperCase(line.at(p + 3)) == 'E' &&
        !IsIdentifierChar(line.at(p - 1)) &&
        (p + 4 > line.length || !IsIdentifierChar(line.at(p + 4)))) {
      ThrowLineFailure(lines,
                       "source whose expression uses TIME: its waveform would start again in "
                       "every time window, so a transient analysis cannot use it");
    }
  }
}

}  // namespace etherm
