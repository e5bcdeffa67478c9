#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "batch/batch_display.h"

namespace etherm {
namespace {

std::string ReadAll(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  return text;
}

TEST(BatchDisplay, StatusLinesAndProgressOnATerminal) {
  AnalysisState state;
  state.iterationNumber = 3;
  state.windowStartTime = 0.0015;
  state.analysisEnd = 0.01;
  std::FILE* out = std::tmpfile();
  BatchDisplay display(state, BatchDisplay::Analysis::kTransient, out, /*terminal=*/true);
  display.DrawStatusLine(30, 10, "startuję");
  display.DrawStatusLine(30, 30, "jest pierwszy wynik");
  display.Finish();
  EXPECT_EQ(ReadAll(out),
            "startuję\n"
            "iteration 3, accepted up to 0.0015 s of 0.01 s"
            "\r\033[Kjest pierwszy wynik\n"
            "iteration 3, accepted up to 0.0015 s of 0.01 s"
            "\r\033[K");
  std::fclose(out);

  // Not a terminal: the status lines alone.
  state.sweepValue = 2.5;
  state.analysisEnd = 5;
  out = std::tmpfile();
  BatchDisplay plain(state, BatchDisplay::Analysis::kDc, out, /*terminal=*/false);
  plain.DrawStatusLine(30, 60, "dc = 2.5");
  plain.Finish();
  EXPECT_EQ(ReadAll(out), "dc = 2.5\n");
  EXPECT_EQ(plain.ProgressText(), "iteration 3, sweep value 2.5 of 5");
  std::fclose(out);
}

// Runs etherm-batch in a scratch folder; returns its exit status and standard error.
struct BatchRun {
  int status;
  std::string errors;
};

class BatchProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("batch_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    const char* bin = std::getenv("ETHERM_BIN");
    ASSERT_NE(bin, nullptr);
    bin_ = bin;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Write(const std::string& name, const std::string& lines) {
    std::string bytes;
    for (char c : lines) {
      if (c == '\n') bytes += '\r';
      bytes += c;
    }
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  BatchRun Run(const std::string& args) {
    const std::string errors = (dir_ / "stderr.txt").string();
    const std::string command = "cd '" + dir_.string() + "' && '" + bin_ + "/etherm-batch' " +
                                args + " 2>'" + errors + "' </dev/null";
    const int raw = std::system(command.c_str());
    std::ifstream in(errors, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, s.str()};
  }

  std::filesystem::path dir_;
  std::string bin_;
};

TEST_F(BatchProgramTest, ExitStatusAndMessages) {
  BatchRun usage = Run("ac x");
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.errors.find("usage: etherm-batch dc BASE"), std::string::npos);

  BatchRun missing = Run("dc nothing");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.errors, "etherm-batch: File not found: nothing.par\n");

  Write("d.cir",
        "diode\nV1 1 0 DC 1\nR1 1 2 2\nD1 2 0 DP\n.MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75)\n"
        ".DC V1 1 3 1\n.PROBE/CSDF V(2) I(D1)\n.END\n");
  Write("d.par", "DC\n1\n1\n1\n3\nDP 2 20 0\n1\n");
  BatchRun ok = Run("dc d");
  EXPECT_EQ(ok.status, 0) << ok.errors;
  EXPECT_EQ(ok.errors.rfind("startuję\njest wynik\ndc = ", 0), 0u) << ok.errors;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "d.tem"));
}

}  // namespace
}  // namespace etherm
