#include <FL/Fl.H>
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "app/failure_box.h"
#include "app/main_window_layout.h"
#include "app/result_window.h"
#include "app/window_test_support.h"
#include "textio/failure.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;

int LineCount(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

void CopyExample(const std::string& example, const fs::path& dir, const std::string& base) {
  for (const char* extension : {".cir", ".par"}) {
    fs::copy_file(fs::path(ETHERM_EXAMPLES_DIR) / example / (example + extension),
                  dir / (base + extension));
  }
}

// Passes status lines on to the window; the first one of a run also runs an action there,
// in the middle of the run.
class DuringRun : public AnalysisListener {
 public:
  DuringRun(MainWindow& window, std::function<void()> action)
      : window_(window), action_(std::move(action)) {}
  void StatusChanged(StatusLine line, std::string_view text) override {
    if (text == "startuję") ++iterations;
    if (action_) std::exchange(action_, nullptr)();
    window_.StatusChanged(line, text);
  }
  int iterations = 0;

 private:
  MainWindow& window_;
  std::function<void()> action_;
};

// Names another simulator program for the test's duration.
class SimulatorProgram {
 public:
  explicit SimulatorProgram(const char* program) {
    if (const char* previous = getenv("ETHERM_SIMULATOR")) previous_ = previous;
    setenv("ETHERM_SIMULATOR", program, 1);
  }
  ~SimulatorProgram() {
    if (previous_.empty()) {
      unsetenv("ETHERM_SIMULATOR");
    } else {
      setenv("ETHERM_SIMULATOR", previous_.c_str(), 1);
    }
  }
  SimulatorProgram(const SimulatorProgram&) = delete;
  SimulatorProgram& operator=(const SimulatorProgram&) = delete;

 private:
  std::string previous_;
};

struct FailureBoxSeen {
  bool shown = false;
  std::string text;
};

// Runs in the failure box's own event loop: reads the text it shows, then closes it by key.
void ReadAndCloseFailureBox(void* data) {
  auto* seen = static_cast<FailureBoxSeen*>(data);
  auto* box = dynamic_cast<FailureBox*>(Fl::modal());
  if (box == nullptr || !box->shown()) {
    Fl::repeat_timeout(0.05, ReadAndCloseFailureBox, data);
    return;
  }
  seen->shown = true;
  char* text = box->text->buffer()->text();
  seen->text = text;
  free(text);
  PressKey(*box, ' ');
}

TEST_F(MainWindowTest, StartWithoutProblemFileShowsFileNotFoundAndStaysUsable) {
  ShowWindow();
  // No name entered yet: the problem file is ".par", and there is none.
  Click(*window_, *window_->startDcButton);
  Click(*window_, *window_->startDcButton);
  Click(*window_, *window_->startTranButton);
  EXPECT_EQ(failures_, (std::vector<std::string>{"File not found: .par", "File not found: .par",
                                                 "File not found: .par"}));
  EXPECT_TRUE(window_->shown());
  Enter("next");
  EXPECT_EQ(state_.baseName, "next");
}

TEST_F(MainWindowTest, StartDcOnAnExampleCompletesAndLeavesItsFiles) {
  CopyExample("diode_dc", dir_, "diode_dc");
  ShowWindow();
  // A failed start first: the next one must not be hindered by it.
  Click(*window_, *window_->startDcButton);
  ASSERT_EQ(failures_, std::vector<std::string>{"File not found: .par"});

  Enter("diode_dc");
  Click(*window_, *window_->startDcButton);
  EXPECT_EQ(failures_.size(), 1u) << failures_.back();

  // One line per settled sweep point in each accumulated file: 1 V to 7 V.
  for (const char* file : {"diode_dc.wyn", "diode_dc.moc", "diode_dc.tem"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(LineCount(dir_ / file), 7);
  }
  EXPECT_TRUE(fs::exists(dir_ / "wyniki.txt"));

  // The run's status lines stand on the window until it repaints.
  const int height = StatusHeight();
  const int width = TextWidth("startuję", FL_HELVETICA, 11);
  EXPECT_EQ(ReadWindow(*window_, main_window_layout::kStatusX,
                       main_window_layout::kIterationStatusY, width, height),
            RenderStatusLine(*window_, "startuję", width, height));
  EXPECT_GT(DarkPixels(ReadWindow(*window_, main_window_layout::kStatusX,
                                  main_window_layout::kPositionStatusY, 60, height)),
            20);
}

TEST_F(MainWindowTest, StartTranRunsTheTransientAnalysis) {
  // The MOSFET switch example cut to its first 0.3 ms: a few windows, the switch turning on.
  CopyExample("mosfet_switch_tran", dir_, "switch");
  {
    std::ifstream in(dir_ / "switch.par", std::ios::binary);
    std::string problem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t endTime = problem.find("0.006 ");
    ASSERT_NE(endTime, std::string::npos);
    problem.replace(endTime, 6, "0.0003");
    std::ofstream(dir_ / "switch.par", std::ios::binary) << problem;
  }
  ShowWindow();
  Enter("switch");
  Click(*window_, *window_->startTranButton);
  EXPECT_TRUE(failures_.empty()) << failures_.front();
  // Only the transient run keeps a term-rise history: one line at the start, one a window.
  EXPECT_GT(LineCount(dir_ / "switch.spl"), 2);
  for (const char* file : {"switch.wyn", "switch.moc", "switch.tem"}) {
    SCOPED_TRACE(file);
    EXPECT_GT(LineCount(dir_ / file), 10);
  }
  const int height = StatusHeight();
  const int width = TextWidth("t0 =", FL_HELVETICA, 11);
  EXPECT_EQ(ReadWindow(*window_, main_window_layout::kStatusX, main_window_layout::kPositionStatusY,
                       width, height),
            RenderStatusLine(*window_, "t0 =", width, height));
}

TEST_F(MainWindowTest, ClicksAndKeysDuringARunAreDroppedNotCarriedOutAfterIt) {
  CopyExample("diode_dc", dir_, "diode_dc");
  ShowWindow();
  Enter("diode_dc");
  // Mid-run the user clicks "Start DC" again, then presses Space and Enter on it (it has the
  // focus from the first click). Carried out after the run, each would start another run.
  DuringRun duringRun(*window_, [this] {
    SendClick(*window_, *window_->startDcButton);
    SendKey(*window_, XK_space);
    SendKey(*window_, XK_Return);
  });
  state_.listener = &duringRun;
  Click(*window_, *window_->startDcButton);
  const int iterations = duringRun.iterations;
  ASSERT_GT(iterations, 0);
  RunEventLoopBriefly();
  EXPECT_EQ(duringRun.iterations, iterations);
  EXPECT_TRUE(failures_.empty()) << failures_.front();
  EXPECT_EQ(LineCount(dir_ / "diode_dc.wyn"), 7);

  // Input after the run is carried out as usual.
  ASSERT_EQ(Fl::focus(), window_->startDcButton);
  fs::remove(dir_ / "diode_dc.par");
  SendKey(*window_, XK_space);
  RunEventLoopBriefly();
  EXPECT_EQ(failures_, std::vector<std::string>{"File not found: diode_dc.par"});
  state_.listener = window_.get();
}

TEST_F(MainWindowTest, FailureBoxShowsTheFailureTextExactly) {
  // '@' and '&' mean symbols and shortcuts in the toolkit's labels; here they are plain text.
  const std::string base = "r&d@lab";
  CopyExample("diode_dc", dir_, base);
  const SimulatorProgram noResults("/bin/true");
  std::string expected;
  try {
    state_.baseName = base;
    RunDcAnalysis(state_);
  } catch (const Failure& failure) {
    expected = failure.what();
  }
  ASSERT_NE(expected.find("\"" + base + "1.csd\""), std::string::npos) << expected;

  // A window of its own failure box, not the test's collector.
  window_ = std::make_unique<MainWindow>(state_);
  ShowWindow();
  Enter(base);
  FailureBoxSeen seen;
  Fl::add_timeout(0.1, ReadAndCloseFailureBox, &seen);
  Click(*window_, *window_->startDcButton);
  Fl::remove_timeout(ReadAndCloseFailureBox, &seen);
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.text, expected);
  EXPECT_TRUE(window_->shown());
}

// Sets an environment variable for the test's duration.
class EnvironmentVariable {
 public:
  EnvironmentVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* previous = getenv(name)) previous_ = previous, had_ = true;
    setenv(name, value.c_str(), 1);
  }
  ~EnvironmentVariable() {
    if (had_) {
      setenv(name_, previous_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  EnvironmentVariable(const EnvironmentVariable&) = delete;
  EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

 private:
  const char* name_;
  std::string previous_;
  bool had_ = false;
};

bool GnuplotInstalled() {
  return std::system("gnuplot --version >/dev/null 2>&1") == 0;
}

TEST_F(MainWindowTest, ARunEndsWithItsSummaryAndPlotInTheResultWindow) {
  CopyExample("diode_dc", dir_, "diode_dc");
  ShowWindow();
  Enter("diode_dc");
  Click(*window_, *window_->startDcButton);
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_TRUE(failures_.empty()) << failures_.front();
  EXPECT_EQ(results_[0].baseName, "diode_dc");
  EXPECT_NE(results_[0].summary.find("\nDPWR "), std::string::npos) << results_[0].summary;
  EXPECT_NE(results_[0].summary.find("\nresults written: diode_dc.csv, diode_dc.iterations.csv\n"),
            std::string::npos)
      << results_[0].summary;

  // The window itself. Without gnuplot the plot's place says where to get it.
  window_->SetResultView(nullptr);
  fs::create_directory(dir_ / "no-programs");
  {
    const EnvironmentVariable path("PATH", (dir_ / "no-programs").string());
    Click(*window_, *window_->startDcButton);
  }
  ResultWindow* result = window_->resultWindow();
  ASSERT_NE(result, nullptr);
  ASSERT_TRUE(result->shown());
  Settle(*result);
  const std::string skipped = "plot skipped: gnuplot not found (Debian package gnuplot-nox)";
  EXPECT_EQ(result->plot->image(), nullptr);
  ASSERT_NE(result->plot->label(), nullptr);
  EXPECT_EQ(std::string(result->plot->label()), skipped);
  const std::string summary = result->SummaryText();
  EXPECT_EQ(summary.rfind("DC analysis \"diode_dc\": 7 accepted points", 0), 0u) << summary;
  EXPECT_TRUE(summary.ends_with("\n" + skipped)) << summary;
  EXPECT_GT(DarkPixels(ReadWindow(*result, result->summary->x(), result->summary->y(),
                                  result->summary->w(), result->summary->h())),
            200)
      << "the summary is drawn";

  if (!GnuplotInstalled()) GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
  Click(*window_, *window_->startDcButton);
  ASSERT_TRUE(result->shown());
  Settle(*result);
  ASSERT_NE(result->plot->image(), nullptr);
  EXPECT_EQ(result->plot->image()->w(), result->plot->w());
  // The plot area shows a picture, not its white background: axes, labels and the curves.
  const Pixels plot = ReadWindow(*result, result->plot->x(), result->plot->y(), result->plot->w(),
                                 result->plot->h());
  std::set<unsigned> colours;
  int nonWhite = 0;
  for (std::size_t i = 0; i + 2 < plot.size(); i += 3) {
    const unsigned colour = plot[i] << 16 | plot[i + 1] << 8 | plot[i + 2];
    colours.insert(colour);
    nonWhite += colour != 0xFFFFFF;
  }
  EXPECT_GT(colours.size(), 10u);
  EXPECT_GT(nonWhite, static_cast<int>(plot.size() / 3 / 100)) << "at least 1 % drawn";
}

}  // namespace
}  // namespace etherm
