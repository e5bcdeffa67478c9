#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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
  display.Warning("device D1 reaches 1200.0 K at 0.001 s");
  display.Finish();
  EXPECT_EQ(ReadAll(out),
            "startuję\n"
            "iteration 3, accepted up to 0.0015 s of 0.01 s"
            "\r\033[Kjest pierwszy wynik\n"
            "iteration 3, accepted up to 0.0015 s of 0.01 s"
            "\r\033[Ketherm-batch: warning: device D1 reaches 1200.0 K at 0.001 s\n"
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

  std::string ReadBytes(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
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
  EXPECT_NE(usage.errors.find("usage: etherm-batch dc [--accelerate]"), std::string::npos);

  BatchRun missing = Run("dc nothing");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.errors, "etherm-batch: File not found: nothing.par\n");

  Write("d.cir", kDiodeCircuit);
  Write("d.par", kDiodeProblem);
  BatchRun ok = Run("dc d");
  EXPECT_EQ(ok.status, 0) << ok.errors;
  EXPECT_EQ(ok.errors.rfind("startuję\njest wynik\ndc = ", 0), 0u) << ok.errors;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "d.tem"));
  EXPECT_EQ(ok.errors.find("warning"), std::string::npos) << ok.errors;

  // 1 A and 2 A through 100 ohm of series resistance at 20 K/W: the device computes far beyond
  // any semiconductor; the run warns once and goes on.
  Write("d.cir",
        "diode\nI1 0 1 DC 1\nD1 1 0 DP\n.MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=100)\n"
        ".DC I1 1 3 1\n.PROBE/CSDF V(1) I(D1)\n.END\n");
  Write("d.par", "DC\n1\n1\n1\n3\nDP 2 20 0\n1\n");
  BatchRun hot = Run("dc d");
  EXPECT_EQ(hot.status, 0) << hot.errors;
  const std::string warning = "etherm-batch: warning: device DP reaches ";
  const std::size_t at = hot.errors.find(warning);
  ASSERT_NE(at, std::string::npos) << hot.errors;
  EXPECT_EQ(hot.errors.find(warning, at + 1), std::string::npos) << hot.errors;
  EXPECT_NE(hot.errors.find(" K at the sweep value 1, above", at), std::string::npos) << hot.errors;
}

TEST_F(BatchProgramTest, IterationFilesOfATransientRun) {
  Write("t.cir",
        "diode\nI1 0 1 PWL(0 0.1 0.5m 0.1 0.52m 2 10 2)\nD1 1 0 DP\n"
        ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042)\n.TRAN 10u 1m\n"
        ".PROBE/CSDF V(1) I(D1)\n.END\n");
  Write("t.par", "TRAN\n1\n0.001\nDP 2 1 25 1 0.0003 0\n0\n0\n0\n1\n");
  auto iterationFiles = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      n += name.size() > 5 && name[0] == 't' && std::isdigit(static_cast<unsigned char>(name[1]));
    }
    return n;
  };
  // Kept by default: a circuit file and a listing per iteration.
  BatchRun kept = Run("tran t");
  ASSERT_EQ(kept.status, 0) << kept.errors;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "t1.cir"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "t1.out"));
  const std::string tem = ReadBytes("t.tem");
  for (const char* args : {"--no-iteration-files tran t", "tran t --no-iteration-files"}) {
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (name[0] == 't' && std::isdigit(static_cast<unsigned char>(name[1]))) {
        std::filesystem::remove(e.path());
      }
    }
    BatchRun removed = Run(args);
    ASSERT_EQ(removed.status, 0) << args << ": " << removed.errors;
    EXPECT_EQ(iterationFiles(), 0) << args;
    EXPECT_EQ(ReadBytes("t.tem"), tem) << args << ": the results do not change";
  }
  EXPECT_EQ(Run("tran --no-iteration-files").status, 2);
}

// The folder of a run is a small tmpfs that the run fills before it accepts its first window:
// the earlier results stay byte for byte, and no scratch file is left taking space.
TEST_F(BatchProgramTest, FullDiskBeforeTheFirstWindowKeepsTheEarlierResults) {
  const std::filesystem::path in = dir_ / "in";
  std::filesystem::create_directories(in);
  const auto put = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(in / name, std::ios::binary) << bytes;
  };
  put("t.cir",
      "diode\r\nI1 0 1 PWL(0 0.1 0.5m 0.1 0.52m 2 10 2)\r\nD1 1 0 DP\r\n"
      ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042)\r\n.TRAN 10u 1m\r\n"
      ".PROBE/CSDF V(1) I(D1)\r\n.END\r\n");
  put("t.par", "TRAN\r\n1\r\n0.001\r\nDP 2 1 25 1 0.0003 0\r\n0\r\n0\r\n0\r\n1\r\n");
  const std::vector<std::string> earlier = {"wyniki.txt", "t.wyn", "t.moc", "t.tem", "t.spl"};
  for (const std::string& name : earlier) put(name, "earlier " + name + "\r\n");

  // Each size fills the disk at another step; the mount lives in a namespace of its own.
  const std::vector<std::string> sizes = {"32k", "48k", "64k"};
  std::string script = "set -u\n";
  for (const std::string& size : sizes) {
    const std::string m = "\"$D/disk_" + size + "\"";
    script += "mkdir -p " + m + " && mount -t tmpfs -o size=" + size + " tmpfs " + m +
              " || exit 77\n"
              "cp \"$D\"/in/* " +
              m +
              "/\n"
              "(cd " +
              m + " && \"$B/etherm-batch\" tran t 2>\"$D/err_" + size +
              "\" </dev/null; echo $? >\"$D/status_" + size +
              "\")\n"
              "mkdir \"$D/after_" +
              size + "\" && cp -a " + m + "/. \"$D/after_" + size + "\"/\numount " + m + "\n";
  }
  std::ofstream(dir_ / "disk.sh", std::ios::binary) << script;
  const std::string command = "D='" + dir_.string() + "' B='" + bin_ + "' unshare -rm sh '" +
                              (dir_ / "disk.sh").string() + "' 2>'" +
                              (dir_ / "unshare.txt").string() + "'";
  const int raw = std::system(command.c_str());
  if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) {
    GTEST_SKIP() << "a tmpfs cannot be mounted here (needs root or user namespaces): "
                 << ReadBytes("unshare.txt");
  }
  for (const std::string& size : sizes) {
    const std::string after = "after_" + size + "/";
    EXPECT_EQ(ReadBytes("status_" + size), "1\n") << size << ": " << ReadBytes("err_" + size);
    for (const std::string& name : earlier) {
      EXPECT_EQ(ReadBytes(after + name), "earlier " + name + "\r\n") << size << ": " << name;
    }
    for (const auto& e : std::filesystem::directory_iterator(dir_ / after)) {
      const std::string name = e.path().filename().string();
      EXPECT_EQ(name.find(".new"), std::string::npos) << size << ": left " << name;
      // The cut-short tables of the failed iteration go too; its circuit and listing stay.
      EXPECT_NE(name, "temp.txt") << size;
      for (const char* table : {".csd", ".txt", ".moc", ".tem"}) {
        EXPECT_FALSE(name.size() > 5 && name[0] == 't' && name.ends_with(table))
            << size << ": left " << name;
      }
    }
  }
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
    // Interrupted before its first accepted point, the run leaves no files of its own (an
    // earlier run's would stay); whatever is there holds whole lines.
    for (const char* name : {"wyniki.txt", "d.wyn", "d.moc", "d.tem"}) {
      if (!std::filesystem::exists(dir_ / name)) continue;
      const std::string text = Read(name);
      EXPECT_TRUE(text.empty() || text.ends_with("\r\n")) << name << ": " << text;
    }
  }
}

// The first device temperature of each line of a DC temperature table.
std::vector<double> FirstTemperatures(const std::string& table) {
  std::vector<double> values;
  std::istringstream in(table);
  std::string line;
  while (std::getline(in, line)) {
    double x = 0;
    double t = 0;
    if (std::istringstream(line) >> x >> t) values.push_back(t);
  }
  return values;
}

TEST_F(BatchProgramTest, AmbientOptionMovesEveryTemperature) {
  Write("d.cir", kDiodeCircuit);
  // Without thermal resistance the devices sit at the ambient itself.
  Write("d.par", "DC\n1\n1\n1\n3\nDP 2 0 0\n1\n");
  ASSERT_EQ(Run("dc --ambient 40 d").status, 0);
  const auto still = FirstTemperatures(Read("d.tem"));
  ASSERT_EQ(still.size(), 2u);
  for (double t : still) EXPECT_DOUBLE_EQ(t, 313.15);
  // With it, the rise above the ambient stays what it is at 295 K give or take the diode's own
  // change with temperature.
  Write("d.par", kDiodeProblem);
  ASSERT_EQ(Run("dc d").status, 0);
  const auto cool = FirstTemperatures(Read("d.tem"));
  ASSERT_EQ(Run("dc --ambient 40 d").status, 0);
  const auto warm = FirstTemperatures(Read("d.tem"));
  ASSERT_EQ(cool.size(), 2u);
  ASSERT_EQ(warm.size(), 2u);
  for (std::size_t n = 0; n < cool.size(); ++n) {
    EXPECT_NEAR(warm[n] - 313.15, cool[n] - 295, 0.2 * (cool[n] - 295) + 1.5);
  }
  for (const char* bad : {"--ambient", "--ambient x d", "--ambient -300 d", "--ambient 40C d"}) {
    const BatchRun run = Run(std::string("dc ") + bad);
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_NE(run.errors.find("--ambient needs a temperature"), std::string::npos) << bad;
  }
}

TEST_F(BatchProgramTest, DcRunWritesItsMarginsBesideTheResults) {
  Write("d.cir", kDiodeCircuit);
  Write("d.par", kDiodeProblem);
  ASSERT_EQ(Run("dc d").status, 0);
  const std::string margins = Read("d.margin.csv");
  ASSERT_EQ(margins.rfind("V1,margin_DP,runaway\n1,", 0), 0u) << margins;
  EXPECT_EQ(std::count(margins.begin(), margins.end(), '\n'), 3);  // header, points 1 and 2
  EXPECT_EQ(margins.find('\r'), std::string::npos);
}

TEST_F(BatchProgramTest, TemperatureLimitsListTheFirstPointAndThePeak) {
  Write("d.cir", kDiodeCircuit);
  Write("d.par", kDiodeProblem);
  ASSERT_EQ(Run("dc d").status, 0);
  const auto temperatures = FirstTemperatures(Read("d.tem"));
  ASSERT_EQ(temperatures.size(), 2u);  // V1 = 1 and 2, the second hotter
  const double first = temperatures[0] - 273.15;
  const double peak = temperatures[1] - 273.15;
  char peakText[32];
  std::snprintf(peakText, sizeof peakText, "peak %.1f °C at V1 = 2", peak);

  // A limit between the two points: only the second is over it.
  const std::string between = std::to_string(static_cast<int>((first + peak) / 2));
  for (const std::string& limits : {between, "DP=" + between, "500,DP=" + between}) {
    const BatchRun run = Run("dc --tmax " + limits + " d >out.txt");
    EXPECT_EQ(run.status, 3) << limits << run.errors;
    const std::string out = Read("out.txt");
    EXPECT_NE(out.find("DP above " + between + " °C at 1 point from V1 = 2; "), std::string::npos)
        << limits << "\n"
        << out;
    EXPECT_NE(out.find(peakText), std::string::npos) << out;
  }
  // Nothing over the limit: the run ends as without one.
  EXPECT_EQ(Run("dc --tmax 500 d >out.txt").status, 0);
  EXPECT_EQ(Read("out.txt"), "");

  struct Bad {
    const char* args;
    const char* message;
  } bad[] = {
      {"--tmax", "--tmax needs degrees Celsius"},
      {"--tmax abc d", "not a temperature: \"abc\""},
      {"--tmax DP= d", "not a temperature"},
      {"--tmax 100,150 d", "two limits for every device"},
      {"--tmax DP=100,DP=120 d", "a device named twice"},
      {"--tmax Q9=100 d", "--tmax names Q9, which d.par does not have; its devices are DP"},
  };
  for (const Bad& b : bad) {
    const BatchRun run = Run(std::string("dc ") + b.args);
    EXPECT_EQ(run.status, 2) << b.args;
    EXPECT_NE(run.errors.find(b.message), std::string::npos) << b.args << ": " << run.errors;
  }
}

}  // namespace
}  // namespace etherm
