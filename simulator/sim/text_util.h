#pragma once
// Small text helpers for SPICE lines. SPICE is case-insensitive; all comparisons fold ASCII case
// only, so bytes of other code pages pass through untouched.

#include <string>
#include <string_view>
#include <vector>

namespace etherm::sim {

std::string Lower(std::string_view s);
std::string Upper(std::string_view s);
bool EqualNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
std::string_view Trim(std::string_view s);

// Words separated by blanks, tabs or commas; a {...} group (nested braces allowed), a "..."
// string and a (...) group stay whole, so `PULSE(0 5 1u)` and `{a + b}` are single words.
std::vector<std::string> SplitWords(std::string_view line);

// The word before '=' of `name=value`, empty when the word has no '='.
std::string ParamName(std::string_view word);

// Joins `a = b`, `a= b` and `a =b` into `a=b` outside braces and quotes.
std::string JoinAssignments(std::string_view line);

std::string Join(const std::vector<std::string>& words, std::string_view separator = " ");

}  // namespace etherm::sim
