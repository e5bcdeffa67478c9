#pragma once
// A subcircuit call `X1 4 5 6 QSUB PARAMS: t=27 r=1k`: the instance name (first letter X, any
// case), the nodes, the subcircuit name, and the parameters. As in ngspice the keyword PARAMS:
// (any case, with or without a blank after the colon) may be left out: the subcircuit name is
// then the last word before the first `name=value` (`X1 4 5 QSUB t=27`). Words are separated
// as ngspice separates fields (blanks, tabs, commas).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "spice_text/parameters.h"
#include "spice_text/words.h"

namespace etherm::spice {

struct SubcircuitCall {
  Field instance;
  std::vector<Field> nodes;
  Field subcircuit;
  Field paramsKeyword;  // "PARAMS:" as written; empty when the call has none
  std::vector<Parameter> parameters;
  // Empty for a well-formed call; otherwise what is wrong ("no subcircuit name", ...).
  std::string problem;
};

// Empty when the line's first word does not begin with X or x; leading blanks are allowed.
std::optional<SubcircuitCall> ParseSubcircuitCall(std::string_view line);

}  // namespace etherm::spice
