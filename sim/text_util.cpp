#include "text_util.h"

#include "spice_text/words.h"

namespace etherm::sim {

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  auto blank = [](char c) { return spice::IsBlank(c) || c == '\r' || c == '\n'; };
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  for (const spice::Word& w : spice::SplitWords(line, spice::kSpiceFields))
    words.emplace_back(w.text);
  return words;
}

std::string ParamName(std::string_view word) {
  if (!word.empty() && (word[0] == '{' || word[0] == '"' || word[0] == '\'')) return {};
  size_t eq = word.find('=');
  if (eq == std::string_view::npos || eq == 0) return {};
  return std::string(word.substr(0, eq));
}

std::string JoinAssignments(std::string_view line) {
  std::string out;
  int braces = 0;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"' && braces == 0) quoted = !quoted;
    if (!quoted) {
      if (c == '{') ++braces;
      if (c == '}' && braces > 0) --braces;
    }
    if (!quoted && braces == 0 && c == '=') {
      while (!out.empty() && spice::IsBlank(out.back())) out.pop_back();
      out += '=';
      while (i + 1 < line.size() && spice::IsBlank(line[i + 1])) ++i;
      continue;
    }
    out += c;
  }
  return out;
}

std::string Join(const std::vector<std::string>& words, std::string_view separator) {
  std::string r;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i) r += separator;
    r += words[i];
  }
  return r;
}

}  // namespace etherm::sim
