#include "report/recorded_run.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <optional>
#include <vector>

#include "report/results_csv.h"
#include "textio/failure.h"
#include "textio/file_access.h"

namespace etherm::report {

namespace {

// Far above the report of any run (a transient run of ten million accepted rows).
constexpr std::uintmax_t kRecordedFileBound = std::uintmax_t{4} << 30;

// The fields of one line as CsvField writes them: plain, or in double quotes with inner quotes
// doubled.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::optional<double> Number(const std::string& field) {
  double value = 0;
  auto [end, err] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (err != std::errc() || end != field.data() + field.size() || field.empty()) {
    return std::nullopt;
  }
  return value;
}

class CsvReader {
 public:
  // A FIFO or a device in place of a report would block or never end: plain files of a
  // bounded size only.
  explicit CsvReader(std::string name) : name_(std::move(name)) {
    if (::access(name_.c_str(), F_OK) != 0)
      throw Failure("\"" + name_ + "\": " + IoErrorText(errno));
    RequireRegularFile(name_, kRecordedFileBound);
    in_.open(name_, std::ios::binary);
    if (!in_) throw Failure("\"" + name_ + "\": " + IoErrorText(errno));
  }
  // The next line's fields; false at the end of the file.
  bool Next(std::vector<std::string>* fields) {
    std::string line;
    if (!std::getline(in_, line)) {
      if (in_.bad()) throw Failure("\"" + name_ + "\": " + IoErrorText(errno));
      return false;
    }
    ++lineNumber_;
    *fields = Fields(line);
    return true;
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw Failure("\"" + name_ + "\", line " + std::to_string(lineNumber_) + ": " + what);
  }
  // `blanks`: an empty field stands for 0 (the accepted end of a transient iteration that
  // accepted nothing).
  std::vector<double> Numbers(const std::vector<std::string>& fields, size_t width,
                              bool blanks = false) const {
    if (fields.size() != width) {
      Fail(std::to_string(fields.size()) + " fields under a header of " + std::to_string(width));
    }
    std::vector<double> numbers;
    for (const auto& f : fields) {
      std::optional<double> v = blanks && f.empty() ? std::optional<double>(0) : Number(f);
      if (!v) Fail("\"" + f + "\" is no number");
      numbers.push_back(*v);
    }
    return numbers;
  }

 private:
  std::string name_;
  std::ifstream in_;
  int lineNumber_ = 0;
};

bool Wrapped(const std::string& field, const std::string& prefix, const std::string& suffix,
             std::string* inner) {
  if (field.size() < prefix.size() + suffix.size() + 1 || field.rfind(prefix, 0) != 0 ||
      field.compare(field.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  *inner = field.substr(prefix.size(), field.size() - prefix.size() - suffix.size());
  return true;
}

// The run BASE.csv's header describes; the header must be ResultsHeader's.
RunDescription Describe(AnalysisKind kind, const std::string& baseName,
                        const std::vector<std::string>& header, const CsvReader& reader) {
  RunDescription run;
  run.kind = kind;
  run.baseName = baseName;
  std::string name;
  size_t column = 1;
  while (column < header.size() && Wrapped(header[column], "T_", "_K", &name)) {
    run.deviceNames.push_back(name);
    ++column;
  }
  if (kind == AnalysisKind::kDc) {
    // "V1_V", or the bare name of a source whose unit is unknown.
    const std::string& x = header[0];
    size_t unit = x.rfind('_');
    run.sweptSource = unit == std::string::npos ? x : x.substr(0, unit);
    if (XColumnName(run) != x) run.sweptSource = x;
  }
  // A DC run's x is its swept source; "time_s" is the transient's.
  RunDescription transient;
  transient.kind = AnalysisKind::kTransient;
  const bool transientX = header[0] == XColumnName(transient);
  if (run.deviceNames.empty() || header.size() < 1 + 2 * run.deviceNames.size() ||
      header[0] != XColumnName(run) || (kind == AnalysisKind::kDc && transientX)) {
    reader.Fail("not the header of a results table of a " +
                std::string(kind == AnalysisKind::kDc ? "DC" : "transient") + " run");
  }
  for (const auto& device : run.deviceNames) {
    if (header[column++] != "P_" + device + "_W") {
      reader.Fail("no power column P_" + device + "_W where it belongs");
    }
  }
  run.probeNames.assign(header.begin() + static_cast<long>(column), header.end());
  return run;
}

}  // namespace

RunSummary ReadRecordedRun(AnalysisKind kind, const std::string& folder,
                           const std::string& baseName) {
  CsvReader results(ReportFileName(folder, baseName, ".csv"));
  std::vector<std::string> fields;
  if (!results.Next(&fields)) results.Fail("no header");
  const RunDescription run = Describe(kind, baseName, fields, results);
  const size_t devices = run.deviceNames.size();
  const size_t width = fields.size();
  RunSummary summary(run);
  while (results.Next(&fields)) {
    std::vector<double> v = results.Numbers(fields, width);
    AcceptedRow row;
    row.x = v[0];
    row.temperatures.assign(v.begin() + 1, v.begin() + 1 + static_cast<long>(devices));
    row.powers.assign(v.begin() + 1 + static_cast<long>(devices),
                      v.begin() + 1 + static_cast<long>(2 * devices));
    row.probes.assign(v.begin() + 1 + static_cast<long>(2 * devices), v.end());
    summary.Add(row);
  }

  CsvReader iterations(ReportFileName(folder, baseName, ".iterations.csv"));
  if (!iterations.Next(&fields)) iterations.Fail("no header");
  if (fields.size() < 2 || fields[0] != "iteration" || fields.back() != "sim_time_s") {
    iterations.Fail("not the header of an iterations table");
  }
  const size_t iterationWidth = fields.size();
  while (iterations.Next(&fields)) {
    IterationRow row;
    row.simulatorSeconds = iterations.Numbers(fields, iterationWidth, true).back();
    summary.AddIteration(row);
  }
  return summary;
}

}  // namespace etherm::report
