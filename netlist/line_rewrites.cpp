#include "netlist/line_rewrites.h"

#include <algorithm>
#include <string>

#include "netlist/circuit_line.h"
#include "textio/number_text.h"
#include "textio/text_file.h"

namespace etherm {

namespace {

// Device names hold at most 7 characters, so a longer word can never name a device.
bool CanNameDevice(int length) {
  return length >= 1 && length <= kMaxNameLength;
}

bool IsControl(char c) {
  return static_cast<unsigned char>(c) < static_cast<unsigned char>(' ');
}

}  // namespace

int FindDevice(const AnalysisState& state, const NameField& key) {
  const int count = std::min(state.deviceCount, kMaxDevices);
  for (int i = 1; i <= count; ++i) {
    if (state.deviceName[static_cast<std::size_t>(i)] == key) return i;
  }
  return state.deviceCount + 1;
}

void RewriteSubcircuitCall(AnalysisState& state) {
  const LineText<kLineCapacity>& line = state.lineBuffer;
  const int length = line.length;
  int colon = 0;
  for (int p = 2; p <= length && colon == 0; ++p) {
    if (line.at(p) == ':') colon = p;
  }
  int device = 0;
  if (colon != 0) {
    int p = colon;
    while (p >= 1 && line.at(p) != ' ') --p;
    while (p >= 1 && line.at(p) == ' ') --p;
    const int nameEnd = p;
    while (p >= 1 && line.at(p) != ' ') --p;
    const int nameStart = p + 1;
    if (CanNameDevice(nameEnd - nameStart + 1)) {
      std::string name;
      for (int q = nameStart; q <= nameEnd; ++q) name += UpperCase(line.at(q));
      device = FindDevice(state, NameField::From(name));
    }
  }
  if (device < 1 || device > state.deviceCount) {
    CopyLine(state);
    return;
  }
  WritePositions(state, 1, colon - 1);
  WriteText(state.workFileC, ": t=");
  WriteReal(state.workFileC, CircuitTemperature(state, device), 8, 3);
  WriteLineEnd(state.workFileC);
}

void RewriteModelLine(AnalysisState& state) {
  const LineText<kLineCapacity>& line = state.lineBuffer;
  const int length = line.length;
  const int scanEnd = ScanEnd(state);

  int p = 8;
  while (p <= length && line.at(p) == ' ') ++p;
  const int nameStart = p;
  while (p <= length && line.at(p) != ' ') ++p;
  const int nameBlank = p;  // the blank after the name (padding when the name ends the line)
  const int nameLength = nameBlank - nameStart;
  int device = 0;
  NameField modelNameField;
  if (CanNameDevice(nameLength)) {
    modelNameField = NameField::From(Span(line, nameStart, nameBlank - 1));
    device = FindDevice(state, modelNameField);
  }
  if (device < 1 || device > state.deviceCount) {
    CopyLine(state);
    return;
  }

  int open = 0;
  for (int q = nameBlank + 1; q <= length && open == 0; ++q) {
    if (line.at(q) == '(') open = q;
  }
  if (open == 0) {
    ThrowLineFailure(state, ".MODEL line of a modelled device without \"(\" after its type");
  }
  // The first parameter is replaced; it ends at ',', ' ' or ')'.
  int delimiter = open + 1;
  while (delimiter <= scanEnd && line.at(delimiter) != ',' && line.at(delimiter) != ' ' &&
         line.at(delimiter) != ')') {
    ++delimiter;
  }

  TextFile& out = state.workFileC;
  WriteText(out, ".MODEL  ");
  WriteText(out, modelNameField.Text());
  WriteChar(out, ' ');
  WritePositions(state, nameBlank + 1, open);
  WriteText(out, "t_abs=");
  WriteReal(out, CircuitTemperature(state, device), 3, 3);
  for (int q = delimiter; q <= scanEnd; ++q) {
    const char c = line.at(q);
    WriteChar(out, c);
    if (c == ')' || IsControl(c) || q >= kPaddedLineLength) break;
  }
  WriteLineEnd(out);
}

void CaptureProbeNodes(AnalysisState& state) {
  const LineText<kLineCapacity>& line = state.lineBuffer;
  const int length = line.length;
  const auto skipWord = [&](int p) {
    while (p <= length && line.at(p) != ' ') ++p;
    return p;
  };
  const auto skipBlanks = [&](int p) {
    while (p <= length && line.at(p) == ' ') ++p;
    return p;
  };
  const auto fail = [&]() {
    ThrowLineFailure(state, ".PROBE line with fewer than " +
                                std::to_string(2 * state.probeNodeCount) +
                                " quantities after its first word (the word right after "
                                ".PROBE is taken as an option such as /CSDF, not as a quantity)");
  };

  std::string names;
  int p = skipBlanks(7);  // the keyword's first word, which is not taken
  for (int k = 1; k <= state.probeNodeCount; ++k) {
    p = skipBlanks(skipWord(p));
    if (p > length) fail();
    const int start = p;
    p = skipWord(p);
    names += Span(line, start, p - 1);
    names += ' ';
    p = skipBlanks(p);  // its companion quantity, passed over on the next round
    if (p > length) fail();
  }

  LineText<kLineCapacity>& target = state.probeNodeNames;
  for (std::size_t i = 0; i < names.size(); ++i) target.at(static_cast<int>(i) + 1) = names[i];
  target.length = std::max(target.length, static_cast<int>(names.size()));
}

}  // namespace etherm
