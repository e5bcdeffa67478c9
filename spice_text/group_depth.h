#pragma once
// Internal to spice_text: which groups a scan is inside while it passes a line byte by byte.

namespace etherm::spice::detail {

// {...} nest and hide everything in them; quotes ('...' and "...") outside braces hide
// everything up to the same quote; (...) nest outside braces and quotes.
struct GroupDepth {
  int braces = 0;
  int parentheses = 0;
  char quote = 0;

  bool Inside() const { return braces > 0 || parentheses > 0 || quote != 0; }

  void Pass(char c) {
    if (quote != 0) {
      if (c == quote) quote = 0;
      return;
    }
    if (braces == 0 && (c == '"' || c == '\'')) {
      quote = c;
    } else if (c == '{') {
      ++braces;
    } else if (c == '}' && braces > 0) {
      --braces;
    } else if (braces == 0 && c == '(') {
      ++parentheses;
    } else if (braces == 0 && c == ')' && parentheses > 0) {
      --parentheses;
    }
  }
};

}  // namespace etherm::spice::detail
