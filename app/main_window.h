#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/jpeg_image.h"
#include "app/run_result.h"
#include "app/text_label.h"
#include "model/analysis_listener.h"
#include "model/analysis_state.h"
#include "report/run_description.h"

namespace etherm {

class ResultWindow;

// The main window: the base-name box with its file chooser, the four buttons, the header, the
// working folder and the status panel. Each run lasts inside its click handler; the window keeps
// answering while it goes (the analysis's reports let the event loop look at the input), but
// only "Stop", Esc and closing the window are carried out then: other clicks and keys are
// dropped. Progress shows as status lines drawn in the status panel and in the progress bar.
// While it exists the window is the state's listener. A run also writes its report files and
// plot, and its result is shown once it is over, beside this window.
class MainWindow : public Fl_Window, public AnalysisListener {
 public:
  // Shows a failure's text to the user; the failure box unless replaced.
  using FailureBox = std::function<void(const std::string& text)>;
  // Shows what a run leaves (its summary and plot); the result window unless replaced.
  using ResultView = std::function<void(const RunResult& result)>;
  // Asks the user for a problem file; its path, or empty when none was chosen.
  using FileChooser = std::function<std::string()>;

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
  // The file chooser beside the name field: the chosen file's folder becomes the working
  // folder and its name, without ".par", is entered as by "Wprowadź".
  void OnBrowse();
  void TakeProblemFile(const std::string& path);
  // "Stop" and Esc during a run: the run ends as an interrupted batch run does, its files
  // keeping the whole lines written so far.
  void OnStop();
  bool running() const { return running_; }

  // Draws text on the shown window outside its draw method, over an opaque background of the
  // text's own extent; the next repaint removes it.
  void DrawStatusLine(int x, int y, std::string_view text);
  // Draws an analysis's status line at its place.
  void StatusChanged(StatusLine line, std::string_view text) override;
  // The progress bar follows the accepted points.
  void Accepted(std::span<const AcceptedPoint> rows) override;
  void IterationFinished(const IterationReport& report) override;
  // Said about twice a second while a transient window is simulated: Stop and Esc are taken
  // then too, not only between simulator runs.
  void SimulatorAdvanced(double time) override;

  void SetFailureBox(FailureBox box) { failureBox_ = std::move(box); }
  // An empty view brings back the result window.
  void SetResultView(ResultView view) { resultView_ = std::move(view); }
  // An empty chooser brings back the toolkit's native one.
  void SetFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }
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
  Fl_Button* browseButton = nullptr;
  TextLabel* folderCaptionLabel = nullptr;
  FolderLabel* folderLabel = nullptr;
  Fl_Group* statusPanel = nullptr;
  Fl_Progress* progressBar = nullptr;
  Fl_Button* stopButton = nullptr;

 private:
  void CreateComponents();
  void RunAnalysis(void (*analysis)(AnalysisState&), AnalysisKind kind);
  // Shows the run's position against its end in the progress bar.
  void ShowProgress();
  // Lets the event loop handle what came in during a run (only "Stop", Esc and a close pass).
  void KeepAnswering();
  static int DispatchDuringRun(int event, Fl_Window* window);

  AnalysisState& state_;
  FailureBox failureBox_;
  ResultView resultView_;
  FileChooser fileChooser_;
  bool running_ = false;
  bool stopRequested_ = false;
  bool quitRequested_ = false;
  AnalysisKind runKind_ = AnalysisKind::kDc;
  std::optional<double> lastAccepted_;  // the x of the run's last accepted row
  std::string progressText_;
  std::unique_ptr<ResultWindow> resultWindow_;
  RgbPicture logoPicture_;
  std::unique_ptr<Fl_RGB_Image> logoImage_;
};

}  // namespace etherm
