#pragma once

namespace etherm {

// 'a'..'z' to 'A'..'Z'; every other byte unchanged, so Windows-1250 letters pass as they are.
constexpr char UpperCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace etherm
