#include "translate.h"

#include <cctype>
#include <map>
#include <set>

#include "functions.h"
#include "sim_error.h"
#include "spice_number.h"
#include "text_util.h"

namespace etherm::sim {

namespace {

constexpr size_t kMaxInstancePaths = 10000;

struct ModelInfo {
  std::string name, type, level;
  int tempModel = -1;
};

struct Call {
  std::string instance;  // as written
  std::string subcircuit;
  std::string where;
};

struct Scope {
  std::string name;  // lower case; empty for the top level
  std::string parent;
  std::map<std::string, ModelInfo> models;  // by lower-case name
  std::vector<Call> calls;
};

// `t_abs=value` taken out of a .MODEL line; the value is returned, the line shortened.
std::optional<std::string> TakeParameter(std::string& text, std::string_view name) {
  for (size_t i = 0; i + name.size() < text.size(); ++i) {
    if (i > 0 &&
        !(text[i - 1] == ' ' || text[i - 1] == '\t' || text[i - 1] == '(' || text[i - 1] == ','))
      continue;
    if (!StartsWithNoCase(std::string_view(text).substr(i), name) || text[i + name.size()] != '=')
      continue;
    size_t v = i + name.size() + 1, e = v;
    if (e < text.size() && text[e] == '{') {
      int depth = 0;
      for (; e < text.size(); ++e) {
        if (text[e] == '{') ++depth;
        if (text[e] == '}' && --depth == 0) {
          ++e;
          break;
        }
      }
    } else {
      while (e < text.size() && text[e] != ' ' && text[e] != '\t' && text[e] != ',' &&
             text[e] != ')')
        ++e;
    }
    std::string value = text.substr(v, e - v);
    size_t cut = e;
    while (cut < text.size() && (text[cut] == ' ' || text[cut] == '\t' || text[cut] == ',')) ++cut;
    text.erase(i, cut - i);
    return value;
  }
  return std::nullopt;
}

std::optional<std::string> FindParameter(const std::string& text, std::string_view name) {
  std::string copy = text;
  return TakeParameter(copy, name);
}

std::string Keyword(const std::string& word) {
  std::string key = Lower(word);
  size_t slash = key.find('/');
  return slash == std::string::npos ? key : key.substr(0, slash);
}

// The subcircuit name of a call: the last word before PARAMS: or the first name=value.
std::string CalledSubcircuit(const std::vector<std::string>& words, const std::string& where) {
  size_t end = words.size();
  for (size_t i = 1; i < words.size(); ++i) {
    if (EqualNoCase(words[i], "params:") || !ParamName(words[i]).empty()) {
      end = i;
      break;
    }
  }
  if (end < 3) throw SimError(where + ": the subcircuit call " + words[0] + " names no subcircuit");
  return words[end - 1];
}

std::string Unbraced(const std::string& v) {
  if (v.size() >= 2 && v.front() == '{' && v.back() == '}') return v.substr(1, v.size() - 2);
  return v;
}

bool IsZero(const std::string& word) {
  std::optional<double> v = ParseSpiceNumber(word);
  return v && *v == 0;
}

// A PULSE whose delay may be negative, as a source with the same waveform from time 0 on that
// ngspice 39 runs. Its breakpoint code sets a breakpoint at the (negative) delay whenever time 0
// falls after the end of the first pulse but before one period has passed, and stops with
// "Panic: breakpoint in the past - HELP!" (PULSE(0 5 -60u 1u 1u 40u 100u) with .tran 0.1u 130u).
// A periodic pulse keeps its period: its delay moves back by whole periods to at most minus one
// period, where ngspice places time 0 correctly. A pulse without a period is a single pulse and
// becomes the PWL of its corners (ngspice would repeat it after the run's length), which may lie
// before 0 or be over already. Returns nothing when the source needs no rewrite.
std::optional<std::vector<std::string>> RewritePulse(const std::vector<std::string>& words,
                                                     const std::string& tranStep) {
  size_t k = 0;
  while (k < words.size() && !StartsWithNoCase(words[k], "pulse")) ++k;
  if (k == words.size()) return std::nullopt;
  std::string values = std::string(Trim(std::string_view(words[k]).substr(5)));
  size_t used = 1;
  std::vector<std::string> a;
  if (values.empty() && k + 1 < words.size() && words[k + 1][0] == '(') {
    values = words[k + 1];
    used = 2;
  }
  if (!values.empty()) {
    if (values.size() < 2 || values.front() != '(' || values.back() != ')') return std::nullopt;
    a = SplitWords(values.substr(1, values.size() - 2));
  } else {
    // PULSE written without parentheses: its values follow as words.
    auto isValue = [](const std::string& w) {
      return !w.empty() && (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '.' ||
                            w[0] == '+' || w[0] == '-' || w[0] == '{');
    };
    while (k + used < words.size() && isValue(words[k + used])) a.push_back(words[k + used++]);
  }
  if (a.size() < 3 || a.size() > 7) return std::nullopt;
  std::optional<double> plain = ParseSpiceNumber(a[2]);
  if (plain && *plain >= 0) return std::nullopt;
  const std::string d = "(" + Unbraced(a[2]) + ")";
  std::string source;
  if (a.size() == 7) {
    const std::string per = "(" + Unbraced(a[6]) + ")";
    a[2] = "{" + d + "<0 && " + per + ">0 ? " + d + "-" + per + "*(floor(" + d + "/" + per +
           ")+2) : " + d + "}";
    source = "PULSE(" + Join(a) + ")";
  } else {
    auto edge = [&](size_t i) {
      return "(" + Unbraced(i < a.size() && !IsZero(a[i]) ? a[i] : tranStep) + ")";
    };
    const std::string rise = d + "+" + edge(3);
    source = "PWL({" + d + "} " + a[0] + " {" + rise + "} " + a[1];
    if (a.size() >= 6) {
      const std::string high = rise + (IsZero(a[5]) ? "" : "+(" + Unbraced(a[5]) + ")");
      if (!IsZero(a[5])) source += " {" + high + "} " + a[1];
      source += " {" + high + "+" + edge(4) + "} " + a[0];
    }
    source += ")";
  }
  std::vector<std::string> out(words.begin(), words.begin() + k);
  out.push_back(source);
  out.insert(out.end(), words.begin() + k + used, words.end());
  return out;
}

struct Translator {
  Translation out;
  std::map<std::string, Scope> scopes;
  std::vector<std::string> scopeStack{""};
  std::map<std::string, std::string> inductorIcFromDotIc;  // top-level inductor -> value
  bool haveAnalysis = false;
  std::string analysisWhere;

  const std::string& CurrentScope() const { return scopeStack.back(); }

  void SetAnalysis(AnalysisKind kind, const std::string& where) {
    if (haveAnalysis)
      throw SimError(where +
                     ": a second analysis; the circuit may hold one .DC or one .TRAN (the "
                     "first is at " +
                     analysisWhere + ")");
    haveAnalysis = true;
    analysisWhere = where;
    out.analysis = kind;
  }

  void Refuse(const SourceLine& line, const std::string& what) {
    throw SimError(line.where + ": " + what + ": " + line.text);
  }

  void Add(BodyLine b) { out.body.push_back(std::move(b)); }

  void DotCommand(const SourceLine& line, std::vector<std::string> words) {
    std::string key = Keyword(words[0]);
    BodyLine b{line.text, line.where, 0, key, words, -1, std::nullopt, CurrentScope(), {}};
    if (key == ".control" || key == ".endc")
      Refuse(line,
             ".CONTROL blocks are not accepted (they run simulator commands, shell commands "
             "among them, which a circuit file must never do)");
    if (key == ".subckt") {
      if (words.size() < 2) Refuse(line, ".SUBCKT without a name");
      std::string name = Lower(words[1]);
      // Its own definition would become its parent scope, and the model lookup would circle.
      for (const std::string& open : scopeStack)
        if (open == name) Refuse(line, ".SUBCKT " + Upper(name) + " inside its own definition");
      Scope& s = scopes[name];
      s.name = name;
      s.parent = CurrentScope();
      scopeStack.push_back(name);
      // PARAMS: is optional for ngspice; it is dropped so both spellings of defaults work.
      std::vector<std::string> kept;
      for (const std::string& w : words)
        if (!EqualNoCase(w, "params:")) kept.push_back(w);
      b.text = Join(kept);
      Add(std::move(b));
      return;
    }
    if (key == ".ends") {
      if (scopeStack.size() == 1) Refuse(line, ".ENDS without a .SUBCKT before it");
      scopeStack.pop_back();
      Add(std::move(b));
      return;
    }
    if (key == ".model") {
      Model(line, std::move(b));
      return;
    }
    if (key == ".probe") {
      if (CurrentScope() != "") Refuse(line, ".PROBE inside a subcircuit definition");
      Probes(line);
      return;
    }
    if (key == ".savebias") {
      SaveBiasLine(line, words);
      return;
    }
    if (key == ".dc") {
      SetAnalysis(AnalysisKind::kDc, line.where);
      std::vector<std::string> w(words.begin() + 1, words.end());
      if (!w.empty() && EqualNoCase(w[0], "lin")) w.erase(w.begin());
      if (w.size() < 4) Refuse(line, ".DC needs a source, a start, a stop and a step value");
      for (const char* k : {"dec", "oct", "list"})
        if (EqualNoCase(w[0], k) || EqualNoCase(w[1], k))
          Refuse(line, std::string("only linear .DC sweeps are supported, not ") + Upper(k));
      out.sweepVariable = Upper(w[0]);
      b.text = ".dc " + Join(w);
      Add(std::move(b));
      return;
    }
    if (key == ".tran") {
      SetAnalysis(AnalysisKind::kTran, line.where);
      std::vector<std::string> w(words.begin() + 1, words.end());
      if (w.size() < 2) Refuse(line, ".TRAN needs a print step and a final time");
      for (const std::string& x : w)
        if (EqualNoCase(x, "uic")) out.userUic = true;
      b.words = w;
      b.text = ".tran " + Join(w);
      Add(std::move(b));
      return;
    }
    if (key == ".ic") {
      std::vector<std::string> kept{".ic"};
      for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (StartsWithNoCase(w, "i(")) {
          size_t close = w.find(')');
          if (close == std::string::npos || close + 1 >= w.size() || w[close + 1] != '=')
            Refuse(line, "cannot read the inductor current " + w);
          std::string name = Lower(w.substr(2, close - 2));
          if (name.find('.') != std::string::npos || name.empty() || name[0] != 'l')
            Refuse(line, ".IC I(...) is accepted for inductors at the top level only, not " + w);
          inductorIcFromDotIc[name] = w.substr(close + 2);
          continue;
        }
        kept.push_back(w);
      }
      if (kept.size() == 1) return;
      b.words = kept;
      b.text = Join(kept);
      Add(std::move(b));
      return;
    }
    if (key == ".options" || key == ".option" || key == ".opt") {
      for (size_t i = 1; i < words.size(); ++i)
        if (EqualNoCase(ParamName(words[i]), "temp"))
          out.circuitTemperature = words[i].substr(words[i].find('=') + 1);
      Add(std::move(b));
      return;
    }
    if (key == ".temp") {
      if (words.size() >= 2) out.circuitTemperature = words[1];
      Add(std::move(b));
      return;
    }
    if (key == ".op") return;  // a bias point report has no place in the probe data
    for (const char* k : {".ac", ".noise", ".tf", ".sens", ".disto", ".pz", ".sp", ".step", ".mc",
                          ".wcase", ".loadbias"})
      if (key == k)
        Refuse(line,
               "etherm-sim runs one .DC or .TRAN analysis; " + Upper(k) + " is not supported");
    Add(std::move(b));
  }

  void Model(const SourceLine& line, BodyLine b) {
    std::vector<std::string> words = SplitWords(line.text);
    if (words.size() < 3) Refuse(line, ".MODEL needs a name and a type");
    ModelInfo m;
    m.name = words[1];
    std::string typeWord = words[2];
    m.type = typeWord.substr(0, typeWord.find('('));
    if (m.type.empty()) Refuse(line, ".MODEL needs a type after its name");
    m.level = FindParameter(line.text, "level").value_or("1");
    std::string text = line.text;
    std::optional<std::string> tabs = TakeParameter(text, "t_abs");
    if (tabs) {
      if (tabs->empty()) Refuse(line, "T_ABS has no value");
      if ((*tabs)[0] != '{' && !ParseSpiceNumber(*tabs))
        Refuse(line, "the T_ABS value " + *tabs + " is neither a number nor a {expression}");
      m.tempModel = static_cast<int>(out.tempModels.size());
      out.tempModels.push_back({m.name, m.type, m.level, *tabs, line.where, {}, {}});
      if (FindParameter(text, "t_abs")) Refuse(line, "T_ABS is given twice");
    }
    b.text = text;
    scopes[CurrentScope()].models[Lower(m.name)] = m;
    Add(std::move(b));
  }

  void Probes(const SourceLine& line) {
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
      std::string function = Upper(rest.substr(b, i - b));
      std::vector<std::string> args = SplitWords(rest.substr(i + 1, close - i - 1));
      std::string label = function + "(" + Upper(Join(args, ",")) + ")";
      out.probes.push_back(ResolveProbe(function, args, label, line.where));
      i = close + 1;
    }
  }

  static std::string NodeVector(const std::string& node) {
    std::string n = Lower(node);
    return (n == "0" || n == "gnd") ? std::string() : n;
  }

  Probe ResolveProbe(const std::string& function, const std::vector<std::string>& args,
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
    std::string path = Lower(args[0]);
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
          p.vectorA =
              (calls.empty() ? device : std::string(1, letter) + "." + calls + "." + device) +
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
        {'q', {"IC", "IB", "IE", "IS"}},
        {'m', {"ID", "IG", "IS", "IB"}},
        {'j', {"ID", "IG", "IS"}}};
    auto t = terminals.find(letter);
    if (t != terminals.end())
      for (size_t k = 0; k < t->second.size(); ++k)
        if (t->second[k] == function) {
          senses.push_back(
              {out.probes.size(), calls, device, static_cast<int>(k + 1), where, label});
          return p;
        }
    throw unknown(function + " is not a terminal current of " + Upper(args[0]));
  }

  // A current measured by a 0 V source in series with one terminal of an element. ngspice's own
  // device currents (@q1[ic]) come from the last Newton iteration's linearisation, not from the
  // converged solution, and can be off by a percent in a sweep; the source's current is part of
  // the solution itself.
  struct Sense {
    size_t probe;
    std::string calls, device;
    int terminal;
    std::string where, label;
  };
  std::vector<Sense> senses;

  void ResolveSenses() {
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
            if (Lower(c.instance) == instance) call = &c;
          if (!call) throw fail("the circuit has no subcircuit call " + Upper(instance));
          scope = Lower(call->subcircuit);
          if (!scopes.count(scope)) throw fail("no definition of subcircuit " + Upper(scope));
          if (dot == std::string::npos) break;
          from = dot + 1;
        }
      }
      BodyLine* line = nullptr;
      for (BodyLine& b : out.body)
        if (b.letter != 0 && b.scope == scope && Lower(b.words[0]) == s.device) line = &b;
      if (!line)
        throw fail("the circuit has no element " + Upper(s.device) +
                   (scope.empty() ? std::string() : " in subcircuit " + Upper(scope)));
      // Nodes stand before the model name (or the value) of a device.
      size_t nodes = line->words.size() - 1;
      if (line->letter == 'q' || line->letter == 'm' || line->letter == 'j') {
        for (size_t i = 1; i < line->words.size(); ++i)
          if (!ParamName(line->words[i]).empty() || VisibleModel(scope, Lower(line->words[i]))) {
            nodes = i - 1;
            break;
          }
      } else {
        nodes = 2;
      }
      if (static_cast<size_t>(s.terminal) > nodes ||
          line->words.size() <= static_cast<size_t>(s.terminal))
        throw fail(Upper(s.device) + " has no such terminal");
      line->senses.insert(s.terminal);
      std::string source = "vetherm_s_" + s.device + "_" + std::to_string(s.terminal);
      out.probes[s.probe].vectorA =
          (s.calls.empty() ? source : "v." + s.calls + "." + source) + "#branch";
    }
  }

  void SaveBiasLine(const SourceLine& line, const std::vector<std::string>& words) {
    if (out.saveBias) Refuse(line, "a second .SAVEBIAS");
    if (words.size() < 2) Refuse(line, ".SAVEBIAS needs a file name");
    SaveBias s;
    s.where = line.where;
    s.file = words[1];
    if (s.file.size() >= 2 && s.file.front() == '"' && s.file.back() == '"')
      s.file = s.file.substr(1, s.file.size() - 2);
    if (s.file.empty()) Refuse(line, ".SAVEBIAS needs a file name");
    bool tran = false, time = false;
    for (size_t i = 2; i < words.size(); ++i) {
      const std::string& w = words[i];
      if (EqualNoCase(w, "tran")) {
        tran = true;
      } else if (EqualNoCase(w, "nosubckt")) {
        s.noSubcircuits = true;
      } else if (EqualNoCase(ParamName(w), "time")) {
        std::optional<double> t = ParseSpiceNumber(w.substr(5));
        if (!t || *t < 0) Refuse(line, "the .SAVEBIAS time " + w.substr(5) + " is not a time");
        s.time = *t;
        time = true;
      } else {
        Refuse(line, ".SAVEBIAS is supported as \"file\" TRAN TIME=t; " + w + " is not");
      }
    }
    if (!tran || !time) Refuse(line, ".SAVEBIAS is supported as \"file\" TRAN TIME=t");
    out.saveBias = s;
  }

  void Element(const SourceLine& line, std::vector<std::string> words) {
    char letter = Lower(words[0].substr(0, 1))[0];
    BodyLine b{line.text, line.where, letter, "", words, -1, std::nullopt, CurrentScope(), {}};
    if (letter == 'x') {
      scopes[CurrentScope()].calls.push_back(
          {words[0], CalledSubcircuit(words, line.where), line.where});
      std::vector<std::string> kept;
      for (const std::string& w : words)
        if (!EqualNoCase(w, "params:")) kept.push_back(w);
      b.text = Join(kept);
      b.words = kept;
    }
    if (letter == 'c' || letter == 'l') {
      for (const std::string& w : words)
        if (EqualNoCase(ParamName(w), "ic")) b.ic = w.substr(3);
    }
    Add(std::move(b));
  }

  const ModelInfo* VisibleModel(std::string scope, const std::string& lowerName) const {
    while (true) {
      auto s = scopes.find(scope);
      if (s != scopes.end()) {
        auto m = s->second.models.find(lowerName);
        if (m != s->second.models.end()) return &m->second;
      }
      if (scope.empty()) return nullptr;
      scope = s == scopes.end() ? std::string() : s->second.parent;
    }
  }

  // Kept per definition: a definition called twice from each level above would otherwise be
  // walked once per path, exponentially often, even when nothing calls the top one.
  mutable std::map<std::string, std::vector<std::string>> pathsOf;

  // Every path of calls from the top level down to the definition `scope`, as "x1.x2".
  std::vector<std::string> Paths(const std::string& scope, int depth = 0) const {
    if (scope.empty()) return {""};
    if (auto known = pathsOf.find(scope); known != pathsOf.end()) return known->second;
    if (depth > 50) throw SimError("subcircuit " + Upper(scope) + " calls itself");
    std::vector<std::string> paths;
    for (const auto& [name, s] : scopes)
      for (const Call& c : s.calls)
        if (Lower(c.subcircuit) == scope)
          for (const std::string& p : Paths(name, depth + 1)) {
            paths.push_back(p.empty() ? Lower(c.instance) : p + "." + Lower(c.instance));
            if (paths.size() > kMaxInstancePaths)
              throw SimError("the subcircuit calls expand to more than " +
                             std::to_string(kMaxInstancePaths) + " instances");
          }
    pathsOf[scope] = paths;
    return paths;
  }

  void ResolveTemperatures() {
    for (BodyLine& b : out.body) {
      if (b.letter == 0 || b.letter == 'x') continue;
      for (size_t i = 1; i < b.words.size(); ++i) {
        const std::string& w = b.words[i];
        if (!ParamName(w).empty()) break;
        const ModelInfo* m = VisibleModel(b.scope, Lower(w));
        if (!m) continue;
        if (m->tempModel >= 0) {
          b.tempModel = m->tempModel;
          std::vector<std::string> kept;
          for (const std::string& x : b.words) {
            std::string p = Lower(ParamName(x));
            if (p != "temp" && p != "dtemp") kept.push_back(x);
          }
          b.words = kept;
          TempModel& t = out.tempModels[m->tempModel];
          std::string device = Lower(b.words[0]);
          for (const std::string& path : Paths(b.scope)) {
            t.instances.push_back(
                path.empty() ? device : std::string(1, b.letter) + "." + path + "." + device);
            t.devices.push_back(Upper(path.empty() ? b.words[0] : path + "." + b.words[0]));
          }
        }
        break;
      }
    }
  }

  void Run(const Deck& deck) {
    out.title = deck.title;
    scopes[""] = Scope{};
    for (const SourceLine& raw : deck.lines) {
      SourceLine line{JoinAssignments(raw.text), raw.where};
      std::vector<std::string> words = SplitWords(line.text);
      if (words.empty()) continue;
      if (words[0][0] == '.')
        DotCommand(line, words);
      else
        Element(line, words);
    }
    if (scopeStack.size() > 1)
      throw SimError("the subcircuit definition " + Upper(CurrentScope()) + " has no .ENDS");
    if (!haveAnalysis)
      throw SimError("the circuit holds no analysis: give one .DC or one .TRAN line");
    if (out.saveBias && out.analysis != AnalysisKind::kTran)
      throw SimError(out.saveBias->where + ": .SAVEBIAS TRAN needs a .TRAN analysis");
    // .IC I(L) may stand anywhere (an included bias file often comes last); the inductor's own
    // ic= wins.
    for (const auto& [name, value] : inductorIcFromDotIc) {
      bool found = false;
      for (BodyLine& b : out.body)
        if (b.letter == 'l' && b.scope.empty() && Lower(b.words[0]) == name) {
          found = true;
          if (!b.ic) b.ic = value;
        }
      if (!found) throw SimError(".IC I(" + Upper(name) + "): the circuit has no such inductor");
    }
    ResolveTemperatures();
    ResolveSenses();
    if (out.analysis == AnalysisKind::kTran) RewriteSources();
  }

  void RewriteSources() {
    std::string step = "0";
    for (const BodyLine& b : out.body)
      if (b.key == ".tran") step = b.words[0];
    for (BodyLine& b : out.body) {
      if (b.letter != 'v' && b.letter != 'i') continue;
      if (std::optional<std::vector<std::string>> w = RewritePulse(b.words, step)) {
        b.words = *w;
        b.text = Join(b.words);
      }
    }
  }
};

}  // namespace

Translation Translate(const Deck& deck) {
  RefuseRecursiveFunctions(deck.lines);
  Translator t;
  t.Run(deck);
  return std::move(t.out);
}

bool NeedsBiasPointRun(const Translation& t) {
  if (t.analysis != AnalysisKind::kTran || t.userUic) return false;
  for (const BodyLine& b : t.body)
    if (b.ic) return true;
  return false;
}

std::string TemperatureDifference(const std::string& value, const std::string& base) {
  std::optional<double> v = ParseSpiceNumber(value), b = ParseSpiceNumber(base);
  if (v && b) return DeckNumber(*v - *b);
  return "{(" + Unbraced(value) + ")-(" + Unbraced(base) + ")}";
}

std::vector<std::string> EmitDeck(const Translation& t, const DeckStage& stage,
                                  std::vector<std::string>* origins) {
  std::vector<std::string> deck;
  std::string where = "the title line";
  auto put = [&](const std::string& text) {
    deck.push_back(text);
    if (origins) origins->push_back(where);
  };
  put(t.title);
  const bool biasPoint = stage.kind == DeckStage::kBiasPoint;
  for (const BodyLine& b : t.body) {
    where = b.where;
    if (b.key == ".tran") {
      if (biasPoint) {
        // Only the first point (the bias point) of this run is used.
        put(".tran 1e-12 1e-12");
      } else if (stage.kind == DeckStage::kFromBias) {
        put(b.text + " uic");
      } else {
        put(b.text);
      }
      continue;
    }
    if (b.key == ".ic" && stage.kind == DeckStage::kFromBias) continue;
    if (b.letter == 0) {
      put(b.text);
      continue;
    }
    std::vector<std::string> words = b.words;
    if ((b.letter == 'l' || b.letter == 'c') && b.ic) {
      // An .IC I(L) value becomes the inductor's own ic=.
      bool has = false;
      for (const std::string& w : words)
        if (EqualNoCase(ParamName(w), "ic")) has = true;
      if (!has) words.push_back("ic=" + *b.ic);
    }
    if (b.tempModel >= 0 && stage.kind != DeckStage::kModelQuery) {
      TempParam p = static_cast<size_t>(b.tempModel) < stage.tempParams.size()
                        ? stage.tempParams[b.tempModel]
                        : TempParam::kTemp;
      const TempModel& m = t.tempModels[b.tempModel];
      if (p == TempParam::kTemp) words.push_back("temp=" + m.value);
      if (p == TempParam::kDtemp)
        words.push_back("dtemp=" + TemperatureDifference(m.value, t.circuitTemperature));
    }
    std::vector<std::string> senseSources;
    for (int k : b.senses) {
      const std::string node = "etherm_s_" + Lower(words[0]) + "_" + std::to_string(k);
      senseSources.push_back("Vetherm_s_" + Lower(words[0]) + "_" + std::to_string(k) + " " +
                             words[k] + " " + node + " 0");
      words[k] = node;
    }
    for (const std::string& v : senseSources) put(v);
    if (biasPoint && b.ic && words.size() >= 3) {
      // The bias point with the carried value imposed: a voltage source across the capacitor, a
      // current source in series with the inductor. The element itself stays, so its currents
      // keep their names. The tiny series resistance and the huge parallel one keep the
      // matrix regular where the circuit fixes that voltage or current too (a capacitor across
      // a supply, inductors in series).
      const std::string& name = words[0];
      const std::string value = b.ic->empty() ? "0" : *b.ic;
      const std::string node = "etherm_ic_" + name;
      const std::string minus = words[2];
      if (b.letter == 'c') {
        put(Join(words));
        put("Vetherm_ic_" + name + " " + words[1] + " " + node + " DC " + value);
        put("Retherm_ic_" + name + " " + node + " " + minus + " 1e-9");
      } else {
        words[2] = node;
        put(Join(words));
        put("Ietherm_ic_" + name + " " + node + " " + minus + " DC " + value);
        put("Retherm_ic_" + name + " " + node + " " + minus + " 1e12");
      }
      continue;
    }
    put(b.tempModel >= 0 || b.ic || !b.senses.empty() ? Join(words) : b.text);
  }
  where = "a line etherm-sim adds";
  if (stage.kind == DeckStage::kFromBias && !stage.icLine.empty()) put(stage.icLine);
  put(".save all");
  put(".end");
  return deck;
}

}  // namespace etherm::sim
