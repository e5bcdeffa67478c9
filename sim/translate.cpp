#include "translate.h"

#include <algorithm>

#include <optional>

#include "functions.h"
#include "number_text.h"
#include "sim_error.h"
#include "spice_text/model_line.h"
#include "spice_text/subcircuit_call.h"
#include "text_util.h"
#include "translator.h"

namespace etherm::sim {

namespace detail {

namespace {

std::string Keyword(const std::string& word) {
  std::string key = ToLower(word);
  size_t slash = key.find('/');
  return slash == std::string::npos ? key : key.substr(0, slash);
}

// PARAMS: is optional for ngspice; it is dropped so both spellings of parameters work, and a
// keyword written against its first parameter (`PARAMS:t=27`) leaves the parameter.
std::vector<std::string> WithoutParamsKeyword(const std::vector<std::string>& words) {
  std::vector<std::string> kept;
  for (const std::string& w : words) {
    if (StartsWithNoCase(w, "params:")) {
      if (w.size() > 7) kept.push_back(w.substr(7));
      continue;
    }
    kept.push_back(w);
  }
  return kept;
}

}  // namespace

void Translator::SetAnalysis(AnalysisKind kind, const std::string& where) {
  if (haveAnalysis)
    throw SimError(where +
                   ": a second analysis; the circuit may hold one .DC or one .TRAN (the "
                   "first is at " +
                   analysisWhere + ")");
  haveAnalysis = true;
  analysisWhere = where;
  out.analysis = kind;
}

void Translator::Refuse(const SourceLine& line, const std::string& what) {
  throw SimError(line.where + ": " + what + ": " + line.text);
}

void Translator::DotCommand(const SourceLine& line, std::vector<std::string> words) {
  std::string key = Keyword(words[0]);
  BodyLine b{line.text, line.where, 0, key, words, -1, std::nullopt, CurrentScope(), {}};
  if (key == ".control" || key == ".endc")
    Refuse(line,
           ".CONTROL blocks are not accepted (they run simulator commands, shell commands "
           "among them, which a circuit file must never do)");
  if (key == ".subckt") {
    if (words.size() < 2) Refuse(line, ".SUBCKT without a name");
    std::string name = ToLower(words[1]);
    // Its own definition would become its parent scope, and the model lookup would circle.
    for (const std::string& open : scopeStack)
      if (open == name) Refuse(line, ".SUBCKT " + ToUpper(name) + " inside its own definition");
    Scope& s = scopes[name];
    s.name = name;
    s.parent = CurrentScope();
    scopeStack.push_back(name);
    b.text = Join(WithoutParamsKeyword(words));
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
        Refuse(line, std::string("only linear .DC sweeps are supported, not ") + ToUpper(k));
    out.sweepVariable = ToUpper(w[0]);
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
        std::string name = ToLower(w.substr(2, close - 2));
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
             "etherm-sim runs one .DC or .TRAN analysis; " + ToUpper(k) + " is not supported");
  Add(std::move(b));
}

void Translator::Model(const SourceLine& line, BodyLine b) {
  const std::optional<spice::ModelLine> card = spice::ParseModelLine(line.text);
  if (!card || card->name.empty() || (card->type.empty() && !card->open))
    Refuse(line, ".MODEL needs a name and a type");
  if (card->type.empty()) Refuse(line, ".MODEL needs a type after its name");
  ModelInfo m;
  m.name = std::string(card->name.text);
  m.type = std::string(card->type.text);
  const spice::Parameter* level = spice::FindParameter(card->parameters, "level");
  m.level = level && !level->value.empty() ? std::string(level->value.text) : "1";
  const spice::Parameter* tabs = nullptr;
  for (const spice::Parameter& p : card->parameters) {
    if (!EqualNoCase(p.name.text, "t_abs")) continue;
    if (tabs) Refuse(line, "T_ABS is given twice");
    tabs = &p;
  }
  std::string text = line.text;
  if (tabs) {
    const std::string value(tabs->value.text);
    if (value.empty()) Refuse(line, "T_ABS has no value");
    if (value[0] != '{' && !NumberWord(value))
      Refuse(line, "the T_ABS value " + value + " is neither a number nor a {expression}");
    // The entry goes with the separators after it, so the list reads as if never written.
    std::size_t cut = tabs->whole.end();
    while (cut < text.size() && (text[cut] == ' ' || text[cut] == '\t' || text[cut] == ',')) ++cut;
    text.erase(tabs->whole.offset, cut - tabs->whole.offset);
    m.tempModel = static_cast<int>(out.tempModels.size());
    out.tempModels.push_back({m.name, m.type, m.level, value, text, line.where, {}, {}});
  }
  b.text = text;
  scopes[CurrentScope()].models[ToLower(m.name)] = m;
  Add(std::move(b));
}

void Translator::SaveBiasLine(const SourceLine& line, const std::vector<std::string>& words) {
  if (out.saveBias) Refuse(line, "a second .SAVEBIAS");
  if (words.size() < 2) Refuse(line, ".SAVEBIAS needs a file name");
  SaveBias s;
  s.where = line.where;
  s.file = words[1];
  if (s.file.size() >= 2 && s.file.front() == '"' && s.file.back() == '"')
    s.file = s.file.substr(1, s.file.size() - 2);
  if (s.file.empty()) Refuse(line, ".SAVEBIAS needs a file name");
  // The run replaces that file: it must be one of the circuit's own, in its folder.
  bool outside = s.file.front() == '/';
  for (size_t at = 0; !outside && at <= s.file.size();) {
    const size_t slash = std::min(s.file.find('/', at), s.file.size());
    outside = s.file.compare(at, slash - at, "..") == 0 && slash - at == 2;
    at = slash + 1;
  }
  if (outside)
    Refuse(line, "the .SAVEBIAS file \"" + s.file +
                     "\" lies outside the circuit's folder; name a file in that folder");
  bool tran = false, time = false;
  for (size_t i = 2; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (EqualNoCase(w, "tran")) {
      tran = true;
    } else if (EqualNoCase(w, "nosubckt")) {
      s.noSubcircuits = true;
    } else if (EqualNoCase(ParamName(w), "time")) {
      std::optional<double> t = NumberWord(w.substr(5));
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

void Translator::Element(const SourceLine& line, std::vector<std::string> words) {
  char letter = ToLower(words[0].substr(0, 1))[0];
  BodyLine b{line.text, line.where, letter, "", words, -1, std::nullopt, CurrentScope(), {}};
  if (letter == 'x') {
    const std::optional<spice::SubcircuitCall> call = spice::ParseSubcircuitCall(line.text);
    if (!call || call->subcircuit.empty())
      throw SimError(line.where + ": the subcircuit call " + words[0] + " names no subcircuit");
    if (!call->problem.empty())
      Refuse(line, "the subcircuit call " + words[0] + " has " + call->problem);
    scopes[CurrentScope()].calls.push_back(
        {words[0], std::string(call->subcircuit.text), line.where});
    b.words = WithoutParamsKeyword(words);
    b.text = Join(b.words);
  }
  if (letter == 'c' || letter == 'l') {
    for (const std::string& w : words)
      if (EqualNoCase(ParamName(w), "ic")) b.ic = w.substr(3);
  }
  Add(std::move(b));
}

void Translator::Run(const Deck& deck) {
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
    throw SimError("the subcircuit definition " + ToUpper(CurrentScope()) + " has no .ENDS");
  if (!haveAnalysis)
    throw SimError("the circuit holds no analysis: give one .DC or one .TRAN line");
  if (out.saveBias && out.analysis != AnalysisKind::kTran)
    throw SimError(out.saveBias->where + ": .SAVEBIAS TRAN needs a .TRAN analysis");
  // .IC I(L) may stand anywhere (an included bias file often comes last); the inductor's own
  // ic= wins.
  for (const auto& [name, value] : inductorIcFromDotIc) {
    bool found = false;
    for (BodyLine& b : out.body)
      if (b.letter == 'l' && b.scope.empty() && ToLower(b.words[0]) == name) {
        found = true;
        if (!b.ic) b.ic = value;
      }
    if (!found) throw SimError(".IC I(" + ToUpper(name) + "): the circuit has no such inductor");
  }
  ResolveTemperatures();
  ResolveSenses();
  if (out.analysis == AnalysisKind::kTran) RewriteSources();
}

}  // namespace detail

Translation Translate(const Deck& deck) {
  RefuseRecursiveFunctions(deck.lines);
  detail::Translator t;
  t.Run(deck);
  return std::move(t.out);
}

}  // namespace etherm::sim
