// The buck converter example against ngspice's own self-heating solution of the same converter
// (examples/buck_tran/direct): the windows carry the converter's state from one to the next, so
// the temperatures follow the uninterrupted solution.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "testing/scratch_folder.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;
using etherm::testing::NumberRows;
using etherm::testing::ReadBytes;
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

// Linear interpolation in rows of (time, value) pairs as ngspice's wrdata writes them.
double Interpolate(const std::vector<std::vector<double>>& rows, std::size_t column, double t) {
  auto later = std::upper_bound(rows.begin(), rows.end(), t,
                                [](double x, const std::vector<double>& r) { return x < r[0]; });
  if (later == rows.begin()) return (*later)[column];
  if (later == rows.end()) return rows.back()[column];
  const std::vector<double>& a = *(later - 1);
  const std::vector<double>& b = *later;
  const double w = b[0] > a[0] ? (t - a[0]) / (b[0] - a[0]) : 0;
  return a[column] + w * (b[column] - a[column]);
}

struct BuckRuns {
  std::vector<std::vector<double>> direct;    // time, rise of MSW, time, rise of DFW
  std::vector<std::vector<double>> accepted;  // time, MSW, DFW (K)
};

// The shortened example by etherm and by ngspice's own self-heating, in the current folder,
// after the reference's own checks: each device's heat, the network's step response, and the
// devices at the temperature of their thermal node.
BuckRuns RunBoth() {
  const char* bin = std::getenv("ETHERM_BIN");
  EXPECT_NE(bin, nullptr);
  if (bin == nullptr) return {};
  for (const char* file : {"buck_tran.cir", "buck_tran.par", "direct/buck_direct.cir"}) {
    const fs::path from = fs::path(kExample) / file;
    WriteBytes(from.filename(), WithEndTime(ReadBytes(from)));
  }
  for (const char* file :
       {"heatsink.inc", "check_power.cir", "check_step.cir", "check_temperature.cir"}) {
    fs::copy_file(fs::path(kExample) / "direct" / file, file);
  }
  for (const char* check : {"check_power.cir", "check_step.cir", "check_temperature.cir"}) {
    const std::string command = std::string("ngspice -b ") + check + " >check.out 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << check << "\n" << ReadBytes("check.out");
  }
  const std::string etherm = std::string("ETHERM_SIMULATOR=") + bin + "/etherm-sim " + bin +
                             "/etherm-batch tran --no-plot buck_tran >/dev/null 2>batch.err";
  EXPECT_EQ(std::system(etherm.c_str()), 0) << ReadBytes("batch.err");
  EXPECT_EQ(std::system("ngspice -b buck_direct.cir >ngspice.out 2>&1"), 0)
      << ReadBytes("ngspice.out");
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
  double worst[2] = {0, 0};
  double worstAt[2] = {0, 0};
  for (const auto& row : runs.accepted) {
    ASSERT_EQ(row.size(), 3u);
    for (std::size_t device = 0; device < 2; ++device) {
      const double expected = 295 + Interpolate(runs.direct, 1 + 2 * device, row[0]);
      const double difference = std::abs(row[1 + device] - expected);
      if (difference > worst[device]) {
        worst[device] = difference;
        worstAt[device] = row[0];
      }
    }
  }
  EXPECT_LE(worst[0], 0.5) << "MSW at " << worstAt[0] << " s";
  EXPECT_LE(worst[1], 0.5) << "DFW at " << worstAt[1] << " s";
}

}  // namespace
}  // namespace etherm
