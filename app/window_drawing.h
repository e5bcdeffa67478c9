#pragma once

#include <FL/Enumerations.H>
#include <FL/Fl_Window.H>

#include <string_view>

namespace etherm {

// Drawing outside the widgets' draw methods, kept apart from the window code: the toolkit's
// drawing header brings in X11's, whose macros (Button1 .. Button5, Status, None) clash with
// ordinary names.

// Draws text with its top-left corner at (x, y) of the shown window, over an opaque rectangle
// of the text's own extent, and sends it to the screen at once.
void DrawOpaqueText(Fl_Window& window, int x, int y, std::string_view text, Fl_Font face,
                    Fl_Fontsize size, Fl_Color background, Fl_Color foreground);

// Waits until the X server has done everything drawn so far.
void SyncDisplay();

}  // namespace etherm
