#include "app/test_rendering.h"

#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cmath>

namespace etherm {

namespace {

Pixels TakeImage(unsigned char* data, int w, int h) {
  Pixels pixels(data, data + static_cast<std::size_t>(w) * h * 3);
  delete[] data;
  return pixels;
}

}  // namespace

int TextWidth(const std::string& text, Fl_Font face, int size) {
  fl_font(face, size);
  return static_cast<int>(std::ceil(fl_width(text.data(), static_cast<int>(text.size()))));
}

int TextHeight(Fl_Font face, int size) {
  fl_font(face, size);
  return fl_height();
}

Pixels ReadWindow(Fl_Window& window, int x, int y, int w, int h) {
  window.make_current();
  XSync(fl_display, False);
  return TakeImage(fl_read_image(nullptr, x, y, w, h), w, h);
}

Pixels RenderText(Fl_Window& window, const std::string& text, Fl_Font face, int size,
                  Fl_Color background, int w, int h) {
  window.make_current();
  Fl_Offscreen offscreen = fl_create_offscreen(w, h);
  fl_begin_offscreen(offscreen);
  fl_color(background);
  fl_rectf(0, 0, w, h);
  fl_font(face, size);
  fl_color(FL_FOREGROUND_COLOR);
  fl_draw(text.data(), static_cast<int>(text.size()), 0, fl_height() - fl_descent());
  Pixels pixels = TakeImage(fl_read_image(nullptr, 0, 0, w, h), w, h);
  fl_end_offscreen();
  fl_delete_offscreen(offscreen);
  return pixels;
}

}  // namespace etherm
