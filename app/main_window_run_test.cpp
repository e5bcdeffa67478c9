#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/window_test_support.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;

int LineCount(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

TEST_F(MainWindowTest, StartWithoutProblemFileShowsFileNotFoundAndStaysUsable) {
  ShowWindow();
  // No name entered yet: the problem file is ".par", and there is none.
  Click(*window_, *window_->startDcButton);
  Click(*window_, *window_->startDcButton);
  Click(*window_, *window_->startTranButton);
  EXPECT_EQ(failures_,
            (std::vector<std::string>{"File not found", "File not found", "File not found"}));
  EXPECT_TRUE(window_->shown());
  Enter("next");
  EXPECT_EQ(state_.baseName, "next");
}

TEST_F(MainWindowTest, StartDcOnAnExampleCompletesAndLeavesItsFiles) {
  for (const char* file : {"diode_dc.cir", "diode_dc.par"}) {
    fs::copy_file(fs::path(ETHERM_EXAMPLES_DIR) / "diode_dc" / file, dir_ / file);
  }
  ShowWindow();
  // A failed start first: the next one must not be hindered by it.
  Click(*window_, *window_->startDcButton);
  ASSERT_EQ(failures_, std::vector<std::string>{"File not found"});

  Enter("diode_dc");
  Click(*window_, *window_->startDcButton);
  EXPECT_EQ(failures_.size(), 1u) << failures_.back();

  // One line per settled sweep point in each accumulated file: 1 V to 7 V.
  for (const char* file : {"diode_dc.wyn", "diode_dc.moc", "diode_dc.tem"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(LineCount(dir_ / file), 7);
  }
  EXPECT_TRUE(fs::exists(dir_ / "wyniki.txt"));

  // The run's status lines stand on the window until it repaints.
  const int height = StatusHeight();
  const int width = TextWidth("startuję", FL_HELVETICA, 11);
  EXPECT_EQ(ReadWindow(*window_, 30, 10, width, height),
            RenderStatusLine(*window_, "startuję", width, height));
  EXPECT_GT(DarkPixels(ReadWindow(*window_, 30, 60, 60, height)), 20);
}

}  // namespace
}  // namespace etherm
