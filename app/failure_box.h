#pragma once

#include <FL/Fl_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Window.H>

#include <memory>
#include <string>

namespace etherm {

// The failure's text as plain text: no character has a meaning of its own ('@' starts a symbol
// and '&' marks a shortcut in the toolkit's labels), lines wrap at the widget's width, and a
// scroll bar appears when the lines do not all fit.
class FailureText : public Fl_Text_Display {
 public:
  FailureText(int x, int y, int w, int h);

  // Lines as displayed, wrapped ones counted one by one.
  int DisplayedLines() const;
  bool Scrolls() const;
};

// The box that shows a failure's text with a button to close it, sized to the text but never
// beyond the screen area it is made for; a text too long for that area scrolls.
class FailureBox : public Fl_Window {
 public:
  // Centred on the screen area at (screenX, screenY) of screenW x screenH pixels.
  FailureBox(const std::string& failureText, int screenX, int screenY, int screenW, int screenH);
  ~FailureBox() override;
  FailureBox(const FailureBox&) = delete;
  FailureBox& operator=(const FailureBox&) = delete;

  FailureText* text = nullptr;
  Fl_Button* closeButton = nullptr;

 private:
  std::unique_ptr<Fl_Text_Buffer> buffer_;
};

// Shows the box on the screen's work area and returns when the user has closed it.
void ShowFailureBox(const std::string& text);

}  // namespace etherm
