#include "app/result_placement.h"

#include <algorithm>

namespace etherm {

ResultPlacement PlaceResultWindow(const ScreenArea& screen, const ScreenArea& main, int fullWidth,
                                  int minWidth, int gap) {
  const int screenRight = screen.x + screen.w;
  const auto rightOf = [&](int mainX) {
    const int x = mainX + main.w + gap;
    return ScreenArea{x, screen.y, std::min(fullWidth, screenRight - x), screen.h};
  };
  const auto leftOf = [&](int mainX) {
    const int w = std::min(fullWidth, mainX - gap - screen.x);
    return ScreenArea{mainX - gap - w, screen.y, w, screen.h};
  };
  const ScreenArea right = rightOf(main.x);
  const ScreenArea left = leftOf(main.x);
  if (right.w >= fullWidth) return {right, main.x};
  if (left.w >= fullWidth) return {left, main.x};
  const ScreenArea& roomier = right.w >= left.w ? right : left;
  if (roomier.w >= minWidth) return {roomier, main.x};
  // The main window to the edge the roomier side is away from.
  if (right.w >= left.w) {
    const int mainX = screen.x;
    const ScreenArea moved = rightOf(mainX);
    if (moved.w >= minWidth) return {moved, mainX};
  } else {
    const int mainX = std::max(screen.x, screenRight - main.w);
    const ScreenArea moved = leftOf(mainX);
    if (moved.w >= minWidth) return {moved, mainX};
  }
  return {screen, main.x};
}

}  // namespace etherm
