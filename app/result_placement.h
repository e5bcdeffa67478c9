#pragma once

namespace etherm {

struct ScreenArea {
  int x = 0, y = 0, w = 0, h = 0;
};

// Where the result window goes beside the main window on the screen's work area: on the side
// with room for it at full width, else on the roomier side, narrower down to minWidth. When
// neither side has minWidth, the main window moves to the screen's edge to make that room; on a
// screen too small even for that the result window may cover the main window, as a last resort.
struct ResultPlacement {
  ScreenArea result;  // the area the result window must keep within, its width at most w
  int mainX = 0;      // the main window's left edge, moved or not
};

// gap: the pixels kept between the two windows (the window manager's frames take some).
ResultPlacement PlaceResultWindow(const ScreenArea& screen, const ScreenArea& main, int fullWidth,
                                  int minWidth, int gap);

}  // namespace etherm
