#pragma once
// Text helpers of etherm-sim on top of spice_text: words as strings, assignments and joins.
// Case rules are spice_text's (ASCII letters fold only, so Windows-1250 bytes pass untouched).

#include <string>
#include <string_view>
#include <vector>

#include "spice_text/ascii_case.h"

namespace etherm::sim {

using spice::EqualNoCase;
using spice::StartsWithNoCase;
using spice::ToLower;
using spice::ToUpper;

std::string_view Trim(std::string_view s);

// Fields as ngspice reads them (blanks, tabs and commas separate; {...}, quotes and (...) stay
// whole), so `PULSE(0 5 1u)` and `{a + b}` are single words.
std::vector<std::string> SplitWords(std::string_view line);

// The word before '=' of `name=value`, empty when the word has no '='.
std::string ParamName(std::string_view word);

// Joins `a = b`, `a= b` and `a =b` into `a=b` outside braces and quotes.
std::string JoinAssignments(std::string_view line);

std::string Join(const std::vector<std::string>& words, std::string_view separator = " ");

}  // namespace etherm::sim
