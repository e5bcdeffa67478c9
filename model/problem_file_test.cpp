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

// Each test works in its own folder.
class ProblemFileTest : public ::testing::Test {
 protected:
  void Write(const std::string& bytes) { std::ofstream(base_ + ".par", std::ios::binary) << bytes; }
  Problem Read() { return ReadProblemFile(base_); }
  std::string Fail() {
    try {
      Read();
    } catch (const Failure& f) {
      return f.what();
    }
    return "no failure";
  }

  testing::ScratchFolder folder_;
  const std::string base_ = folder_.File("p");
};

const Device& Dev(const Problem& p, int i) {
  return p.devices.at(static_cast<std::size_t>(i - 1));
}
const ThermalPair& Pair(const Problem& p, int i, int j) {
  return p.network.pair.at(static_cast<std::size_t>(i - 1)).at(static_cast<std::size_t>(j - 1));
}

TEST_F(ProblemFileTest, DcExample) {
  Write("DC heating of one transistor\r\n1\r\n0.5\r\n0.5\r\n5\r\nQ2N 3 120.0 0\r\n2\r\n");
  const Problem p = Read();
  EXPECT_EQ(p.layout, ProblemLayout::kDc);
  EXPECT_EQ(p.deviceCount(), 1);
  EXPECT_EQ(p.sweepStart, 0.5);
  EXPECT_EQ(p.sweepStep, 0.5);
  EXPECT_EQ(p.sweepEnd, 5);
  EXPECT_EQ(Dev(p, 1).name.Text(), "Q2N     ");
  EXPECT_EQ(Dev(p, 1).terminalCount, 3);
  EXPECT_EQ(p.network.ownResistance.at(0), 120.0);
  EXPECT_EQ(Pair(p, 1, 1).resistance, 0);
  EXPECT_EQ(Dev(p, 1).kind, DeviceKind::kTransistorA);
  EXPECT_EQ(p.ProbeNodeCount(), 2);

  // The run's state takes it with its ambient; the sweep starts at its start.
  AnalysisState s;
  s.ambientTemperature = 310;
  UseProblem(s, p);
  EXPECT_EQ(s.problem.deviceCount(), 1);
  EXPECT_EQ(s.sweepValue, 0.5);
  EXPECT_EQ(s.problem.network.ambient, 310);
}

TEST_F(ProblemFileTest, TransientExample) {
  std::string params = "2";
  for (int k = 1; k <= 13; ++k) params += " " + std::to_string(k) + ".5" + (k == 6 ? "\r\n" : "");
  Write(
      "TRAN two transistors\r\n2\r\n0.01\r\n"
      "Q1 3 2 50.0 0.3 0.001 0.7 0.01 1 2 0 1 10.0 1.0 0.005\r\n" +
      params + "\r\nQ2 3 1 60.0 1.0 0.002 0\r\n0\r\n1\r\n0\r\n1\r\n");
  const Problem p = Read();
  EXPECT_EQ(p.layout, ProblemLayout::kTransient);
  EXPECT_EQ(p.deviceCount(), 2);
  EXPECT_EQ(p.endTime, 0.01);
  EXPECT_EQ(Dev(p, 1).name.Text(), "Q1      ");
  ASSERT_EQ(Pair(p, 1, 1).terms.size(), 2u);
  EXPECT_EQ(Pair(p, 1, 1).resistance, 50.0);
  EXPECT_EQ(Pair(p, 1, 1).terms[1].weight, 0.7);
  EXPECT_EQ(Pair(p, 1, 1).terms[1].timeConstant, 0.01);
  ASSERT_EQ(Pair(p, 1, 2).terms.size(), 1u);
  EXPECT_EQ(Pair(p, 1, 2).resistance, 10.0);
  EXPECT_EQ(Pair(p, 1, 2).terms[0].weight, 1.0);
  EXPECT_EQ(Pair(p, 1, 2).terms[0].timeConstant, 0.005);
  EXPECT_EQ(Dev(p, 1).kind, DeviceKind::kTransistorA);
  EXPECT_EQ(Dev(p, 1).transistorA.unused1, 1.5);
  EXPECT_EQ(Dev(p, 1).transistorA.sourceResistance, 4.5);
  EXPECT_EQ(Dev(p, 1).transistorA.channelLengthModulation, 13.5);  // continued on a further line
  EXPECT_EQ(Dev(p, 2).name.Text(), "Q2      ");
  EXPECT_EQ(Pair(p, 2, 2).resistance, 60.0);
  EXPECT_EQ(Dev(p, 2).kind, DeviceKind::kPlain);
  EXPECT_EQ(p.inductorCount, 1);
  EXPECT_EQ(p.capacitorCount, 0);
  EXPECT_TRUE(p.directPower);
  EXPECT_EQ(p.ProbeNodeCount(), 4);
}

TEST_F(ProblemFileTest, EachKindNamesItsParameters) {
  std::string params;
  for (int n = 1; n <= 16; ++n) params += " " + std::to_string(n);
  Write("T\r\n3\r\n1\r\nD 2 0 1 0\r\n1" + params.substr(0, 24) + "\r\nA 3 0 1 0\r\n2" +
        params.substr(0, 30) + "\r\nB 3 0 1 0\r\n3" + params + "\r\n0\r\n0\r\n0\r\n");
  const Problem p = Read();
  EXPECT_EQ(Dev(p, 1).diode.saturationCurrent, 1);
  EXPECT_EQ(Dev(p, 1).diode.kneeCurrent, 4);
  EXPECT_EQ(Dev(p, 1).diode.recombinationCurrent, 7);
  EXPECT_EQ(Dev(p, 1).diode.resistanceTemperatureCoefficient, 11);
  EXPECT_EQ(Dev(p, 2).transistorA.transconductance, 5);
  EXPECT_EQ(Dev(p, 2).transistorA.channelLength, 7);
  EXPECT_EQ(Dev(p, 2).transistorA.diodeSaturationCurrent, 11);
  EXPECT_EQ(Dev(p, 2).transistorA.channelLengthModulation, 13);
  EXPECT_EQ(Dev(p, 3).transistorB.transconductance, 1);
  EXPECT_EQ(Dev(p, 3).transistorB.channelLength, 3);
  EXPECT_EQ(Dev(p, 3).transistorB.diodeBandGap, 13);
  EXPECT_EQ(Dev(p, 3).transistorB.drainResistanceTemperatureCoefficient, 16);
}

TEST_F(ProblemFileTest, LayoutNamesAndComments) {
  // Lower-case 't' selects the transient layout; comments after the last number of a line
  // are ignored; a name with leading blanks is stored without them, and the numbers continue
  // after the first blank behind it; power mode 2 leaves the flag false; the file ends early.
  Write("tran\r\n1 devices\r\n1e-3 s\r\n   D1  2 1 80 1 0.001 0 comment\r\n0\r\n0\r\n0\r\n2\r\n");
  AnalysisState state;
  UseProblem(state, Read());
  EXPECT_EQ(Dev(state.problem, 1).name.Text(), "D1      ");
  EXPECT_EQ(Dev(state.problem, 1).terminalCount, 2);
  EXPECT_EQ(Pair(state.problem, 1, 1).resistance, 80);
  EXPECT_EQ(Pair(state.problem, 1, 1).terms.size(), 1u);
  EXPECT_FALSE(state.problem.directPower);
  EXPECT_EQ(state.problem.ProbeNodeCount(), 1);

  // A DC file loaded after it sees nothing of the transient tables; a blank first line means
  // DC; the last value needs no line end.
  Write("\r\n3\r\n0\r\n1\r\n4\r\nA 3 10 0\r\n1\r\nB 2 20 0\r\n1\r\nC 4 30 1 1 0 5.5\r\n3");
  UseProblem(state, Read());
  EXPECT_EQ(state.problem.deviceCount(), 3);
  EXPECT_EQ(state.problem.ProbeNodeCount(), 2 + 1 + 3);
  EXPECT_EQ(Pair(state.problem, 3, 1).resistance, 5.5);
  EXPECT_EQ(Dev(state.problem, 3).kind, DeviceKind::kTransistorB);
  EXPECT_EQ(Pair(state.problem, 1, 1).resistance, 0);
  EXPECT_TRUE(Pair(state.problem, 1, 1).terms.empty());
  EXPECT_FALSE(state.problem.directPower);
  EXPECT_EQ(state.sweepValue, 0);
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
    Write(bytes);
    const Problem p = Read();
    EXPECT_EQ(p.layout, ProblemLayout::kDc) << bytes;
    EXPECT_EQ(p.deviceCount(), 2) << bytes;
    EXPECT_EQ(p.sweepStep, 0.5) << bytes;
    EXPECT_EQ(p.sweepEnd, 5) << bytes;
    EXPECT_EQ(Pair(p, 1, 2).resistance, 7) << bytes;
    EXPECT_EQ(Dev(p, 1).kind, DeviceKind::kDiode) << bytes;
    EXPECT_EQ(Dev(p, 2).name.Text(), "Q2      ") << bytes;
    EXPECT_EQ(p.network.ownResistance.at(1), 60) << bytes;
    EXPECT_EQ(Dev(p, 2).kind, DeviceKind::kTransistorB) << bytes;
  }
}

TEST_F(ProblemFileTest, ReadFailures) {
  EXPECT_EQ(Fail(), "File not found: " + base_ + ".par");
  Write("DC\r\n1\r\n2.5\r\n0,5\r\n5\r\nQ1 3 120.0 0\r\n2\r\n");
  EXPECT_EQ(Fail(), "Invalid numeric input: \"0,5\" in " + base_ + ".par, line 4");
}

TEST_F(ProblemFileTest, FilesBeyondTheLimitsAreRefused) {
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
      {"T\r\n1\r\n1\r\nQ1 3 1 1 1 1 0\r\n1.5\r\n", "device 1 (Q1) has the kind code 1.500"},
      {"DC\r\n1\r\n0\r\n1\r\n2\r\nQ1 3 1 0\r\n7\r\n",
       "device 1 (Q1) has the kind code 7.000; a DC analysis takes the codes 1, 2 and 3"},
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
    Write(c.file);
    const std::string text = Fail();
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
    EXPECT_NE(text.find("p.par"), std::string::npos) << text;
  }
}

TEST_F(ProblemFileTest, AnalysisChecks) {
  Write("DC\r\n3\r\n0\r\n1\r\n2\r\nA 3 1 0\r\n1\r\nB 2 1 0\r\n2\r\nC 2 1 0\r\n3\r\n");
  Problem p = Read();
  EXPECT_NO_THROW(CheckDcProblem(p));
  auto dcFailure = [&] {
    try {
      CheckDcProblem(p);
    } catch (const Failure& f) {
      return std::string(f.what());
    }
    return std::string("no failure");
  };
  // Only a circuit with a .NODESET line needs the node values carried, so the count is the
  // circuit check's matter.
  p.devices[1].terminalCount = 6;
  EXPECT_EQ(dcFailure(), "no failure");
  p.devices[1].terminalCount = 2;
  p.devices[1].kind = DeviceKind::kPlain;
  EXPECT_NE(dcFailure().find("device 2 (B) has the kind code 0.000"), std::string::npos);
  p.devices[1].kind = DeviceKind::kTransistorA;

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
    p.sweepStart = c.start;
    p.sweepStep = c.step;
    p.sweepEnd = c.end;
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
  p = Read();
  try {
    CheckTransientProblem(p);
    ADD_FAILURE() << "a zero time constant was accepted";
  } catch (const Failure& f) {
    EXPECT_NE(std::string(f.what()).find("term 2 of the pair (1, 2)"), std::string::npos)
        << f.what();
  }
  p.network.pair[0][1].terms[1].timeConstant = 0.02;
  EXPECT_NO_THROW(CheckTransientProblem(p));
  for (double end : {0.0, -1e-3}) {
    p.endTime = end;
    EXPECT_THROW(CheckTransientProblem(p), Failure) << end;
  }
}

TEST_F(ProblemFileTest, EachAnalysisRefusesTheOtherLayout) {
  auto failure = [&](void (*check)(const Problem&)) {
    const Problem p = Read();
    try {
      check(p);
    } catch (const Failure& f) {
      return std::string(f.what());
    }
    return std::string("no failure");
  };
  Write("DC\r\n1\r\n0\r\n1\r\n2\r\nQ1 3 120.0 0\r\n2\r\n");
  EXPECT_EQ(failure(CheckTransientProblem),
            "Problem file \"" + base_ +
                ".par\": the file has the DC layout (its first character is not T); use the DC "
                "analysis, or begin the file with T for a transient problem");
  Write("tran\r\n1\r\n1e-3\r\nQ1 3 0 50 0\r\n0\r\n0\r\n0\r\n0\r\n");
  EXPECT_EQ(failure(CheckDcProblem), "Problem file \"" + base_ +
                                         ".par\": the file has the transient layout (its first "
                                         "character is T); use the transient analysis");
}

}  // namespace
}  // namespace etherm
