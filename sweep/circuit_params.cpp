#include "sweep/circuit_params.h"

#include <vector>

#include "spice_text/ascii_case.h"
#include "spice_text/parameters.h"
#include "spice_text/words.h"

namespace etherm::sweep {

namespace {

struct Line {
  std::size_t offset;
  std::string_view text;  // without its line end
};

std::vector<Line> Lines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::size_t cut = end;
    if (cut > start && text[cut - 1] == '\r') --cut;
    lines.push_back({start, text.substr(start, cut - start)});
    start = end + 1;
  }
  return lines;
}

bool IsNameChar(char c) {
  return spice::IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_';
}

// The first word of the line, without case.
std::string Keyword(std::string_view line) {
  const std::vector<spice::Word> words = spice::SplitWords(line, spice::kBlankWords);
  return words.empty() ? "" : spice::ToLower(words[0].text);
}

}  // namespace

bool CircuitMentions(std::string_view circuit, std::string_view name) {
  const std::vector<Line> lines = Lines(circuit);
  for (std::size_t n = 1; n < lines.size(); ++n) {
    if (spice::IsCommentLine(lines[n].text)) continue;
    const std::string_view code = lines[n].text.substr(0, spice::CommentStart(lines[n].text));
    for (std::size_t i = 0; i < code.size();) {
      if (!IsNameChar(code[i])) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < code.size() && IsNameChar(code[j])) ++j;
      if (spice::EqualNoCase(code.substr(i, j - i), name)) return true;
      i = j;
    }
  }
  return false;
}

std::string SetCircuitParameter(std::string_view circuit, std::string_view name,
                                std::string_view value) {
  const std::vector<Line> lines = Lines(circuit);
  std::string result(circuit);
  int subcircuitDepth = 0;
  bool inParam = false;  // continuation lines belong to the .PARAM line above
  std::size_t endLine = std::string::npos;
  // Replacements from the last line backwards keep the earlier offsets valid.
  struct Replacement {
    std::size_t offset, length;
  };
  std::vector<Replacement> replacements;
  for (std::size_t n = 1; n < lines.size(); ++n) {
    const std::string_view text = lines[n].text;
    if (spice::IsCommentLine(text)) continue;
    std::size_t from = 0;
    if (spice::IsContinuationLine(text)) {
      if (!inParam) continue;
      from = text.find('+') + 1;
    } else {
      const std::string keyword = Keyword(text);
      inParam = false;
      if (keyword == ".subckt") ++subcircuitDepth;
      if (keyword == ".ends" && subcircuitDepth > 0) --subcircuitDepth;
      if (keyword == ".end" && subcircuitDepth == 0 && endLine == std::string::npos) endLine = n;
      if (keyword != ".param" || subcircuitDepth > 0) continue;
      inParam = true;
      from = text.find_first_not_of(" \t") + 6;
    }
    for (const spice::Parameter& p : spice::ParseParameters(text, from).parameters) {
      if (!p.hasEquals || !spice::EqualNoCase(p.name.text, name)) continue;
      if (p.value.empty()) {
        replacements.push_back({lines[n].offset + p.whole.end(), 0});
      } else {
        replacements.push_back({lines[n].offset + p.value.offset, p.value.text.size()});
      }
    }
  }
  for (auto it = replacements.rbegin(); it != replacements.rend(); ++it) {
    result.replace(it->offset, it->length, value);
  }
  if (!replacements.empty()) return result;

  const std::string lineEnd = circuit.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
  const std::string added = ".PARAM " + std::string(name) + "=" + std::string(value) + lineEnd;
  if (endLine != std::string::npos) return result.insert(lines[endLine].offset, added);
  if (!result.empty() && result.back() != '\n') result += lineEnd;
  return result + added;
}

}  // namespace etherm::sweep
