#pragma once

#include <array>
#include <string>
#include <string_view>

namespace etherm {

// A device name: exactly 8 bytes, padded on the right with blanks. Two fields are equal when
// all 8 bytes are equal, case included.
struct NameField {
  std::array<char, 8> chars{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

  // The first 8 bytes of text, padded with blanks.
  static NameField From(std::string_view text) {
    NameField f;
    for (std::size_t i = 0; i < text.size() && i < 8; ++i) f.chars[i] = text[i];
    return f;
  }
  void Clear() { chars.fill(' '); }
  // The 8 bytes as text, blanks included.
  std::string Text() const { return std::string(chars.data(), 8); }
  // The name without the trailing blanks.
  std::string Trimmed() const {
    std::size_t n = 8;
    while (n > 0 && chars[n - 1] == ' ') --n;
    return std::string(chars.data(), n);
  }
  friend bool operator==(const NameField&, const NameField&) = default;
};

// Text of capacity N with a current length; bytes past the length stay addressable and keep
// what was stored there last. Positions are 1-based, as the circuit writers count them.
template <int N>
struct LineText {
  std::array<char, N + 1> chars{};  // chars[0] unused
  int length = 0;

  char& at(int position) { return chars[static_cast<std::size_t>(position)]; }
  char at(int position) const { return chars[static_cast<std::size_t>(position)]; }
  // Sets positions 1..n to blanks and the length to n.
  void Fill(int n) {
    for (int i = 1; i <= n; ++i) chars[static_cast<std::size_t>(i)] = ' ';
    length = n;
  }
  // The current text: positions 1..length.
  std::string Text() const {
    return std::string(chars.data() + 1, static_cast<std::size_t>(length));
  }
  static constexpr int capacity() { return N; }
};

// A line of any length, positions 1-based like LineText; positions never stored read as
// blanks. Circuit lines are held whole in it, so no rewrite of a long line loses its end.
struct WholeLineText {
  std::string chars = std::string(1, ' ');  // chars[0] unused
  int length = 0;

  char& at(int position) {
    const auto p = static_cast<std::size_t>(position);
    if (p >= chars.size()) chars.resize(p + 1, ' ');
    return chars[p];
  }
  char at(int position) const {
    const auto p = static_cast<std::size_t>(position);
    return p < chars.size() ? chars[p] : ' ';
  }
  // Positions 1..n become blanks, later ones read as blanks; the length becomes n.
  void Fill(int n) {
    chars.assign(static_cast<std::size_t>(n) + 1, ' ');
    length = n;
  }
  // The current text: positions 1..length.
  std::string Text() const {
    std::string text = chars.substr(1, static_cast<std::size_t>(length));
    text.resize(static_cast<std::size_t>(length), ' ');
    return text;
  }
};

}  // namespace etherm
