#include "temperature.h"

#include <cmath>

#include "emit_deck.h"
#include "number_text.h"
#include "sim_error.h"
#include "text_util.h"

namespace etherm::sim {

std::vector<TempParam> ChooseTemperatureParameters(
    NgspiceSession& ng, const Translation& t, TemperatureAnswers& known,
    const std::function<void(const std::string&)>& note) {
  std::vector<TempParam> params(t.tempModels.size(), TempParam::kTemp);
  bool ask = false;
  for (const TempModel& m : t.tempModels)
    ask = ask || (!m.instances.empty() && !known.count(m.card));
  if (ask) {
    // The deck without device temperatures, loaded only to ask ngspice which instance
    // parameters each device has: its own parameter tables decide, not a list kept here.
    DeckStage query;
    query.kind = DeckStage::kModelQuery;
    std::vector<std::string> origins;
    std::vector<std::string> deck = EmitDeck(t, query, &origins);
    note(
        "** asking ngspice which temperature parameter each T_ABS model takes (its \"no such "
        "parameter\" lines are answers) **");
    ng.Load(deck, origins);
  }
  for (size_t i = 0; i < t.tempModels.size(); ++i) {
    const TempModel& m = t.tempModels[i];
    if (m.instances.empty()) continue;
    auto answer = known.find(m.card);
    if (answer == known.end()) {
      const std::string& device = m.instances.front();
      TempParam p = TempParam::kNone;
      if (ng.HasInstanceParameter(device, "temp")) {
        p = TempParam::kTemp;
      } else if (ng.HasInstanceParameter(device, "dtemp")) {
        p = TempParam::kDtemp;
      }
      answer = known.emplace(m.card, p).first;
    }
    if (answer->second == TempParam::kNone) {
      throw SimError(m.where + ": ngspice cannot set the temperature of each device of model " +
                     m.name + " (type " + ToUpper(m.type) + ", level " + m.level + "): device " +
                     m.devices.front() + " takes neither temp= nor dtemp=, so its T_ABS would be " +
                     "ignored");
    }
    params[i] = answer->second;
    note("etherm-sim: model " + m.name + " takes its temperature as " +
         (params[i] == TempParam::kTemp
              ? "temp="
              : "dtemp= (against the circuit temperature " + t.circuitTemperature + ")"));
  }
  return params;
}

void CheckTemperatures(NgspiceSession& ng, const Translation& t,
                       const std::vector<TempParam>& params) {
  for (size_t i = 0; i < t.tempModels.size() && i < params.size(); ++i) {
    const TempModel& m = t.tempModels[i];
    std::optional<double> wanted = NumberWord(m.value);
    if (!wanted || m.instances.empty()) continue;  // an expression differs by instance
    // Every device reports the temperature it ran at; a model that dropped the value shows here.
    const std::string& device = m.instances.front();
    std::optional<NgspiceSession::Vector> ran = ng.Get("@" + device + "[temp]");
    if (!ran || ran->data.empty()) continue;  // ngspice does not tell; trust the parameter
    if (std::fabs(ran->data[0] - *wanted) > 1e-6)
      throw SimError(m.where + ": device " + m.devices.front() + " of model " + m.name +
                     " ran at " + ShortestText(ran->data[0]) + " C instead of its T_ABS " +
                     m.value + " C");
  }
}

}  // namespace etherm::sim
