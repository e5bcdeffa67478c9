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
#include "model/problem.h"
#include "testing/failure_of.h"
#include "testing/scratch_folder.h"
#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm {

using etherm::testing::FailureOf;

// Each test works in a folder of its own (the routines write "temp.txt" into the current one),
// with a fresh state.
class ThermalTest : public ::testing::Test {
 protected:
  void SetUp() override { state_ = std::make_unique<AnalysisState>(); }

  AnalysisState& state() { return *state_; }
  AnalysisState& FreshState() {
    state_ = std::make_unique<AnalysisState>();
    return *state_;
  }

  static void WriteFile(const std::string& name, const std::string& bytes) {
    etherm::testing::WriteBytes(name, bytes);
  }
  static std::string ReadFile(const std::string& name) { return etherm::testing::ReadBytes(name); }
  // The numbers of each line after the first `skip` lines of a file written by the system.
  static std::vector<std::vector<double>> Numbers(const std::string& name, int skip) {
    return etherm::testing::NumberRows(name, skip);
  }

  etherm::testing::ScratchFolder folder_{etherm::testing::ScratchFolder::Enter::kYes};
  std::unique_ptr<AnalysisState> state_;
};

// A data line as the system writes it: each number in the 23-character form and a blank.
inline std::string Line(std::initializer_list<double> values) {
  std::string s;
  for (double v : values) s += FormatExponent(v, 23) + " ";
  return s + "\r\n";
}

// A network of n devices without any resistance or term.
inline ThermalNetwork Network(int n) {
  const auto size = static_cast<std::size_t>(n);
  return ThermalNetwork{std::vector<double>(size, 0.0), std::vector<std::vector<ThermalPair>>(
                                                            size, std::vector<ThermalPair>(size))};
}

inline std::string Header() {
  return "Title line\r\n  TIME      P(1)\r\n";
}

}  // namespace etherm
