#include "spice_text/parameters.h"

#include "spice_text/ascii_case.h"
#include "spice_text/group_depth.h"

namespace etherm::spice {

namespace {

bool IsEntrySeparator(char c) {
  return IsBlank(c) || c == ',';
}

// A name or value from i on: up to a separator, or '=' when it is a name, or a ')' that closes
// nothing inside it.
std::size_t ScanItem(std::string_view line, std::size_t i, bool name) {
  detail::GroupDepth depth;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (!depth.Inside() && (IsEntrySeparator(c) || c == ')' || (name && c == '='))) break;
    depth.Pass(c);
  }
  return i;
}

// True when the item at i is itself `name=value`: then the entry before it has no value
// (`is= rs=2`), rather than the value "rs=2".
bool StartsEntry(std::string_view line, std::size_t i) {
  std::size_t p = ScanItem(line, i, true);
  while (p < line.size() && IsBlank(line[p])) ++p;
  return p < line.size() && line[p] == '=';
}

}  // namespace

ParameterList ParseParameters(std::string_view line, std::size_t from) {
  line = line.substr(0, CommentStart(line));
  ParameterList list;
  std::size_t i = from;
  while (i < line.size()) {
    if (IsEntrySeparator(line[i])) {
      ++i;
      continue;
    }
    if (line[i] == ')') {
      list.close = i;
      list.end = i + 1;
      return list;
    }
    Parameter parameter;
    const std::size_t nameEnd = ScanItem(line, i, true);
    parameter.name = {line.substr(i, nameEnd - i), i};
    std::size_t end = nameEnd;
    std::size_t p = nameEnd;
    while (p < line.size() && IsBlank(line[p])) ++p;
    if (p < line.size() && line[p] == '=') {
      parameter.hasEquals = true;
      end = ++p;
      while (p < line.size() && IsBlank(line[p])) ++p;
      if (p < line.size() && line[p] != ',' && line[p] != ')' && !StartsEntry(line, p)) {
        end = ScanItem(line, p, false);
        parameter.value = {line.substr(p, end - p), p};
      }
    }
    parameter.whole = {line.substr(i, end - i), i};
    list.parameters.push_back(parameter);
    i = end;
  }
  list.end = line.size();
  return list;
}

const Parameter* FindParameter(const std::vector<Parameter>& parameters, std::string_view name) {
  for (const Parameter& parameter : parameters) {
    if (EqualNoCase(parameter.name.text, name)) return &parameter;
  }
  return nullptr;
}

}  // namespace etherm::spice
