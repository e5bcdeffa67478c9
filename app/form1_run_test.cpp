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

TEST_F(Form1Test, StartWithoutProblemFileShowsFileNotFoundAndStaysUsable) {
  ShowForm();
  // No name entered yet: the problem file is ".par", and there is none.
  Click(*form_, *form_->Button4);
  Click(*form_, *form_->Button4);
  Click(*form_, *form_->Button1);
  EXPECT_EQ(failures_, (std::vector<std::string>{"File not found: .par", "File not found: .par",
                                                 "File not found: .par"}));
  EXPECT_TRUE(form_->shown());
  Enter("next");
  EXPECT_EQ(state_.baseName, "next");
}

TEST_F(Form1Test, StartDcOnAnExampleCompletesAndLeavesItsFiles) {
  for (const char* file : {"diode_dc.cir", "diode_dc.par"}) {
    fs::copy_file(fs::path(ETHERM_EXAMPLES_DIR) / "diode_dc" / file, dir_ / file);
  }
  ShowForm();
  // A failed start first: the next one must not be hindered by it.
  Click(*form_, *form_->Button4);
  ASSERT_EQ(failures_, std::vector<std::string>{"File not found: .par"});

  Enter("diode_dc");
  Click(*form_, *form_->Button4);
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
  EXPECT_EQ(ReadWindow(*form_, 30, 10, width, height),
            RenderStatusLine(*form_, "startuję", width, height));
  EXPECT_GT(DarkPixels(ReadWindow(*form_, 30, 60, 60, height)), 20);
}

}  // namespace
}  // namespace etherm
