#include "temperature.h"

namespace etherm::sim {

std::vector<TempParam> ChooseTemperatureParameters(NgspiceSession&, const Translation& t,
                                                   const std::function<void(const std::string&)>&) {
  return std::vector<TempParam>(t.tempModels.size(), TempParam::kTemp);
}

void CheckTemperatures(NgspiceSession&, const Translation&, const std::vector<TempParam>&) {}

}  // namespace etherm::sim
