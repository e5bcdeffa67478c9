#pragma once
// Case rules of circuit text. Keywords, element letters, scale factors and (for the simulator)
// names compare without case; only ASCII letters fold, so bytes of other code pages, such as
// Windows-1250 letters in comments and titles, pass through untouched.

#include <string>
#include <string_view>

namespace etherm::spice {

constexpr char UpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char LowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace etherm::spice
