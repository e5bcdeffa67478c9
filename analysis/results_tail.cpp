#include "analysis/results_tail.h"

#include <utility>

namespace etherm {

void ResultsTail::Add(double time, std::string line) {
  lines_.push_back({time, std::move(line)});
}

void ResultsTail::KeepFrom(double start) {
  while (!lines_.empty() && !(start - lines_.front().time <= kMargin)) {
    lines_.pop_front();
    ++dropped_;
  }
}

std::string ResultsTail::Text() const {
  std::string text = "\r\n\r\n";
  for (const Line& line : lines_) text += line.bytes;
  return text;
}

}  // namespace etherm
