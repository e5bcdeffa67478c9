#include "spice_text/words.h"

#include "spice_text/group_depth.h"

namespace etherm::spice {

namespace {

using detail::GroupDepth;

bool IsSeparator(char c, const WordRules& rules) {
  return rules.separators.find(c) != std::string_view::npos;
}

std::size_t FirstNonBlank(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  return i;
}

}  // namespace

std::vector<Word> SplitWords(std::string_view line, const WordRules& rules) {
  std::vector<Word> words;
  std::size_t i = 0;
  while (i < line.size()) {
    if (IsSeparator(line[i], rules)) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    GroupDepth depth;
    for (; i < line.size(); ++i) {
      if (!(rules.keepGroups && depth.Inside()) && IsSeparator(line[i], rules)) break;
      if (rules.keepGroups) depth.Pass(line[i]);
    }
    words.push_back({line.substr(start, i - start), start});
  }
  return words;
}

std::size_t CommentStart(std::string_view line) {
  GroupDepth depth;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (depth.quote == 0 && depth.braces == 0) {
      const bool startsWord = i == 0 || IsBlank(line[i - 1]) || line[i - 1] == ',';
      if (c == ';') return i;
      if (startsWord && c == '$') return i;
      if (startsWord && c == '/' && i + 1 < line.size() && line[i + 1] == '/') return i;
    }
    depth.Pass(c);
  }
  return line.size();
}

bool IsCommentLine(std::string_view line) {
  const std::size_t i = FirstNonBlank(line);
  return i < line.size() && line[i] == '*';
}

bool IsContinuationLine(std::string_view line) {
  const std::size_t i = FirstNonBlank(line);
  return i < line.size() && line[i] == '+';
}

}  // namespace etherm::spice
