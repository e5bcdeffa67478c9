#include "sweep/circuit_params.h"

#include <optional>
#include <string>
#include <vector>

#include "spice_text/ascii_case.h"
#include "spice_text/parameters.h"
#include "spice_text/subcircuit_call.h"
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

namespace {

// The entries of a parameter line (.PARAM, .SUBCKT, a continuation of one) that define `name`.
bool DefinesName(std::string_view text, std::size_t from, std::string_view name) {
  for (const spice::Parameter& p : spice::ParseParameters(text, from).parameters) {
    if (p.hasEquals && spice::EqualNoCase(p.name.text, name)) return true;
  }
  return false;
}

// True when `name` stands as a word inside a {expression} of `code`, or anywhere in it when
// `expression` (a .PARAM line, whose values are expressions without braces).
bool ReadsName(std::string_view code, std::string_view name, bool expression) {
  int depth = 0;
  for (std::size_t i = 0; i < code.size();) {
    if (code[i] == '{') ++depth;
    if (code[i] == '}' && depth > 0) --depth;
    if (!IsNameChar(code[i])) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < code.size() && IsNameChar(code[j])) ++j;
    if ((depth > 0 || expression) && spice::EqualNoCase(code.substr(i, j - i), name)) {
      // In a .PARAM line the name before '=' is a definition, not a reading.
      std::size_t k = j;
      while (k < code.size() && (code[k] == ' ' || code[k] == '\t')) ++k;
      if (depth > 0 || k >= code.size() || code[k] != '=') return true;
    }
    i = j;
  }
  return false;
}

bool MentionsName(std::string_view code, std::string_view name) {
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
  return false;
}

// Where a parameter list begins on a .PARAM line or its continuation.
std::size_t ParameterListStart(std::string_view text, bool continuation) {
  if (continuation) return text.find('+') + 1;
  return text.find_first_not_of(" \t") + 6;
}

}  // namespace

std::optional<std::string> ParameterRefusal(std::string_view circuit, std::string_view name,
                                            std::string_view fileName) {
  const std::vector<Line> lines = Lines(circuit);
  // First: which subcircuit definitions have a parameter of that name of their own (on the
  // .SUBCKT line or a .PARAM inside), hiding a top-level one from their lines.
  std::vector<bool> ownName(lines.size(), false);  // by the .SUBCKT line's index
  {
    std::vector<std::size_t> open;
    std::string keyword;
    for (std::size_t n = 1; n < lines.size(); ++n) {
      const std::string_view text = lines[n].text;
      if (spice::IsCommentLine(text)) continue;
      const bool continuation = spice::IsContinuationLine(text);
      if (!continuation) keyword = Keyword(text);
      if (keyword == ".subckt" && !continuation) open.push_back(n);
      if (keyword == ".ends" && !open.empty()) {
        open.pop_back();
        continue;
      }
      if (open.empty()) continue;
      const std::string_view code = text.substr(0, spice::CommentStart(text));
      if (keyword == ".subckt" && DefinesName(code, continuation ? code.find('+') + 1 : 0, name)) {
        ownName[open.back()] = true;
      }
      if (keyword == ".param" && DefinesName(code, ParameterListStart(code, continuation), name)) {
        ownName[open.back()] = true;
      }
    }
  }
  // Then: a reading the case's value reaches.
  std::vector<bool> hidden{false};  // per open scope, the top level first
  std::string keyword;
  std::size_t firstMention = 0;
  for (std::size_t n = 1; n < lines.size(); ++n) {
    const std::string_view text = lines[n].text;
    if (spice::IsCommentLine(text)) continue;
    const bool continuation = spice::IsContinuationLine(text);
    if (!continuation) keyword = Keyword(text);
    const std::string_view code = text.substr(0, spice::CommentStart(text));
    if (firstMention == 0 && MentionsName(code, name)) firstMention = n;
    if (keyword == ".subckt" && !continuation) {
      hidden.push_back(hidden.back() || ownName[n]);
      continue;  // its defaults are no reading
    }
    if (keyword == ".ends" && hidden.size() > 1) {
      hidden.pop_back();
      continue;
    }
    const bool topLevel = hidden.size() == 1;
    if (topLevel && keyword == ".param" &&
        DefinesName(code, ParameterListStart(code, continuation), name)) {
      return std::nullopt;  // a top-level definition, which the case's value replaces
    }
    if (topLevel && !continuation && !keyword.empty() && (keyword[0] == 'x')) {
      if (const auto call = spice::ParseSubcircuitCall(code)) {
        if (spice::FindParameter(call->parameters, name) != nullptr) return std::nullopt;
      }
    }
    if (!hidden.back() && ReadsName(code, name, keyword == ".param")) return std::nullopt;
  }
  const std::string quoted = "quantity \"" + std::string(name) + "\": ";
  if (firstMention == 0) {
    return quoted + std::string(fileName) + " neither defines nor uses a parameter of that name";
  }
  return quoted + std::string(fileName) + ", line " + std::to_string(firstMention + 1) +
         " names it, but no value a case sets would reach the circuit there: a case sets a " +
         "parameter read in a {" + std::string(name) + "} expression (outside a subcircuit " +
         "with one of that name), defined by a top-level .PARAM or given on a top-level " +
         "subcircuit call (PARAMS: " + std::string(name) + "=...); the line: \"" +
         std::string(lines[firstMention].text) + "\"";
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
      if (subcircuitDepth == 0 && !keyword.empty() && keyword[0] == 'x') {
        // A value given on a top-level call is the subcircuit's own: set there.
        if (const auto call = spice::ParseSubcircuitCall(text)) {
          for (const spice::Parameter& p : call->parameters) {
            if (!p.hasEquals || !spice::EqualNoCase(p.name.text, name)) continue;
            replacements.push_back(p.value.empty() ? Replacement{lines[n].offset + p.whole.end(), 0}
                                                   : Replacement{lines[n].offset + p.value.offset,
                                                                 p.value.text.size()});
          }
        }
        continue;
      }
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
