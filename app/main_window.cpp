#include "app/main_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#include "analysis/analysis.h"
#include "app/failure_box.h"
#include "app/language.h"
#include "app/main_window_layout.h"
#include "app/pending_input.h"
#include "app/push_button.h"
#include "app/result_window.h"
#include "app/window_drawing.h"
#include "app/window_title.h"
#include "report/run_recorder.h"
#include "simulator/child_process.h"

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
void BrowseClicked(Fl_Widget*, void* window) {
  WindowOf(window).OnBrowse();
}
void StopClicked(Fl_Widget*, void* window) {
  WindowOf(window).OnStop();
}
// Enter in the name field: what a click on "Wprowadź" does, the button shown pressed.
void NameEntered(Fl_Widget*, void* window) {
  MainWindow& w = WindowOf(window);
  static_cast<PushButton*>(w.enterButton)->ShowPressed();
  w.OnEnterName();
}

std::string NativeFileChooser() {
  Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
  const std::string title = Tr(kChooserTitle);
  const std::string filter = Tr(kChooserFilter);
  chooser.title(title.c_str());
  chooser.filter(filter.c_str());
  std::error_code ec;
  const std::string folder = std::filesystem::current_path(ec).string();
  if (!ec) chooser.directory(folder.c_str());
  if (chooser.show() != 0 || chooser.filename() == nullptr) return "";
  return chooser.filename();
}

// The number as the progress shows it: 4 significant digits, no exponent for everyday sizes.
std::string ShortNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

MainWindow* g_runningWindow = nullptr;

// Closing the window ends the program; Escape, which FLTK would treat as closing, does not.
void OnClose(Fl_Widget*, void* window) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  WindowOf(window).OnQuit();
}

Fl_Button* MakeButton(const Bounds& b, const char* caption, Fl_Callback* onClick, void* window) {
  auto* button = new PushButton(b.x, b.y, b.w, b.h, nullptr);
  button->copy_label(Tr(caption).c_str());
  button->labelfont(kButtonFont.face);
  button->labelsize(kButtonFont.size);
  button->callback(onClick, window);
  return button;
}

TextLabel* MakeLabel(int parentX, int parentY, const Bounds& b, const char* caption,
                     const FontStyle& font) {
  auto* label = new TextLabel(parentX + b.x, parentY + b.y, b.w, b.h, nullptr);
  label->copy_label(Tr(caption).c_str());
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
    : Fl_Window(kLeft, kTop, kClientWidth, kClientHeight),
      state_(state),
      failureBox_(ShowFailureBox),
      fileChooser_(NativeFileChooser),
      logoPicture_(DecodeLogo()) {
  copy_label(Tr(kCaption).c_str());
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
  nameInput->when(FL_WHEN_ENTER_KEY_ALWAYS);
  nameInput->callback(NameEntered, this);
  browseButton = MakeButton(kBrowseButton, kBrowseCaption, BrowseClicked, this);

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

  folderCaptionLabel = MakeLabel(0, 0, kFolderCaptionLabel, kFolderCaption, kNameLabelFont);
  folderLabel = new FolderLabel(kFolderLabel.x, kFolderLabel.y, kFolderLabel.w, kFolderLabel.h);
  folderLabel->labelfont(kWindowFont.face);
  folderLabel->labelsize(kWindowFont.size);
  std::error_code ec;
  folderLabel->SetPath(std::filesystem::current_path(ec).string());

  statusPanel = MakeGroupBox(0, 0, kStatusPanel);
  progressBar = new Fl_Progress(kProgressBar.x, kProgressBar.y, kProgressBar.w, kProgressBar.h);
  progressBar->minimum(0);
  progressBar->maximum(1);
  progressBar->value(0);
  // Light enough for the black text over it.
  progressBar->selection_color(fl_rgb_color(150, 205, 150));
  progressBar->labelfont(kWindowFont.face);
  progressBar->labelsize(kWindowFont.size);
  progressBar->labelcolor(FL_FOREGROUND_COLOR);
  stopButton = MakeButton(kStopButton, kStopCaption, StopClicked, this);
  stopButton->tooltip("Esc");
  // Reached by the mouse and by Esc, never by Tab: a key meant for another button must not stop.
  stopButton->clear_visible_focus();
  stopButton->deactivate();
  statusPanel->end();

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
  DrawStatusLine(kEnteredX, kEnteredY, Tr(kEnteredText));
  DrawStatusLine(kEnteredX, kBaseNameY, state_.baseName);
}

void MainWindow::OnBrowse() {
  if (running_) return;
  const std::string chosen = fileChooser_ ? fileChooser_() : NativeFileChooser();
  if (chosen.empty()) return;
  // The window repaints where the chooser stood before the status lines are drawn over it.
  SyncDisplay();
  Fl::check();
  TakeProblemFile(chosen);
}

void MainWindow::TakeProblemFile(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path file(path);
  const fs::path folder = file.parent_path();
  if (!folder.empty() && chdir(folder.c_str()) != 0) {
    failureBox_("Cannot change to the folder \"" + folder.string() + "\": " + std::strerror(errno));
    return;
  }
  std::error_code ec;
  const fs::path now = fs::current_path(ec);
  folderLabel->SetPath(ec ? folder.string() : now.string());
  // The base name is what the analyses add ".par" and ".cir" to.
  fs::path name = file.filename();
  if (name.extension() == ".par" || name.extension() == ".cir") name.replace_extension();
  nameInput->value(name.string().c_str());
  OnEnterName();
}

void MainWindow::OnStop() {
  if (!running_ || stopRequested_) return;
  stopRequested_ = true;
  // As Ctrl-C in etherm-batch: the simulator is ended and the analysis stops at its next step
  // with "interrupted", closing its files after their last whole line.
  InterruptChild(SIGINT);
  stopButton->deactivate();
  progressText_ += Tr(" — zatrzymuję…");
  progressBar->copy_label(progressText_.c_str());
}

void MainWindow::OnStartDc() {
  RunAnalysis(RunDcAnalysis, report::AnalysisKind::kDc);
}

void MainWindow::OnStartTransient() {
  RunAnalysis(
      [](AnalysisState& state) {
        TransientOptions options;
        options.engine = TransientEngine::kContinuousWhereServed;
        RunTransientAnalysis(state, options);
      },
      report::AnalysisKind::kTransient);
}

void MainWindow::OnQuit() {
  while (Fl_Window* window = Fl::first_window()) window->hide();
}

// During a run: only a click on "Stop", Esc and closing the window are carried out; every
// other click or key is dropped, as a second run would empty the files of this one.
int MainWindow::DispatchDuringRun(int event, Fl_Window* window) {
  MainWindow* running = g_runningWindow;
  if (running == nullptr) return Fl::handle_(event, window);
  switch (event) {
    case FL_PUSH:
      if (window == running && running->stopButton->active() &&
          Fl::event_inside(running->stopButton)) {
        return Fl::handle_(event, window);
      }
      return 1;
    case FL_RELEASE:
    case FL_DRAG:
      if (Fl::pushed() == running->stopButton) return Fl::handle_(event, window);
      return 1;
    case FL_KEYDOWN:
    case FL_SHORTCUT:
      if (Fl::event_key() == FL_Escape) running->OnStop();
      return 1;
    case FL_CLOSE:
      // Closing ends the program once the run has stopped.
      running->quitRequested_ = true;
      running->OnStop();
      return 1;
    case FL_KEYUP:
    case FL_MOVE:
    case FL_MOUSEWHEEL:
    case FL_PASTE:
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_LEAVE:
    case FL_DND_RELEASE:
      return 1;
    default:
      return Fl::handle_(event, window);
  }
}

void MainWindow::SimulatorAdvanced(double) {
  KeepAnswering();
}

void MainWindow::KeepAnswering() {
  if (running_ && shown()) Fl::check();
}

void MainWindow::ShowProgress() {
  if (!running_) return;
  const Problem& problem = state_.problem;
  const bool dc = runKind_ == report::AnalysisKind::kDc;
  double start = 0.0;
  double end = problem.endTime;
  if (dc) {
    // The sweep stops before its end value: the last point is the last step short of it.
    start = problem.sweepStart;
    end = start;
    if (problem.sweepStep != 0) {
      const double steps = std::ceil((problem.sweepEnd - start) / problem.sweepStep - 1e-9) - 1;
      if (std::isfinite(steps) && steps > 0) end = start + steps * problem.sweepStep;
    }
  }
  const double at = lastAccepted_.value_or(start);
  // A DC point counts as done once accepted: the first of n is 1/n of the sweep.
  const double step = dc ? problem.sweepStep : 0.0;
  double share = 0.0;
  if (lastAccepted_) {
    share = end + step != start ? (at + step - start) / (end + step - start) : 1.0;
  }
  if (!std::isfinite(share)) share = 0.0;
  share = std::clamp(share, 0.0, 1.0);
  // A transient run ends a little past its end time.
  const double shownAt = share >= 1.0 ? end : at;
  const std::string percent = std::to_string(static_cast<int>(std::floor(share * 100))) + " %";
  progressText_ = (dc ? TrFormat("dc = {1} z {2}", ShortNumber(shownAt), ShortNumber(end))
                      : TrFormat("t = {1} s z {2} s", ShortNumber(shownAt), ShortNumber(end))) +
                  " (" + percent + ")";
  if (stopRequested_) progressText_ += Tr(" — zatrzymuję…");
  progressBar->value(static_cast<float>(share));
  progressBar->copy_label(progressText_.c_str());
}

void MainWindow::Accepted(std::span<const AcceptedPoint> rows) {
  if (!rows.empty()) lastAccepted_ = rows.back().x;
  ShowProgress();
  KeepAnswering();
}

void MainWindow::IterationFinished(const IterationReport&) {
  KeepAnswering();
}

void MainWindow::RunAnalysis(void (*analysis)(AnalysisState&), report::AnalysisKind kind) {
  if (running_) return;
  // The result of an earlier run would stand beside files this run is rewriting.
  if (resultWindow_) resultWindow_->hide();
  running_ = true;
  stopRequested_ = false;
  quitRequested_ = false;
  runKind_ = kind;
  lastAccepted_.reset();
  progressText_.clear();
  progressBar->value(0);
  progressBar->copy_label("");
  stopButton->activate();
  g_runningWindow = this;
  const Fl_Event_Dispatch previousDispatch = Fl::event_dispatch();
  Fl::event_dispatch(DispatchDuringRun);
  // The event loop runs only between the analysis's steps: show the released button, "Stop"
  // and a busy cursor first.
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
  Fl::event_dispatch(previousDispatch);
  g_runningWindow = nullptr;
  running_ = false;
  stopButton->deactivate();
  // A stop that came after the last simulator run did not end the run: it completed.
  const bool stopped = stopRequested_ && failed && failureText == "interrupted";
  // The interrupt stays recorded until cleared; the next run starts without it.
  if (InterruptSignal() != 0) InterruptChild(0);
  if (stopRequested_) {
    progressText_ = progressText_.substr(0, progressText_.find(Tr(" — zatrzymuję…")));
    progressText_ += stopped ? Tr(" — zatrzymano") : "";
    progressBar->copy_label(progressText_.c_str());
  }
  std::optional<RunResult> result;
  if (auto finished = recorder.Finish(!failed)) {
    result = RunResult{state_.baseName, finished->summary, "", ""};
    if (!finished->problem.empty()) {
      result->summary += "the CSV files stop short: " + finished->problem + "\n";
    }
    if (stopped) result->summary += "stopped by the user\n";
    if (finished->filesWritten && stopped) {
      // As after Ctrl-C in etherm-batch: no plot the user would wait for.
      result->summary += "results written: " + finished->files + "\n";
      result->note = "plot skipped: the run was stopped";
    } else if (finished->filesWritten) {
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
  if (quitRequested_) return OnQuit();
  if (result) {
    if (resultView_) {
      resultView_(*result);
    } else {
      ShowResultWindow(*result);
    }
  }
  if (failed && !stopped) failureBox_(failureText);
}

void MainWindow::ShowResultWindow(const RunResult& result) {
  if (!resultWindow_) resultWindow_ = std::make_unique<ResultWindow>();
  ScreenArea screen;
  Fl::screen_work_area(screen.x, screen.y, screen.w, screen.h, x() + w() / 2, y() + h() / 2);
  // The window manager's frames stand between the two windows.
  constexpr int kGap = 16;
  const ResultPlacement place = PlaceResultWindow(
      screen, {x(), y(), w(), h()}, ResultWindow::FullWidth(), ResultWindow::MinWidth(), kGap);
  if (place.mainX != x()) position(place.mainX, y());
  resultWindow_->ShowResult(result, place.result, y());
}

void MainWindow::StatusChanged(StatusLine line, std::string_view text) {
  // The run log keeps the analysis's own words; the window shows them in the user's language.
  const std::string shown = Tr(text);
  switch (line) {
    case StatusLine::kIteration:
      // The problem is read by now: the bar can show the end.
      ShowProgress();
      DrawStatusLine(kStatusX, kIterationStatusY, shown);
      break;
    case StatusLine::kSimulator:
      DrawStatusLine(kStatusX, kSimulatorStatusY, shown);
      break;
    case StatusLine::kPosition:
      DrawStatusLine(kStatusX, kPositionStatusY, shown);
      break;
  }
  KeepAnswering();
}

void MainWindow::DrawStatusLine(int x, int y, std::string_view text) {
  if (!shown()) return;
  DrawOpaqueText(*this, x, y, text, kWindowFont.face, kWindowFont.size, color(),
                 FL_FOREGROUND_COLOR);
}

}  // namespace etherm
