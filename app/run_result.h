#pragma once

#include <string>

namespace etherm {

// What a finished run leaves for the user to see.
struct RunResult {
  std::string baseName;
  std::string summary;  // the run's summary and the lines on its files and plot, UTF-8
  std::string picture;  // the PNG plot to show; empty when there is none
  std::string note;     // shown in place of the plot when there is none (why)
};

}  // namespace etherm
