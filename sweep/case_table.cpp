#include "sweep/case_table.h"

#include <charconv>
#include <cmath>
#include <set>

#include "spice_text/ascii_case.h"
#include "spice_text/spice_number.h"
#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm::sweep {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

std::vector<std::string> Cells(std::string_view line) {
  std::vector<std::string> cells;
  for (;;) {
    const std::size_t comma = line.find(',');
    cells.emplace_back(Trim(line.substr(0, comma)));
    if (comma == std::string_view::npos) return cells;
    line.remove_prefix(comma + 1);
  }
}

bool IsIdentifier(std::string_view s) {
  if (s.empty() || !(spice::IsAsciiLetter(s[0]) || s[0] == '_')) return false;
  for (char c : s) {
    if (!(spice::IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

// The name becomes a folder under cases/ and a word of the commands that run it.
std::string CaseNameProblem(const std::string& name) {
  if (name.empty()) return "has no name";
  if (name == "." || name == "..") return "cannot be named \"" + name + "\"";
  for (char c : name) {
    const bool safe =
        spice::IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
    if (!safe) {
      return "\"" + name + "\" holds \"" + std::string(1, c) +
             "\"; case names use letters, digits, '_', '-' and '.' only";
    }
  }
  for (const char* reserved : {kCaseListFile, kJobLogFile, kSlurmScriptFile, kCommandFile}) {
    if (name == reserved) return "cannot be named \"" + name + "\", a file of the sweep in cases/";
  }
  return "";
}

}  // namespace

Quantity ParseQuantity(std::string_view name) {
  Quantity q;
  q.name = std::string(name);
  using Kind = Quantity::Kind;
  if (spice::EqualNoCase(name, "end")) {
    q.kind = Kind::kEndTime;
  } else if (spice::EqualNoCase(name, "start")) {
    q.kind = Kind::kSweepStart;
  } else if (spice::EqualNoCase(name, "step")) {
    q.kind = Kind::kSweepStep;
  } else if (spice::EqualNoCase(name, "stop")) {
    q.kind = Kind::kSweepStop;
  } else if (spice::EqualNoCase(name, "ambient")) {
    q.kind = Kind::kAmbient;
  } else if (spice::StartsWithNoCase(name, "rth:")) {
    const std::string_view rest = name.substr(4);
    const std::size_t colon = rest.find(':');
    q.device = std::string(rest.substr(0, colon));
    if (colon == std::string_view::npos) {
      q.kind = Kind::kOwnResistance;
    } else {
      q.kind = Kind::kMutualResistance;
      q.other = std::string(rest.substr(colon + 1));
    }
    if (q.device.empty() || (q.kind == Kind::kMutualResistance && q.other.empty())) {
      throw Failure("quantity \"" + q.name +
                    "\" names no device: write rth:DEVICE or rth:DEVICE:OTHER");
    }
  } else if (!IsIdentifier(name)) {
    throw Failure("unknown quantity \"" + q.name +
                  "\": a quantity is a circuit .PARAM name, rth:DEVICE, rth:DEVICE:OTHER, end, "
                  "start, step, stop or ambient");
  }
  return q;
}

bool QuantityValue(const Quantity& quantity, std::string_view cell, double* value) {
  if (quantity.kind == Quantity::Kind::kParameter) {
    // Unit letters would be dropped silently; a value of a table is a plain number.
    const spice::ParsedNumber parsed = spice::ParseSpiceNumber(cell);
    if (!parsed.value || parsed.used != cell.size()) return false;
    *value = *parsed.value;
  } else if (!ParseRealToken(cell, value)) {
    return false;
  }
  return std::isfinite(*value);
}

std::string NumberText(double value) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

CaseTable ParseCaseTable(std::string_view text, const std::string& fileName) {
  CaseTable table;
  bool headerRead = false;
  std::set<std::string> names;
  int lineNumber = 0;
  // Spreadsheets often save a byte order mark in front of the header.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::string_view line = Trim(text.substr(0, lf));
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    const std::string where = fileName + ", line " + std::to_string(lineNumber) + ": ";
    const std::vector<std::string> cells = Cells(line);
    if (!headerRead) {
      if (cells[0] != "case") {
        throw Failure(where + "the header starts with \"" + cells[0] +
                      "\"; it is case,QUANTITY,... (the first column names the cases)");
      }
      if (cells.size() < 2) throw Failure(where + "the header names no quantity after case");
      std::set<std::string> seen;
      for (std::size_t c = 1; c < cells.size(); ++c) {
        try {
          table.quantities.push_back(ParseQuantity(cells[c]));
        } catch (const Failure& failure) {
          throw Failure(where + failure.what());
        }
        // Keywords and parameters compare without case, device names with it.
        const Quantity& q = table.quantities.back();
        const bool resistance =
            q.kind == Quantity::Kind::kOwnResistance || q.kind == Quantity::Kind::kMutualResistance;
        const std::string key =
            resistance ? "rth:" + q.device + ":" + q.other : spice::ToLower(cells[c]);
        if (!seen.insert(key).second) {
          throw Failure(where + "quantity \"" + cells[c] + "\" stands twice in the header");
        }
      }
      headerRead = true;
      continue;
    }
    if (cells.size() != table.quantities.size() + 1) {
      throw Failure(where + "case \"" + cells[0] + "\" has " + std::to_string(cells.size() - 1) +
                    " values; the header names " + std::to_string(table.quantities.size()));
    }
    Case row;
    row.name = cells[0];
    if (const std::string problem = CaseNameProblem(row.name); !problem.empty()) {
      throw Failure(where + "the case " + problem);
    }
    if (!names.insert(row.name).second) {
      throw Failure(where + "case \"" + row.name + "\" stands twice in the table");
    }
    for (std::size_t c = 1; c < cells.size(); ++c) {
      const Quantity& q = table.quantities[c - 1];
      double value;
      if (!QuantityValue(q, cells[c], &value)) {
        throw Failure(where + "case \"" + row.name + "\": " + q.name + " = \"" + cells[c] +
                      "\" is not a number");
      }
      row.values.push_back(cells[c]);
      row.numbers.push_back(value);
    }
    table.cases.push_back(std::move(row));
  }
  if (!headerRead) throw Failure(fileName + ": no header line case,QUANTITY,...");
  if (table.cases.empty()) throw Failure(fileName + ": the table holds no case");
  return table;
}

std::string CaseTableText(const CaseTable& table) {
  std::string text = "case";
  for (const Quantity& q : table.quantities) text += "," + q.name;
  text += "\n";
  for (const Case& c : table.cases) {
    text += c.name;
    for (const std::string& v : c.values) text += "," + v;
    text += "\n";
  }
  return text;
}

}  // namespace etherm::sweep
