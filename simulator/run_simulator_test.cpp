#include "simulator/run_simulator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "process/spawn.h"
#include "testing/scratch_folder.h"
#include "textio/failure.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;

struct RecordedLine {
  StatusLine line;
  std::string text;
};

class RecordingListener : public AnalysisListener {
 public:
  void StatusChanged(StatusLine line, std::string_view text) override {
    lines.push_back({line, std::string(text)});
  }
  std::vector<RecordedLine> lines;
};

// Each test runs in its own folder with a stand-in simulator script it writes itself.
class RunSimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Write("my circuit1.cir", "* the circuit\r\n");
    Write("wyniki.txt", "");
    unsetenv("ETHERM_SIM_TIMEOUT");
  }
  void TearDown() override {
    unsetenv("ETHERM_SIMULATOR");
    unsetenv("ETHERM_SIM_TIMEOUT");
  }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void UseSimulator(const std::string& body) {
    const std::string path = folder_.File("stand-in-sim");
    Write(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    setenv("ETHERM_SIMULATOR", path.c_str(), 1);
  }
  std::string Fail(AnalysisKind kind) {
    try {
      RunSimulator(kIterationName, "wyniki.txt", kind, &display_);
    } catch (const Failure& f) {
      return f.what();
    }
    return "no failure";
  }
  // The run log as lines.
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const std::string log = Read("wyniki.txt");
    size_t start = 0, end;
    while ((end = log.find("\r\n", start)) != std::string::npos) {
      lines.push_back(log.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  testing::ScratchFolder folder_{testing::ScratchFolder::Enter::kYes};
  RecordingListener display_;
  const std::string kIterationName = "my circuit1";
};

bool IsClockText(const std::string& s) {
  return s.size() == 8 && s[2] == ':' && s[5] == ':';
}

TEST_F(RunSimulatorTest, TransientPassLeavesResultsBiasCopyAndLog) {
  // The stand-in checks it got exactly one argument, the name with its blank.
  UseSimulator(
      "[ \"$#\" = 1 ] && [ \"$1\" = 'my circuit1.cir' ] || exit 3\n"
      "echo bias > a1.bsp\necho data > 'my circuit1.csd'");
  Write("a2.bsp", "old bias");
  RunSimulator(kIterationName, "wyniki.txt", AnalysisKind::kTransient, &display_);
  EXPECT_EQ(Read("a1.cir"), "* the circuit\r\n");
  EXPECT_EQ(Read("a2.bsp"), "bias\n");
  EXPECT_FALSE(fs::exists("a1.bsp"));
  const auto log = LogLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "pierwszy");
  EXPECT_TRUE(IsClockText(log[1])) << log[1];
  ASSERT_EQ(display_.lines.size(), 1u);
  EXPECT_EQ(display_.lines[0].line, StatusLine::kSimulator);
  EXPECT_EQ(display_.lines[0].text, "jest pierwszy wynik");
}

TEST_F(RunSimulatorTest, DcPassDoesNotTouchBiasFiles) {
  UseSimulator("echo bias > a1.bsp\necho data > \"$1\".csd; mv \"$1\".csd 'my circuit1.csd'");
  RunSimulator(kIterationName, "wyniki.txt", AnalysisKind::kDc, &display_);
  EXPECT_TRUE(fs::exists("a1.bsp"));
  EXPECT_FALSE(fs::exists("a2.bsp"));
  ASSERT_EQ(display_.lines.size(), 1u);
  EXPECT_EQ(display_.lines[0].text, "jest wynik");
}

TEST_F(RunSimulatorTest, ThreePassesWithoutResultsFailQuotingTheListing) {
  UseSimulator(
      "echo run >> passes\n"
      "printf 'etherm-sim: early note\\nline 4: R1 1 0\\netherm-sim: resistor R1 has no value\\n' "
      "> 'my circuit1.out'\nexit 3");
  // A results file of an earlier run must not be taken for this run's.
  Write("my circuit1.csd", "stale");
  const std::string text = Fail(AnalysisKind::kDc);
  EXPECT_NE(text.find("no results file \"my circuit1.csd\" in 3 runs"), std::string::npos) << text;
  EXPECT_NE(text.find(": etherm-sim: resistor R1 has no value; see"), std::string::npos) << text;
  EXPECT_NE(text.find("\"my circuit1.out\""), std::string::npos) << text;
  EXPECT_EQ(Read("passes"), "run\nrun\nrun\n");
  const auto log = LogLines();
  ASSERT_EQ(log.size(), 6u);
  for (int pass = 0; pass < 3; ++pass) {
    EXPECT_EQ(log[2 * pass], "pierwszy");
    EXPECT_TRUE(IsClockText(log[2 * pass + 1]));
  }
}

TEST_F(RunSimulatorTest, ARefusalEndsAtOnceOtherEndsAreTriedAgain) {
  const std::string refusal =
      "printf 'etherm-sim listing\\netherm-sim: error in my circuit1.cir: line 6: .CONTROL "
      "blocks are not accepted\\n' > 'my circuit1.out'\n";
  struct Case {
    const char* what;
    std::string body;
    const char* passes;
    std::string text;
  } cases[] = {
      {"refusal", refusal + "exit 1", "run\n",
       "The circuit simulator refused \"my circuit1.cir\": line 6: .CONTROL blocks are not "
       "accepted; see its listing \"my circuit1.out\""},
      {"exit 1 without a reason in the listing", "exit 1", "run\nrun\nrun\n",
       "The circuit simulator wrote no results file \"my circuit1.csd\" in 3 runs"},
      {"a crash, no listing", "kill -SEGV $$", "run\nrun\nrun\n",
       "The circuit simulator wrote no results file \"my circuit1.csd\" in 3 runs "
       "(stand-in-sim ended by signal SIGSEGV on my circuit1.cir)"},
      {"a crash after the refusal's words", refusal + "kill -ABRT $$", "run\nrun\nrun\n",
       "The circuit simulator wrote no results file \"my circuit1.csd\" in 3 runs "
       "(stand-in-sim ended by signal SIGABRT on my circuit1.cir): etherm-sim: error in my "
       "circuit1.cir: line 6: .CONTROL blocks are not accepted; see its listing \"my "
       "circuit1.out\""},
  };
  for (const Case& c : cases) {
    fs::remove("passes");
    fs::remove("my circuit1.out");
    UseSimulator("echo run >> passes\n" + c.body);
    EXPECT_EQ(Fail(AnalysisKind::kDc), c.text) << c.what;
    EXPECT_EQ(Read("passes"), c.passes) << c.what;
  }
}

TEST_F(RunSimulatorTest, HangingSimulatorIsEndedAtTheTimeLimit) {
  UseSimulator("exec sleep 60");
  setenv("ETHERM_SIM_TIMEOUT", "0.3", 1);
  const auto start = std::chrono::steady_clock::now();
  const std::string text = Fail(AnalysisKind::kTransient);
  EXPECT_NE(text.find("time limit"), std::string::npos) << text;
  // Three passes of 0.3 s, not three minutes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

// A simulator stopped between fork and exec held etherm-batch for ever: the limit counts from
// the child's start.
TEST_F(RunSimulatorTest, ASimulatorStoppedBeforeItsStartIsEndedAtTheTimeLimit) {
  UseSimulator("echo data > 'my circuit1.csd'");
  setenv("ETHERM_SIM_TIMEOUT", "0.3", 1);
  process::StopChildrenBeforeExecForTesting(true);
  const std::string text = Fail(AnalysisKind::kTransient);
  process::StopChildrenBeforeExecForTesting(false);
  EXPECT_NE(text.find("a run exceeded the time limit"), std::string::npos) << text;
  EXPECT_EQ(LogLines().size(), 6u);  // three passes, each logged
}

// The scratch copies are files of their own: a link under their names (another run's circuit
// behind a1.cir, any file behind a2.bsp) is replaced, never written through.
TEST_F(RunSimulatorTest, ScratchCopiesAreNeverWrittenThroughALink) {
  UseSimulator("echo bias > a1.bsp\necho data > 'my circuit1.csd'");
  Write("other run.cir", "* another circuit\r\n");
  fs::create_hard_link("other run.cir", "a2.bsp");
  fs::create_symlink("other run.cir", "a1.cir");
  RunSimulator(kIterationName, "wyniki.txt", AnalysisKind::kTransient, &display_);
  EXPECT_EQ(Read("a2.bsp"), "bias\n");
  EXPECT_EQ(Read("a1.cir"), "* the circuit\r\n");
  EXPECT_EQ(Read("other run.cir"), "* another circuit\r\n");
}

TEST_F(RunSimulatorTest, MissingProgramFailsAtOnce) {
  setenv("ETHERM_SIMULATOR", folder_.File("no-such-simulator").c_str(), 1);
  const std::string text = Fail(AnalysisKind::kDc);
  EXPECT_NE(text.find("no-such-simulator\" cannot be started"), std::string::npos) << text;
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(RunSimulatorTest, BadTimeLimitIsRefused) {
  UseSimulator("exit 0");
  setenv("ETHERM_SIM_TIMEOUT", "soon", 1);
  EXPECT_NE(Fail(AnalysisKind::kDc).find("ETHERM_SIM_TIMEOUT"), std::string::npos);
}

}  // namespace
}  // namespace etherm
