#include "app/window_drawing.h"

#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cmath>

namespace etherm {

void DrawOpaqueText(Fl_Window& window, int x, int y, std::string_view text, Fl_Font face,
                    Fl_Fontsize size, Fl_Color background, Fl_Color foreground) {
  window.make_current();
  fl_font(face, size);
  const int length = static_cast<int>(text.size());
  const int width = static_cast<int>(std::ceil(fl_width(text.data(), length)));
  const int height = fl_height();
  fl_color(background);
  fl_rectf(x, y, width, height);
  fl_color(foreground);
  fl_draw(text.data(), length, x, y + height - fl_descent());
  // The event loop may not run again until an analysis ends: show the text now.
  XFlush(fl_display);
}

void SyncDisplay() {
  if (fl_display != nullptr) XSync(fl_display, False);
}

}  // namespace etherm
