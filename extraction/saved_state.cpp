#include "extraction/saved_state.h"

#include <filesystem>
#include <string_view>
#include <vector>

#include "textio/checked_arithmetic.h"
#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"

namespace etherm {

namespace {

std::vector<std::string_view> Tokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && static_cast<unsigned char>(line[i]) <= 32) ++i;
    const std::size_t start = i;
    while (i < line.size() && static_cast<unsigned char>(line[i]) > 32) ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

}  // namespace

SavedState ReadSavedState(const std::string& name, double offset, double start) {
  SavedState saved;
  std::error_code error;
  if (!std::filesystem::exists(name, error)) return saved;
  TextFile file;
  file.OpenForReading(name);
  const std::string_view text(file.data(), file.end());
  auto bad = [&](const std::string& what) {
    return Failure("The circuit state \"" + name + "\" " + what);
  };
  std::size_t at = 0;
  int lineNumber = 0;
  auto nextLine = [&](std::string_view& line) {
    if (at >= text.size()) return false;
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    return true;
  };
  std::string_view line;
  std::vector<std::string_view> head;
  if (nextLine(line)) head = Tokens(line);
  if (head.size() != 3 || head[0] != "etherm-stan" || head[1] != "1" ||
      ParseInteger(head[2]).errorPosition != 0 || ParseInteger(head[2]).value < 0) {
    throw bad("does not begin with \"etherm-stan 1\" and its number of values");
  }
  saved.count = ParseInteger(head[2]).value;
  if (!nextLine(line)) {
    saved.kind = SavedState::Kind::kTooLarge;
    return saved;
  }
  for (std::string_view n : Tokens(line)) saved.state.names.emplace_back(n);
  if (saved.state.names.size() != static_cast<std::size_t>(saved.count)) {
    throw bad("names " + std::to_string(saved.state.names.size()) + " values, not " +
              std::to_string(saved.count));
  }
  while (nextLine(line)) {
    const std::vector<std::string_view> tokens = Tokens(line);
    if (tokens.empty()) continue;
    double recordTime = 0;
    if (tokens.size() != saved.state.names.size() + 1 || !ParseRealToken(tokens[0], &recordTime)) {
      throw bad("line " + std::to_string(lineNumber) + " is not a time and " +
                std::to_string(saved.count) + " values");
    }
    // The time as the accepted results hold it, so the row is theirs to the last bit.
    double time = 0;
    const std::string written = FormatExponent(checked::Add(recordTime, offset), 23);
    ParseRealToken(Tokens(written).front(), &time);
    if (!(time >= start)) continue;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
      double value = 0;
      if (!ParseRealToken(tokens[i], &value)) {
        throw bad("line " + std::to_string(lineNumber) + " holds " + std::string(tokens[i]) +
                  ", which is no number");
      }
      saved.state.values.push_back(value);
    }
    saved.kind = SavedState::Kind::kFound;
    return saved;
  }
  throw bad("holds no point at the window start " + FormatExponent(start, 23).substr(1) + " s");
}

}  // namespace etherm
