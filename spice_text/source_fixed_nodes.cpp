#include "spice_text/source_fixed_nodes.h"

#include <map>

namespace etherm::spice {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool IsGround(const std::string& node) {
  return node == "0" || node == "gnd";
}

}  // namespace

std::set<std::string> SourceFixedNodes(const std::vector<SourceNodes>& sources) {
  // Groups of nodes joined by sources, by union-find.
  std::map<std::string, std::string> parent;
  auto root = [&](std::string node) {
    while (parent[node] != node) node = parent[node];
    return node;
  };
  auto add = [&](const std::string& node) {
    if (!parent.count(node)) parent[node] = node;
  };
  std::set<std::string> fixed;
  for (const auto& [plusWritten, minusWritten] : sources) {
    const std::string plus = Lower(plusWritten), minus = Lower(minusWritten);
    add(plus);
    add(minus);
    parent[root(plus)] = root(minus);
    fixed.insert(plus);
  }
  std::set<std::string> groundRoots;
  for (const auto& [node, ignored] : parent) {
    if (IsGround(node)) groundRoots.insert(root(node));
  }
  for (const auto& [node, ignored] : parent) {
    if (groundRoots.count(root(node))) fixed.insert(node);
  }
  for (auto it = fixed.begin(); it != fixed.end();) {
    it = IsGround(*it) ? fixed.erase(it) : std::next(it);
  }
  return fixed;
}

bool IsVoltageSourceLine(const std::vector<std::string>& words) {
  if (words.size() < 3 || words[0].empty()) return false;
  const char letter = Lower(words[0].substr(0, 1))[0];
  if (letter == 'v' || letter == 'e' || letter == 'h') return true;
  if (letter != 'b') return false;
  for (std::size_t i = 3; i < words.size(); ++i) {
    const std::string w = Lower(words[i]);
    if (w.rfind("v=", 0) == 0 || w == "v") return true;
  }
  return false;
}

}  // namespace etherm::spice
