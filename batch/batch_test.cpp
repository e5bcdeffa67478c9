#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
  display.StatusChanged(StatusLine::kIteration, "startuję");
  display.StatusChanged(StatusLine::kSimulator, "jest pierwszy wynik");
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
  plain.StatusChanged(StatusLine::kPosition, "dc = 2.5");
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

  // Starts etherm-batch with args in the folder, its standard error going to stderr.txt and
  // ETHERM_SIMULATOR naming `simulator` when given. Returns its process id.
  pid_t Start(std::vector<std::string> args, const std::string& simulator) {
    const std::string program = bin_ + "/etherm-batch";
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int err = ::open((dir_ / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (::chdir(dir_.c_str()) != 0 || err < 0 || ::dup2(err, STDERR_FILENO) < 0) ::_exit(126);
      if (!simulator.empty()) ::setenv("ETHERM_SIMULATOR", simulator.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    return pid;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::filesystem::path dir_;
  std::string bin_;
};

const char kDiodeCircuit[] =
    "diode\nV1 1 0 DC 1\nR1 1 2 2\nD1 2 0 DP\n.MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75)\n"
    ".DC V1 1 3 1\n.PROBE/CSDF V(2) I(D1)\n.END\n";
const char kDiodeProblem[] = "DC\n1\n1\n1\n3\nDP 2 20 0\n1\n";

// True once the process is gone or a zombie, within 30 s.
bool ProcessEnds(pid_t pid) {
  for (int wait = 0; wait < 300; ++wait) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return true;
    const std::size_t close = text.rfind(')');
    if (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z')
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

TEST_F(BatchProgramTest, ExitStatusAndMessages) {
  BatchRun usage = Run("ac x");
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.errors.find("usage: etherm-batch dc BASE"), std::string::npos);

  BatchRun missing = Run("dc nothing");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.errors, "etherm-batch: File not found: nothing.par\n");

  Write("d.cir", kDiodeCircuit);
  Write("d.par", kDiodeProblem);
  BatchRun ok = Run("dc d");
  EXPECT_EQ(ok.status, 0) << ok.errors;
  EXPECT_EQ(ok.errors.rfind("startuję\njest wynik\ndc = ", 0), 0u) << ok.errors;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "d.tem"));
}

TEST_F(BatchProgramTest, AnInterruptEndsTheSimulatorAndClosesTheFiles) {
  Write("d.cir", kDiodeCircuit);
  Write("d.par", kDiodeProblem);
  // A simulator that hangs until it is ended.
  const std::string simulator = (dir_ / "hanging-sim").string();
  std::ofstream(simulator) << "#!/bin/sh\necho $$ > sim.pid.part && mv sim.pid.part sim.pid\n"
                              "exec sleep 120\n";
  ::chmod(simulator.c_str(), 0755);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signalNumber);
    std::filesystem::remove(dir_ / "sim.pid");
    const pid_t batch = Start({"dc", "d"}, simulator);
    ASSERT_GT(batch, 0);
    pid_t simulatorPid = 0;
    for (int wait = 0; wait < 600 && simulatorPid == 0; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::istringstream(Read("sim.pid")) >> simulatorPid;
    }
    ASSERT_GT(simulatorPid, 0) << Read("stderr.txt");
    ::kill(batch, signalNumber);
    int raw = 0;
    for (int wait = 0; wait < 300 && ::waitpid(batch, &raw, WNOHANG) == 0; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(WIFEXITED(raw)) << "etherm-batch did not end by itself";
    EXPECT_EQ(WEXITSTATUS(raw), 128 + signalNumber);
    const std::string errors = Read("stderr.txt");
    EXPECT_EQ(errors.substr(errors.rfind('\n', errors.size() - 2) + 1),
              "etherm-batch: interrupted\n")
        << errors;
    const bool ended = ProcessEnds(simulatorPid);
    EXPECT_TRUE(ended) << "the simulator outlived the analysis";
    if (!ended) ::kill(simulatorPid, SIGKILL);
    // The run log and the accumulated files hold whole lines.
    for (const char* name : {"wyniki.txt", "d.wyn", "d.moc", "d.tem"}) {
      ASSERT_TRUE(std::filesystem::exists(dir_ / name)) << name;
      const std::string text = Read(name);
      EXPECT_TRUE(text.empty() || text.ends_with("\r\n")) << name << ": " << text;
    }
    EXPECT_TRUE(Read("wyniki.txt").starts_with("startuj\xEA\r\n"));
  }
}

}  // namespace
}  // namespace etherm
