#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

#include "report/iterations_csv.h"
#include "report/results_csv.h"
#include "testing/failure_of.h"
#include "testing/scratch_folder.h"

namespace etherm::report {
namespace {

using etherm::testing::FailureOf;
using etherm::testing::ReadBytes;
using etherm::testing::ScratchFolder;

RunDescription Dc(std::string source, std::vector<std::string> devices,
                  std::vector<std::string> probes) {
  return {AnalysisKind::kDc, "run", std::move(source), std::move(devices), std::move(probes)};
}

RunDescription Tran(std::vector<std::string> devices, std::vector<std::string> probes) {
  return {AnalysisKind::kTransient, "run", "", std::move(devices), std::move(probes)};
}

TEST(ResultsCsv, HeaderNamesEveryColumnWithItsUnit) {
  struct Case {
    RunDescription run;
    std::string header;
  };
  const Case cases[] = {
      {Tran({"D1"}, {"V(1)", "I(D1)"}), "time_s,T_D1_K,P_D1_W,V(1),I(D1)"},
      {Dc("V1", {"QA", "QB"}, {"V(2)", "IB(Q1)"}), "V1_V,T_QA_K,T_QB_K,P_QA_W,P_QB_W,V(2),IB(Q1)"},
      {Dc("ibias", {"D1"}, {}), "ibias_A,T_D1_K,P_D1_W"},
      {Dc("R5", {"D1"}, {}), "R5_Ohm,T_D1_K,P_D1_W"},
      {Dc("TEMP", {"D1"}, {}), "TEMP,T_D1_K,P_D1_W"},
      // Commas and quotes in names must not shift the columns.
      {Tran({"Q,1", "M\"2"}, {"V(a,b)", "I(X1.Q3)"}),
       R"x(time_s,"T_Q,1_K","T_M""2_K","P_Q,1_W","P_M""2_W","V(a,b)",I(X1.Q3))x"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResultsHeader(c.run), c.header);
}

// The values of a CSV line of plain numbers, read back exactly.
std::vector<double> Parse(const std::string& line) {
  std::vector<double> values;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ',');) {
    double v = 0;
    auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
    EXPECT_TRUE(ec == std::errc() && end == field.data() + field.size()) << field;
    values.push_back(v);
  }
  return values;
}

TEST(ResultsCsv, RowsReadBackBitForBitAndReachTheFileAtOnce) {
  ScratchFolder folder;
  RunDescription run = Tran({"Q1", "Q2"}, {"V(2)"});
  const std::vector<AcceptedRow> rows = {
      {0, {295, 295.1}, {0.1, 1.0 / 3}, {-0.0}},
      {9e-05,
       {1e-300, 5e-324},
       {std::numeric_limits<double>::max(), -2.5e-7},
       {12.000000000000002}},
  };
  ResultsCsvWriter writer(run, folder.path().string());
  writer.Append(rows);
  // Read while the writer is still open: a run that stops now keeps its rows.
  std::string text = ReadBytes(folder.File("run.csv"));
  EXPECT_EQ(text.find('\r'), std::string::npos);
  ASSERT_EQ(text.back(), '\n');
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "time_s,T_Q1_K,T_Q2_K,P_Q1_W,P_Q2_W,V(2)");
  for (const auto& row : rows) {
    ASSERT_TRUE(std::getline(in, line));
    std::vector<double> want = {row.x};
    for (const auto* part : {&row.temperatures, &row.powers, &row.probes}) {
      want.insert(want.end(), part->begin(), part->end());
    }
    std::vector<double> got = Parse(line);
    ASSERT_EQ(got.size(), want.size()) << line;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0) << line << " column " << i;
    }
  }
  EXPECT_EQ(text.substr(text.find('\n') + 1, 16), "0,295,295.1,0.1,");
  EXPECT_FALSE(std::getline(in, line));
  writer.Close();
}

TEST(ResultsCsv, RowOfWrongWidthIsRefusedAndNothingOfTheCallIsWritten) {
  ScratchFolder folder;
  RunDescription run = Dc("V1", {"QA", "QB"}, {"V(2)"});
  ResultsCsvWriter writer(run, folder.path().string());
  writer.Append(AcceptedRow{1, {300, 301}, {1, 2}, {3}});
  const std::vector<AcceptedRow> bad = {{2, {300, 301}, {1, 2}, {3}}, {2.5, {300}, {1, 2}, {3}}};
  EXPECT_EQ(FailureOf([&] { writer.Append(bad); }),
            "Report of \"run\" at V1_V = 2.5: 1 temperatures for 2 devices");
  EXPECT_EQ(FailureOf([&] {
              writer.Append(AcceptedRow{3, {1, 2}, {1, 2}, {}});
            }),
            "Report of \"run\" at V1_V = 3: 0 probe values for 1 probes");
  writer.Close();
  EXPECT_EQ(ReadBytes(folder.File("run.csv")),
            "V1_V,T_QA_K,T_QB_K,P_QA_W,P_QB_W,V(2)\n1,300,301,1,2,3\n");
}

TEST(ResultsCsv, UnwritableFolderIsAFailureNamingTheFile) {
  ScratchFolder folder;
  std::string missing = folder.File("no/such");
  EXPECT_EQ(FailureOf([&] { ResultsCsvWriter(Tran({"D1"}, {}), missing); }),
            "Cannot write \"" + missing + "/run.csv\": File not found");
}

TEST(IterationsCsv, OneLinePerIterationWithTheKindsColumns) {
  struct Case {
    RunDescription run;
    std::vector<IterationRow> rows;
    std::string text;
  };
  const Case cases[] = {
      {Dc("V1", {"QA", "QB"}, {}),
       {{1, 1.5, std::nullopt, {295, 295}, {310.25, 305}, 15.25, 0.125, {}},
        {2, 1.5, std::nullopt, {302.625, 300}, {303, 300.5}, 0.5, 0.25, {}}},
       "iteration,V1_V,Tsim_QA_K,Tmodel_QA_K,Tsim_QB_K,Tmodel_QB_K,max_deviation_K,sim_time_s\n"
       "1,1.5,295,310.25,295,305,15.25,0.125\n"
       "2,1.5,302.625,303,300,300.5,0.5,0.25\n"},
      // An iteration that accepted nothing leaves its accepted end empty.
      {Tran({"D,1"}, {}),
       {{1, 0, std::nullopt, {295}, {340}, 45, 1.5, {}},
        {2, 0, 4.5e-05, {340}, {340.5}, 0.5, 2, {}}},
       "iteration,window_start_s,accepted_end_s,\"Tsim_D,1_K\",\"Tmodel_D,1_K\","
       "max_deviation_K,sim_time_s\n"
       "1,0,,295,340,45,1.5\n"
       "2,0,4.5e-05,340,340.5,0.5,2\n"},
  };
  for (const auto& c : cases) {
    ScratchFolder folder;
    IterationsCsvWriter writer(c.run, folder.path().string());
    for (const auto& row : c.rows) writer.Append(row);
    EXPECT_EQ(ReadBytes(folder.File("run.iterations.csv")), c.text);
  }
}

TEST(IterationsCsv, RowsThatDoNotFitTheRunAreRefused) {
  ScratchFolder folder;
  IterationsCsvWriter dc(Dc("V1", {"QA"}, {}), folder.path().string());
  EXPECT_EQ(FailureOf([&] {
              dc.Append({1, 2, std::nullopt, {295}, {}, 0, 0, {}});
            }),
            "Report of \"run\" at V1_V = 2: 0 model temperatures for 1 devices");
  EXPECT_EQ(FailureOf([&] {
              dc.Append({1, 2, 3.0, {295}, {296}, 1, 0, {}});
            }),
            "Report of \"run\": iteration 1 of a DC run has an accepted window end");
}

}  // namespace
}  // namespace etherm::report
