#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/batch_display.h"
#include "testing/scratch_folder.h"

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
  state.problem.endTime = 0.01;
  std::FILE* out = std::tmpfile();
  BatchDisplay display(state, AnalysisKind::kTransient, out, /*terminal=*/true);
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
  state.problem.sweepEnd = 5;
  out = std::tmpfile();
  BatchDisplay plain(state, AnalysisKind::kDc, out, /*terminal=*/false);
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
  std::string output;  // standard output
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
  // `environment`: assignments put before the command ("PATH=/x").
  BatchRun Run(const std::string& args, const std::string& environment = "") {
    const std::string errors = (dir_ / "stderr.txt").string();
    const std::string output = (dir_ / "stdout.txt").string();
    const std::string command = "cd '" + dir_.string() + "' && " + environment + " '" + bin_ +
                                "/etherm-batch' " + args + " 2>'" + errors + "' >'" + output +
                                "' </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadBytes("stderr.txt"),
            ReadBytes("stdout.txt")};
  }
  void CopyExample(const std::string& example) {
    for (const char* extension : {".cir", ".par"}) {
      std::filesystem::copy_file(
          std::filesystem::path(ETHERM_EXAMPLES_DIR) / example / (example + extension),
          dir_ / (example + extension), std::filesystem::copy_options::overwrite_existing);
    }
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
  // Quiet by default: the status lines are in the run log; --verbose prints them too.
  BatchRun ok = Run("dc d");
  EXPECT_EQ(ok.status, 0) << ok.errors;
  EXPECT_EQ(ok.errors, "");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "d.tem"));
  EXPECT_NE(ReadBytes("wyniki.txt").find("startuj\xEA\r\n"), std::string::npos);
  BatchRun verbose = Run("dc --verbose d");
  EXPECT_EQ(verbose.status, 0) << verbose.errors;
  EXPECT_EQ(verbose.errors.rfind("startuję\njest wynik\ndc = ", 0), 0u) << verbose.errors;
  EXPECT_EQ(verbose.errors.find("warning"), std::string::npos) << verbose.errors;

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
  // The summary flags it above 150 °C without a --tmax; the exit status stays 0.
  EXPECT_NE(hot.output.find("too hot         DP peaks at "), std::string::npos) << hot.output;
  EXPECT_NE(hot.output.find(" °C, above 150 °C\n"), std::string::npos) << hot.output;
  EXPECT_EQ(ok.output.find("too hot"), std::string::npos) << ok.output;
}

// Asked for, the usage is the program's output: standard output, status 0; a mistake still
// shows it on standard error with status 2.
TEST_F(BatchProgramTest, EveryHelpOnStandardOutput) {
  const struct {
    const char* command;
    const char* start;
  } programs[] = {
      {"etherm-batch --help", "usage: etherm-batch dc "},
      {"etherm-batch -h", "usage: etherm-batch dc "},
      {"etherm-batch tran x --help", "usage: etherm-batch dc "},
      {"etherm-sweep --help", "usage: etherm-sweep prepare "},
      {"etherm-sweep -h", "usage: etherm-sweep prepare "},
      {"etherm-foster --help", "usage: etherm-foster fit "},
      {"etherm-sim --help", "usage: etherm-sim CIRCUIT.cir"},
  };
  for (const auto& program : programs) {
    const std::string command = "cd '" + dir_.string() + "' && '" + bin_ + "'/" + program.command +
                                " >out.txt 2>err.txt </dev/null";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << program.command;
    EXPECT_EQ(ReadBytes("out.txt").rfind(program.start, 0), 0u) << program.command;
    EXPECT_EQ(ReadBytes("err.txt"), "") << program.command;
  }
  BatchRun wrong = Run("tran");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.output, "");
  EXPECT_EQ(wrong.errors.rfind("usage: etherm-batch dc ", 0), 0u) << wrong.errors;
}

// The bundled diode_pulses_tran gives the diode model the .MODEL's parameters taken to 295 K:
// the model's current follows the simulator's and the run is silent. The same circuit with the
// .MODEL's numbers copied as they stand onto the kind line (they hold at ngspice's TNOM of
// 27 C, the model's at 295 K) is far off, and the run says so once.
TEST_F(BatchProgramTest, PowerModelWarningOnAMismatchedAndAMatchedDiode) {
  CopyExample("diode_pulses_tran");
  const auto shorten = [&](const std::string& name, const std::string& from,
                           const std::string& to) {
    std::string text = ReadBytes(name);
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    std::ofstream(dir_ / name, std::ios::binary) << text;
  };
  // 2 ms hold the first pulse: enough to tell.
  shorten("diode_pulses_tran.cir", ".TRAN 10u 10m", ".TRAN 10u 2m");
  shorten("diode_pulses_tran.par", "0.01        end time", "0.002       end time");
  const BatchRun matched = Run("tran --no-plot diode_pulses_tran");
  EXPECT_EQ(matched.status, 0) << matched.errors;
  EXPECT_EQ(matched.errors, "");

  shorten("diode_pulses_tran.par", "1 1.58E-9 1.75 0.04115 0 3 0 6.69E-11 2 0.33 0.703 ",
          "1 2.5E-9 1.75 0.042 0 3 0 1E-10 2 0.33 0.7 ");
  const BatchRun mismatched = Run("tran --no-plot diode_pulses_tran");
  EXPECT_EQ(mismatched.status, 0) << mismatched.errors;
  const std::string warning =
      "etherm-batch: warning: the power model of DPWR (kind 1) computes a "
      "junction current more than 10 % off the simulator's";
  const std::size_t at = mismatched.errors.find(warning);
  ASSERT_NE(at, std::string::npos) << mismatched.errors;
  EXPECT_EQ(mismatched.errors.find(warning, at + 1), std::string::npos) << "one warning";
  EXPECT_NE(mismatched.errors.find("TNOM=22", at), std::string::npos) << mismatched.errors;
}

// A power model that cannot be computed ends the run with a text naming the device, the
// parameter and the operation; the simulator's raw results and saved state of the failed
// iteration go, its circuit file and listing stay.
TEST_F(BatchProgramTest, AFailedTransientRunNamesTheModelAndLeavesNoRawResults) {
  Write("t.cir",
        "diode\nI1 0 1 PWL(0 0.1 0.5m 0.1 0.52m 2 10 2)\nD1 1 0 DP\n"
        ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042)\n.TRAN 10u 1m\n"
        ".PROBE/CSDF V(1) I(D1)\n.END\n");
  // Kind 1 with an emission coefficient of 0.
  Write(
      "t.par",
      "TRAN\n1\n0.001\nDP 2 1 25 1 0.0003 0\n1 2.5E-9 0 0.042 0 3 0 0 2 0.33 0.7 0.004\n0\n0\n0\n");
  const BatchRun failed = Run("tran t");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.errors.find("etherm-batch: power model of device DP, junction diode model "
                               "(kind 1) at 295.0 K: "),
            std::string::npos)
      << failed.errors;
  EXPECT_NE(failed.errors.find("p2 emission coefficient N = 0"), std::string::npos)
      << failed.errors;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "t1.cir"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "t1.out"));
  for (const char* name : {"t1.csd", "t1.stan"}) {
    EXPECT_FALSE(std::filesystem::exists(dir_ / name)) << name;
  }
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
  BatchRun kept = Run("tran t");  // the continuous engine: one circuit and listing
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
              m + " && \"$B/etherm-batch\" tran --engine windowed t 2>\"$D/err_" + size +
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

// Two analyses in one folder shared the run log and the simulator's scratch circuit: the second
// could simulate the first one's circuit and end with status 0.
TEST_F(BatchProgramTest, ASecondAnalysisInTheFolderIsRefusedAtOnce) {
  Write("d.cir", kDiodeCircuit);
  Write("d.par", kDiodeProblem);
  ASSERT_EQ(Run("dc d").status, 0);
  const std::string results = Read("d.tem");
  const std::string log = Read("wyniki.txt");
  const char* refusal = "etherm-batch: Another analysis is running in this folder; ";

  // Whoever holds the folder's lock, the run is refused before it touches a file.
  const int folder = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  ASSERT_EQ(::flock(folder, LOCK_EX | LOCK_NB), 0);
  for (const char* args : {"dc d", "tran d"}) {
    const BatchRun second = Run(args);
    EXPECT_EQ(second.status, 1) << args;
    EXPECT_EQ(second.errors.rfind(refusal, 0), 0u) << second.errors;
  }
  EXPECT_EQ(Read("d.tem"), results);
  EXPECT_EQ(Read("wyniki.txt"), log);
  ::close(folder);

  // A running analysis holds it; killed, it holds it no more.
  const std::string simulator = (dir_ / "hanging-sim").string();
  std::ofstream(simulator) << "#!/bin/sh\necho $$ > sim.pid.part && mv sim.pid.part sim.pid\n"
                              "exec sleep 120\n";
  ::chmod(simulator.c_str(), 0755);
  const pid_t first = Start({"dc", "d"}, simulator);
  ASSERT_GT(first, 0);
  pid_t simulatorPid = 0;
  for (int wait = 0; wait < 600 && simulatorPid == 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::istringstream(Read("sim.pid")) >> simulatorPid;
  }
  ASSERT_GT(simulatorPid, 0) << Read("stderr.txt");
  const BatchRun during = Run("dc d");
  EXPECT_EQ(during.status, 1);
  EXPECT_EQ(during.errors.rfind(refusal, 0), 0u) << during.errors;
  ::kill(first, SIGKILL);
  int raw = 0;
  ::waitpid(first, &raw, 0);
  ::kill(simulatorPid, SIGKILL);  // orphaned by the kill, it holds no lock
  const BatchRun after = Run("dc d");
  EXPECT_EQ(after.status, 0) << after.errors;
  EXPECT_EQ(Read("d.tem"), results);
}

// A symbolic or hard link left under the name of anything a run writes (the accumulated files,
// their staged ".new" names, the run log, the CSV files, the pictures and gnuplot's ".part"
// files, each iteration's files, the scratch copies): the run replaces the link by a file of its
// own and the link's target keeps its bytes. Some of these were written through.
TEST_F(BatchProgramTest, NoOutputIsWrittenThroughALink) {
  struct Case {
    const char* analysis;  // with its options
    const char* example;
    std::vector<std::string> outputs;  // after the base name, or whole when starting with '='
  };
  const std::vector<std::string> shared = {
      ".csv",        ".iterations.csv", ".wyn",     ".moc",  ".tem",
      ".wyn.new",    ".moc.new",        ".tem.new", ".svg",  ".png",
      ".svg.part",   ".png.part",       "1.cir",    "1.txt", "2.cir",
      "=wyniki.txt", "=wyniki.txt.new", "=a1.cir"};
  std::vector<std::string> transient = shared;
  for (const char* more : {".spl", ".spl.new", "=temp.txt", "=a2.bsp"}) transient.push_back(more);
  std::vector<std::string> dc = shared;
  for (const char* more : {".margin.csv", "1.moc", "1.tem"}) dc.push_back(more);
  // The continuous engine writes one circuit and no per-segment tables.
  const std::vector<std::string> continuous = {
      ".csv",      ".iterations.csv", ".wyn",     ".moc",        ".tem",
      ".wyn.new",  ".moc.new",        ".tem.new", ".svg",        ".png",
      ".svg.part", ".png.part",       "1.cir",    "=wyniki.txt", "=wyniki.txt.new",
      ".spl",      ".spl.new"};
  // Without --keep-iteration-files a DC run writes no file of an iteration: those links stay as
  // they were, their targets untouched.
  std::vector<std::string> dcInMemory = dc;
  std::erase_if(dcInMemory, [](const std::string& name) { return std::isdigit(name[0]) != 0; });
  const Case cases[] = {{"tran --engine windowed", "diode_pulses_tran", transient},
                        {"tran", "diode_pulses_tran", continuous},
                        {"dc --keep-iteration-files", "diode_dc", dc},
                        {"dc", "diode_dc", dcInMemory}};
  const std::filesystem::path targets = dir_ / "targets";
  for (const Case& c : cases) {
    for (const bool hard : {false, true}) {
      SCOPED_TRACE(std::string(c.analysis) + (hard ? " hard links" : " symbolic links"));
      std::filesystem::remove_all(dir_);
      std::filesystem::create_directories(targets);
      CopyExample(c.example);
      std::vector<std::string> names;
      for (const std::string& output : c.outputs) {
        const std::string name =
            output[0] == '=' ? output.substr(1) : std::string(c.example) + output;
        names.push_back(name);
        std::ofstream(targets / name, std::ios::binary) << "precious " << name;
        if (hard) {
          std::filesystem::create_hard_link(targets / name, dir_ / name);
        } else {
          std::filesystem::create_symlink(targets / name, dir_ / name);
        }
      }
      const BatchRun run = Run(std::string(c.analysis) + " " + c.example);
      EXPECT_EQ(run.status, 0) << run.errors;
      for (const std::string& name : names) {
        EXPECT_EQ(Read("targets/" + name), "precious " + name) << name;
        // a2.bsp is written only when the simulator saved a bias point.
        if (name != "a2.bsp") {
          EXPECT_FALSE(std::filesystem::is_symlink(dir_ / name)) << name;
        }
      }
      // The results are those of a run in a clean folder.
      EXPECT_FALSE(Read(std::string(c.example) + ".tem").empty());
    }
  }
}

// Options the program cannot act on as given are refused before anything is read.
TEST_F(BatchProgramTest, OptionsItCannotActOnAreRefusedAtTheStart) {
  Write("d.cir", kDiodeCircuit);
  Write("d.par", kDiodeProblem);
  struct Bad {
    const char* args;
    const char* message;
  } bad[] = {
      {"dc --ambient 0x10 d", "--ambient needs a temperature"},  // was 16 °C
      {"dc --ambient inf d", "--ambient needs a temperature"},
      {"dc --ambient ' 40' d", "--ambient needs a temperature"},
      {"dc --ambient . d", "--ambient needs a temperature"},
      {"dc --ambient 40 --ambient 50 d", "--ambient is given twice; give it once"},
      {"dc --tmax 100 --tmax 150 d", "--tmax is given twice; give it once"},
      {"tran --window-limit 4 --window-limit 5 d", "--window-limit is given twice"},
      {"tran --engine windowed --engine continuous d", "--engine is given twice"},
      {"tran --keep-iteration-files d", "--keep-iteration-files is an option of dc"},
      {"tran --tolerance 1 --tolerance 0.1 d", "--tolerance is given twice"},
      {"dc --window-limit 4 d", "--window-limit is an option of tran; a DC run has no windows"},
  };
  for (const Bad& b : bad) {
    const BatchRun run = Run(b.args);
    EXPECT_EQ(run.status, 2) << b.args;
    EXPECT_NE(run.errors.find(b.message), std::string::npos) << b.args << ": " << run.errors;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "d.tem"));
  // Decimal forms still pass.
  EXPECT_EQ(Run("dc --ambient 2.5e1 d").status, 0);

  // A base name whose longest file (an iteration's ".stan.part") would not fit the folder is
  // refused at the start; it used to fail at iteration 100.
  const std::string longest(255 - 20, 'b');
  const BatchRun fits = Run("dc " + longest);
  EXPECT_EQ(fits.status, 1);
  EXPECT_EQ(fits.errors, "etherm-batch: File not found: " + longest + ".par\n");
  const BatchRun tooLong = Run("tran " + longest + "b");
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_EQ(tooLong.errors, "etherm-batch: The base name \"" + longest +
                                "b\" is too long: it has 236 characters, and the run makes file "
                                "names of 20 more (an iteration's number and \".stan.part\"), "
                                "where the folder takes 255; use at most 235\n");
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
  // The circuit's other devices get the ambient too (in the circuit's degrees, K - 273), unless
  // the circuit sets their temperature itself; the summary says which.
  const BatchRun warmRun = Run("dc --ambient 40 d");
  EXPECT_EQ(Read("a1.cir").rfind("diode\r\n.OPTIONS TEMP=40.15\r\nV1 1 0 DC 1\r\n", 0), 0u)
      << Read("a1.cir");
  EXPECT_NE(warmRun.output.find("ambient         313.15 K (40.00 °C); the circuit's other "
                                "devices at 40.15 °C (.OPTIONS TEMP)\n"),
            std::string::npos)
      << warmRun.output;
  std::string own = kDiodeCircuit;
  own.insert(own.find(".DC"), ".OPTIONS TEMP=50\n");
  Write("d.cir", own);
  const BatchRun ownRun = Run("dc --ambient 40 d");
  EXPECT_EQ(ownRun.status, 0) << ownRun.errors;
  EXPECT_EQ(Read("a1.cir").find(".OPTIONS TEMP=40"), std::string::npos) << Read("a1.cir");
  EXPECT_NE(ownRun.output.find("the circuit's other devices as it sets them (TEMP=50)"),
            std::string::npos)
      << ownRun.output;
  // Without --ambient the circuit is as the user wrote it.
  Write("d.cir", kDiodeCircuit);
  ASSERT_EQ(Run("dc d").status, 0);
  EXPECT_EQ(Read("a1.cir").find(".OPTIONS"), std::string::npos) << Read("a1.cir");

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
  ASSERT_EQ(margins.rfind("V1_V,margin_DP,runaway\n1,", 0), 0u) << margins;
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
    const BatchRun run = Run("dc --tmax " + limits + " d");
    EXPECT_EQ(run.status, 3) << limits << run.errors;
    const std::string& out = run.output;
    EXPECT_NE(out.find("DP above " + between + " °C at 1 point from V1 = 2; "), std::string::npos)
        << limits << "\n"
        << out;
    EXPECT_NE(out.find(peakText), std::string::npos) << out;
  }
  // Nothing over the limit: the run ends as without one.
  const BatchRun below = Run("dc --tmax 500 d");
  EXPECT_EQ(below.status, 0);
  EXPECT_EQ(below.output.find(" above "), std::string::npos) << below.output;

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

TEST(BatchDisplay, QuietUnlessVerbose) {
  AnalysisState state;
  state.iterationNumber = 3;
  state.windowStartTime = 0.0015;
  state.problem.endTime = 0.01;
  double now = 0;
  const auto clock = [&now] { return now; };
  // On a terminal: the progress line only, and the warnings.
  std::FILE* out = std::tmpfile();
  BatchDisplay terminal(state, AnalysisKind::kTransient, out, /*terminal=*/true,
                        /*verbose=*/false, clock);
  terminal.StatusChanged(StatusLine::kIteration, "startuję");
  terminal.Warning("device D1 reaches 1200.0 K at 0.001 s");
  terminal.Finish();
  EXPECT_EQ(ReadAll(out),
            "iteration 3, accepted up to 0.0015 s of 0.01 s"
            "\r\033[Ketherm-batch: warning: device D1 reaches 1200.0 K at 0.001 s\n"
            "iteration 3, accepted up to 0.0015 s of 0.01 s"
            "\r\033[K");
  std::fclose(out);

  // Elsewhere: a progress line once a minute, never between.
  out = std::tmpfile();
  BatchDisplay log(state, AnalysisKind::kTransient, out, /*terminal=*/false,
                   /*verbose=*/false, clock);
  const struct {
    double seconds;
    double accepted;
  } steps[] = {{1, 0.001}, {59, 0.002}, {61, 0.003}, {100, 0.004}, {122, 0.005}};
  for (const auto& step : steps) {
    now = step.seconds;
    state.windowStartTime = step.accepted;
    log.StatusChanged(StatusLine::kIteration, "startuję");
    log.StatusChanged(StatusLine::kPosition, "t0 =...");
  }
  log.Warning("hot");
  log.Finish();
  EXPECT_EQ(ReadAll(out),
            "iteration 3, accepted up to 0.003 s of 0.01 s, 4.92e-05 s per s, about 2 min 22 s "
            "left\n"
            "iteration 3, accepted up to 0.005 s of 0.01 s, 4.1e-05 s per s, about 2 min 02 s "
            "left\n"
            "etherm-batch: warning: hot\n");
  std::fclose(out);
}

TEST(BatchDisplay, RateAndTimeLeftOfATransientRun) {
  AnalysisState state;
  state.iterationNumber = 7;
  state.problem.endTime = 0.01;
  BatchDisplay display(state, AnalysisKind::kTransient, stderr, /*terminal=*/true);
  struct Case {
    double accepted;
    double wallSeconds;
    std::string text;
  };
  const Case cases[] = {
      {0.002, 4, "iteration 7, accepted up to 0.002 s of 0.01 s, 0.0005 s per s, about 16 s left"},
      {0.001, 10,
       "iteration 7, accepted up to 0.001 s of 0.01 s, 0.0001 s per s, about 1 min 30 s left"},
      {0.0001, 120,
       "iteration 7, accepted up to 0.0001 s of 0.01 s, 8.33e-07 s per s, about 3 h 18 min left"},
      // Too early for a rate, nothing accepted yet, or nothing left.
      {0.002, 1, "iteration 7, accepted up to 0.002 s of 0.01 s"},
      {0, 60, "iteration 7, accepted up to 0 s of 0.01 s"},
      {0.01, 60, "iteration 7, accepted up to 0.01 s of 0.01 s"},
  };
  for (const Case& c : cases) {
    state.windowStartTime = c.accepted;
    EXPECT_EQ(display.ProgressText(c.wallSeconds), c.text);
  }
  // A DC run shows no rate.
  state.sweepValue = 2;
  state.problem.sweepEnd = 5;
  BatchDisplay dc(state, AnalysisKind::kDc, stderr, /*terminal=*/true);
  EXPECT_EQ(dc.ProgressText(100), "iteration 7, sweep value 2 of 5");
}

std::vector<std::string> LfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line, '\n');) lines.push_back(line);
  return lines;
}

// The fields of a CSV line of numbers, read back exactly.
std::vector<double> CsvNumbers(const std::string& line) {
  std::vector<double> values;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ',');) {
    double v = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
    EXPECT_TRUE(ec == std::errc() && end == field.data() + field.size()) << field;
    values.push_back(v);
  }
  return values;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

// The CSV files of a run against the accumulated files of the same run, read by another
// parser: every value equal, in the same order.
TEST_F(BatchProgramTest, ResultsCsvHoldsTheValuesOfTheAccumulatedFiles) {
  struct Case {
    std::string example;
    std::string analysis;
    int headerLines;  // of the accumulated files
    std::string header;
    std::string iterationsHeader;
    std::string device;
  };
  const Case cases[] = {
      {"diode_dc", "dc", 0, "V1_V,T_DPWR_K,P_DPWR_W,V(2),I(D1)",
       "iteration,V1_V,Tsim_DPWR_K,Tmodel_DPWR_K,max_deviation_K,sim_time_s", "DPWR"},
      {"mosfet_switch_tran", "tran", 2, "time_s,T_MSW_K,P_MSW_W,V(2),IG(M1),V(3),ID(M1)",
       "iteration,window_start_s,accepted_end_s,Tsim_MSW_K,Tmodel_MSW_K,max_deviation_K,"
       "sim_time_s",
       "MSW"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.example);
    CopyExample(c.example);
    if (c.analysis == "tran") {
      // Its first 0.3 ms: a few windows, the switch turning on.
      std::string problem = Read(c.example + ".par");
      const std::size_t end = problem.find("0.006 ");
      ASSERT_NE(end, std::string::npos);
      problem.replace(end, 6, "0.0003");
      std::ofstream(dir_ / (c.example + ".par"), std::ios::binary) << problem;
    }
    const BatchRun run = Run(c.analysis + " --no-plot " + c.example);
    ASSERT_EQ(run.status, 0) << run.errors;

    const std::string csv = Read(c.example + ".csv");
    EXPECT_EQ(csv.find('\r'), std::string::npos);
    ASSERT_TRUE(csv.ends_with("\n"));
    const std::vector<std::string> lines = LfLines(csv);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], c.header);
    const auto results = testing::NumberRows(dir_ / (c.example + ".wyn"), c.headerLines);
    const auto powers = testing::NumberRows(dir_ / (c.example + ".moc"), c.headerLines);
    const auto temperatures = testing::NumberRows(dir_ / (c.example + ".tem"), c.headerLines);
    ASSERT_GT(results.size(), 3u);
    ASSERT_EQ(lines.size() - 1, results.size());
    for (std::size_t n = 0; n < results.size(); ++n) {
      std::vector<double> expected{results[n][0]};
      expected.insert(expected.end(), temperatures[n].begin() + 1, temperatures[n].end());
      expected.insert(expected.end(), powers[n].begin() + 1, powers[n].end());
      expected.insert(expected.end(), results[n].begin() + 1, results[n].end());
      ASSERT_EQ(CsvNumbers(lines[n + 1]), expected) << "row " << n + 1;
    }

    // One row per iteration, each with its one simulator run.
    const std::vector<std::string> iterations = LfLines(Read(c.example + ".iterations.csv"));
    ASSERT_FALSE(iterations.empty());
    EXPECT_EQ(iterations[0], c.iterationsHeader);
    const std::string log = Read("wyniki.txt");
    const int started = Count(log, "startuj\xEA\r\n");
    EXPECT_EQ(static_cast<int>(iterations.size()) - 1, started);
    EXPECT_EQ(Count(log, "pierwszy"), started);
    for (std::size_t n = 1; n < iterations.size(); ++n) {
      EXPECT_EQ(iterations[n].substr(0, iterations[n].find(',')), std::to_string(n));
    }

    EXPECT_NE(run.output.find("\n" + c.device + " "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("iterations      " + std::to_string(started) + "\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("\nresults written: " + c.example + ".csv, " + c.example +
                              ".iterations.csv\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("plot"), std::string::npos) << run.output;
  }
}

struct DecodedPng {
  std::string error;
  unsigned width = 0;
  unsigned height = 0;
  std::vector<unsigned char> rgb;
};

DecodedPng DecodePng(const std::filesystem::path& file) {
  DecodedPng decoded;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) {
    decoded.error = image.message;
    return decoded;
  }
  image.format = PNG_FORMAT_RGB;
  decoded.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, decoded.rgb.data(), 0, nullptr)) {
    decoded.error = image.message;
  }
  decoded.width = image.width;
  decoded.height = image.height;
  png_image_free(&image);
  return decoded;
}

TEST_F(BatchProgramTest, PlotsWithGnuplotAndSaysWhereToGetItWithout) {
  CopyExample("diode_dc");
  std::filesystem::create_directory(dir_ / "no-programs");
  const BatchRun without = Run("dc diode_dc", "PATH='" + (dir_ / "no-programs").string() + "'");
  EXPECT_EQ(without.status, 0) << without.errors;
  EXPECT_TRUE(
      without.output.ends_with("\nplot skipped: gnuplot not found (Debian package gnuplot-nox)\n"))
      << without.output;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "diode_dc.csv"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "diode_dc.png"));

  if (std::system("gnuplot --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
  }
  const BatchRun with = Run("dc diode_dc");
  EXPECT_EQ(with.status, 0) << with.errors;
  EXPECT_TRUE(with.output.ends_with("\nplot written: diode_dc.svg, diode_dc.png\n")) << with.output;
  const DecodedPng png = DecodePng(dir_ / "diode_dc.png");
  ASSERT_EQ(png.error, "");
  EXPECT_EQ(png.width, 800u);
  EXPECT_EQ(png.height, 600u);
  std::set<unsigned> colours;
  for (std::size_t i = 0; i + 2 < png.rgb.size(); i += 3) {
    colours.insert(png.rgb[i] << 16 | png.rgb[i + 1] << 8 | png.rgb[i + 2]);
  }
  EXPECT_GT(colours.size(), 3u) << "axes, text and two curves";
  const std::string svg = Read("diode_dc.svg");
  if (std::system("xmllint --version >/dev/null 2>&1") == 0) {
    const std::string lint = "xmllint --noout '" + (dir_ / "diode_dc.svg").string() + "'";
    EXPECT_EQ(std::system(lint.c_str()), 0) << "the SVG is not well-formed XML";
  }
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_TRUE(svg.ends_with("</svg>\n") || svg.ends_with("</svg>\n\n"))
      << svg.substr(svg.size() - 40);
  EXPECT_NE(svg.find(">DPWR<"), std::string::npos) << "the device in the legend";

  // Asked not to plot: no word of it, and the pictures of the last run stay.
  std::filesystem::remove(dir_ / "diode_dc.svg");
  const BatchRun quiet = Run("dc diode_dc --no-plot");
  EXPECT_EQ(quiet.status, 0) << quiet.errors;
  EXPECT_EQ(quiet.output.find("plot"), std::string::npos) << quiet.output;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "diode_dc.svg"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "diode_dc.png"));
}

// Time and temperature columns of an accumulated temperature file (.tem).
std::vector<std::pair<double, double>> FirstDeviceTrace(const std::string& table) {
  std::vector<std::pair<double, double>> trace;
  std::istringstream in(table);
  for (std::string line; std::getline(in, line);) {
    double t = 0;
    double v = 0;
    if (std::istringstream(line) >> t >> v) trace.emplace_back(t, v);
  }
  return trace;
}

// The run length the window's circuit asks the simulator for (the second value of ".TRAN").
double RunLength(const std::string& circuit) {
  std::istringstream in(circuit);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(".TRAN", 0) != 0) continue;
    std::istringstream words(line.substr(5));
    std::string step;
    double length = 0;
    if (words >> step >> length) return length;
  }
  return -1;
}

// Late in a switching run the prediction asks for far more than a window keeps; the limit holds
// each window to a multiple of the last advance, and the temperatures stay within the settle
// tolerance of the unlimited run's.
TEST_F(BatchProgramTest, WindowLimitKeepsWindowsShortAndTheTemperaturesWithinTheTolerance) {
  CopyExample("mosfet_switch_tran");
  const BatchRun free = Run("tran --no-plot mosfet_switch_tran");
  ASSERT_EQ(free.status, 0) << free.errors;
  const auto unlimited = FirstDeviceTrace(Read("mosfet_switch_tran.tem"));
  const BatchRun limited = Run("tran --no-plot --window-limit 4 mosfet_switch_tran");
  ASSERT_EQ(limited.status, 0) << limited.errors;
  const auto trace = FirstDeviceTrace(Read("mosfet_switch_tran.tem"));
  ASSERT_GT(trace.size(), 100u);
  EXPECT_NEAR(trace.back().first, unlimited.back().first, 1e-6);
  for (const auto& [t, v] : trace) {
    auto after = std::lower_bound(unlimited.begin(), unlimited.end(), std::make_pair(t, -1e300));
    if (after == unlimited.begin() || after == unlimited.end()) continue;
    const auto before = after - 1;
    const double span = after->first - before->first;
    const double there =
        before->second +
        (span > 0 ? (after->second - before->second) * (t - before->first) / span : 0.0);
    ASSERT_NEAR(v, there, 1.0) << "at " << t << " s";
  }

  // Every later window asks for at most 4 x 1.05 times the last advance.
  const std::vector<std::string> rows = LfLines(Read("mosfet_switch_tran.iterations.csv"));
  double lastAdvance = 0;
  int checked = 0;
  for (std::size_t n = 1; n + 1 < rows.size(); ++n) {
    const std::vector<double> row = CsvNumbers(rows[n]);
    if (row[2] > row[1]) lastAdvance = row[2] - row[1];
    if (lastAdvance > 0) {
      const double length = RunLength(Read("mosfet_switch_tran" + std::to_string(n + 1) + ".cir"));
      EXPECT_LE(length, 4 * 1.05 * lastAdvance * (1 + 1e-9)) << "window " << n + 1;
      ++checked;
    }
  }
  EXPECT_GT(checked, 100);

  for (const char* bad : {"--window-limit", "--window-limit 1 t", "--window-limit x t",
                          "--window-limit 4x t", "--window-limit nan t"}) {
    const BatchRun run = Run(std::string("tran ") + bad);
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_NE(run.errors.find("--window-limit needs a factor above 1"), std::string::npos) << bad;
  }
}

}  // namespace
}  // namespace etherm
