#include "testing/line_difference.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace etherm::testing {
namespace {

// Lines without their '\n'; a text ending in '\n' has no empty line after it, so a missing final
// newline shows up as a difference of the last line's display.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no newline at end>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Shown(const std::string& line) {
  std::string out;
  for (char c : line) {
    if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string FirstDifference(const std::string& recorded, const std::string& written, int context) {
  if (recorded == written) return "";
  const std::vector<std::string> a = Lines(recorded);
  const std::vector<std::string> b = Lines(written);
  std::size_t first = 0;
  while (first < a.size() && first < b.size() && a[first] == b[first]) ++first;
  const std::size_t from = first > static_cast<std::size_t>(context) ? first - context : 0;
  std::string out = "first difference at line " + std::to_string(first + 1) + " (recorded " +
                    std::to_string(a.size()) + " lines, written " + std::to_string(b.size()) +
                    " lines" + "):\n";
  for (std::size_t i = from; i < first; ++i) out += "  " + Shown(a[i]) + "\n";
  const std::size_t upto = first + static_cast<std::size_t>(context) + 1;
  for (std::size_t i = first; i < std::min(upto, a.size()); ++i) out += "- " + Shown(a[i]) + "\n";
  if (first >= a.size()) out += "- <end of file>\n";
  for (std::size_t i = first; i < std::min(upto, b.size()); ++i) out += "+ " + Shown(b[i]) + "\n";
  if (first >= b.size()) out += "+ <end of file>\n";
  return out;
}

}  // namespace etherm::testing
