// The analyses on the real etherm-sim: one serving process per run gives every file byte for byte
// as one simulator process per pass does, and leaves no process behind.
#include <map>

#include "analysis/analysis_test_support.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;

// The processes whose parent is this one, zombies included.
std::vector<std::string> ChildProcesses() {
  std::vector<std::string> children;
  const std::string self = std::to_string(getpid());
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream in(entry.path() / "stat");
    std::string stat;
    if (!std::getline(in, stat)) continue;
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    std::string state, parent;
    rest >> state >> parent;
    if (parent == self) children.push_back(stat.substr(0, close + 1));
  }
  return children;
}

// Every file of the folder, the run log's clock lines masked.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string bytes = etherm::testing::ReadBytes(entry.path());
    if (entry.path().filename() == "wyniki.txt") {
      for (std::size_t at = 0; (at = bytes.find(':', at)) != std::string::npos; ++at) {
        if (at >= 2 && at + 3 < bytes.size() && bytes[at + 3] == ':') {
          bytes.replace(at - 2, 8, "hh:mm:ss");
          at += 6;
        }
      }
    }
    files[entry.path().filename().string()] = bytes;
  }
  return files;
}

TEST_F(AnalysisTest, ServingGivesTheFilesOfOneProcessPerPass) {
  const std::string examples = ETHERM_EXAMPLES_DIR;
  struct Case {
    const char* name;
    bool transient;
    std::string circuit, problem;
  } cases[] = {
      {"diode_dc", false, ReadFile(examples + "/diode_dc/diode_dc.cir"),
       ReadFile(examples + "/diode_dc/diode_dc.par")},
      {"pulse", true,
       "diode\r\nI1 0 1 PWL(0 0.1 0.5m 0.1 0.52m 2 10 2)\r\nD1 1 0 DP\r\n"
       ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042)\r\n.TRAN 10u 1m\r\n"
       ".PROBE/CSDF V(1) I(D1)\r\n.END\r\n",
       "TRAN\r\n1\r\n0.001\r\nDP 2 1 25 1 0.0003 0\r\n0\r\n0\r\n0\r\n1\r\n"},
  };
  const fs::path top = fs::current_path();
  for (const Case& c : cases) {
    std::map<std::string, std::string> files[2];
    for (int served = 0; served < 2; ++served) {
      SCOPED_TRACE(std::string(c.name) + (served ? " served" : " one process per pass"));
      const fs::path folder = top / (std::string(c.name) + (served ? "-served" : "-one-shot"));
      fs::create_directory(folder);
      fs::current_path(folder);
      std::ofstream(std::string(c.name) + ".cir", std::ios::binary) << c.circuit;
      std::ofstream(std::string(c.name) + ".par", std::ios::binary) << c.problem;
      if (served) {
        unsetenv("ETHERM_SIM_NO_SERVE");
      } else {
        setenv("ETHERM_SIM_NO_SERVE", "1", 1);
      }
      state_ = std::make_unique<AnalysisState>();
      state().baseName = c.name;
      c.transient ? RunTransientAnalysis(state()) : RunDcAnalysis(state());
      fs::current_path(top);
      EXPECT_EQ(ChildProcesses(), std::vector<std::string>{});
      files[served] = Contents(folder);
    }
    ASSERT_GT(files[0].size(), 5u) << c.name;
    EXPECT_EQ(files[0].size(), files[1].size()) << c.name;
    for (const auto& [name, bytes] : files[0]) {
      EXPECT_TRUE(files[1].count(name) && files[1][name] == bytes) << c.name << ": " << name;
    }
  }
}

TEST_F(AnalysisTest, AFailedRunLeavesNoServerBehind) {
  // A circuit the simulator refuses: the run fails at its first pass.
  WriteLines("c.cir",
             "diode\nV1 1 0 DC 1\nR1 1 2 2\nD1 2 0 DP\n.MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75)\n"
             ".DC V1 1 2 1\n.PROBE/CSDF V(2) I(D1)\n.control\nshell ls\n.endc\n");
  WriteLines("c.par", "DC\n1\n1\n1\n2\nDP 2 20 0\n1\n");
  EXPECT_NE(FailureOf([&] { RunDcAnalysis(state()); }).find("refused"), std::string::npos);
  EXPECT_EQ(ChildProcesses(), std::vector<std::string>{});
}

}  // namespace
}  // namespace etherm
