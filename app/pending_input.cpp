#include "app/pending_input.h"

#include <FL/x.H>

namespace etherm {

namespace {

Bool IsInput(Display*, XEvent* event, XPointer) {
  switch (event->type) {
    case ButtonPress:
    case ButtonRelease:
    case KeyPress:
    case KeyRelease:
    case MotionNotify:
      return True;
    default:
      return False;
  }
}

}  // namespace

void DiscardPendingInput() {
  if (fl_display == nullptr) return;
  // After the round trip every event the server holds for us is in the client's queue.
  XSync(fl_display, False);
  XEvent event;
  while (XCheckIfEvent(fl_display, &event, IsInput, nullptr)) {
  }
}

}  // namespace etherm
