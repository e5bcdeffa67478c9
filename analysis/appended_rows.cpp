#include "analysis/appended_rows.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <span>
#include <vector>

#include "analysis/run_files.h"
#include "textio/failure.h"

namespace etherm {

namespace {

std::uintmax_t SizeOf(const std::string& name) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(name, error);
  return error ? 0 : size;
}

// The lines from byte `start` on, without their line ends, less the first `skip`.
std::vector<std::string> LinesFrom(const std::string& name, std::uintmax_t start, int skip) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) throw Failure(IoErrorText(errno) + ": " + name);
  std::string bytes;
  if (std::fseek(file, static_cast<long>(start), SEEK_SET) == 0) {
    char buffer[1 << 14];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
      bytes.append(buffer, n);
    }
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) throw Failure(IoErrorText(EIO) + ": " + name);
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < bytes.size()) {
    std::size_t end = bytes.find('\n', from);
    if (end == std::string::npos) end = bytes.size();
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
std::vector<double> AfterX(const std::string& line) {
  std::vector<double> numbers = LineNumbers(line);
  if (!numbers.empty()) numbers.erase(numbers.begin());
  return numbers;
}

}  // namespace

AppendedRows::AppendedRows(std::string results, std::string powers, std::string temperatures)
    : results_{results, SizeOf(results)},
      powers_{powers, SizeOf(powers)},
      temperatures_{temperatures, SizeOf(temperatures)} {}

void AppendedRows::Report(const AnalysisState& state, int headerLines) const {
  if (state.listener == nullptr) return;
  const auto results = LinesFrom(results_.name, results_.start, headerLines);
  const auto powers = LinesFrom(powers_.name, powers_.start, headerLines);
  const auto temperatures = LinesFrom(temperatures_.name, temperatures_.start, headerLines);
  const std::size_t count = std::min({results.size(), powers.size(), temperatures.size()});
  std::vector<AcceptedPoint> points(count);
  for (std::size_t n = 0; n < count; ++n) {
    const std::vector<double> numbers = LineNumbers(results[n]);
    if (!numbers.empty()) points[n].x = numbers.front();
    points[n].probes.assign(numbers.begin() + (numbers.empty() ? 0 : 1), numbers.end());
    points[n].powers = AfterX(powers[n]);
    points[n].temperatures = AfterX(temperatures[n]);
  }
  if (!points.empty()) state.listener->Accepted(std::span<const AcceptedPoint>(points));
}

}  // namespace etherm
