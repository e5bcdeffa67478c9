#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/window_test_support.h"

// After the test framework: the text widget's header brings in X11's, whose macro None would
// break the framework's headers.
#include "app/failure_box.h"

namespace etherm {
namespace {

std::string TenDevicesUnsettled() {
  std::string given, gave;
  for (int i = 1; i <= 10; ++i) {
    const std::string name = "DEV" + std::to_string(i);
    given += (i > 1 ? ", " : "") + name + " " + std::to_string(300 + 17 * i) + ".25 K";
    gave += (i > 1 ? ", " : "") + name + " " + std::to_string(302 + 19 * i) + ".75 K";
  }
  return "The DC point at the sweep value 1.5 has not settled after 100 iterations; the "
         "simulator was given " +
         given + " and its results gave " + gave;
}

std::string ManyLines() {
  std::string text;
  for (int i = 1; i <= 200; ++i) text += "line " + std::to_string(i) + "\n";
  return text + "last line";
}

struct Case {
  const char* name;
  std::string text;
  bool wraps;
  bool scrolls;
};

TEST(FailureBox, FitsTheScreenWithTheWholeTextAndItsButton) {
  int sx = 0, sy = 0, sw = 0, sh = 0;
  Fl::screen_work_area(sx, sy, sw, sh);
  const Case cases[] = {
      {"short", "File not found", false, false},
      {"symbols as text", "results file \"r&d@lab1.csd\" @@ @-> &&", false, false},
      {"ten devices", TenDevicesUnsettled(), true, false},
      {"one long word", std::string(20000, 'x'), true, true},
      {"many lines", ManyLines(), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FailureBox box(c.text, sx, sy, sw, sh);
    box.show();
    Settle(box);
    EXPECT_GE(box.x(), sx);
    EXPECT_GE(box.y(), sy);
    EXPECT_LE(box.x() + box.w(), sx + sw);
    EXPECT_LE(box.y() + box.h(), sy + sh);
    for (Fl_Widget* part :
         {static_cast<Fl_Widget*>(box.text), static_cast<Fl_Widget*>(box.closeButton)}) {
      EXPECT_GE(part->x(), 0);
      EXPECT_GE(part->y(), 0);
      EXPECT_LE(part->x() + part->w(), box.w());
      EXPECT_LE(part->y() + part->h(), box.h());
    }
    // The whole text, unchanged; what does not fit can be scrolled to.
    char* shown = box.text->buffer()->text();
    EXPECT_EQ(shown, c.text);
    std::free(shown);
    const int lines = box.text->DisplayedLines();
    EXPECT_EQ(lines > 1 + static_cast<int>(std::count(c.text.begin(), c.text.end(), '\n')), c.wraps)
        << lines;
    EXPECT_EQ(box.text->Scrolls(), c.scrolls);
    if (!c.scrolls) {
      EXPECT_LE(lines * TextHeight(box.text->textfont(), box.text->textsize()), box.text->h());
    }
  }
}

TEST(FailureBox, ClosesByItsButtonOrByKey) {
  for (const int key : {0, FL_Enter, int{' '}, FL_Escape}) {
    SCOPED_TRACE(key);
    FailureBox box("File not found", 0, 0, 1024, 768);
    box.show();
    box.closeButton->take_focus();
    Settle(box);
    if (key == 0) {
      Click(box, *box.closeButton);
    } else {
      PressKey(box, key);
    }
    EXPECT_FALSE(box.shown());
  }
}

}  // namespace
}  // namespace etherm
