#pragma once
// Circuit lines as words that remember where they stand, so a rewrite can replace one field
// and keep every other byte of the line as it was:
//   line.replace(word.offset, word.text.size(), newText)
//
// ngspice separates fields by blanks, tabs, commas, '=' and parentheses. Here '=' and
// parentheses stay inside words: `IS=1e-14`, `PULSE(0 5 1u)` and `V(3)` are single words, as
// every caller handles them whole, and ParseParameters (parameters.h) takes `name = value`
// apart. Which bytes separate words is a choice of the caller (WordRules): the circuit writers
// see blanks only, the simulator reads fields as ngspice does.
//
// Comments, as ngspice takes them: a line whose first non-blank byte is '*' is a comment line;
// an end-of-line comment starts at ';', or at '$' or "//" that begin a word (a '$' inside a
// name such as a$b is part of the name). Inside quotes and braces none of these start one.
// Continuation lines have '+' as their first non-blank byte; ngspice ignores leading blanks.

#include <cstddef>
#include <string_view>
#include <vector>

namespace etherm::spice {

// A piece of a line: a view into the caller's line (valid while the line is) and where it
// starts. An absent piece has empty text.
struct Field {
  std::string_view text;
  std::size_t offset = 0;

  std::size_t end() const { return offset + text.size(); }
  bool empty() const { return text.empty(); }
};
using Word = Field;

struct WordRules {
  std::string_view separators = " \t";
  // Keeps {...} (nested), "...", '...' and (...) (nested, outside braces) inside one word even
  // when they hold separators: `{a + b}`, `V(a, b)`, `"my file.lib"`. A group left open runs
  // to the end of the line, so nothing is lost.
  bool keepGroups = false;
};

// The writers' line format: words separated by blanks or tabs, nothing grouped.
inline constexpr WordRules kBlankWords{" \t", false};
// Fields as ngspice reads them: blanks, tabs and commas separate; groups stay whole.
inline constexpr WordRules kSpiceFields{" \t,", true};

std::vector<Word> SplitWords(std::string_view line, const WordRules& rules = kSpiceFields);

// True for a blank or tab.
constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The offset where the line's end-of-line comment starts, or line.size() when it has none.
std::size_t CommentStart(std::string_view line);

// A line whose first non-blank byte is '*'.
bool IsCommentLine(std::string_view line);
// A line whose first non-blank byte is '+'.
bool IsContinuationLine(std::string_view line);

}  // namespace etherm::spice
