#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "extraction/result_extraction.h"
#include "simulator/child_process.h"
#include "testing/failure_of.h"
#include "testing/scratch_folder.h"
#include "textio/failure.h"

namespace etherm {

using etherm::testing::FailureOf;

// The DC problem of one diode DP with its own thermal resistance, no coupling.
inline std::string DiodeProblem(double start, double step, double end, double resistance) {
  std::ostringstream p;
  p << "DC diode\n1\n"
    << start << "\n"
    << step << "\n"
    << end << "\nDP 2 " << resistance << " 0\n1\n";
  return p.str();
}

// The value in `column` at time t (column 0), linear between the rows.
inline double ValueAt(const std::vector<std::vector<double>>& rows, double t,
                      std::size_t column = 1) {
  const auto later = std::lower_bound(
      rows.begin(), rows.end(), t, [](const std::vector<double>& r, double x) { return r[0] < x; });
  if (later == rows.begin()) return rows.front()[column];
  if (later == rows.end()) return rows.back()[column];
  const auto& b = *later;
  const auto& a = *(later - 1);
  return b[0] == a[0] ? b[column]
                      : a[column] + (b[column] - a[column]) * (t - a[0]) / (b[0] - a[0]);
}

// Each test runs the real analyses in a folder of its own, with the built etherm-sim (or a
// stand-in script the test writes) as the simulator.
class AnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("ETHERM_BIN");
    ASSERT_NE(bin, nullptr) << "ETHERM_BIN is not set";
    setenv("ETHERM_SIMULATOR", (std::string(bin) + "/etherm-sim").c_str(), 1);
    state_ = std::make_unique<AnalysisState>();
    state_->baseName = "c";
  }
  void TearDown() override {
    unsetenv("ETHERM_SIMULATOR");
    unsetenv("ETHERM_SIM_NO_SERVE");
  }

  AnalysisState& state() { return *state_; }

  // Files are written with CR LF line ends from lines given with "\n".
  static void WriteLines(const std::string& name, const std::string& lines) {
    std::string bytes;
    for (char c : lines) {
      if (c == '\n') bytes += '\r';
      bytes += c;
    }
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const std::string& name) { return etherm::testing::ReadBytes(name); }
  static std::vector<std::string> Lines(const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(name));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  static std::vector<std::vector<double>> Numbers(const std::string& name, int skip) {
    return etherm::testing::NumberRows(name, skip);
  }
  // The files of the folder, sorted.
  static std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(".")) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // A stand-in simulator: a shell script run with the circuit file name as $1, once per pass
  // (not asked to serve, which would run it with "--serve" as $1).
  void UseStandIn(const std::string& body) {
    const std::string path = folder_.File("stand-in");
    std::ofstream(path, std::ios::binary) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    setenv("ETHERM_SIMULATOR", path.c_str(), 1);
    setenv("ETHERM_SIM_NO_SERVE", "1", 1);
  }

  // A stand-in simulator whose probe data give the device 1 V and a current that flips
  // between 1 A and 5 A from run to run, at the given times (a sweep point is one time): the
  // computed temperature never meets the one the simulator was given.
  void UseFlippingStandIn(const std::string& quantityNames, const std::string& times) {
    UseStandIn(
        "n=$(cat count 2>/dev/null || echo 0); n=$((n+1)); echo $n > count\n"
        "i=1; [ $((n % 2)) = 0 ] && i=5\n"
        "out=\"${1%.cir}.csd\"\n"
        "{ printf '#H\\r\\n\\r\\nTITLE\\r\\n'; for k in 4 5 6 7 8 9 10 11 12; do printf 'x\\r\\n'; "
        "done\n"
        "  printf \"" +
        quantityNames +
        "\\r\\n\"\n"
        "  for t in " +
        times +
        "; do\n"
        "    printf \"#C $t 2\\r\\n1.00000000e+000:1   $i.00000000e+000:2   \\r\\n\"; done\n"
        "  printf '#;\\r\\n'; } > \"$out\"");
  }

  // Runs the simulator on `circuit` and returns its rows as the transient analysis reads them:
  // times shifted by `offset`, cut at 1.02 x windowEndTime; rows with fewer than `columns`
  // numbers (the header lines) are left out.
  std::vector<std::vector<double>> SimulateTable(const std::string& circuit, double offset,
                                                 std::size_t columns) {
    const std::string program = std::string(std::getenv("ETHERM_SIMULATOR"));
    const ChildResult run = RunChild(program, {circuit}, 120);
    const std::string name = circuit.substr(0, circuit.size() - 4);
    EXPECT_EQ(run.exitStatus, 0) << ReadFile(name + ".out");
    ExtractTransientResults(name + ".csd", "table.txt", offset, state().windowEndTime);
    auto rows = Numbers("table.txt", 2);
    std::erase_if(rows, [&](const std::vector<double>& row) { return row.size() < columns; });
    return rows;
  }

  etherm::testing::ScratchFolder folder_{etherm::testing::ScratchFolder::Enter::kYes};
  std::unique_ptr<AnalysisState> state_;
};

}  // namespace etherm
