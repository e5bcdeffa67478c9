#include "app/text_label.h"

#include <FL/fl_draw.H>

#include <cstring>

namespace etherm {

TextLabel::TextLabel(int x, int y, int w, int h, const char* text) : Fl_Widget(x, y, w, h, text) {
  box(FL_NO_BOX);
  clear_visible_focus();
}

void TextLabel::draw() {
  if (label() == nullptr) return;
  fl_font(labelfont(), labelsize());
  fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
  // Plain drawing: '@' and '&' in a caption are text, not symbols or shortcuts.
  fl_draw(label(), static_cast<int>(std::strlen(label())), x(), y() + fl_height() - fl_descent());
}

}  // namespace etherm
