#include "netlist/circuit_names.h"

#include <fstream>
#include <sstream>
#include <string_view>

#include "spice_text/ascii_case.h"
#include "spice_text/words.h"

namespace etherm {

namespace {

using spice::SplitWords;
using spice::StartsWithNoCase;
using spice::ToUpper;

std::vector<std::string> PhysicalLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The circuit's lines after the title, continuation lines joined, comments left out.
std::vector<std::string> LogicalLines(const std::string& bytes) {
  std::vector<std::string> logical;
  const std::vector<std::string> lines = PhysicalLines(bytes);
  for (std::size_t n = 1; n < lines.size(); ++n) {
    std::string_view line = lines[n];
    if (spice::IsCommentLine(line)) continue;
    line = line.substr(0, spice::CommentStart(line));
    if (spice::IsContinuationLine(line) && !logical.empty()) {
      logical.back() += ' ';
      logical.back() += line.substr(line.find('+') + 1);
    } else {
      logical.emplace_back(line);
    }
  }
  return logical;
}

// Appends the quantities of a .PROBE line's words after the keyword; false at a word that is
// no quantity.
bool AddProbes(const std::vector<spice::Word>& words, std::vector<std::string>& names) {
  for (std::size_t w = 1; w < words.size(); ++w) {
    const std::string_view word = words[w].text;
    if (w == 1 && word.front() == '/') continue;  // an option such as /CSDF
    const std::size_t open = word.find('(');
    const std::size_t close = word.rfind(')');
    if (open == 0 || open == std::string_view::npos || close == std::string_view::npos ||
        close < open) {
      return false;
    }
    std::string label = ToUpper(word.substr(0, open)) + "(";
    const std::string_view inside = word.substr(open + 1, close - open - 1);
    bool first = true;
    for (const spice::Word& argument : SplitWords(inside)) {
      if (!first) label += ',';
      label += ToUpper(argument.text);
      first = false;
    }
    names.push_back(label + ")");
  }
  return true;
}

}  // namespace

CircuitNames ReadCircuitNames(const std::string& circuitFile) {
  CircuitNames names;
  std::ifstream in(circuitFile, std::ios::binary);
  if (!in) return names;
  std::stringstream bytes;
  bytes << in.rdbuf();
  int depth = 0;  // of .SUBCKT definitions
  bool probesReadable = true;
  for (const std::string& line : LogicalLines(bytes.str())) {
    const std::vector<spice::Word> words = SplitWords(line);
    if (words.empty()) continue;
    const std::string keyword = spice::ToLower(words[0].text);
    if (keyword == ".end") break;
    if (keyword == ".subckt") ++depth;
    if (keyword == ".ends" && depth > 0) --depth;
    if (depth > 0) continue;
    if (StartsWithNoCase(keyword, ".probe") && (keyword.size() == 6 || keyword[6] == '/') &&
        probesReadable) {
      probesReadable = AddProbes(words, names.probeNames);
    }
    if (keyword == ".dc" && names.sweptSource.empty() && words.size() > 1) {
      std::size_t w = 1;
      if (spice::EqualNoCase(words[w].text, "lin") && words.size() > 2) ++w;
      names.sweptSource = words[w].text;
    }
  }
  return names;
}

}  // namespace etherm
