#include "app/text_label.h"

#include <FL/fl_draw.H>

#include <cstring>
#include <string>
#include <utility>

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

namespace etherm {

FolderLabel::FolderLabel(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {
  // Opaque: a shorter path must not leave the end of a longer one.
  box(FL_FLAT_BOX);
  clear_visible_focus();
}

void FolderLabel::SetPath(std::string path) {
  path_ = std::move(path);
  redraw();
}

std::string FolderLabel::ShownText() const {
  fl_font(labelfont(), labelsize());
  if (fl_width(path_.c_str(), static_cast<int>(path_.size())) <= w()) return path_;
  static const std::string kEllipsis = "…";
  // Drop whole UTF-8 characters from the front until the rest fits after the ellipsis.
  std::size_t from = 0;
  while (from < path_.size()) {
    do {
      ++from;
    } while (from < path_.size() && (static_cast<unsigned char>(path_[from]) & 0xC0) == 0x80);
    const std::string shown = kEllipsis + path_.substr(from);
    if (fl_width(shown.c_str(), static_cast<int>(shown.size())) <= w()) return shown;
  }
  return kEllipsis;
}

void FolderLabel::draw() {
  draw_box();
  const std::string shown = ShownText();
  fl_font(labelfont(), labelsize());
  fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
  fl_push_clip(x(), y(), w(), h());
  fl_draw(shown.c_str(), static_cast<int>(shown.size()), x(), y() + fl_height() - fl_descent());
  fl_pop_clip();
}

}  // namespace etherm
