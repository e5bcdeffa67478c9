// The window as a tool: the status panel and progress bar, "Stop" and Esc during a run, the
// file chooser and the working folder, the result window beside the main one, the language.
#include <FL/Fl.H>
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <libintl.h>
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/language.h"
#include "app/main_window_layout.h"
#include "app/result_window.h"
#include "app/window_drawing.h"
#include "app/window_test_support.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;
namespace layout = main_window_layout;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int LineCount(const fs::path& file) {
  const std::string text = ReadAll(file);
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

void CopyExample(const std::string& example, const fs::path& dir, const std::string& base) {
  for (const char* extension : {".cir", ".par"}) {
    fs::copy_file(fs::path(ETHERM_EXAMPLES_DIR) / example / (example + extension),
                  dir / (base + extension));
  }
}

// The MOSFET switch example cut to its first 0.3 ms: a few windows.
void CopyShortTransient(const fs::path& dir) {
  CopyExample("mosfet_switch_tran", dir, "switch");
  std::string problem = ReadAll(dir / "switch.par");
  const std::size_t endTime = problem.find("0.006 ");
  ASSERT_NE(endTime, std::string::npos);
  problem.replace(endTime, 6, "0.0003");
  std::ofstream(dir / "switch.par", std::ios::binary) << problem;
}

// Passes every report on to the window; at the n-th accepted row first does an action there,
// as the user would in the middle of the run.
class AtAcceptedRow : public AnalysisListener {
 public:
  AtAcceptedRow(MainWindow& window, int row, std::function<void()> action)
      : window_(window), row_(row), action_(std::move(action)) {}
  void StatusChanged(StatusLine line, std::string_view text) override {
    window_.StatusChanged(line, text);
  }
  void IterationFinished(const IterationReport& report) override {
    window_.IterationFinished(report);
  }
  void Accepted(std::span<const AcceptedPoint> rows) override {
    rows_ += static_cast<int>(rows.size());
    if (rows_ >= row_ && action_) {
      std::exchange(action_, nullptr)();
      // What was sent is in the display connection before the window looks at its input.
      SyncDisplay();
    }
    window_.Accepted(rows);
  }
  int rows() const { return rows_; }

 private:
  MainWindow& window_;
  int row_;
  std::function<void()> action_;
  int rows_ = 0;
};

// The captions of the shown window fit their boxes, in whatever language they are.
void ExpectCaptionsFit(MainWindow& w) {
  for (Fl_Button* button : {w.startTranButton, w.quitButton, w.enterButton, w.startDcButton,
                            w.browseButton, w.stopButton}) {
    SCOPED_TRACE(button->label());
    EXPECT_LE(TextWidth(button->label(), button->labelfont(), button->labelsize()),
              button->w() - 8);
  }
  for (TextLabel* label : {w.nameLabel, w.departmentLabel, w.labLabel, w.folderCaptionLabel}) {
    SCOPED_TRACE(label->label());
    EXPECT_LE(TextWidth(label->label(), label->labelfont(), label->labelsize()),
              label->w() + (label == w.nameLabel ? 8 : 0));
  }
}

// Every line of the file is whole: the file is empty or ends with a line end.
void ExpectWholeLines(const fs::path& file) {
  const std::string text = ReadAll(file);
  EXPECT_TRUE(text.empty() || text.back() == '\n') << file;
}

std::string Label(const Fl_Widget* widget) {
  return widget->label() != nullptr ? widget->label() : "";
}

TEST_F(MainWindowTest, EveryStatusLineStandsInTheStatusPanelAwayFromTheHeader) {
  const Fl_Group& panel = *window_->statusPanel;
  const Fl_Group& header = *window_->headerGroup;
  const int height = StatusHeight();
  struct Line {
    const char* name;
    int x, y;
    int width;  // room the line may take
  } lines[] = {
      {"iteration", layout::kStatusX, layout::kIterationStatusY, 230},
      {"simulator", layout::kStatusX, layout::kSimulatorStatusY, 230},
      {"position", layout::kStatusX, layout::kPositionStatusY, 230},
      {"entered", layout::kEnteredX, layout::kEnteredY, 230},
      {"base name", layout::kEnteredX, layout::kBaseNameY, 230},
  };
  for (const Line& line : lines) {
    SCOPED_TRACE(line.name);
    EXPECT_GT(line.x, panel.x());
    EXPECT_LE(line.x + line.width, panel.x() + panel.w());
    EXPECT_GT(line.y, panel.y());
    EXPECT_LE(line.y + height, window_->progressBar->y());
    EXPECT_GT(line.y, header.y() + header.h());
  }
  // The panel below every designed component, within the window.
  for (Fl_Widget* w :
       {static_cast<Fl_Widget*>(window_->quitButton), static_cast<Fl_Widget*>(window_->leftBar),
        static_cast<Fl_Widget*>(window_->rightBar), static_cast<Fl_Widget*>(window_->middleBar)}) {
    EXPECT_LE(w->y() + w->h(), panel.y());
  }
  EXPECT_LE(panel.y() + panel.h(), window_->h());
  EXPECT_EQ(window_->progressBar->parent(), &panel);
  EXPECT_EQ(window_->stopButton->parent(), &panel);
  EXPECT_FALSE(window_->stopButton->active()) << "no run to stop";

  // The entered name's lines are drawn there.
  ShowWindow();
  ExpectCaptionsFit(*window_);
  Enter("amp");
  const int width = TextWidth("wprowadziłem", FL_HELVETICA, 11);
  EXPECT_EQ(ReadWindow(*window_, layout::kEnteredX, layout::kEnteredY, width, height),
            RenderStatusLine(*window_, "wprowadziłem", width, height));
}

TEST_F(MainWindowTest, ProgressBarShowsTheAcceptedPositionAgainstTheEnd) {
  CopyExample("diode_dc", dir_, "diode_dc");
  ShowWindow();
  Enter("diode_dc");
  // Mid-run the bar shows the share done; the stop button can be pressed.
  std::vector<std::string> seen;
  std::vector<bool> stopActive;
  AtAcceptedRow atThird(*window_, 3, [&] {});
  struct Watch : AnalysisListener {
    AtAcceptedRow& next;
    MainWindow& window;
    std::vector<std::string>& seen;
    std::vector<bool>& stopActive;
    Watch(AtAcceptedRow& n, MainWindow& w, std::vector<std::string>& s, std::vector<bool>& a)
        : next(n), window(w), seen(s), stopActive(a) {}
    void StatusChanged(StatusLine line, std::string_view text) override {
      next.StatusChanged(line, text);
    }
    void Accepted(std::span<const AcceptedPoint> rows) override {
      next.Accepted(rows);
      seen.push_back(Label(window.progressBar));
      stopActive.push_back(window.stopButton->active() != 0);
    }
  } watch(atThird, *window_, seen, stopActive);
  state_.listener = &watch;
  Click(*window_, *window_->startDcButton);
  state_.listener = window_.get();
  ASSERT_TRUE(failures_.empty()) << failures_.front();
  // The sweep runs from 1 V in steps of 1 V up to 8 V, which it does not reach.
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[0], "dc = 1 z 7 (14 %)");
  EXPECT_EQ(seen[3], "dc = 4 z 7 (57 %)");
  EXPECT_EQ(seen[6], "dc = 7 z 7 (100 %)");
  EXPECT_EQ(stopActive, std::vector<bool>(7, true));
  EXPECT_FALSE(window_->stopButton->active());
  EXPECT_FLOAT_EQ(window_->progressBar->value(), 1.0f);

  // The transient bar: simulated time of the end time.
  CopyShortTransient(dir_);
  Enter("switch");
  Click(*window_, *window_->startTranButton);
  ASSERT_TRUE(failures_.empty()) << failures_.front();
  EXPECT_EQ(Label(window_->progressBar), "t = 0.0003 s z 0.0003 s (100 %)");
}

TEST_F(MainWindowTest, StopOrEscEndsTheRunKeepingWholeLinesAndTheNextRunStartsAfresh) {
  CopyExample("diode_dc", dir_, "diode_dc");
  CopyShortTransient(dir_);
  ShowWindow();
  struct Case {
    const char* name;
    const char* base;
    bool transient;
    std::function<void(MainWindow&)> stop;
  } cases[] = {
      {"Stop clicked in a DC run", "diode_dc", false,
       [](MainWindow& w) { SendClick(w, *w.stopButton); }},
      {"Esc in a DC run", "diode_dc", false, [](MainWindow& w) { SendKey(w, XK_Escape); }},
      {"Stop clicked in a transient run", "switch", true,
       [](MainWindow& w) { SendClick(w, *w.stopButton); }},
      {"Esc in a transient run", "switch", true, [](MainWindow& w) { SendKey(w, XK_Escape); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    results_.clear();
    failures_.clear();
    Enter(c.base);
    AtAcceptedRow stopAtSecond(*window_, 2, [&] { c.stop(*window_); });
    state_.listener = &stopAtSecond;
    Click(*window_, c.transient ? *window_->startTranButton : *window_->startDcButton);
    state_.listener = window_.get();
    // A stop is no failure: the result shows what the run kept, with no plot.
    EXPECT_TRUE(failures_.empty()) << failures_.front();
    ASSERT_EQ(results_.size(), 1u);
    EXPECT_NE(results_[0].summary.find("stopped by the user\n"), std::string::npos)
        << results_[0].summary;
    EXPECT_TRUE(results_[0].picture.empty());
    EXPECT_EQ(results_[0].note, "plot skipped: the run was stopped");
    EXPECT_TRUE(Label(window_->progressBar).ends_with(" — zatrzymano"))
        << Label(window_->progressBar);
    EXPECT_FALSE(window_->stopButton->active());
    const std::string base = c.base;
    for (const std::string extension : {".wyn", ".moc", ".tem", ".csv", ".iterations.csv"}) {
      SCOPED_TRACE(extension);
      ExpectWholeLines(dir_ / (base + extension));
    }
    if (!c.transient) {
      // Stopped at the second point: the next one is never simulated.
      EXPECT_EQ(LineCount(dir_ / "diode_dc.wyn"), 2);
    }
    const int stoppedLines = LineCount(dir_ / (base + ".wyn"));

    // The stop does not outlast its run.
    results_.clear();
    Click(*window_, c.transient ? *window_->startTranButton : *window_->startDcButton);
    EXPECT_TRUE(failures_.empty()) << failures_.front();
    ASSERT_EQ(results_.size(), 1u);
    EXPECT_EQ(results_[0].summary.find("stopped"), std::string::npos);
    EXPECT_GT(LineCount(dir_ / (base + ".wyn")), stoppedLines);
    if (!c.transient) {
      EXPECT_EQ(LineCount(dir_ / "diode_dc.wyn"), 7);
    }
  }
}

TEST_F(MainWindowTest, ClosingTheWindowDuringARunStopsItAndEndsTheProgram) {
  CopyExample("diode_dc", dir_, "diode_dc");
  ShowWindow();
  Enter("diode_dc");
  AtAcceptedRow closeAtSecond(*window_, 2, [this] { Fl::handle(FL_CLOSE, window_.get()); });
  state_.listener = &closeAtSecond;
  Click(*window_, *window_->startDcButton);
  state_.listener = window_.get();
  EXPECT_FALSE(window_->shown());
  EXPECT_TRUE(failures_.empty()) << failures_.front();
  EXPECT_TRUE(results_.empty());
  EXPECT_EQ(LineCount(dir_ / "diode_dc.wyn"), 2);
  ExpectWholeLines(dir_ / "diode_dc.wyn");
}

TEST_F(MainWindowTest, TheFileChooserSetsTheWorkingFolderAndEntersTheName) {
  ShowWindow();
  const fs::path folder = dir_ / "circuits" / "amp ł";
  fs::create_directories(folder);
  std::ofstream(folder / "amp.par") << "";
  std::optional<std::string> offered;
  window_->SetFileChooser([&] { return offered.value_or(""); });

  // Cancelled: nothing changes.
  window_->nameInput->value("before");
  Click(*window_, *window_->browseButton);
  EXPECT_EQ(fs::current_path(), dir_);
  EXPECT_EQ(window_->folderLabel->path(), dir_.string());
  EXPECT_STREQ(window_->nameInput->value(), "before");
  EXPECT_EQ(state_.baseName, "");

  struct Case {
    const char* name;
    fs::path chosen;
    fs::path folder;       // expected working folder
    const char* baseName;  // expected
  } cases[] = {
      {"a problem file", folder / "amp.par", folder, "amp"},
      {"its circuit file", dir_ / "circuits" / "amp ł" / "amp.cir", folder, "amp"},
      {"a relative path", fs::path("..") / "x.y.par", dir_ / "circuits", "x.y"},
      {"another extension stays", dir_ / "notes.txt", dir_, "notes.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    offered = c.chosen.string();
    Click(*window_, *window_->browseButton);
    EXPECT_EQ(fs::current_path(), c.folder);
    EXPECT_EQ(window_->folderLabel->path(), c.folder.string());
    EXPECT_STREQ(window_->nameInput->value(), c.baseName);
    EXPECT_EQ(state_.baseName, c.baseName);
  }
  EXPECT_TRUE(failures_.empty()) << failures_.front();

  // A folder that cannot be entered: said, and nothing changes.
  offered = (dir_ / "missing" / "a.par").string();
  Click(*window_, *window_->browseButton);
  EXPECT_EQ(failures_, std::vector<std::string>{"Cannot change to the folder \"" +
                                                (dir_ / "missing").string() +
                                                "\": No such file or directory"});
  EXPECT_EQ(fs::current_path(), dir_);
  EXPECT_EQ(window_->folderLabel->path(), dir_.string());
  EXPECT_EQ(state_.baseName, "notes.txt");

  // The run takes the chosen problem from the chosen folder.
  CopyExample("diode_dc", folder, "diode_dc");
  failures_.clear();
  offered = (folder / "diode_dc.par").string();
  Click(*window_, *window_->browseButton);
  Click(*window_, *window_->startDcButton);
  EXPECT_TRUE(failures_.empty()) << failures_.front();
  EXPECT_EQ(LineCount(folder / "diode_dc.wyn"), 7);
}

TEST_F(MainWindowTest, ALongFolderShowsItsEndAfterAnEllipsis) {
  ShowWindow();
  FolderLabel& label = *window_->folderLabel;
  label.SetPath("/short");
  EXPECT_EQ(label.ShownText(), "/short");
  const std::string longPath = "/home/user/" + std::string(80, 'x') + "/projekty/wzmacniacz ł";
  label.SetPath(longPath);
  const std::string shown = label.ShownText();
  EXPECT_TRUE(shown.starts_with("…")) << shown;
  EXPECT_TRUE(longPath.ends_with(shown.substr(std::string("…").size()))) << shown;
  EXPECT_TRUE(shown.ends_with("/projekty/wzmacniacz ł")) << shown;
  EXPECT_LE(TextWidth(shown, label.labelfont(), label.labelsize()), label.w());
}

TEST_F(MainWindowTest, TheResultWindowStandsBesideTheMainWindow) {
  // The test screen is 1024 x 768, where the result window once covered the main window.
  window_->SetResultView(nullptr);
  window_->position(layout::kLeft, layout::kTop);
  window_->show();
  Settle(*window_);
  window_->ShowResultWindow(RunResult{"x", "summary\n", "", "no plot"});
  ResultWindow& result = *window_->resultWindow();
  Settle(result);
  int sx, sy, sw, sh;
  Fl::screen_work_area(sx, sy, sw, sh);
  const bool apart =
      result.x() >= window_->x() + window_->w() || result.x() + result.w() <= window_->x();
  EXPECT_TRUE(apart) << "result " << result.x() << "+" << result.w() << ", main " << window_->x()
                     << "+" << window_->w();
  for (Fl_Window* w : {static_cast<Fl_Window*>(window_.get()), static_cast<Fl_Window*>(&result)}) {
    EXPECT_GE(w->x(), sx);
    EXPECT_LE(w->x() + w->w(), sx + sw);
    EXPECT_GE(w->y(), sy);
    EXPECT_LE(w->y() + w->h(), sy + sh);
  }
  EXPECT_GE(result.w(), ResultWindow::MinWidth());
}

// Sets or unsets locale variables for the test's duration, then selects the language again.
class LocaleVariables {
 public:
  LocaleVariables() {
    for (const char* name : kNames) {
      const char* value = getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  ~LocaleVariables() {
    // The test program's own start: no locale asked for, the original texts.
    for (const char* name : kNames) unsetenv(name);
    SelectLanguage();
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) {
        setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }
  LocaleVariables(const LocaleVariables&) = delete;
  LocaleVariables& operator=(const LocaleVariables&) = delete;

  static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"};

 private:
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(MainWindowTest, TextsFollowTheLocaleAndTheFilesDoNot) {
  const LocaleVariables restore;
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> variables;
    bool english;
  } cases[] = {
      {"no language set", {}, false},
      {"C", {{"LANG", "C"}}, false},
      {"POSIX", {{"LC_ALL", "POSIX"}}, false},
      {"C with LANGUAGE", {{"LANG", "C"}, {"LANGUAGE", "en"}}, false},
      {"Polish", {{"LANG", "pl_PL.UTF-8"}}, false},
      {"English", {{"LANG", "en_US.UTF-8"}}, true},
      {"British English", {{"LANG", "en_GB"}}, true},
      {"LC_ALL before LANG", {{"LC_ALL", "en_US.UTF-8"}, {"LANG", "pl_PL.UTF-8"}}, true},
      {"LC_MESSAGES before LANG", {{"LC_MESSAGES", "pl_PL.UTF-8"}, {"LANG", "en_US.UTF-8"}}, false},
      {"a language without texts", {{"LANG", "de_DE.UTF-8"}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* name : LocaleVariables::kNames) unsetenv(name);
    for (const auto& [name, value] : c.variables) setenv(name, value, 1);
    SelectLanguage();
    MainWindow window(state_);
    const auto expect = [&](const Fl_Widget* widget, const char* polish, const char* english) {
      EXPECT_EQ(Label(widget), c.english ? english : polish);
    };
    expect(&window,
           "Analiza elektrotermiczna ukladów elektronicznych metodą rozdzielonych iteracji",
           "Electrothermal analysis of electronic circuits by separated iterations");
    expect(window.nameLabel, "Nazwa pliku wejściowego", "Input file name");
    expect(window.enterButton, "Wprowadź", "Enter");
    expect(window.quitButton, "Koniec", "Quit");
    expect(window.startTranButton, "Start TRAN", "Start TRAN");
    expect(window.startDcButton, "Start DC", "Start DC");
    expect(window.departmentLabel, "Katedra Elektroniki", "Dept. of Electronics");
    expect(window.labLabel, "Pracownia Elektrotermii", "Electrothermal Laboratory");
    expect(window.browseButton, "Przeglądaj…", "Browse…");
    expect(window.folderCaptionLabel, "Folder roboczy", "Working folder");
    expect(window.stopButton, "Zatrzymaj", "Stop");
    EXPECT_EQ(Tr("startuję"), c.english ? "starting" : "startuję");
    EXPECT_EQ(Tr("jest wynik"), c.english ? "result ready" : "jest wynik");
    EXPECT_EQ(Tr("jest pierwszy wynik"), c.english ? "first result ready" : "jest pierwszy wynik");
    EXPECT_EQ(Tr("wprowadziłem"), c.english ? "entered" : "wprowadziłem");
    // Numbers keep their point: the files a run writes do not change with the language.
    char number[16];
    std::snprintf(number, sizeof number, "%.1f", 2.5);
    EXPECT_STREQ(number, "2.5");
    state_.listener = window_.get();
  }
}

TEST_F(MainWindowTest, AnEnglishRunShowsEnglishAndWritesTheSpecifiedFiles) {
  CopyExample("diode_dc", dir_, "diode_dc");
  const LocaleVariables restore;
  setenv("LANG", "en_US.UTF-8", 1);
  SelectLanguage();
  window_ = std::make_unique<MainWindow>(state_);
  window_->SetFailureBox([this](const std::string& text) { failures_.push_back(text); });
  window_->SetResultView([this](const RunResult& result) { results_.push_back(result); });
  ShowWindow();
  ASSERT_EQ(Label(window_->enterButton), "Enter");
  ExpectCaptionsFit(*window_);
  Enter("diode_dc");
  const int height = StatusHeight();
  const int enteredWidth = TextWidth("entered", FL_HELVETICA, 11);
  EXPECT_EQ(ReadWindow(*window_, layout::kEnteredX, layout::kEnteredY, enteredWidth, height),
            RenderStatusLine(*window_, "entered", enteredWidth, height));
  Click(*window_, *window_->startDcButton);
  ASSERT_TRUE(failures_.empty()) << failures_.front();
  const int width = TextWidth("starting", FL_HELVETICA, 11);
  EXPECT_EQ(ReadWindow(*window_, layout::kStatusX, layout::kIterationStatusY, width, height),
            RenderStatusLine(*window_, "starting", width, height));
  EXPECT_EQ(Label(window_->progressBar), "dc = 7 of 7 (100 %)");
  // The run log keeps the specified Polish lines.
  const std::string log = ReadAll(dir_ / "wyniki.txt");
  EXPECT_NE(log.find("startuj\xEA"), std::string::npos);
  EXPECT_NE(log.find("pierwszy"), std::string::npos);
  EXPECT_EQ(log.find("starting"), std::string::npos);
  EXPECT_EQ(LineCount(dir_ / "diode_dc.wyn"), 7);
}

}  // namespace
}  // namespace etherm
