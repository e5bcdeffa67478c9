#pragma once
// Internal to the translation: the state of one Translate() while it reads the circuit's lines.
// Its parts live in files named for what they do: reading lines (translate.cpp), .PROBE
// (probes.cpp), subcircuit scopes (subcircuit_scopes.cpp), ngspice work-arounds
// (ngspice_workarounds.cpp).

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "deck.h"
#include "translate.h"

namespace etherm::sim::detail {

struct ModelInfo {
  std::string name, type, level;
  int tempModel = -1;
};

struct Call {
  std::string instance;  // as written
  std::string subcircuit;
  std::string where;
};

// The top level (empty name) or one subcircuit definition, with what is declared in it.
struct Scope {
  std::string name;  // lower case; empty for the top level
  std::string parent;
  std::map<std::string, ModelInfo> models;  // by lower-case name
  std::vector<Call> calls;
};

// A current measured by a 0 V source in series with one terminal of an element. ngspice's own
// device currents (@q1[ic]) come from the last Newton iteration's linearisation, not from the
// converged solution, and can be off by a percent in a sweep; the source's current is part of
// the solution itself.
struct Sense {
  std::size_t probe;
  std::string calls, device;
  int terminal;
  std::string where, label;
};

struct Translator {
  Translation out;
  std::map<std::string, Scope> scopes;
  std::vector<std::string> scopeStack{""};
  std::map<std::string, std::string> inductorIcFromDotIc;  // top-level inductor -> value
  bool haveAnalysis = false;
  std::string analysisWhere;
  std::vector<Sense> senses;
  // Kept per definition: a definition called twice from each level above would otherwise be
  // walked once per path, exponentially often, even when nothing calls the top one.
  mutable std::map<std::string, std::vector<std::string>> pathsOf;

  const std::string& CurrentScope() const { return scopeStack.back(); }

  // Reading lines (translate.cpp).
  void Run(const Deck& deck);
  void SetAnalysis(AnalysisKind kind, const std::string& where);
  [[noreturn]] void Refuse(const SourceLine& line, const std::string& what);
  void Add(BodyLine b) { out.body.push_back(std::move(b)); }
  void DotCommand(const SourceLine& line, std::vector<std::string> words);
  void Model(const SourceLine& line, BodyLine b);
  void SaveBiasLine(const SourceLine& line, const std::vector<std::string>& words);
  void Element(const SourceLine& line, std::vector<std::string> words);

  // .PROBE (probes.cpp).
  void Probes(const SourceLine& line);
  Probe ResolveProbe(const std::string& function, const std::vector<std::string>& args,
                     const std::string& label, const std::string& where);
  void ResolveSenses();

  // Subcircuit scopes (subcircuit_scopes.cpp).
  const ModelInfo* VisibleModel(std::string scope, const std::string& lowerName) const;
  // Every path of calls from the top level down to the definition `scope`, as "x1.x2".
  std::vector<std::string> Paths(const std::string& scope, int depth = 0) const;
  void ResolveTemperatures();

  // ngspice work-arounds (ngspice_workarounds.cpp).
  void RewriteSources();
};

}  // namespace etherm::sim::detail
