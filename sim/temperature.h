#pragma once
// How each T_ABS temperature reaches its devices: the instance parameter temp= where the device
// model has it, otherwise dtemp= against the circuit temperature; a model with neither is refused.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ngspice_session.h"
#include "translate.h"

namespace etherm::sim {

// ngspice's answers by model card (the .MODEL line without T_ABS): the answer depends on the
// card alone, so one circuit asks once per card, however many of its models share it.
using TemperatureAnswers = std::map<std::string, TempParam>;

// Asks ngspice, by loading the circuit without device temperatures, about the models not in
// `known` yet, and adds the answers to it. `note` receives the listing's lines.
std::vector<TempParam> ChooseTemperatureParameters(
    NgspiceSession& ng, const Translation& t, TemperatureAnswers& known,
    const std::function<void(const std::string&)>& note);

// After the run: every device with a numeric T_ABS runs at that temperature.
void CheckTemperatures(NgspiceSession& ng, const Translation& t,
                       const std::vector<TempParam>& params);

}  // namespace etherm::sim
