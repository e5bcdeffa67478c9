#include "report/csv_text.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "textio/failure.h"
#include "textio/file_access.h"

namespace etherm::report {

void AppendNumber(std::string& line, double value) {
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value);
  line.append(text, result.ptr);
}

std::string NumberText(double value) {
  std::string text;
  AppendNumber(text, value);
  return text;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + '"';
}

CsvFile::CsvFile(std::string name) : name_(std::move(name)) {
  const int fd = TryOpenOutputFile(name_, OutputOpening::kCreate);
  if (fd < 0) Fail(errno);
  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    const int err = errno;
    ::close(fd);
    Fail(err);
  }
}

CsvFile::~CsvFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void CsvFile::WriteLine(std::string_view line) {
  if (file_ == nullptr) Fail(EBADF);
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() ||
      std::fputc('\n', file_) == EOF) {
    Fail(errno);
  }
}

void CsvFile::Flush() {
  if (file_ == nullptr) Fail(EBADF);
  if (std::fflush(file_) != 0) Fail(errno);
}

void CsvFile::Close() {
  if (file_ == nullptr) return;
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) Fail(errno);
}

void CsvFile::Fail(int err) const {
  throw Failure("Cannot write \"" + name_ + "\": " + IoErrorText(err));
}

}  // namespace etherm::report
