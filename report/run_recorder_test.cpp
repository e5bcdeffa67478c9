#include "report/run_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/scratch_folder.h"

namespace etherm::report {
namespace {

namespace fs = std::filesystem;
using etherm::testing::ReadBytes;
using etherm::testing::ScratchFolder;
using etherm::testing::WriteBytes;

// What reaches the front end's own listener.
class Counter : public AnalysisListener {
 public:
  void StatusChanged(StatusLine, std::string_view) override { ++calls; }
  void IterationStarted(int) override { ++calls; }
  void IterationFinished(const IterationReport&) override { ++calls; }
  void Warning(std::string_view) override { ++calls; }
  void Accepted(std::span<const AcceptedPoint>) override { ++calls; }
  int calls = 0;
};

// A DC run of two devices over a circuit with two probes, as the driver reports it.
class RunRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.baseName = "r";
    state_.problem.devices.resize(2);
    state_.problem.devices[0].name = NameField::From("QA");
    state_.problem.devices[1].name = NameField::From("QB");
    WriteBytes("r.cir", "t\r\n.DC V1 0 2 1\r\n.PROBE V(1) I(V1)\r\n.END\r\n");
  }
  void Iterate(RunRecorder& recorder, int n, double x) {
    recorder.IterationStarted(n);
    recorder.IterationFinished({n, x, std::nullopt, {295, 296}, {300, 301}, 5, 0.25, {}});
  }
  static AcceptedPoint Point(double x, std::size_t probes = 2) {
    return {x, {300 + x, 310 + x}, {1 + x, 2 + x}, std::vector<double>(probes, 0.5)};
  }

  ScratchFolder folder_{ScratchFolder::Enter::kYes};
  AnalysisState state_;
  Counter next_;
};

TEST_F(RunRecorderTest, WritesTheFilesFromTheFirstAcceptedRowAndPassesEverythingOn) {
  WriteBytes("r.csv", "earlier");
  RunRecorder recorder(state_, AnalysisKind::kDc, &next_);
  recorder.StatusChanged(StatusLine::kIteration, "startuję");
  recorder.Warning("hot");
  Iterate(recorder, 1, 0);
  EXPECT_EQ(ReadBytes("r.csv"), "earlier") << "nothing accepted yet";
  Iterate(recorder, 2, 0);
  const AcceptedPoint first = Point(0);
  recorder.Accepted(std::span<const AcceptedPoint>(&first, 1));
  Iterate(recorder, 3, 1);
  const AcceptedPoint second = Point(1);
  recorder.Accepted(std::span<const AcceptedPoint>(&second, 1));
  EXPECT_EQ(next_.calls, 2 + 3 * 2 + 2);

  auto result = recorder.Finish(true);
  ASSERT_TRUE(result.has_value());
  EXPECT_TRUE(result->filesWritten);
  EXPECT_EQ(result->files, "r.csv, r.iterations.csv");
  EXPECT_EQ(result->problem, "");
  EXPECT_EQ(ReadBytes("r.csv"),
            "V1_V,T_QA_K,T_QB_K,P_QA_W,P_QB_W,V(1),I(V1)\n"
            "0,300,310,1,2,0.5,0.5\n"
            "1,301,311,2,3,0.5,0.5\n");
  EXPECT_EQ(ReadBytes("r.iterations.csv"),
            "iteration,V1_V,Tsim_QA_K,Tmodel_QA_K,Tsim_QB_K,Tmodel_QB_K,max_deviation_K,"
            "sim_time_s\n"
            "1,0,295,300,296,301,5,0.25\n"
            "2,0,295,300,296,301,5,0.25\n"
            "3,1,295,300,296,301,5,0.25\n");
  EXPECT_NE(result->summary.find("iterations      3\n"), std::string::npos) << result->summary;
  EXPECT_NE(result->summary.find("QB"), std::string::npos) << result->summary;
}

TEST_F(RunRecorderTest, ARunStoppedBeforeItsFirstRowLeavesTheEarlierFiles) {
  WriteBytes("r.csv", "earlier");
  {
    RunRecorder refused(state_, AnalysisKind::kDc, nullptr);
    EXPECT_FALSE(refused.Finish(false).has_value()) << "refused before its first iteration";
    RunRecorder noSimulator(state_, AnalysisKind::kDc, nullptr);
    noSimulator.IterationStarted(1);
    EXPECT_FALSE(noSimulator.Finish(false).has_value()) << "failed in its first iteration";
  }
  RunRecorder recorder(state_, AnalysisKind::kDc, nullptr);
  Iterate(recorder, 1, 0);
  auto result = recorder.Finish(false);
  ASSERT_TRUE(result.has_value());
  EXPECT_FALSE(result->filesWritten);
  EXPECT_NE(result->summary.find("no point was accepted"), std::string::npos) << result->summary;
  EXPECT_NE(result->summary.find("iterations      1\n"), std::string::npos) << result->summary;
  EXPECT_EQ(ReadBytes("r.csv"), "earlier");
  EXPECT_EQ(recorder.Plot().kind, PlotStatus::Kind::kSkipped);

  // Ended normally without a row: the files say so.
  RunRecorder empty(state_, AnalysisKind::kDc, nullptr);
  Iterate(empty, 1, 0);
  EXPECT_TRUE(empty.Finish(true)->filesWritten);
  EXPECT_EQ(ReadBytes("r.csv"), "V1_V,T_QA_K,T_QB_K,P_QA_W,P_QB_W,V(1),I(V1)\n");
}

TEST_F(RunRecorderTest, RowsOfAnotherWidthThanTheCircuitNamesGetNumberedProbes) {
  RunRecorder recorder(state_, AnalysisKind::kDc, nullptr);
  Iterate(recorder, 1, 0);
  const AcceptedPoint rows[] = {Point(0, 3), Point(1, 1)};
  recorder.Accepted(rows);
  recorder.Finish(true);
  EXPECT_EQ(ReadBytes("r.csv"),
            "V1_V,T_QA_K,T_QB_K,P_QA_W,P_QB_W,probe1,probe2,probe3\n"
            "0,300,310,1,2,0.5,0.5,0.5\n"
            "1,301,311,2,3,0.5,nan,nan\n");
}

TEST_F(RunRecorderTest, FilesThatCannotBeWrittenDoNotStopTheRun) {
  RunRecorder recorder(state_, AnalysisKind::kDc, &next_, "no/such/folder");
  Iterate(recorder, 1, 0);
  const AcceptedPoint point = Point(0);
  recorder.Accepted(std::span<const AcceptedPoint>(&point, 1));
  auto result = recorder.Finish(true);
  ASSERT_TRUE(result.has_value());
  EXPECT_FALSE(result->filesWritten);
  EXPECT_EQ(result->problem, "Cannot write \"no/such/folder/r.csv\": File not found");
  EXPECT_NE(result->summary.find("1 accepted points"), std::string::npos) << result->summary;
  EXPECT_EQ(next_.calls, 3);
}

}  // namespace
}  // namespace etherm::report
