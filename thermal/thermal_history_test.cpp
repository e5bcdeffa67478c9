#include "thermal/thermal_history.h"

#include <cmath>

#include "thermal/thermal_test_support.h"

namespace etherm {
namespace {

// Two coupled devices with two own terms each, and powers that change at every line.
class ThermalHistoryTest : public ThermalTest {
 protected:
  void SetUp() override {
    ThermalTest::SetUp();
    network_ = Network(2);
    network_.pair[0][0] = {10, {{0.25, 1e-4}, {0.75, 4e-3}}};
    network_.pair[0][1] = {4, {{1, 2e-3}}};
    network_.pair[1][0] = {3, {{0.5, 5e-4}, {0.5, 5e-3}}};
    network_.pair[1][1] = {30, {{0.5, 3e-4}, {0.5, 3e-3}}};
  }
  static TransientRow Row(double time, int n) {
    return {time, {0, AsWritten(1 + std::sin(n * 0.7)), AsWritten(2 + std::cos(n * 1.3))}};
  }
  // The accumulated power file as the driver writes it: two header lines, then the rows.
  static void WriteHistory(const std::vector<TransientRow>& rows) {
    WriteFile("h.moc", "title\r\nczas D1       D2       \r\n" + RowsText(rows, 2));
  }
  static void ExpectSameLine(const ThermalLine& a, const ThermalLine& b) {
    EXPECT_EQ(a.time, b.time);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(a.power[i + 1], b.power[i + 1]);
      EXPECT_EQ(a.temperature[i + 1], b.temperature[i + 1]);
      for (std::size_t j = 0; j < 2; ++j) {
        for (std::size_t k = 0; k < kMaxTerms; ++k) EXPECT_EQ(a.rise[i][j][k], b.rise[i][j][k]);
      }
    }
  }
  ThermalNetwork network_;
};

// Rows are accepted window by window, as a run appends them to the accumulated powers, and each
// window start asks for its line: it must be the line a computation from time 0 over the
// accumulated file reaches, with the same term-rise lines on the way.
TEST_F(ThermalHistoryTest, WindowStartsMatchTheComputationFromTimeZero) {
  // Window starts and the rows accepted before each, as a run accepts them: through the first
  // row at or after the new start, each window from its first row (at the start before).
  struct Step {
    const char* what;
    std::vector<double> accepted;  // times of the rows accepted before this start
    double start;
    std::size_t waitingAfter;  // rows accepted but not yet passed
  } steps[] = {
      {"a start within a picosecond of 0", {0, 5e-13}, 5e-13, 0},
      {"a start on a line", {5e-13, 1e-4, 2e-4}, 2e-4, 0},
      {"the window repeated: the line at its start comes again", {2e-4}, 2e-4, 1},
      {"a start between lines", {2e-4, 3e-4, 4e-4}, 3.5e-4, 0},
      {"a start beyond every line", {4e-4, 5e-4}, 9e-4, 0},
      {"rows beyond the first at or after the start wait", {5e-4, 6e-4, 7e-4, 8e-4}, 6e-4, 2},
  };
  ThermalHistory history;
  std::vector<TransientRow> all;
  std::string rises;
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    for (double t : step.accepted) {
      all.push_back(Row(t, n++));
      history.Accept(all.back());
    }
    const ThermalLine& carried = history.MoveTo(network_, step.start, rises);
    EXPECT_EQ(history.waiting(), step.waitingAfter);

    WriteHistory(all);
    std::string replayedRises;
    const ThermalLine replayed = ReplayThermalHistory(network_, "h.moc", step.start, replayedRises);
    ExpectSameLine(carried, replayed);
    EXPECT_EQ(rises, replayedRises);
  }
}

// Before any row is accepted, a history reads as one row of zeros at time 0, which stays out of
// the rows that come later.
TEST_F(ThermalHistoryTest, NoRowsReadAsOneRowOfZeros) {
  ThermalHistory history;
  std::string rises;
  const ThermalLine empty = history.MoveTo(network_, 1e-3, rises);
  EXPECT_EQ(empty.temperature[1], 295);
  EXPECT_EQ(empty.temperature[2], 295);
  WriteHistory({});
  std::string replayedRises;
  ExpectSameLine(empty, ReplayThermalHistory(network_, "h.moc", 1e-3, replayedRises));
  EXPECT_EQ(rises, replayedRises);

  const std::vector<TransientRow> rows = {Row(0, 1), Row(1e-4, 2)};
  for (const TransientRow& row : rows) history.Accept(row);
  rises.clear();
  const ThermalLine later = history.MoveTo(network_, 1e-4, rises);
  WriteHistory(rows);
  replayedRises.clear();
  ExpectSameLine(later, ReplayThermalHistory(network_, "h.moc", 1e-4, replayedRises));
  EXPECT_EQ(rises, replayedRises);
}

}  // namespace
}  // namespace etherm
