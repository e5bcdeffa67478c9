#include "app/window_title.h"

#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace etherm {

namespace {

// On failure the toolkit's property stays: garbled in old window managers, but present.
void SetTextProperty(Window xid, const char* text, Atom property) {
  char* list[] = {const_cast<char*>(text)};
  XTextProperty value;
  if (Xutf8TextListToTextProperty(fl_display, list, 1, XStdICCTextStyle, &value) < Success) {
    return;
  }
  XSetTextProperty(fl_display, xid, &value, property);
  XFree(value.value);
}

}  // namespace

void SetLegacyTitle(Fl_Window& window) {
  if (!window.shown() || window.label() == nullptr) return;
  const Window xid = fl_xid(&window);
  SetTextProperty(xid, window.label(), XA_WM_NAME);
  SetTextProperty(xid, window.iconlabel() != nullptr ? window.iconlabel() : window.label(),
                  XA_WM_ICON_NAME);
}

}  // namespace etherm
