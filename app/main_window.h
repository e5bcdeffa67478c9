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
#include "app/run_result.h"
#include "app/text_label.h"
#include "model/analysis_listener.h"
#include "model/analysis_state.h"
#include "report/run_description.h"

namespace etherm {

class ResultWindow;

// The main window: the base-name box, the four buttons and the header. Each button action runs
// to its end inside its click handler; progress shows as status lines drawn on the window.
// While it exists the window is the state's listener, drawing the analyses' status lines. A run
// also writes its report files and plot, and its result is shown once it is over.
class MainWindow : public Fl_Window, public AnalysisListener {
 public:
  // Shows a failure's text to the user; the failure box unless replaced.
  using FailureBox = std::function<void(const std::string& text)>;
  // Shows what a run leaves (its summary and plot); the result window unless replaced.
  using ResultView = std::function<void(const RunResult& result)>;

  explicit MainWindow(AnalysisState& state);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Also sets the old-style title properties, which the toolkit leaves garbled.
  using Fl_Window::show;
  void show() override;

  // "Wprowadź": takes the typed text as the base name, exactly as typed.
  void OnEnterName();
  // "Start DC" and "Start TRAN": one whole analysis each.
  void OnStartDc();
  void OnStartTransient();
  // "Koniec": closes every window, which ends the event loop.
  void OnQuit();

  // Draws text on the shown window outside its draw method, over an opaque background of the
  // text's own extent; the next repaint removes it.
  void DrawStatusLine(int x, int y, std::string_view text);
  // Draws an analysis's status line at its place.
  void StatusChanged(StatusLine line, std::string_view text) override;

  void SetFailureBox(FailureBox box) { failureBox_ = std::move(box); }
  // An empty view brings back the result window.
  void SetResultView(ResultView view) { resultView_ = std::move(view); }
  // The result window beside this one, showing the result; made when first needed.
  void ShowResultWindow(const RunResult& result);
  ResultWindow* resultWindow() { return resultWindow_.get(); }

  // Components, in creation order; the window and its groups own them.
  TextLabel* nameLabel = nullptr;
  Fl_Button* startTranButton = nullptr;
  Fl_Button* quitButton = nullptr;
  Fl_Input* nameInput = nullptr;
  Fl_Button* enterButton = nullptr;
  Fl_Button* startDcButton = nullptr;
  Fl_Group* headerGroup = nullptr;
  Fl_Box* logo = nullptr;
  TextLabel* departmentLabel = nullptr;
  TextLabel* labLabel = nullptr;
  Fl_Group* leftBar = nullptr;
  Fl_Group* rightBar = nullptr;
  Fl_Group* rightBarInner = nullptr;
  Fl_Group* middleBar = nullptr;

 private:
  void CreateComponents();
  void RunAnalysis(void (*analysis)(AnalysisState&), report::AnalysisKind kind);

  AnalysisState& state_;
  FailureBox failureBox_;
  ResultView resultView_;
  std::unique_ptr<ResultWindow> resultWindow_;
  RgbPicture logoPicture_;
  std::unique_ptr<Fl_RGB_Image> logoImage_;
};

}  // namespace etherm
