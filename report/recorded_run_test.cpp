#include "report/recorded_run.h"

#include <gtest/gtest.h>

#include "report/run_report.h"
#include "testing/failure_of.h"
#include "testing/scratch_folder.h"

namespace etherm::report {
namespace {

using etherm::testing::FailureOf;
using etherm::testing::ScratchFolder;
using etherm::testing::WriteBytes;

void ExpectSame(const RunSummary& read, const RunSummary& written) {
  const auto a = read.Devices(), b = written.Devices();
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].name, b[i].name);
    // Bit for bit: the files hold every number in a form that reads back exactly.
    EXPECT_EQ(a[i].peakTemperature, b[i].peakTemperature) << a[i].name;
    EXPECT_EQ(a[i].peakAt, b[i].peakAt) << a[i].name;
    EXPECT_EQ(a[i].finalTemperature, b[i].finalTemperature) << a[i].name;
    EXPECT_EQ(a[i].peakPower, b[i].peakPower) << a[i].name;
    EXPECT_EQ(a[i].meanPower, b[i].meanPower) << a[i].name;
  }
  EXPECT_EQ(read.acceptedRows(), written.acceptedRows());
  EXPECT_EQ(read.iterations(), written.iterations());
  EXPECT_EQ(read.simulatorSeconds(), written.simulatorSeconds());
}

TEST(RecordedRun, ReadsBackTheSummaryTheRunMade) {
  struct Case {
    const char* what;
    RunDescription run;
    std::vector<AcceptedRow> rows;
  };
  const Case cases[] = {
      {"DC, a probe whose name needs quotes",
       {AnalysisKind::kDc, "dc", "V1", {"QA", "QB"}, {"V(2,3)"}},
       {{1, {300.1, 310}, {0.1, 2}, {1}}, {2, {320.7, 305}, {1.0 / 3, 2}, {2}}}},
      {"DC, a source of no known unit",
       {AnalysisKind::kDc, "e", "E1", {"D1"}, {}},
       {{0.5, {301}, {1}, {}}}},
      // A window boundary is accepted twice; the mean counts its time once.
      {"transient",
       {AnalysisKind::kTransient, "tr", "", {"D1"}, {"I(D1)"}},
       {{0, {295}, {0}, {0}},
        {1e-3, {330}, {2}, {1}},
        {1e-3, {330}, {2}, {1}},
        {3e-3, {340.25}, {2.5}, {1}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    RunReport report(c.run, folder.path().string());
    report.Accepted(c.rows);
    for (int i = 1; i <= 3; ++i) {
      IterationRow row{i, c.rows[0].x, std::nullopt, {}, {}, 0.5, 0.125 * i, {}};
      row.simulatorTemperatures.assign(c.run.deviceNames.size(), 300);
      row.modelTemperatures.assign(c.run.deviceNames.size(), 301);
      report.Iterated(row);
    }
    report.Finish();
    ExpectSame(ReadRecordedRun(c.run.kind, folder.path().string(), c.run.baseName),
               report.summary());
  }
}

TEST(RecordedRun, FilesThatAreNoReportAreNamed) {
  const std::string iterations =
      "iteration,V1_V,Tsim_D1_K,Tmodel_D1_K,max_deviation_K,sim_time_s\n1,1,300,301,1,0.1\n";
  struct Case {
    const char* what;
    const char* csv;
    const char* iterations;
    const char* message;
  };
  const Case cases[] = {
      {"no devices", "V1_V,V(2)\n1,2\n", nullptr, "r.csv\", line 1: not the header"},
      {"transient header for DC", "time_s,T_D1_K,P_D1_W\n", nullptr, "line 1: not the header"},
      {"power columns missing", "V1_V,T_D1_K,V(2)\n1,300,2\n", nullptr, "no power column P_D1_W"},
      {"short row", "V1_V,T_D1_K,P_D1_W\n1,300,2\n2,301\n", nullptr,
       "line 3: 2 fields under a header of 3"},
      {"blank cell", "V1_V,T_D1_K,P_D1_W\n1,,2\n", nullptr, "line 2: \"\" is no number"},
      {"CR LF", "V1_V,T_D1_K,P_D1_W\r\n1,300,2\r\n", nullptr, "line 1: no power column"},
      {"no iterations file", "V1_V,T_D1_K,P_D1_W\n1,300,2\n", "", "r.iterations.csv\": "},
      {"iterations not a table", "V1_V,T_D1_K,P_D1_W\n1,300,2\n", "x\n",
       "r.iterations.csv\", line 1"},
      {"empty", "", nullptr, "r.csv\", line 0: no header"},
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    WriteBytes(folder.path() / "r.csv", c.csv);
    if (c.iterations == nullptr) {
      WriteBytes(folder.path() / "r.iterations.csv", iterations);
    } else if (*c.iterations != '\0') {
      WriteBytes(folder.path() / "r.iterations.csv", c.iterations);
    }
    const std::string failure =
        FailureOf([&] { ReadRecordedRun(AnalysisKind::kDc, folder.path().string(), "r"); });
    EXPECT_NE(failure.find(c.message), std::string::npos) << c.what << ": " << failure;
  }
}

}  // namespace
}  // namespace etherm::report
