#include "textio/time_of_day.h"

#include <cstdio>
#include <ctime>

namespace etherm {

std::string TimeOfDayText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return buf;
}

}  // namespace etherm
