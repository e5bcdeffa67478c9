#include "text_util.h"

namespace etherm::sim {

namespace {
char LowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char UpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
}  // namespace

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerChar(c);
  return r;
}

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = UpperChar(c);
  return r;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (IsBlank(s[b]) || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (IsBlank(s[e - 1]) || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  int braces = 0, parens = 0;
  bool quoted = false;
  for (char c : line) {
    if (quoted) {
      word += c;
      if (c == '"') quoted = false;
      continue;
    }
    if (braces == 0 && parens == 0 && (IsBlank(c) || c == ',')) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
      continue;
    }
    if (c == '"' && braces == 0) quoted = true;
    if (c == '{') ++braces;
    if (c == '}' && braces > 0) --braces;
    if (braces == 0) {
      if (c == '(') ++parens;
      if (c == ')' && parens > 0) --parens;
    }
    word += c;
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::string ParamName(std::string_view word) {
  if (!word.empty() && (word[0] == '{' || word[0] == '"')) return {};
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
      while (!out.empty() && IsBlank(out.back())) out.pop_back();
      out += '=';
      while (i + 1 < line.size() && IsBlank(line[i + 1])) ++i;
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
