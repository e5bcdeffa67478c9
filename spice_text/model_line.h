#pragma once
// `.MODEL name type(p1=v1 p2=v2 ...)`, as ngspice takes it: the keyword in any case; the
// parameters in parentheses right after the type or after blanks (`NPN (IS=1)`), or without
// parentheses (`.model D1 D IS=1e-14`). A list in parentheses may continue on '+' lines: on
// its first line it then has no ')' (`continues`); the '+' lines are read with
// ParseParameters(line, 1). Given a whole logical line (continuations joined), it reads all.
// Name and type are returned as written; whether their case matters is the caller's rule.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "spice_text/parameters.h"
#include "spice_text/words.h"

namespace etherm::spice {

struct ModelLine {
  Field keyword;  // ".model" as written
  Field name;
  Field type;                        // up to '(' or a blank
  std::optional<std::size_t> open;   // the '(' of the list
  std::optional<std::size_t> close;  // its ')'
  std::vector<Parameter> parameters;
  bool continues = false;  // '(' without ')' on this line
  // Empty for a well-formed line; otherwise what is wrong ("no model name", ...). The fields
  // found are filled all the same.
  std::string problem;
};

// Empty when the line's first word is not .MODEL; leading blanks are allowed.
std::optional<ModelLine> ParseModelLine(std::string_view line);

}  // namespace etherm::spice
