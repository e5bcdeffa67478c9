#include "app/push_button.h"

#include <FL/Fl.H>

namespace etherm {

namespace {

bool IsPressKey(int key) {
  return key == ' ' || key == FL_Enter || key == FL_KP_Enter;
}

}  // namespace

PushButton::PushButton(int x, int y, int w, int h, const char* caption)
    : Fl_Button(x, y, w, h, caption) {}

int PushButton::handle(int event) {
  if (event == FL_KEYBOARD && Fl::focus() == this && IsPressKey(Fl::event_key()) &&
      !Fl::event_state(FL_SHIFT | FL_CTRL | FL_ALT | FL_META)) {
    // Shown pressed for a moment, then the same action as a click's release.
    simulate_key_action();
    do_callback();
    return 1;
  }
  return Fl_Button::handle(event);
}

}  // namespace etherm
