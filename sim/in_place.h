#pragma once
// DC requests run on the circuit the previous request left loaded in ngspice: when the next deck
// differs from it only in what a DC analysis changes between iterations (device temperatures and
// the one-point .dc values), `alter` sets the temperatures and the `dc` command runs the point.
// ngspice then gives bit for bit what a fresh load gives, for about half the cost.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "translate.h"

namespace etherm::sim {

// One device temperature of a deck: temp= or dtemp= of a device outside subcircuits.
struct TemperatureSetting {
  std::string device;     // lower case, as ngspice names it
  std::string parameter;  // "temp" or "dtemp"
  double value = 0;       // as ngspice's deck parser reads the deck's text (DeckParserValue)
};

// What turns the loaded deck into the next one: the temperatures to alter, then `run`, the `dc`
// command of the next deck's .dc line, which runs the analysis.
struct InPlacePlan {
  std::vector<TemperatureSetting> alters;
  std::string run;
};

// The plan that turns the loaded deck `loaded` into `next`. Nothing when the decks differ in
// more than temp= and dtemp= numbers of devices outside subcircuits and the .dc values (a
// .nodeset line, a subcircuit's body, any other word of an element, the number of lines), when
// a temperature is no plain decimal number, or when either is no DC sweep of one point over one
// source.
std::optional<InPlacePlan> PlanInPlace(const std::vector<std::string>& loaded,
                                       const std::vector<std::string>& next);

// Every plain decimal temp= and dtemp= of the devices outside subcircuits.
std::vector<TemperatureSetting> TemperatureSettings(const std::vector<std::string>& deck);

// The value ngspice's deck parser gives a plain decimal number ([sign] digits [. digits]
// [E [sign] digits]): every digit into one mantissa, scaled by a power of ten. Its `alter`
// command reads numbers otherwise (the fraction apart), so a long text would differ in its last
// bits. Nothing for any other text.
std::optional<double> DeckParserValue(std::string_view text);

// The alter command that sets `setting` to exactly its value: an integer mantissa divided by
// powers of two, which ngspice's expressions evaluate without rounding.
std::string AlterCommand(const TemperatureSetting& setting);

// True when `read`, the parameter as ngspice reports it back, is the setting's value; a
// temperature is kept in kelvin and reported in Celsius.
bool ReadsAs(double read, const TemperatureSetting& setting);

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
