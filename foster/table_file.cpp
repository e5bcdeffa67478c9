#include "foster/table_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "textio/failure.h"
#include "textio/file_access.h"
#include "textio/number_text.h"

namespace etherm {

namespace {

struct Row {
  double first = 0;
  double second = 0;
  int line = 0;
};

// Far above any table typed or exported by hand; a FIFO or a device is no table.
constexpr std::uintmax_t kTableFileBound = std::uintmax_t{64} << 20;

std::string ReadWholeFile(const std::string& path) {
  if (::access(path.c_str(), F_OK) != 0) throw Failure(path + ": " + IoErrorText(errno));
  RequireRegularFile(path, kTableFileBound);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw Failure(path + ": " + IoErrorText(errno));
  std::string bytes;
  char buffer[1 << 14];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  const int error = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (error != 0) throw Failure(path + ": " + IoErrorText(error));
  return bytes;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == ',')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != ',') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A field that is a number, or was meant to be one: it begins like one (a digit, or a sign or
// point before one), or reads as one once the letters typed for digits are taken as the digits
// (O for 0, l and I for 1: "O.5", "le-5"). A header field names a column ("t [s]", "Zth").
bool LooksLikeNumber(std::string_view field) {
  double value;
  if (ParseRealToken(field, &value)) return true;
  std::size_t i = 0;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) ++i;
  if (i < field.size() && field[i] == '.') ++i;
  if (i < field.size() && IsDigit(field[i])) return true;
  std::string mended(field);
  bool digit = false;
  for (char& c : mended) {
    if (c == 'O' || c == 'o') c = '0';
    if (c == 'l' || c == 'I') c = '1';
    digit = digit || IsDigit(c);
  }
  return digit && ParseRealToken(mended, &value);
}

// columns names the two numbers for messages, e.g. "time and Zth".
std::vector<Row> ReadRows(const std::string& path, const std::string& columns) {
  const std::string bytes = ReadWholeFile(path);
  std::string_view text(bytes);
  // Spreadsheets may write a byte-order mark.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<Row> rows;
  bool headerAllowed = true;
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = line.substr(0, line.find('#'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) continue;
    const std::string where = path + " line " + std::to_string(lineNumber) + ": ";
    double values[2];
    // A header only when no field of it looks like a number: a mistyped first row of
    // numbers was taken for one and silently dropped.
    if (headerAllowed && std::none_of(words.begin(), words.end(), LooksLikeNumber)) {
      headerAllowed = false;
      continue;
    }
    headerAllowed = false;
    for (std::size_t i = 0; i < words.size() && i < 2; ++i) {
      if (!ParseRealToken(words[i], &values[i])) {
        throw Failure(where + "\"" + std::string(words[i]) + "\" is not a number");
      }
    }
    if (words.size() != 2) {
      throw Failure(where + "expected 2 numbers (" + columns + "), found " +
                    std::to_string(words.size()));
    }
    rows.push_back({values[0], values[1], lineNumber});
  }
  if (rows.empty()) throw Failure(path + ": no lines with " + columns);
  return rows;
}

std::string Where(const std::string& path, const Row& row) {
  return path + " line " + std::to_string(row.line) + ": ";
}

std::string Text(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", x);
  return text;
}

void RequirePositive(const std::string& path, const Row& row, double value, const char* name) {
  if (!(value > 0))
    throw Failure(Where(path, row) + name + " must be above 0, found " + Text(value));
}

}  // namespace

Curve ReadCurve(const std::string& path) {
  Curve curve;
  const std::vector<Row> rows = ReadRows(path, "time and Zth");
  for (const Row& row : rows) {
    RequirePositive(path, row, row.first, "the time");
    RequirePositive(path, row, row.second, "Zth");
    if (!curve.empty()) {
      const CurvePoint& previous = curve.back();
      if (row.first <= previous.time) {
        throw Failure(Where(path, row) + "time " + Text(row.first) +
                      " does not follow the previous time " + Text(previous.time) +
                      "; times must rise");
      }
      if (row.second < previous.zth) {
        throw Failure(Where(path, row) + "Zth falls from " + Text(previous.zth) + " to " +
                      Text(row.second) + "; a thermal impedance never decreases");
      }
    }
    curve.push_back({row.first, row.second});
  }
  return curve;
}

FosterNetwork ReadFosterTable(const std::string& path) {
  FosterNetwork network;
  for (const Row& row : ReadRows(path, "R and tau")) {
    RequirePositive(path, row, row.first, "R");
    RequirePositive(path, row, row.second, "tau");
    network.push_back({row.first, row.second});
  }
  return network;
}

std::vector<CauerStage> ReadCauerLadder(const std::string& path) {
  std::vector<CauerStage> ladder;
  const std::vector<Row> rows = ReadRows(path, "R and C");
  if (rows.size() > kMaxCauerStages) {
    throw Failure(path + ": " + std::to_string(rows.size()) + " stages are more than the " +
                  std::to_string(kMaxCauerStages) + " etherm-foster converts");
  }
  for (const Row& row : rows) {
    RequirePositive(path, row, row.first, "R");
    RequirePositive(path, row, row.second, "C");
    ladder.push_back({row.first, row.second});
  }
  return ladder;
}

}  // namespace etherm
