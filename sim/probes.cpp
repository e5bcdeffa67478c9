// .PROBE: the quantities, and the 0 V sources that measure terminal currents.

#include <map>

#include "sim_error.h"
#include "text_util.h"
#include "translator.h"

namespace etherm::sim::detail {

namespace {

std::string NodeVector(const std::string& node) {
  std::string n = ToLower(node);
  return (n == "0" || n == "gnd") ? std::string() : n;
}

}  // namespace

void Translator::Probes(const SourceLine& line) {
  // Words after the keyword (with any /option); a word may be V(a, b) written with blanks.
  std::string text = line.text;
  size_t start = 0;
  while (start < text.size() && text[start] != ' ' && text[start] != '\t') ++start;
  std::string rest = text.substr(start);
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t' || rest[i] == ',')) ++i;
    if (i >= rest.size()) break;
    size_t b = i;
    while (i < rest.size() && rest[i] != '(' && rest[i] != ' ' && rest[i] != '\t') ++i;
    if (i >= rest.size() || rest[i] != '(')
      throw SimError(line.where + ": unknown probe quantity " + rest.substr(b, i - b) +
                     " (write it as V(node), I(element) or a terminal current such as IC(Q1))");
    size_t close = rest.find(')', i);
    if (close == std::string::npos)
      throw SimError(line.where + ": the probe quantity " + rest.substr(b) + " has no \")\"");
    std::string function = ToUpper(rest.substr(b, i - b));
    std::vector<std::string> args = SplitWords(rest.substr(i + 1, close - i - 1));
    std::string label = function + "(" + ToUpper(Join(args, ",")) + ")";
    out.probes.push_back(ResolveProbe(function, args, label, line.where));
    i = close + 1;
  }
}

Probe Translator::ResolveProbe(const std::string& function, const std::vector<std::string>& args,
                               const std::string& label, const std::string& where) {
  Probe p{label, where, "", ""};
  auto unknown = [&](const std::string& why) -> SimError {
    return SimError(where + ": unknown probe quantity " + label + " (" + why + ")");
  };
  if (function == "V") {
    if (args.empty() || args.size() > 2) throw unknown("V takes one node or two");
    p.vectorA = NodeVector(args[0]);
    if (args.size() == 2) p.vectorB = NodeVector(args[1]);
    return p;
  }
  if (args.size() != 1) throw unknown("a current names one element");
  std::string path = ToLower(args[0]);
  size_t dot = path.rfind('.');
  std::string device = dot == std::string::npos ? path : path.substr(dot + 1);
  std::string calls = dot == std::string::npos ? std::string() : path.substr(0, dot);
  if (device.empty()) throw unknown("no element name");
  char letter = device[0];
  if (function == "I") {
    switch (letter) {
      case 'v':
      case 'l':
      case 'e':
      case 'h':
        p.vectorA = (calls.empty() ? device : std::string(1, letter) + "." + calls + "." + device) +
                    "#branch";
        return p;
      case 'i':
      case 'r':
      case 'c':
      case 'd':
      case 'g':
      case 'f':
      case 'b':
        senses.push_back({out.probes.size(), calls, device, 1, where, label});
        return p;
      default:
        throw unknown(
            "I() is for two-terminal elements and sources; for transistors write "
            "IC, IB, IE, ID, IG or IS");
    }
  }
  static const std::map<char, std::vector<std::string>> terminals = {
      {'q', {"IC", "IB", "IE", "IS"}}, {'m', {"ID", "IG", "IS", "IB"}}, {'j', {"ID", "IG", "IS"}}};
  auto t = terminals.find(letter);
  if (t != terminals.end())
    for (size_t k = 0; k < t->second.size(); ++k)
      if (t->second[k] == function) {
        senses.push_back({out.probes.size(), calls, device, static_cast<int>(k + 1), where, label});
        return p;
      }
  throw unknown(function + " is not a terminal current of " + ToUpper(args[0]));
}

void Translator::ResolveSenses() {
  for (const Sense& s : senses) {
    auto fail = [&](const std::string& why) {
      return SimError(s.where + ": .PROBE " + s.label + ": " + why);
    };
    // Follow the calls down to the definition that holds the device.
    std::string scope;
    if (!s.calls.empty()) {
      size_t from = 0;
      while (from <= s.calls.size()) {
        size_t dot = s.calls.find('.', from);
        std::string instance =
            s.calls.substr(from, dot == std::string::npos ? std::string::npos : dot - from);
        const Scope& here = scopes[scope];
        const Call* call = nullptr;
        for (const Call& c : here.calls)
          if (ToLower(c.instance) == instance) call = &c;
        if (!call) throw fail("the circuit has no subcircuit call " + ToUpper(instance));
        scope = ToLower(call->subcircuit);
        if (!scopes.count(scope)) throw fail("no definition of subcircuit " + ToUpper(scope));
        if (dot == std::string::npos) break;
        from = dot + 1;
      }
    }
    BodyLine* line = nullptr;
    for (BodyLine& b : out.body)
      if (b.letter != 0 && b.scope == scope && ToLower(b.words[0]) == s.device) line = &b;
    if (!line)
      throw fail("the circuit has no element " + ToUpper(s.device) +
                 (scope.empty() ? std::string() : " in subcircuit " + ToUpper(scope)));
    // Nodes stand before the model name (or the value) of a device.
    size_t nodes = line->words.size() - 1;
    if (line->letter == 'q' || line->letter == 'm' || line->letter == 'j') {
      for (size_t i = 1; i < line->words.size(); ++i)
        if (!ParamName(line->words[i]).empty() || VisibleModel(scope, ToLower(line->words[i]))) {
          nodes = i - 1;
          break;
        }
    } else {
      nodes = 2;
    }
    if (static_cast<size_t>(s.terminal) > nodes ||
        line->words.size() <= static_cast<size_t>(s.terminal))
      throw fail(ToUpper(s.device) + " has no such terminal");
    line->senses.insert(s.terminal);
    std::string source = "vetherm_s_" + s.device + "_" + std::to_string(s.terminal);
    out.probes[s.probe].vectorA =
        (s.calls.empty() ? source : "v." + s.calls + "." + source) + "#branch";
  }
}

}  // namespace etherm::sim::detail
