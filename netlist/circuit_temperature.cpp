#include "netlist/circuit_temperature.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace etherm {

namespace {

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// The line without its comment (a ';' or '$' starts one) and surrounding blanks.
std::string Trimmed(std::string line) {
  const std::size_t comment = line.find_first_of(";$");
  if (comment != std::string::npos) line.erase(comment);
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const std::size_t last = line.find_last_not_of(" \t\r");
  return line.substr(first, last - first + 1);
}

// The "TEMP=value" entry of an options text, as written.
std::optional<std::string> TempEntry(const std::string& text) {
  const std::string upper = Upper(text);
  for (std::size_t at = upper.find("TEMP"); at != std::string::npos;
       at = upper.find("TEMP", at + 1)) {
    const bool wordStart = at == 0 || upper[at - 1] == ' ' || upper[at - 1] == '\t' ||
                           upper[at - 1] == ',' || upper[at - 1] == '(';
    std::size_t p = at + 4;
    while (p < upper.size() && (upper[p] == ' ' || upper[p] == '\t')) ++p;
    if (!wordStart || p >= upper.size() || upper[p] != '=') continue;
    std::size_t end = p + 1;
    while (end < upper.size() && (upper[end] == ' ' || upper[end] == '\t')) ++end;
    while (end < upper.size() && upper[end] != ' ' && upper[end] != '\t' && upper[end] != ',' &&
           upper[end] != ')') {
      ++end;
    }
    return text.substr(at, end - at);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> CircuitTemperatureSetting(const std::string& circuitFile) {
  std::ifstream in(circuitFile, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string text = bytes.str();
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);  // the title
  int depth = 0;              // of subcircuit definitions
  bool options = false;       // the last line was an options line: '+' continues it
  while (std::getline(lines, line)) {
    const std::string trimmed = Trimmed(line);
    if (trimmed.empty() || trimmed[0] == '*') continue;
    const std::string upper = Upper(trimmed);
    if (upper[0] == '+') {
      if (options && depth == 0) {
        if (auto entry = TempEntry(trimmed.substr(1))) return entry;
      }
      continue;
    }
    options = false;
    const std::string keyword = upper.substr(0, upper.find_first_of(" \t"));
    if (keyword == ".SUBCKT") ++depth;
    if (keyword == ".ENDS" && depth > 0) --depth;
    if (keyword == ".END") break;
    if (depth > 0) continue;
    if (keyword == ".TEMP") return trimmed;
    if (keyword == ".OPTIONS" || keyword == ".OPTION" || keyword == ".OPT") {
      options = true;
      if (auto entry = TempEntry(trimmed.substr(keyword.size()))) return entry;
    }
  }
  return std::nullopt;
}

std::string CircuitTemperatureLine(double celsius) {
  char text[64];
  std::snprintf(text, sizeof text, ".OPTIONS TEMP=%.10g", celsius);
  return text;
}

void CopyTitleLine(CircuitLines& lines) {
  CopyLine(lines);
  if (!lines.circuitTemperature) return;
  WriteText(lines.output, CircuitTemperatureLine(*lines.circuitTemperature));
  WriteLineEnd(lines.output);
}

}  // namespace etherm
