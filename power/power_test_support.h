#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "model/analysis_state.h"
#include "testing/scratch_folder.h"
#include "textio/failure.h"

namespace etherm {

// Each test works in its own folder, with a fresh state whose files live there.
class PowerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_ = std::make_unique<AnalysisState>();
    state_->baseName = folder_.File("p");
    txt_ = folder_.File("p1.txt");
    moc_ = folder_.File("p1.moc");
  }

  // Devices named D1, D2, ... with the given kind codes.
  void Devices(std::initializer_list<double> kinds) {
    state_->problem.devices.assign(kinds.size(), Device{});
    int i = 0;
    for (double kind : kinds) {
      Device& d = state_->problem.devices[static_cast<std::size_t>(i++)];
      d.name = NameField::From("D" + std::to_string(i));
      // Codes outside the kinds stay kPlain here; the power routines go by the code.
      if (kind == 1 || kind == 2 || kind == 3) d.kind = static_cast<DeviceKind>(kind);
    }
  }
  static void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  template <class F>
  static std::string FailureText(F&& run) {
    try {
      run();
    } catch (const Failure& f) {
      return f.what();
    }
    return "no failure";
  }

  etherm::testing::ScratchFolder folder_;
  std::unique_ptr<AnalysisState> state_;
  std::string txt_;
  std::string moc_;
};

}  // namespace etherm
