#include "analysis/appended_rows.h"

#include <algorithm>
#include <span>
#include <vector>

#include "analysis/run_files.h"

namespace etherm {

namespace {

// The lines of `bytes` without their line ends, less the first `skip`.
std::vector<std::string_view> LinesOf(std::string_view bytes, int skip) {
  std::vector<std::string_view> lines;
  std::size_t from = 0;
  while (from < bytes.size()) {
    std::size_t end = bytes.find('\n', from);
    if (end == std::string_view::npos) end = bytes.size();
    std::size_t stop = end;
    if (stop > from && bytes[stop - 1] == '\r') --stop;
    if (skip > 0) {
      --skip;
    } else {
      lines.push_back(bytes.substr(from, stop - from));
    }
    from = end + 1;
  }
  return lines;
}

// The numbers of a line after its first (the sweep value or time).
std::vector<double> AfterX(std::string_view line) {
  std::vector<double> numbers = LineNumbers(line);
  if (!numbers.empty()) numbers.erase(numbers.begin());
  return numbers;
}

}  // namespace

std::vector<AcceptedPoint> AppendedPoints(const AppendedText& appended, int headerLines) {
  const auto results = LinesOf(appended.results, headerLines);
  const auto powers = LinesOf(appended.powers, headerLines);
  const auto temperatures = LinesOf(appended.temperatures, headerLines);
  const std::size_t count = std::min({results.size(), powers.size(), temperatures.size()});
  std::vector<AcceptedPoint> points(count);
  for (std::size_t n = 0; n < count; ++n) {
    const std::vector<double> numbers = LineNumbers(results[n]);
    if (!numbers.empty()) points[n].x = numbers.front();
    points[n].probes.assign(numbers.begin() + (numbers.empty() ? 0 : 1), numbers.end());
    points[n].powers = AfterX(powers[n]);
    points[n].temperatures = AfterX(temperatures[n]);
  }
  return points;
}

void ReportAppendedRows(const AnalysisState& state, const AppendedText& appended, int headerLines) {
  if (state.listener == nullptr) return;
  const std::vector<AcceptedPoint> points = AppendedPoints(appended, headerLines);
  if (!points.empty()) state.listener->Accepted(std::span<const AcceptedPoint>(points));
}

}  // namespace etherm
