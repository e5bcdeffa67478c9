#pragma once
// Decks for ngspice made from a translation: the run itself, and the extra decks the run needs
// (the model query, the bias point with ic= values imposed, the transient from it).

#include <string>
#include <vector>

#include "translate.h"

namespace etherm::sim {

// Which deck to make from a translation.
struct DeckStage {
  enum Kind {
    kRun,         // the analysis as the designer meant it
    kModelQuery,  // no device temperatures: loaded only to ask ngspice about its devices
    kBiasPoint,   // ic= values imposed, .IC nodes held; a short transient whose first point counts
    kFromBias,    // the transient from a bias point: UIC, `icLine` replaces the .IC lines
  } kind = kRun;
  std::vector<TempParam> tempParams;  // per temp model; kTemp when missing
  // kBiasPoint: the .IC nodes held by voltage sources rather than by ngspice's own holds.
  bool holdBySources = true;
  std::string icLine;
};

// True when capacitors or inductors carry ic= values that must hold in the starting bias point,
// which ngspice honours only under UIC, or when .IC holds nodes that a source or an inductor
// already ties to a held one.
bool NeedsBiasPointRun(const Translation& t);

// The deck for ngspice, title first and .end last; `origins` receives, per deck line, where in
// the circuit file it comes from.
std::vector<std::string> EmitDeck(const Translation& t, const DeckStage& stage,
                                  std::vector<std::string>* origins = nullptr);

// `value` minus `base`, both numbers or {expressions}, as a deck value.
std::string TemperatureDifference(const std::string& value, const std::string& base);

}  // namespace etherm::sim
