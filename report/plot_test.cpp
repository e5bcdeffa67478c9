#include "report/plot.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "process/child.h"
#include "report/run_report.h"
#include "report/started_gnuplot.h"
#include "testing/scratch_folder.h"

namespace etherm::report {
namespace {

namespace fs = std::filesystem;
using etherm::testing::ReadBytes;
using etherm::testing::ScratchFolder;
using etherm::testing::WriteBytes;

using process::ChildResult;

// A helper program on empty input, its output discarded and its errors kept.
ChildResult RunQuietly(const std::vector<std::string>& argv) {
  process::ChildRequest request;
  request.argv = argv;
  request.searchPath = true;
  request.input = "";
  request.discardOutput = true;
  request.captureError = true;
  request.timeout = std::chrono::seconds(20);
  return process::Run(request);
}

bool GnuplotInstalled() {
  ChildResult probe = RunQuietly({"gnuplot", "--version"});
  return probe.outcome == ChildResult::Outcome::kExited && probe.exitStatus == 0;
}

unsigned BigEndian(const std::string& bytes, size_t at) {
  unsigned value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void ExpectPng800x600(const std::string& file) {
  std::string bytes = ReadBytes(file);
  ASSERT_GE(bytes.size(), 24u) << file;
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(bytes.substr(12, 4), "IHDR");
  EXPECT_EQ(BigEndian(bytes, 16), 800u);
  EXPECT_EQ(BigEndian(bytes, 20), 600u);
}

void ExpectXml(const std::string& file) {
  ChildResult lint = RunQuietly({"xmllint", "--noout", file});
  if (lint.outcome == ChildResult::Outcome::kNotStarted) {
    std::string text = ReadBytes(file);  // no xmllint: at least a whole SVG document
    EXPECT_EQ(text.rfind("<?xml", 0), 0u);
    EXPECT_NE(text.find("</svg>"), std::string::npos);
    return;
  }
  EXPECT_EQ(lint.outcome, ChildResult::Outcome::kExited);
  EXPECT_EQ(lint.exitStatus, 0) << lint.errorText;
}

// Runs a small analysis report in the current folder.
RunDescription Report(const std::string& base, AnalysisKind kind, int rows) {
  RunDescription run{kind, base, kind == AnalysisKind::kDc ? "V1" : "", {"QA", "Q,B"}, {"V(1,2)"}};
  RunReport report(run);
  for (int i = 0; i < rows; ++i) {
    double x = kind == AnalysisKind::kDc ? 0.5 * i : 1e-4 * i;
    report.Accepted({x, {295.0 + 3 * i, 295.0 + i * i}, {0.5 * i, 2.0}, {1.0}});
    report.Iterated({i + 1, x, std::nullopt, {295, 295}, {296, 296}, 1, 0.1, {}});
  }
  report.Finish();
  return run;
}

TEST(Plot, DrawsBothPicturesWhateverTheBaseName) {
  if (!GnuplotInstalled()) GTEST_SKIP() << "gnuplot is not installed";
  struct Case {
    std::string base;
    AnalysisKind kind;
  };
  // Names gnuplot would otherwise read as a command ('<'), a data block ('$') or a macro ('@').
  const Case cases[] = {{"plain", AnalysisKind::kDc},
                        {"it's @odd \"name\" x", AnalysisKind::kTransient},
                        {"<touch pwned", AnalysisKind::kDc},
                        {"$block", AnalysisKind::kTransient}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.base);
    ScratchFolder folder(ScratchFolder::Enter::kYes);
    RunDescription run = Report(c.base, c.kind, 6);
    PlotStatus status = PlotRun(run);
    EXPECT_EQ(status.kind, PlotStatus::Kind::kWritten) << status.message;
    EXPECT_EQ(status.message, "plot written: " + c.base + ".svg, " + c.base + ".png");
    ExpectPng800x600(c.base + ".png");
    ExpectXml(c.base + ".svg");
    EXPECT_NE(ReadBytes(c.base + ".svg").find(">QA<"), std::string::npos) << "legend";
    EXPECT_FALSE(fs::exists("pwned.csv")) << "a command ran";
    EXPECT_FALSE(fs::exists(c.base + ".svg.part"));
    EXPECT_FALSE(fs::exists(c.base + ".png.part"));
  }
}

// Sets an environment variable while it lives.
class EnvironmentVariable {
 public:
  EnvironmentVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    ::setenv(name, value.c_str(), 1);
  }
  ~EnvironmentVariable() {
    if (had_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(Plot, MissingGnuplotIsSkippedNotFailed) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  RunDescription run = Report("run", AnalysisKind::kDc, 3);
  PlotStatus status = PlotRun(run, {".", "etherm-no-such-plotter"});
  EXPECT_EQ(status.kind, PlotStatus::Kind::kSkipped);
  EXPECT_EQ(status.message,
            "plot skipped: etherm-no-such-plotter not found (Debian package gnuplot-nox)");
  fs::create_directory("empty");
  EnvironmentVariable path("PATH", (folder.path() / "empty").string());
  status = PlotRun(run);
  EXPECT_EQ(status.kind, PlotStatus::Kind::kSkipped);
  EXPECT_EQ(status.message, "plot skipped: gnuplot not found (Debian package gnuplot-nox)");
}

TEST(Plot, FailingPlotterLeavesEarlierPicturesAlone) {
  struct Case {
    const char* script;   // nullptr: a file that cannot be run
    std::string message;  // after "plot failed: " and the program's name
  };
  const Case cases[] = {
      {"cat >/dev/null; echo '  plot x' >&2; echo '\"<stdin>\" line 3: boom' >&2; exit 1",
       " exited with status 1: \"<stdin>\" line 3: boom"},
      {"exec sleep 30", " did not finish within 1 s; stopped"},
      {"cat >/dev/null", " wrote no \"run.svg.part\""},
      {"kill -9 $$", " ended by signal 9"},
      {nullptr, ": Permission denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ScratchFolder folder(ScratchFolder::Enter::kYes);
    RunDescription run = Report("run", AnalysisKind::kTransient, 3);
    WriteBytes("run.svg", "old svg");
    WriteBytes("run.png", "old png");
    std::string program = folder.File("fake-plotter");
    WriteBytes(program, std::string("#!/bin/sh\n") + (c.script ? c.script : "") + "\n");
    ::chmod(program.c_str(), c.script ? 0755 : 0644);
    PlotStatus status = PlotRun(run, {".", program, std::chrono::milliseconds(300)});
    EXPECT_EQ(status.kind, PlotStatus::Kind::kFailed);
    std::string prefix = c.script ? "plot failed: " : "plot failed: cannot start ";
    EXPECT_EQ(status.message, prefix + program + c.message);
    EXPECT_EQ(ReadBytes("run.svg"), "old svg");
    EXPECT_EQ(ReadBytes("run.png"), "old png");
    EXPECT_FALSE(fs::exists("run.svg.part"));
    EXPECT_FALSE(fs::exists("run.png.part"));
  }
}

TEST(Plot, NothingToDraw) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  RunDescription run = Report("run", AnalysisKind::kDc, 0);
  EXPECT_EQ(PlotRun(run).message, "plot skipped: \"run.csv\" holds no accepted rows");
  run.baseName = "missing";
  EXPECT_EQ(PlotRun(run).message, "plot failed: \"missing.csv\": File not found");
}

// A gnuplot started before the results exist draws the pictures a fresh one draws, byte for byte.
TEST(Plot, AGnuplotStartedAheadDrawsTheSamePictures) {
  if (!GnuplotInstalled()) GTEST_SKIP() << "gnuplot is not installed";
  for (const AnalysisKind kind : {AnalysisKind::kDc, AnalysisKind::kTransient}) {
    ScratchFolder folder(ScratchFolder::Enter::kYes);
    const std::unique_ptr<StartedGnuplot> started = StartedGnuplot::Start();
    ASSERT_TRUE(started);
    RunDescription run = Report("run", kind, 6);
    ASSERT_EQ(PlotRun(run).kind, PlotStatus::Kind::kWritten);
    const std::string svg = ReadBytes("run.svg"), png = ReadBytes("run.png");
    fs::remove("run.svg");
    fs::remove("run.png");
    PlotOptions options;
    options.started = started.get();
    const PlotStatus status = PlotRun(run, options);
    EXPECT_EQ(status.kind, PlotStatus::Kind::kWritten) << status.message;
    EXPECT_EQ(ReadBytes("run.svg"), svg);
    EXPECT_EQ(ReadBytes("run.png"), png);
  }
}

// A plotter started ahead that ended before the script came is replaced by a fresh one; one
// never given a script ends with its owner, also when it does not end by itself.
TEST(Plot, AStartedPlotterThatEndedIsReplacedAndAnUnusedOneEnds) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  RunDescription run = Report("run", AnalysisKind::kDc, 3);
  const std::string program = folder.File("fake-plotter");
  WriteBytes(program,
             "#!/bin/sh\necho $$ >> pids\n"
             "[ -e first ] || { touch first; exit 0; }\n"
             "cat >/dev/null; echo svg > run.svg.part; echo png > run.png.part\n");
  ::chmod(program.c_str(), 0755);
  {
    const std::unique_ptr<StartedGnuplot> started = StartedGnuplot::Start(program);
    ASSERT_TRUE(started);
    for (int wait = 0; wait < 500 && !fs::exists("first"); ++wait) ::usleep(10000);
    ::usleep(100000);  // ended by now
    PlotOptions options{".", program};
    options.started = started.get();
    const PlotStatus status = PlotRun(run, options);
    EXPECT_EQ(status.kind, PlotStatus::Kind::kWritten) << status.message;
    EXPECT_EQ(ReadBytes("run.svg"), "svg\n");
  }
  for (const char* body : {"cat >/dev/null", "exec sleep 30"}) {
    SCOPED_TRACE(body);
    WriteBytes(program, std::string("#!/bin/sh\necho $$ > pid\n") + body + "\n");
    fs::remove("pid");
    {
      const std::unique_ptr<StartedGnuplot> started = StartedGnuplot::Start(program);
      ASSERT_TRUE(started);
      for (int wait = 0; wait < 500 && ReadBytes("pid").empty(); ++wait) ::usleep(10000);
    }
    const pid_t pid = std::atoi(ReadBytes("pid").c_str());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(pid, 0), -1) << "still running";
    EXPECT_EQ(errno, ESRCH);
  }
  EXPECT_EQ(StartedGnuplot::Start(folder.File("no-such-plotter")), nullptr);
}

}  // namespace
}  // namespace etherm::report
