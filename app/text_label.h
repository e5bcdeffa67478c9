#pragma once

#include <FL/Fl_Widget.H>

namespace etherm {

// A caption drawn at the top-left corner of its box, with no margin and no frame, on the
// parent's background: the look of a designed label whose box is exactly its text.
class TextLabel : public Fl_Widget {
 public:
  TextLabel(int x, int y, int w, int h, const char* text);

 protected:
  void draw() override;
};

}  // namespace etherm
