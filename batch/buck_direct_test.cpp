// The buck converter example against ngspice's own self-heating solution of the same converter
// (examples/buck_tran/direct): the windows carry the converter's state from one to the next, so
// the temperatures follow the uninterrupted solution.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "testing/direct_method.h"
#include "testing/scratch_folder.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;
using etherm::testing::CompareWithDirect;
using etherm::testing::Difference;
using etherm::testing::NumberRows;
using etherm::testing::ProgramRun;
using etherm::testing::ReadBytes;
using etherm::testing::RunEthermTransient;
using etherm::testing::RunNgspice;
using etherm::testing::ScratchFolder;
using etherm::testing::WriteBytes;

constexpr char kExample[] = ETHERM_EXAMPLES_DIR "/buck_tran";

// Shortened from the example's 2 ms to keep the suite quick; long enough for about 20 windows.
constexpr char kEnd[] = "0.0003";

// The file with its third line (the end time of a transient problem) or the length of its
// .TRAN line set to kEnd.
std::string WithEndTime(const std::string& text) {
  std::istringstream lines(text);
  std::string out;
  std::string line;
  for (int n = 1; std::getline(lines, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (text.starts_with("TRAN") && n == 3) line = kEnd;
    if (line.starts_with(".TRAN ")) line = line.substr(0, line.rfind(' ') + 1) + kEnd;
    out += line + "\r\n";
  }
  return out;
}

struct BuckRuns {
  std::vector<std::vector<double>> direct;    // time, rise of MSW, time, rise of DFW
  std::vector<std::vector<double>> accepted;  // time, MSW, DFW (K)
};

// The shortened example by etherm and by ngspice's own self-heating, in the current folder,
// after the reference's own checks: each device's heat, the network's step response, and the
// devices at the temperature of their thermal node.
BuckRuns RunBoth() {
  for (const char* file : {"buck_tran.cir", "buck_tran.par", "direct/buck_direct.cir"}) {
    const fs::path from = fs::path(kExample) / file;
    WriteBytes(from.filename(), WithEndTime(ReadBytes(from)));
  }
  for (const char* file :
       {"heatsink.inc", "check_power.cir", "check_step.cir", "check_temperature.cir"}) {
    fs::copy_file(fs::path(kExample) / "direct" / file, file);
  }
  for (const char* check : {"check_power.cir", "check_step.cir", "check_temperature.cir"}) {
    const ProgramRun run = RunNgspice(check);
    EXPECT_EQ(run.status, 0) << check << "\n" << ReadBytes("ngspice.out") << run.text;
  }
  const ProgramRun etherm = RunEthermTransient("buck_tran");
  EXPECT_EQ(etherm.status, 0) << etherm.text;
  const ProgramRun direct = RunNgspice("buck_direct.cir");
  EXPECT_EQ(direct.status, 0) << direct.text;
  return {NumberRows("buck_direct.txt", 0), NumberRows("buck_tran.tem", 2)};
}

// The converter runs through its windows to the end, both devices heating well beyond the
// tolerance, as in the reference.
TEST(BuckExample, RunsToItsEndBesideNgspiceSelfHeating) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  const BuckRuns runs = RunBoth();
  ASSERT_FALSE(runs.direct.empty());
  ASSERT_FALSE(runs.accepted.empty());
  EXPECT_GE(runs.accepted.back()[0], std::stod(kEnd));
  EXPECT_GT(runs.accepted.back()[1], 300);
  EXPECT_GT(runs.accepted.back()[2], 300);
  EXPECT_GT(runs.direct.back()[1], 5);
  EXPECT_GT(runs.direct.back()[3], 5);
}

// Within 0.5 K of ngspice's own self-heating at every accepted time. Later windows keep the
// switching edges of the gate pulse as breakpoints; without them ngspice stepped over the edges
// and the switch ended 3 K off after 0.3 ms.
TEST(BuckExample, TemperaturesFollowNgspiceSelfHeating) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  const BuckRuns runs = RunBoth();
  ASSERT_FALSE(runs.direct.empty());
  for (const auto& row : runs.accepted) ASSERT_EQ(row.size(), 3u);
  const std::vector<Difference> worst = CompareWithDirect(runs.accepted, runs.direct, 2);
  EXPECT_LE(worst[0].worst, 0.5) << "MSW at " << worst[0].at << " s";
  EXPECT_LE(worst[1].worst, 0.5) << "DFW at " << worst[1].at << " s";
}

}  // namespace
}  // namespace etherm
