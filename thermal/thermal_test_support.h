#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/analysis_state.h"
#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm {

// Each test works in a folder of its own (the routines write "temp.txt" into the current one),
// with a fresh state.
class ThermalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() / ("thermal_" + std::to_string(::getpid()) + "_" +
                                                     info->test_suite_name() + "_" + info->name());
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    state_ = std::make_unique<AnalysisState>();
  }
  void TearDown() override {
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(dir_);
  }

  AnalysisState& state() { return *state_; }
  AnalysisState& FreshState() {
    state_ = std::make_unique<AnalysisState>();
    return *state_;
  }

  static void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // The numbers of each line after the first `skip` lines of a file written by the system.
  static std::vector<std::vector<double>> Numbers(const std::string& name, int skip) {
    std::vector<std::vector<double>> lines;
    std::istringstream in(ReadFile(name));
    std::string line;
    for (int n = 0; std::getline(in, line); ++n) {
      if (n < skip) continue;
      std::istringstream values(line);
      std::vector<double> row;
      for (std::string token; values >> token;) row.push_back(std::strtod(token.c_str(), nullptr));
      lines.push_back(row);
    }
    return lines;
  }

  // The failure text of f, or "no failure".
  template <class F>
  static std::string FailureOf(F f) {
    try {
      f();
    } catch (const Failure& failure) {
      return failure.what();
    }
    return "no failure";
  }

  std::filesystem::path home_;
  std::filesystem::path dir_;
  std::unique_ptr<AnalysisState> state_;
};

// A data line as the system writes it: each number in the 23-character form and a blank.
inline std::string Line(std::initializer_list<double> values) {
  std::string s;
  for (double v : values) s += FormatExponent(v, 23) + " ";
  return s + "\r\n";
}

inline std::string Header() {
  return "Title line\r\n  TIME      P(1)\r\n";
}

}  // namespace etherm
