#pragma once

#include <string>

namespace etherm {

// The local time of day as "hh:mm:ss".
std::string TimeOfDayText();

}  // namespace etherm
