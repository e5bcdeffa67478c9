#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Image.H>

#include <memory>
#include <string>

#include "app/result_placement.h"
#include "app/run_result.h"

// The text display's header brings in X11's, whose macros clash with ordinary names.
class Fl_Text_Buffer;
class Fl_Text_Display;

namespace etherm {

// The window beside the main one that shows a run's result: its summary on top and its plot
// below, shrunk only when the screen is too small for it.
class ResultWindow : public Fl_Double_Window {
 public:
  ResultWindow();
  ~ResultWindow() override;
  ResultWindow(const ResultWindow&) = delete;
  ResultWindow& operator=(const ResultWindow&) = delete;

  // Fills the window with the result and shows it within area, at its left edge and as near
  // nearY as the height allows; the plot shrinks to the area, never grows.
  void ShowResult(const RunResult& result, const ScreenArea& area, int nearY);
  // The width at full size, and the narrowest a plot may be shrunk to beside the main window.
  static int FullWidth();
  static int MinWidth();
  // The summary as shown.
  std::string SummaryText() const;

  Fl_Text_Display* summary = nullptr;
  Fl_Box* plot = nullptr;

 private:
  std::unique_ptr<Fl_Text_Buffer> text_;
  std::unique_ptr<Fl_Image> picture_;
  std::unique_ptr<Fl_Image> shown_;  // the picture at the size it is shown
  std::string title_;
  std::string note_;
};

}  // namespace etherm
