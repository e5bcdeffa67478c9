#pragma once
// DC requests run on the circuit the previous request left loaded in ngspice: when the next deck
// differs from it only in what a DC analysis changes between iterations (device temperatures and
// the one-point .dc values), `alter` sets the temperatures and the `dc` command runs the point.
// ngspice then gives bit for bit what a fresh load gives, for about half the cost.

#include <optional>
#include <string>
#include <vector>

#include "translate.h"

namespace etherm::sim {

// The ngspice commands that turn the loaded deck `loaded` into `next`: an `alter` for each
// changed temp= or dtemp= number of a device outside subcircuits, then, last, the `dc` command
// of next's .dc line, which runs the analysis. Nothing when the decks differ in anything else (a
// .nodeset line, a subcircuit's body, any other word of an element, the number of lines) or
// when either is no DC sweep of one point over one source.
std::optional<std::vector<std::string>> InPlaceCommands(const std::vector<std::string>& loaded,
                                                        const std::vector<std::string>& next);

// True when every line a fresh run listed before its analysis (the temperature query with
// ngspice's lines while it loaded, and its lines while it loaded the deck) is one that no
// temperature or sweep value can change, so the next run in place may list the same lines.
bool ListedLinesHoldForAnyValues(const std::vector<std::string>& lines);

bool InPlaceEnabledByEnvironment();
bool TraceByEnvironment();

// What a fresh DC run left loaded, kept for the next request.
struct LoadedDc {
  bool valid = false;
  std::vector<std::string> deck;          // as loaded or last altered
  std::vector<std::string> cards;         // the temperature models' cards
  std::vector<TempParam> params;          // ngspice's answers for them
  std::vector<std::string> beforeDeck;    // listing lines between ngspice's start and the deck
  std::vector<std::string> whileLoading;  // ngspice's lines while it loaded the deck
};

// What a runner keeps between runs for them.
struct InPlaceState {
  // ETHERM_SIM_IN_PLACE=off loads every circuit anew (for comparisons and benchmarks).
  bool enabled = InPlaceEnabledByEnvironment();
  // ETHERM_SIM_TRACE=1: each run writes on standard error whether it ran in place and every
  // probe value exactly (C99 hexadecimal), for tests that compare both ways bit for bit.
  bool trace = TraceByEnvironment();
  LoadedDc loaded;
  bool muted = false;  // ngspice's lines are counted, not listed (while altering)
  long mutedLines = 0;
  bool ranInPlace = false;  // the last run
  std::string values;       // the last run's probe values, when traced
};

// The temperature models' cards of a translation, in order.
std::vector<std::string> TemperatureCards(const Translation& t);

}  // namespace etherm::sim
