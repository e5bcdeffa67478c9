#pragma once

#include <string_view>

namespace etherm {

// Where an analysis shows its progress: short status lines drawn at fixed points of the main
// window (x, y in window pixels), or their equivalent in etherm-batch. Texts are UTF-8.
class StatusDisplay {
 public:
  virtual ~StatusDisplay() = default;
  virtual void DrawStatusLine(int x, int y, std::string_view text) = 0;
  // A note that does not stop the analysis (a device hotter than any semiconductor survives).
  // Displays without a place for it ignore it.
  virtual void ShowWarning(std::string_view /*text*/) {}
};

}  // namespace etherm
