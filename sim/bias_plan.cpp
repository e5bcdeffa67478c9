#include "bias_plan.h"

#include <functional>
#include <optional>

#include "number_text.h"
#include "spice_text/source_fixed_nodes.h"
#include "spice_text/spice_number.h"
#include "text_util.h"

namespace etherm::sim {

namespace {

// Deeper nesting than this is no circuit ngspice runs either; it only stops a loop of calls.
constexpr int kMaxCallDepth = 50;

bool IsGround(const std::string& node) {
  return node == "0" || node == "gnd";
}

class Groups {
 public:
  std::string Root(const std::string& node) {
    std::string n = IsGround(node) ? "0" : node;
    auto it = parent_.find(n);
    if (it == parent_.end()) return n;
    while (parent_[n] != n) n = parent_[n];
    return n;
  }
  void Join(const std::string& a, const std::string& b) {
    const std::string ra = Add(a), rb = Add(b);
    if (ra == rb) return;
    // Ground stays a root, so a fixed group is known by its root.
    if (ra == "0") {
      parent_[rb] = ra;
    } else {
      parent_[ra] = rb;
    }
  }
  bool Same(const std::string& a, const std::string& b) { return Root(a) == Root(b); }

 private:
  std::string Add(const std::string& node) {
    const std::string n = IsGround(node) ? "0" : node;
    if (!parent_.count(n)) parent_[n] = n;
    return Root(n);
  }
  std::map<std::string, std::string> parent_;
};

// One element that may fix a voltage, its nodes as ngspice names them after expansion.
struct Branch {
  std::string a, b;
  std::size_t line = 0;  // its body line
  bool capacitor = false;
  bool topLevel = false;
};

struct Definition {
  std::vector<std::string> ports;  // lower case
  std::vector<std::size_t> lines;  // body lines inside it (not those of nested definitions)
};

// The subcircuit named in a call's words: the last word before the first name=value.
std::string CalledName(const std::vector<std::string>& words, std::size_t* nodeEnd) {
  std::size_t end = words.size();
  for (std::size_t i = 1; i < words.size(); ++i)
    if (words[i].find('=') != std::string::npos) {
      end = i;
      break;
    }
  if (end < 2) return {};
  *nodeEnd = end - 1;
  return ToLower(words[end - 1]);
}

std::vector<Branch> ExpandBranches(const Translation& t) {
  std::map<std::string, Definition> definitions;
  std::vector<std::size_t> top;
  for (std::size_t i = 0; i < t.body.size(); ++i) {
    const BodyLine& b = t.body[i];
    if (b.key == ".subckt" && b.words.size() >= 2) {
      Definition& d = definitions[ToLower(b.words[1])];
      for (std::size_t w = 2; w < b.words.size() && b.words[w].find('=') == std::string::npos;
           ++w)
        d.ports.push_back(ToLower(b.words[w]));
      continue;
    }
    if (b.letter == 0) continue;
    if (b.scope.empty()) {
      top.push_back(i);
    } else {
      definitions[b.scope].lines.push_back(i);
    }
  }
  std::vector<Branch> branches;
  std::function<void(const std::vector<std::size_t>&, const std::string&,
                     const std::map<std::string, std::string>&, int)>
      expand = [&](const std::vector<std::size_t>& lines, const std::string& prefix,
                   const std::map<std::string, std::string>& ports, int depth) {
        auto node = [&](const std::string& written) {
          const std::string n = ToLower(written);
          if (IsGround(n)) return std::string("0");
          auto it = ports.find(n);
          return it != ports.end() ? it->second : prefix + n;
        };
        for (std::size_t i : lines) {
          const BodyLine& b = t.body[i];
          const std::vector<std::string>& w = b.words;
          if (b.letter == 'x') {
            std::size_t nodeEnd = 0;
            const std::string name = CalledName(w, &nodeEnd);
            auto d = definitions.find(name);
            if (d == definitions.end() || depth >= kMaxCallDepth) continue;
            std::map<std::string, std::string> inner;
            for (std::size_t p = 0; p < d->second.ports.size() && 1 + p < nodeEnd; ++p)
              inner[d->second.ports[p]] = node(w[1 + p]);
            expand(d->second.lines, prefix + ToLower(w[0]) + ".", inner, depth + 1);
            continue;
          }
          if (w.size() < 3) continue;
          const bool fixesVoltage =
              spice::IsVoltageSourceLine(w) || (b.letter == 'l' && !b.ic);
          const bool imposedCapacitor = b.letter == 'c' && b.ic;
          if (!fixesVoltage && !imposedCapacitor) continue;
          branches.push_back({node(w[1]), node(w[2]), i, imposedCapacitor, b.scope.empty()});
        }
      };
  expand(top, "", {}, 0);
  return branches;
}

// The node of an .ic word `v(node)=value`, lower case; nothing for any other word.
std::optional<std::string> IcNode(const std::string& word, std::string* value) {
  const std::size_t close = word.find(")=");
  if (close == std::string::npos || !StartsWithNoCase(word, "v(")) return std::nullopt;
  std::string node = ToLower(word.substr(2, close - 2));
  if (node.empty() || node.find(',') != std::string::npos) return std::nullopt;
  *value = word.substr(close + 2);
  return node;
}

}  // namespace

BiasPlan PlanBiasPoint(const Translation& t) {
  BiasPlan plan;
  std::vector<std::pair<std::string, std::string>> entries;  // node, value as written
  std::map<std::string, double> saved;
  for (const BodyLine& b : t.body) {
    if (b.key != ".ic") continue;
    for (std::size_t i = 1; i < b.words.size(); ++i) {
      std::string value;
      const std::optional<std::string> node = IcNode(b.words[i], &value);
      if (!node) {
        plan.kept.push_back(b.words[i]);
        continue;
      }
      entries.emplace_back(*node, value);
      if (std::optional<double> v = spice::ParseSpiceNumber(value).value) saved.emplace(*node, *v);
    }
  }
  auto savedVoltage = [&](const std::string& node) -> std::optional<double> {
    if (IsGround(node)) return 0.0;
    auto it = saved.find(node);
    return it == saved.end() ? std::nullopt : std::optional<double>(it->second);
  };

  const std::vector<Branch> branches = ExpandBranches(t);
  Groups groups;
  for (const Branch& br : branches)
    if (!br.capacitor) groups.Join(br.a, br.b);
  // A capacitor of a subcircuit stands for all its calls: left to the circuit when any of them
  // is, since the definition's one line cannot be imposed in one call and not in another.
  for (const Branch& br : branches)
    if (br.capacitor && groups.Same(br.a, br.b)) plan.notImposed.insert(br.line);
  for (const Branch& br : branches) {
    if (!br.capacitor || plan.notImposed.count(br.line)) continue;
    groups.Join(br.a, br.b);
    if (!br.topLevel) continue;
    const std::optional<double> a = savedVoltage(br.a), b = savedVoltage(br.b);
    if (a && b) plan.valueOf[br.line] = DeckNumber(*a - *b);
  }
  std::set<std::string> heldRoots{"0"};
  std::set<std::string> seen;
  for (const auto& [node, value] : entries) {
    if (!seen.insert(node).second) continue;
    if (!heldRoots.insert(groups.Root(node)).second) {
      plan.dropped.push_back(node);
      continue;
    }
    plan.holds.push_back({node, value});
  }
  return plan;
}

}  // namespace etherm::sim
