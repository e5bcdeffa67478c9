#pragma once

#include <FL/Fl_Widget.H>

#include <string>

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

namespace etherm {

// A folder's path in one line at the top-left of its box; a path too long for the box loses
// its beginning to "…", so the folder's own name stays in view.
class FolderLabel : public Fl_Widget {
 public:
  FolderLabel(int x, int y, int w, int h);

  void SetPath(std::string path);
  const std::string& path() const { return path_; }
  // The text as drawn: the path, or its end after "…".
  std::string ShownText() const;

 protected:
  void draw() override;

 private:
  std::string path_;
};

}  // namespace etherm
