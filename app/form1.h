#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/jpeg_image.h"
#include "app/text_label.h"
#include "model/analysis_state.h"
#include "model/status_display.h"

namespace etherm {

// The main window: the base-name box, the four buttons and the header. Each button action runs
// to its end inside its click handler; progress shows as status lines drawn on the window.
// While it exists the window is the state's status display.
class TForm1 : public Fl_Window, public StatusDisplay {
 public:
  // Shows a failure's text to the user; FLTK's alert box unless replaced.
  using FailureBox = std::function<void(const std::string& text)>;

  explicit TForm1(AnalysisState& state);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // "Wprowadź": takes the typed text as the base name, exactly as typed.
  void Button3Click();
  // "Start DC" and "Start TRAN": one whole analysis each.
  void Button4Click();
  void Button1Click();
  // "Koniec": closes every window, which ends the event loop.
  void Button2Click();

  // Draws text on the shown window outside its draw method, over an opaque background of the
  // text's own extent; the next repaint removes it.
  void DrawStatusLine(int x, int y, std::string_view text) override;

  void SetFailureBox(FailureBox box) { failureBox_ = std::move(box); }

  // Components, in creation order; the window and its groups own them.
  TextLabel* Label1 = nullptr;
  Fl_Button* Button1 = nullptr;
  Fl_Button* Button2 = nullptr;
  Fl_Input* TextInput = nullptr;
  Fl_Button* Button3 = nullptr;
  Fl_Button* Button4 = nullptr;
  Fl_Group* GroupBox1 = nullptr;
  Fl_Box* Image1 = nullptr;
  TextLabel* Label2 = nullptr;
  TextLabel* Label3 = nullptr;
  Fl_Group* GroupBox2 = nullptr;
  Fl_Group* GroupBox3 = nullptr;
  Fl_Group* GroupBox4 = nullptr;
  Fl_Group* GroupBox5 = nullptr;

 private:
  void CreateComponents();
  void RunAnalysis(void (*analysis)(AnalysisState&));

  AnalysisState& state_;
  FailureBox failureBox_;
  RgbPicture logoPicture_;
  std::unique_ptr<Fl_RGB_Image> logoImage_;
};

}  // namespace etherm
