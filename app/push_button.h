#pragma once

#include <FL/Fl_Button.H>

namespace etherm {

// A push button that Enter presses as well as Space while it has the focus, as users expect
// of a focused button; the toolkit's own button would pass Enter on as a focus move.
class PushButton : public Fl_Button {
 public:
  PushButton(int x, int y, int w, int h, const char* caption);

  int handle(int event) override;
  // Shows the button pressed for a moment, as a key press on it does.
  void ShowPressed() { simulate_key_action(); }
};

}  // namespace etherm
