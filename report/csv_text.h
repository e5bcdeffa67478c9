#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace etherm::report {

// Shortest text that reads back as the same double, C locale ("0.1", "1e-05", "-0", "nan").
std::string NumberText(double value);
void AppendNumber(std::string& line, double value);

// A CSV field: as is, or in double quotes (inner quotes doubled) when it holds a comma, a quote
// or a line break.
std::string CsvField(std::string_view text);

// A CSV file written line by line, LF line ends. It is created (emptied) on construction and
// closed by Close or the destructor; every failure throws Failure naming the file.
class CsvFile {
 public:
  explicit CsvFile(std::string name);
  ~CsvFile();
  CsvFile(const CsvFile&) = delete;
  CsvFile& operator=(const CsvFile&) = delete;

  // `line` without its line end.
  void WriteLine(std::string_view line);
  // Hands what was written to the system, so a run that stops later keeps it.
  void Flush();
  void Close();
  const std::string& name() const { return name_; }

 private:
  [[noreturn]] void Fail(int err) const;

  std::string name_;
  std::FILE* file_ = nullptr;
};

}  // namespace etherm::report
