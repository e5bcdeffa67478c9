#include "extraction/saved_state.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/failure_of.h"
#include "testing/scratch_folder.h"

namespace etherm {
namespace {

using testing::FailureOf;
using testing::ScratchFolder;
using testing::WriteBytes;

const std::string kState =
    "etherm-stan 1 3\r\nv(sw) v(x1.n3) ic(l1)\r\n"
    "0 1 2 3\r\n"
    "1e-06 4 5 6\r\n"
    "2.0000000000000004e-06 7 8 -9.5\r\n";

TEST(SavedState, TheRowOfTheAcceptedStart) {
  ScratchFolder folder;
  const std::string name = folder.File("c3.stan");
  WriteBytes(name, kState);
  struct Case {
    const char* what;
    double offset, start;
    std::vector<double> values;
  };
  const Case cases[] = {
      {"first row", 0.0, 0.0, {1, 2, 3}},
      {"a row at the start", 0.0, 1e-6, {4, 5, 6}},
      // The results hold the time rounded to 15 digits: 2e-06, not the bits above it.
      {"the start as the results round it", 0.0, 2e-6, {7, 8, -9.5}},
      {"times moved by the window's offset", 5e-5, 5.1e-5, {4, 5, 6}},
  };
  for (const Case& c : cases) {
    const SavedState saved = ReadSavedState(name, c.offset, c.start);
    ASSERT_EQ(saved.kind, SavedState::Kind::kFound) << c.what;
    EXPECT_EQ(saved.state.values, c.values) << c.what;
    EXPECT_EQ(saved.state.names, (std::vector<std::string>{"v(sw)", "v(x1.n3)", "ic(l1)"}));
    EXPECT_EQ(saved.state.Find("ic(l1)"), c.values[2]) << c.what;
  }
}

TEST(SavedState, MissingTooLargeAndBadFiles) {
  ScratchFolder folder;
  const std::string name = folder.File("c3.stan");
  EXPECT_EQ(ReadSavedState(name, 0, 1e-6).kind, SavedState::Kind::kMissing);

  WriteBytes(name, "etherm-stan 1 1500\r\n");
  const SavedState large = ReadSavedState(name, 0, 1e-6);
  EXPECT_EQ(large.kind, SavedState::Kind::kTooLarge);
  EXPECT_EQ(large.count, 1500);

  struct Case {
    std::string bytes;
    std::string says;
  };
  const Case cases[] = {
      {"etherm-state 2 1\r\n", "does not begin with \"etherm-stan 1\""},
      {"etherm-stan 1 2\r\nv(a)\r\n", "names 1 values, not 2"},
      {"etherm-stan 1 1\r\nv(a)\r\n0 1 2\r\n", "line 3 is not a time and 1 values"},
      {"etherm-stan 1 1\r\nv(a)\r\n4e-6 x\r\n", "line 3 holds x, which is no number"},
      {kState, "holds no point at the window start 3.00000000000000E-0006 s"},
  };
  for (const Case& c : cases) {
    WriteBytes(name, c.bytes);
    const std::string failure = FailureOf([&] { ReadSavedState(name, 0, 3e-6); });
    EXPECT_NE(failure.find("The circuit state \"" + name + "\" " + c.says), std::string::npos)
        << failure;
  }
}

}  // namespace
}  // namespace etherm
