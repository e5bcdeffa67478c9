#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "testing/scratch_folder.h"
#include "textio/failure.h"

namespace etherm {

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
  void TearDown() override { unsetenv("ETHERM_SIMULATOR"); }

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
  // A stand-in simulator: a shell script run with the circuit file name as $1.
  void UseStandIn(const std::string& body) {
    const std::string path = folder_.File("stand-in");
    std::ofstream(path, std::ios::binary) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    setenv("ETHERM_SIMULATOR", path.c_str(), 1);
  }
  template <class F>
  static std::string FailureOf(F f) {
    try {
      f();
    } catch (const Failure& failure) {
      return failure.what();
    }
    return "no failure";
  }

  etherm::testing::ScratchFolder folder_{etherm::testing::ScratchFolder::Enter::kYes};
  std::unique_ptr<AnalysisState> state_;
};

}  // namespace etherm
