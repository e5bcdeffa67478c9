#include "model/problem_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "testing/scratch_folder.h"
#include "textio/failure.h"

namespace etherm {
namespace {

// Each test works in its own folder, with a fresh state.
class ProblemFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_ = std::make_unique<AnalysisState>();
    state_->baseName = folder_.File("p");
  }

  void Write(const std::string& bytes) {
    std::ofstream(state_->baseName + ".par", std::ios::binary) << bytes;
  }
  std::string Fail() {
    try {
      ReadProblemFile(*state_);
    } catch (const Failure& f) {
      return f.what();
    }
    return "no failure";
  }

  testing::ScratchFolder folder_;
  std::unique_ptr<AnalysisState> state_;
};

TEST_F(ProblemFileTest, DcExample) {
  Write("DC heating of one transistor\r\n1\r\n0.5\r\n0.5\r\n5\r\nQ2N 3 120.0 0\r\n2\r\n");
  ReadProblemFile(*state_);
  const AnalysisState& s = *state_;
  EXPECT_EQ(s.deviceCount, 1);
  EXPECT_EQ(s.sweepStart, 0.5);
  EXPECT_EQ(s.sweepValue, 0.5);
  EXPECT_EQ(s.stepSize, 0.5);
  EXPECT_EQ(s.analysisEnd, 5);
  EXPECT_EQ(s.deviceName[1].Text(), "Q2N     ");
  EXPECT_EQ(s.terminalCount[1], 3);
  EXPECT_EQ(s.thermalResistance[1], 120.0);
  EXPECT_EQ(s.couplingCount[1], 0);
  EXPECT_EQ(s.deviceParameters[1][0], 2);
  EXPECT_EQ(s.probeNodeCount, 2);
  for (int i = 2; i <= kMaxDevices; ++i) EXPECT_EQ(s.deviceName[i].Text(), "        ");
}

TEST_F(ProblemFileTest, TransientExample) {
  std::string params = "2";
  for (int k = 1; k <= 13; ++k) params += " " + std::to_string(k) + ".5" + (k == 6 ? "\r\n" : "");
  Write(
      "TRAN two transistors\r\n2\r\n0.01\r\n"
      "Q1 3 2 50.0 0.3 0.001 0.7 0.01 1 2 0 1 10.0 1.0 0.005\r\n" +
      params + "\r\nQ2 3 1 60.0 1.0 0.002 0\r\n0\r\n1\r\n0\r\n1\r\n");
  ReadProblemFile(*state_);
  const AnalysisState& s = *state_;
  EXPECT_EQ(s.deviceCount, 2);
  EXPECT_EQ(s.analysisEnd, 0.01);
  EXPECT_EQ(s.deviceName[1].Text(), "Q1      ");
  EXPECT_EQ(s.selfTermCount[1], 2);
  EXPECT_EQ(s.termCount[1][1], 2);
  EXPECT_EQ(s.thermalCoupling[1][1], 50.0);
  EXPECT_EQ(s.termWeight[1][1][2], 0.7);
  EXPECT_EQ(s.termTimeConstant[1][1][2], 0.01);
  EXPECT_EQ(s.termCount[1][2], 1);
  EXPECT_EQ(s.thermalCoupling[1][2], 10.0);
  EXPECT_EQ(s.termWeight[1][2][1], 1.0);
  EXPECT_EQ(s.termTimeConstant[1][2][1], 0.005);
  EXPECT_EQ(s.deviceParameters[1][0], 2);
  EXPECT_EQ(s.deviceParameters[1][1], 1.5);
  EXPECT_EQ(s.deviceParameters[1][13], 13.5);  // the reals continue on a further line
  EXPECT_EQ(s.deviceName[2].Text(), "Q2      ");
  EXPECT_EQ(s.thermalCoupling[2][2], 60.0);
  EXPECT_EQ(s.deviceParameters[2][0], 0);
  EXPECT_EQ(s.inductorCount, 1);
  EXPECT_EQ(s.capacitorCount, 0);
  EXPECT_TRUE(s.directPowerFlag);
  EXPECT_EQ(s.probeNodeCount, 4);
}

TEST_F(ProblemFileTest, LayoutNamesAndComments) {
  // Lower-case 't' selects the transient layout; comments after the last number of a line
  // are ignored; a name with leading blanks is stored without them, and the numbers continue
  // after the first blank behind it; power mode 2 leaves the flag false; the file ends early.
  Write("tran\r\n1 devices\r\n1e-3 s\r\n   D1  2 0 80 0 comment\r\n0\r\n0\r\n0\r\n2\r\n");
  ReadProblemFile(*state_);
  EXPECT_EQ(state_->deviceName[1].Text(), "D1      ");
  EXPECT_EQ(state_->terminalCount[1], 2);
  EXPECT_EQ(state_->thermalCoupling[1][1], 80);
  EXPECT_FALSE(state_->directPowerFlag);
  EXPECT_EQ(state_->probeNodeCount, 1);

  // A DC file loaded after it keeps the transient tables; a blank first line means DC; the
  // last value needs no line end.
  Write("\r\n3\r\n0\r\n1\r\n4\r\nA 3 10 0\r\n1\r\nB 2 20 0\r\n1\r\nC 4 30 1 1 0 5.5\r\n3");
  ReadProblemFile(*state_);
  EXPECT_EQ(state_->deviceCount, 3);
  EXPECT_EQ(state_->probeNodeCount, 2 + 1 + 3);
  EXPECT_EQ(state_->thermalCoupling[3][1], 5.5);
  EXPECT_EQ(state_->deviceParameters[3][0], 3);
  EXPECT_EQ(state_->thermalCoupling[1][1], 80);  // left by the transient file
  EXPECT_EQ(state_->termCount[1][1], 0);
  EXPECT_EQ(state_->sweepValue, 0);
}

TEST_F(ProblemFileTest, AnyLineEndsReadAlike) {
  // LF only (as Linux editors write), CR only, a CR LF title over LF lines, and empty titles.
  struct Case {
    const char* title;
    const char* titleEnd;
    const char* lineEnd;
  } cases[] = {{"DC two", "\n", "\n"},
               {"DC two", "\r", "\r"},
               {"DC two", "\r\n", "\n"},
               {"", "\n", "\n"},
               {"", "\r", "\n"}};
  for (const auto& c : cases) {
    std::string bytes = std::string(c.title) + c.titleEnd;
    for (const char* line :
         {"2", "0.5", "0.5", "5", "Q1 3 120.0 1 2 0 7 comment", "1", "Q2 2 60 0", "3"}) {
      bytes += std::string(line) + c.lineEnd;
    }
    state_ = std::make_unique<AnalysisState>();
    state_->baseName = folder_.File("p");
    Write(bytes);
    ReadProblemFile(*state_);
    const AnalysisState& s = *state_;
    EXPECT_EQ(s.layout, ProblemLayout::kDc) << bytes;
    EXPECT_EQ(s.deviceCount, 2) << bytes;
    EXPECT_EQ(s.stepSize, 0.5) << bytes;
    EXPECT_EQ(s.analysisEnd, 5) << bytes;
    EXPECT_EQ(s.thermalCoupling[1][2], 7) << bytes;
    EXPECT_EQ(s.deviceParameters[1][0], 1) << bytes;
    EXPECT_EQ(s.deviceName[2].Text(), "Q2      ") << bytes;
    EXPECT_EQ(s.thermalResistance[2], 60) << bytes;
    EXPECT_EQ(s.deviceParameters[2][0], 3) << bytes;
  }
}

TEST_F(ProblemFileTest, ReadFailures) {
  // A missing file: "File not found", only the names blanked.
  state_->deviceName[1] = NameField::From("OLD");
  state_->deviceCount = 7;
  EXPECT_EQ(Fail(), "File not found: " + state_->baseName + ".par");
  EXPECT_EQ(state_->deviceName[1].Text(), "        ");
  EXPECT_EQ(state_->deviceCount, 7);

  // An unreadable number: what was read before it stays.
  state_->thermalResistance[1] = 1;
  Write("DC\r\n1\r\n2.5\r\n0,5\r\n5\r\nQ1 3 120.0 0\r\n2\r\n");
  EXPECT_EQ(Fail(), "Invalid numeric input: \"0,5\" in " + state_->baseName + ".par, line 4");
  EXPECT_EQ(state_->deviceCount, 1);
  EXPECT_EQ(state_->sweepStart, 2.5);
  EXPECT_EQ(state_->sweepValue, 2.5);
  EXPECT_EQ(state_->thermalResistance[1], 1);
}

TEST_F(ProblemFileTest, FilesBeyondTheLimitsAreRefusedWithTheStateUntouched) {
  struct Case {
    std::string file;
    std::string text;
  } cases[] = {
      {"DC\r\n11\r\n", "11 devices; from 1 to 10 are possible"},
      {"DC\r\n0\r\n", "0 devices; from 1 to 10 are possible"},
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nQ2N22222 3 1 0\r\n1\r\n",
       "(Q2N2222...) has 8 or more characters"},
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nQ1\t3 1 0\r\n1\r\n", "must be followed by a blank"},
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nQ1\r\n3 1 0\r\n1\r\n", "must be followed by a blank"},
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nQ1", "the file ends in the name of device 1 (Q1)"},
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nQ1 1 1 0\r\n1\r\n", "device 1 (Q1) has 1 terminals"},
      {"DC\r\n2\r\n0\r\n1\r\n2\r\nQ1 2000000000 1 0\r\n1\r\nQ2 2000000000 1 0\r\n1\r\n",
       "device 1 (Q1) has 2000000000 terminals; at most 11 are possible"},
      {"DC\r\n2\r\n0\r\n1\r\n2\r\nQ1 3 1 1 3 0 5\r\n1\r\n",
       "device 1 (Q1) has a coupling entry for device 3, which is not among devices 1 to 2"},
      {"T\r\n1\r\n1\r\nQ1 3 5 1\r\n", "device 1 (Q1) has 5 terms for the pair (1, 1)"},
      {"T\r\n2\r\n1\r\nQ1 3 1 1 1 1 1 2 0 7 1\r\n", "7 terms for the pair (1, 2)"},
      {"T\r\n1\r\n1\r\nQ1 3 1 1 1 1 0\r\n4\r\n", "device 1 (Q1) has the kind code 4.000"},
      {"T\r\n1\r\n1\r\nQ1 3 1 1 1 1 0\r\n0\r\n5\r\n4\r\n1\r\n",
       "11 values carried between time windows (2 node quantities, 5 inductors, 4 capacitors)"},
      {"DC\n11\n", "11 devices; from 1 to 10 are possible"},  // LF line ends
      {"DC\r\n2\r\n0\r\n1\r\n2\r\nQ1 3 1 0\r\n1\r\nQ1 2 1 0\r\n1\r\n",
       "devices 1 and 2 have the same name Q1"},
      {"T\r\n1\r\n1\r\nQ1 3 0 10 1 1 0 0 5\r\n0\r\n0\r\n0\r\n0\r\n",
       "device 1 (Q1) has a coupling entry for itself"},
      // Negative thermal resistances and term weights.
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nQ1 3 -5 0\r\n1\r\n",
       "device 1 (Q1): its thermal resistance is -5 K/W"},
      {"DC\r\n2\r\n0\r\n1\r\n2\r\nQ1 3 1 1 2 0 -2.5\r\n1\r\nQ2 3 1 0\r\n1\r\n",
       "device 1 (Q1): the thermal resistance of coupling entry 1 is -2.5 K/W (to device 2)"},
      {"T\r\n1\r\n1\r\nQ1 3 0 -50 0\r\n0\r\n0\r\n0\r\n0\r\n",
       "device 1 (Q1): its own thermal resistance is -50 K/W"},
      {"T\r\n1\r\n1\r\nQ1 3 1 50 -0.3 0.001 0\r\n0\r\n0\r\n0\r\n0\r\n",
       "device 1 (Q1): the weight of own term 1 is -0.3;"},
      {"T\r\n2\r\n1\r\nQ1 3 0 50 1 2 0 1 10 -1 0.005\r\n0\r\nQ2 3 0 50 0\r\n0\r\n0\r\n0\r\n0\r\n",
       "device 1 (Q1): the weight of term 1 of coupling entry 1 is -1;"},
      // Files that end before their last value.
      {"", "the file ends before the number of devices"},
      {"DC\r\n1\r\n0\r\n1\r\n", "the file ends before the sweep end"},
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nDPWR 2",
       "the file ends in device 1 (DPWR) before its thermal resistance"},
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nQ1 3 1 1 1", "before the coupling code of coupling entry 1"},
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nQ1 3 1 0\r\n",
       "the file ends in device 1 (Q1) before its kind code"},
      {"DC\r\n2\r\n0\r\n1\r\n2\r\nQ1 3 1 0\r\n1\r\n\r\n", "the file ends before device 2"},
      {"T\r\n1\r\n1\r\nQ1 3 1 50 1", "before the time constant of own term 1"},
      {"T\r\n2\r\n1\r\nQ1 3 0 50 1 2 0 1 10 1",
       "device 1 (Q1) before the time constant of term 1 of coupling entry 1"},
      {"T\r\n1\r\n1\r\nQ1 3 0 50 0\r\n1 1 2 3\r\n", "before its power-model parameter 4"},
      {"T\r\n1\r\n1\r\nQ1 3 0 50 0\r\n0\r\n0\r\n0\r\n", "the file ends before the power mode"},
  };
  for (const auto& c : cases) {
    state_ = std::make_unique<AnalysisState>();
    state_->baseName = folder_.File("p");
    state_->deviceName[1] = NameField::From("KEEP");
    state_->deviceCount = 3;
    state_->thermalResistance[1] = 42;
    Write(c.file);
    const std::string text = Fail();
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
    EXPECT_NE(text.find("p.par"), std::string::npos) << text;
    EXPECT_EQ(state_->deviceName[1].Text(), "KEEP    ") << c.text;
    EXPECT_EQ(state_->deviceCount, 3) << c.text;
    EXPECT_EQ(state_->thermalResistance[1], 42) << c.text;
  }
}

TEST_F(ProblemFileTest, AnalysisChecks) {
  Write("DC\r\n3\r\n0\r\n1\r\n2\r\nA 3 1 0\r\n1\r\nB 2 1 0\r\n2\r\nC 2 1 0\r\n3\r\n");
  ReadProblemFile(*state_);
  EXPECT_NO_THROW(CheckDcProblem(*state_));
  auto dcFailure = [&] {
    try {
      CheckDcProblem(*state_);
    } catch (const Failure& f) {
      return std::string(f.what());
    }
    return std::string("no failure");
  };
  // Only a circuit with a .NODESET line needs the node values carried, so the count is the
  // circuit check's matter.
  state_->terminalCount[2] = 3;
  state_->probeNodeCount = 5;
  EXPECT_EQ(dcFailure(), "no failure");
  state_->probeNodeCount = 4;
  state_->deviceParameters[2][0] = 0;
  EXPECT_NE(dcFailure().find("device 2 (B) has the kind code 0.000"), std::string::npos);
  state_->deviceParameters[2][0] = 2;

  // Sweeps that compute nothing or never end; the last rows are the edge cases that pass.
  struct Sweep {
    double start, step, end;
    const char* text;
  } sweeps[] = {
      {0, 0, 2, "sweep step is 0"},
      {0, -1, 5, "the sweep step leads away from the sweep end (start 0, step -1, end 5)"},
      {5, 1, 0, "the sweep step leads away from the sweep end (start 5, step 1, end 0)"},
      {1, 1e-17, 2, "the sweep step is too small to change the sweep value (start 1, step 1e-17"},
      {0, 1e-7, 1,
       "the sweep would have 10000000 points (start 0, step 1e-07, end 1); at most 1000000"},
      {0, 1, 1000001, "the sweep would have 1000001 points"},
      {-1e308, 1e300, 1e308, "the sweep would have too many points"},
      {0, 1, 1000000, nullptr},
      {3, -0.5, 3, nullptr},
      {5, -1, 0, nullptr},
  };
  for (const Sweep& c : sweeps) {
    state_->sweepStart = c.start;
    state_->stepSize = c.step;
    state_->analysisEnd = c.end;
    const std::string text = dcFailure();
    if (c.text == nullptr) {
      EXPECT_EQ(text, "no failure");
    } else {
      EXPECT_NE(text.find(c.text), std::string::npos) << text;
    }
  }

  Write(
      "T\r\n2\r\n1\r\nA 2 1 10 1 0.001 1 2 0 2 5 0.5 0.01 0.5 0\r\n0\r\nB 2 0 10 "
      "0\r\n0\r\n0\r\n0\r\n0\r\n");
  ReadProblemFile(*state_);
  try {
    CheckTransientProblem(*state_);
    ADD_FAILURE() << "a zero time constant was accepted";
  } catch (const Failure& f) {
    EXPECT_NE(std::string(f.what()).find("term 2 of the pair (1, 2)"), std::string::npos)
        << f.what();
  }
  state_->termTimeConstant[1][2][2] = 0.02;
  EXPECT_NO_THROW(CheckTransientProblem(*state_));
  for (double end : {0.0, -1e-3}) {
    state_->analysisEnd = end;
    EXPECT_THROW(CheckTransientProblem(*state_), Failure) << end;
  }
}

TEST_F(ProblemFileTest, EachAnalysisRefusesTheOtherLayout) {
  auto failure = [&](void (*check)(const AnalysisState&)) {
    ReadProblemFile(*state_);
    try {
      check(*state_);
    } catch (const Failure& f) {
      return std::string(f.what());
    }
    return std::string("no failure");
  };
  Write("DC\r\n1\r\n0\r\n1\r\n2\r\nQ1 3 120.0 0\r\n2\r\n");
  EXPECT_EQ(failure(CheckTransientProblem),
            "Problem file \"" + state_->baseName +
                ".par\": the file has the DC layout (its first character is not T); use the DC "
                "analysis, or begin the file with T for a transient problem");
  Write("tran\r\n1\r\n1e-3\r\nQ1 3 0 50 0\r\n0\r\n0\r\n0\r\n0\r\n");
  EXPECT_EQ(failure(CheckDcProblem), "Problem file \"" + state_->baseName +
                                         ".par\": the file has the transient layout (its first "
                                         "character is T); use the transient analysis");
}

}  // namespace
}  // namespace etherm
