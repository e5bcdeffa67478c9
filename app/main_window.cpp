#include "app/main_window.h"

#include <FL/Fl.H>

#include <exception>

#include "analysis/analysis.h"
#include "app/failure_box.h"
#include "app/main_window_layout.h"
#include "app/pending_input.h"
#include "app/push_button.h"
#include "app/result_window.h"
#include "app/window_drawing.h"
#include "app/window_title.h"
#include "report/run_recorder.h"

namespace etherm {

namespace {

using namespace main_window_layout;

// The Linux twins of the designed faces: same metrics as the Windows fonts the layout was
// measured with, so captions fill their boxes as designed.
void BindFontFaces() {
  Fl::set_font(FL_HELVETICA, " Liberation Sans");
  Fl::set_font(FL_HELVETICA_BOLD, "BLiberation Sans");
  Fl::set_font(FL_TIMES, " Liberation Serif");
  Fl::set_font(FL_TIMES_BOLD, "BLiberation Serif");
}

MainWindow& WindowOf(void* userData) {
  return *static_cast<MainWindow*>(userData);
}

void StartTransientClicked(Fl_Widget*, void* window) {
  WindowOf(window).OnStartTransient();
}
void QuitClicked(Fl_Widget*, void* window) {
  WindowOf(window).OnQuit();
}
void EnterNameClicked(Fl_Widget*, void* window) {
  WindowOf(window).OnEnterName();
}
void StartDcClicked(Fl_Widget*, void* window) {
  WindowOf(window).OnStartDc();
}

// Closing the window ends the program; Escape, which FLTK would treat as closing, does not.
void OnClose(Fl_Widget*, void* window) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  WindowOf(window).OnQuit();
}

Fl_Button* MakeButton(const Bounds& b, const char* caption, Fl_Callback* onClick, void* window) {
  auto* button = new PushButton(b.x, b.y, b.w, b.h, caption);
  button->labelfont(kButtonFont.face);
  button->labelsize(kButtonFont.size);
  button->callback(onClick, window);
  return button;
}

TextLabel* MakeLabel(int parentX, int parentY, const Bounds& b, const char* caption,
                     const FontStyle& font) {
  auto* label = new TextLabel(parentX + b.x, parentY + b.y, b.w, b.h, caption);
  label->labelfont(font.face);
  label->labelsize(font.size);
  return label;
}

// A caption-less group box: an etched frame around its children.
Fl_Group* MakeGroupBox(int parentX, int parentY, const Bounds& b) {
  auto* group = new Fl_Group(parentX + b.x, parentY + b.y, b.w, b.h);
  group->box(FL_ENGRAVED_FRAME);
  return group;
}

}  // namespace

MainWindow::MainWindow(AnalysisState& state)
    : Fl_Window(kLeft, kTop, kClientWidth, kClientHeight, kCaption),
      state_(state),
      failureBox_(ShowFailureBox),
      logoPicture_(DecodeLogo()) {
  CreateComponents();
  state_.listener = this;
}

MainWindow::~MainWindow() {
  if (state_.listener == this) state_.listener = nullptr;
}

// The whole layout; children of a group are created between its begin() and end(), and the
// creation order is the tab order.
void MainWindow::CreateComponents() {
  BindFontFaces();
  begin();
  labelfont(kWindowFont.face);
  labelsize(kWindowFont.size);

  nameLabel = MakeLabel(0, 0, kNameLabel, kNameLabelCaption, kNameLabelFont);
  startTranButton = MakeButton(kStartTranButton, kStartTranCaption, StartTransientClicked, this);
  quitButton = MakeButton(kQuitButton, kQuitCaption, QuitClicked, this);

  nameInput = new Fl_Input(kNameInput.x, kNameInput.y, kNameInput.w, kNameInput.h);
  nameInput->textfont(kEditFont.face);
  nameInput->textsize(kEditFont.size);

  enterButton = MakeButton(kEnterButton, kEnterCaption, EnterNameClicked, this);
  startDcButton = MakeButton(kStartDcButton, kStartDcCaption, StartDcClicked, this);

  headerGroup = MakeGroupBox(0, 0, kHeaderGroup);
  logoImage_ = std::make_unique<Fl_RGB_Image>(logoPicture_.pixels.data(), logoPicture_.width,
                                              logoPicture_.height, 3);
  logo = new Fl_Box(kHeaderGroup.x + kLogo.x, kHeaderGroup.y + kLogo.y, kLogo.w, kLogo.h);
  logo->box(FL_NO_BOX);
  logo->image(logoImage_.get());
  departmentLabel = MakeLabel(kHeaderGroup.x, kHeaderGroup.y, kDepartmentLabel, kDepartmentCaption,
                              kDepartmentFont);
  labLabel = MakeLabel(kHeaderGroup.x, kHeaderGroup.y, kLabLabel, kLabCaption, kLabFont);
  headerGroup->end();

  leftBar = MakeGroupBox(0, 0, kLeftBar);
  leftBar->end();

  rightBar = MakeGroupBox(0, 0, kRightBar);
  rightBarInner = MakeGroupBox(kRightBar.x, kRightBar.y, kRightBarInner);
  rightBarInner->end();
  rightBar->end();

  middleBar = MakeGroupBox(0, 0, kMiddleBar);
  middleBar->end();

  // Components keep their place and size when the window is resized: the only part that
  // stretches is an empty corner beyond all of them.
  auto* corner = new Fl_Box(kClientWidth - 1, kClientHeight - 1, 1, 1);
  corner->box(FL_NO_BOX);
  resizable(corner);
  end();

  xclass("etherm");
  callback(OnClose, this);
  startTranButton->take_focus();
}

void MainWindow::show() {
  Fl_Window::show();
  SetLegacyTitle(*this);
}

void MainWindow::OnEnterName() {
  state_.baseName = nameInput->value();
  DrawStatusLine(kStatusX, kEnteredY, kEnteredText);
  DrawStatusLine(kStatusX, kBaseNameY, state_.baseName);
}

void MainWindow::OnStartDc() {
  RunAnalysis(RunDcAnalysis, report::AnalysisKind::kDc);
}

void MainWindow::OnStartTransient() {
  RunAnalysis(RunTransientAnalysis, report::AnalysisKind::kTransient);
}

void MainWindow::OnQuit() {
  while (Fl_Window* window = Fl::first_window()) window->hide();
}

void MainWindow::RunAnalysis(void (*analysis)(AnalysisState&), report::AnalysisKind kind) {
  // The result of an earlier run would stand beside files this run is rewriting.
  if (resultWindow_) resultWindow_->hide();
  // The event loop stops for the whole run: show the released button and a busy cursor first.
  cursor(FL_CURSOR_WAIT);
  Fl::flush();
  std::string failureText;
  bool failed = false;
  AnalysisListener* const display = state_.listener;
  report::RunRecorder recorder(state_, kind, display);
  state_.listener = &recorder;
  try {
    analysis(state_);
  } catch (const std::exception& failure) {
    // Failure is the expected kind; anything else from a library is shown the same way rather
    // than ending the program.
    failed = true;
    failureText = failure.what();
  }
  state_.listener = display;
  std::optional<RunResult> result;
  if (auto finished = recorder.Finish(!failed)) {
    result = RunResult{state_.baseName, finished->summary, "", ""};
    if (!finished->problem.empty()) {
      result->summary += "the CSV files stop short: " + finished->problem + "\n";
    }
    if (finished->filesWritten) {
      result->summary += "results written: " + finished->files + "\n";
      const report::PlotStatus plot = recorder.Plot();
      result->summary += plot.message + "\n";
      if (plot.kind == report::PlotStatus::Kind::kWritten) {
        result->picture = state_.baseName + ".png";
      } else {
        result->note = plot.message;
      }
    } else {
      result->note = "no results to plot";
    }
  }
  cursor(FL_CURSOR_DEFAULT);
  // A click or key press made while the run went on must not start anything once it is over:
  // a second run would empty the files of this one.
  DiscardPendingInput();
  if (result) {
    if (resultView_) {
      resultView_(*result);
    } else {
      ShowResultWindow(*result);
    }
  }
  if (failed) failureBox_(failureText);
}

void MainWindow::ShowResultWindow(const RunResult& result) {
  if (!resultWindow_) resultWindow_ = std::make_unique<ResultWindow>();
  // Beside the main window where the screen allows, else over its right part.
  resultWindow_->ShowResult(result, x() + w() + 10, y());
}

void MainWindow::StatusChanged(StatusLine line, std::string_view text) {
  switch (line) {
    case StatusLine::kIteration:
      return DrawStatusLine(kStatusX, kIterationStatusY, text);
    case StatusLine::kSimulator:
      return DrawStatusLine(kStatusX, kSimulatorStatusY, text);
    case StatusLine::kPosition:
      return DrawStatusLine(kStatusX, kPositionStatusY, text);
  }
}

void MainWindow::DrawStatusLine(int x, int y, std::string_view text) {
  if (!shown()) return;
  DrawOpaqueText(*this, x, y, text, kWindowFont.face, kWindowFont.size, color(),
                 FL_FOREGROUND_COLOR);
}

}  // namespace etherm
