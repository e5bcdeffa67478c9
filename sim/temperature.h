#pragma once
// How each T_ABS temperature reaches its devices: the instance parameter temp= where the device
// model has it, otherwise dtemp= against the circuit temperature; a model with neither is refused.

#include <functional>
#include <string>
#include <vector>

#include "ngspice_session.h"
#include "translate.h"

namespace etherm::sim {

std::vector<TempParam> ChooseTemperatureParameters(
    NgspiceSession& ng, const Translation& t, const std::function<void(const std::string&)>& note);

// After the run: every device with a numeric T_ABS runs at that temperature.
void CheckTemperatures(NgspiceSession& ng, const Translation& t,
                       const std::vector<TempParam>& params);

}  // namespace etherm::sim
