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
#include "textio/failure.h"

namespace etherm {

// Each test runs the real analyses in a folder of its own, with the built etherm-sim (or a
// stand-in script the test writes) as the simulator.
class AnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("analysis_" + std::to_string(::getpid()) + "_" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    const char* bin = std::getenv("ETHERM_BIN");
    ASSERT_NE(bin, nullptr) << "ETHERM_BIN is not set";
    setenv("ETHERM_SIMULATOR", (std::string(bin) + "/etherm-sim").c_str(), 1);
    state_ = std::make_unique<AnalysisState>();
    state_->baseName = "c";
  }
  void TearDown() override {
    std::filesystem::current_path(home_);
    if (!HasFailure()) std::filesystem::remove_all(dir_);
    unsetenv("ETHERM_SIMULATOR");
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
  static std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::vector<std::string> Lines(const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(name));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  // The numbers of each line after the first `skip` lines.
  static std::vector<std::vector<double>> Numbers(const std::string& name, int skip) {
    std::vector<std::vector<double>> rows;
    const auto lines = Lines(name);
    for (std::size_t n = static_cast<std::size_t>(skip); n < lines.size(); ++n) {
      std::istringstream values(lines[n]);
      std::vector<double> row;
      for (std::string token; values >> token;) row.push_back(std::strtod(token.c_str(), nullptr));
      rows.push_back(row);
    }
    return rows;
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
    const std::string path = (dir_ / "stand-in").string();
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

  std::filesystem::path home_, dir_;
  std::unique_ptr<AnalysisState> state_;
};

}  // namespace etherm
