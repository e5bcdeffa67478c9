#include "app/result_placement.h"

#include <gtest/gtest.h>

namespace etherm {
namespace {

bool Overlap(const ScreenArea& a, int mainX, const ScreenArea& main) {
  return a.x < mainX + main.w && mainX < a.x + a.w;
}

TEST(ResultPlacementTest, BesideTheMainWindowWhereTheScreenAllows) {
  constexpr int kFull = 816, kMin = 416, kGap = 16;
  const ScreenArea main{204, 249, 535, 468};
  struct Case {
    const char* name;
    ScreenArea screen;
    ScreenArea main;
    ScreenArea result;  // expected
    int mainX;          // expected
  } cases[] = {
      // Room on the right for the whole window: there, the main window stays.
      {"wide screen", {0, 0, 1920, 1080}, main, {755, 0, 816, 1080}, 204},
      // The main window at the right: the whole window fits on its left.
      {"room on the left", {0, 0, 1920, 1080}, {1300, 100, 535, 468}, {468, 0, 816, 1080}, 1300},
      // Neither side takes it whole: the roomier one, narrower.
      {"narrower on the right", {0, 0, 1280, 1024}, main, {755, 0, 525, 1024}, 204},
      {"narrower on the left", {0, 0, 1280, 1024}, {700, 0, 535, 468}, {0, 0, 684, 1024}, 700},
      // 1024 x 768: no side has room; the main window moves to the left edge to make it.
      {"1024 x 768", {0, 0, 1024, 768}, main, {551, 0, 473, 768}, 0},
      // ... and to the right edge when its left side was the roomier one.
      {"moved to the right edge", {0, 0, 1024, 768}, {300, 0, 535, 468}, {0, 0, 473, 768}, 489},
      // A work area that does not start at 0 (a panel on the left).
      {"offset work area", {40, 0, 984, 768}, main, {591, 0, 433, 768}, 40},
      // Too small even then: the whole screen, over the main window.
      {"tiny screen", {0, 0, 800, 600}, main, {0, 0, 800, 600}, 204},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ResultPlacement place = PlaceResultWindow(c.screen, c.main, kFull, kMin, kGap);
    EXPECT_EQ(place.result.x, c.result.x);
    EXPECT_EQ(place.result.y, c.result.y);
    EXPECT_EQ(place.result.w, c.result.w);
    EXPECT_EQ(place.result.h, c.result.h);
    EXPECT_EQ(place.mainX, c.mainX);
    if (place.result.w < c.screen.w) {
      EXPECT_FALSE(Overlap(place.result, place.mainX, c.main));
      EXPECT_GE(place.result.x, c.screen.x);
      EXPECT_LE(place.result.x + place.result.w, c.screen.x + c.screen.w);
      EXPECT_GE(place.mainX, c.screen.x);
      EXPECT_LE(place.mainX + c.main.w, c.screen.x + c.screen.w);
    }
  }
}

}  // namespace
}  // namespace etherm
