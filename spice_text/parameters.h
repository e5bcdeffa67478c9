#pragma once
// Parameter lists: `IS=1e-14 BF=100` of a .MODEL line, `t=27 r={2*x}` after PARAMS: of a
// subcircuit call. Entries are separated by blanks, tabs or commas; blanks may stand around
// '=' (`BF = 100`). A value is a word, a {expression} (nested braces), a '...' or "..." text,
// or a word with balanced parentheses; a name may hold parentheses too (`V(3)=1` of .IC).

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "spice_text/words.h"

namespace etherm::spice {

struct Parameter {
  Field name;              // as written
  Field value;             // empty when the entry has no '=' or nothing after it
  bool hasEquals = false;  // false for a bare word such as a flag
  Field whole;             // the entry from its name to the end of its value
};

struct ParameterList {
  std::vector<Parameter> parameters;
  // The ')' that ends the list (one not opened inside it), when the line has one.
  std::optional<std::size_t> close;
  // Where reading stopped: after the ')' when there is one, else at the end-of-line comment or
  // the end of the line.
  std::size_t end = 0;
};

// The entries of `line` from offset `from` on. Offsets are offsets in `line`.
ParameterList ParseParameters(std::string_view line, std::size_t from);

// The first parameter named `name` (any case), if any.
const Parameter* FindParameter(const std::vector<Parameter>& parameters, std::string_view name);

}  // namespace etherm::spice
