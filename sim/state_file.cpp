#include "state_file.h"

#include <map>
#include <set>

#include "number_text.h"
#include "spice_text/source_fixed_nodes.h"
#include "text_util.h"

namespace etherm::sim {

std::vector<StateColumn> StateColumns(const Translation& t, const RunVectors& vectors) {
  std::vector<spice::SourceNodes> sources;
  for (const BodyLine& b : t.body) {
    if (b.letter != 0 && b.scope.empty() && spice::IsVoltageSourceLine(b.words)) {
      sources.emplace_back(b.words[1], b.words[2]);
    }
  }
  const std::set<std::string> fixed = spice::SourceFixedNodes(sources);
  std::map<std::string, const std::vector<double>*> nodeValues;
  std::vector<StateColumn> columns;
  for (const auto& [node, values] : vectors.nodes) {
    nodeValues[node] = values;
    if (fixed.count(node)) continue;
    columns.push_back({"v(" + node + ")", values, nullptr});
  }
  std::map<std::string, const std::vector<double>*> currents(vectors.inductorCurrents.begin(),
                                                             vectors.inductorCurrents.end());
  auto node = [&](const std::string& written) -> const std::vector<double>* {
    const std::string n = ToLower(written);
    auto it = nodeValues.find(n);
    return it == nodeValues.end() ? nullptr : it->second;
  };
  for (const BodyLine& b : t.body) {
    if (!b.scope.empty() || b.words.size() < 3) continue;
    const std::string name = ToLower(b.words[0]);
    if (b.letter == 'l') {
      auto it = currents.find(name);
      if (it != currents.end()) columns.push_back({"ic(" + name + ")", it->second, nullptr});
    } else if (b.letter == 'c') {
      const std::vector<double>* plus = node(b.words[1]);
      const std::vector<double>* minus = node(b.words[2]);
      const bool plusGround = ToLower(b.words[1]) == "0" || ToLower(b.words[1]) == "gnd";
      const bool minusGround = ToLower(b.words[2]) == "0" || ToLower(b.words[2]) == "gnd";
      if ((plus || plusGround) && (minus || minusGround))
        columns.push_back({"ic(" + name + ")", plus, minus});
    }
  }
  return columns;
}

std::string StateFileText(const std::vector<StateColumn>& columns, const std::vector<double>& x) {
  std::string s = "etherm-stan 1 " + std::to_string(columns.size()) + "\r\n";
  if (columns.size() > kMaxStateValues) return s;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (c) s += ' ';
    s += columns[c].name;
  }
  s += "\r\n";
  for (std::size_t p = 0; p < x.size(); ++p) {
    s += ShortestText(x[p]);
    for (const StateColumn& c : columns) {
      const double a = c.a && p < c.a->size() ? (*c.a)[p] : 0.0;
      const double b = c.b && p < c.b->size() ? (*c.b)[p] : 0.0;
      s += ' ';
      s += ShortestText(a - b);
    }
    s += "\r\n";
  }
  return s;
}

}  // namespace etherm::sim
