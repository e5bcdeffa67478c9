// What a run leaves of the last run's files when it fails, and what it warns of.
#include <cstring>
#include <functional>

#include "analysis/analysis_test_support.h"

namespace etherm {
namespace {

// A diode fed from a swept source (DC) or a current step (transient); plain products.
std::string DiodeCircuit(const std::string& extraLines, bool transient) {
  return std::string("diode\n") +
         (transient ? "I1 0 1 PWL(0 0.1 0.5m 0.1 0.52m 2 10 2)\n" : "V1 1 0 DC 1\n") +
         "D1 1 0 DP\n" + extraLines + ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042)\n" +
         (transient ? ".TRAN 10u 1m\n" : ".DC V1 1 3 1\n") + ".PROBE/CSDF V(1) I(D1)\n.END\n";
}
std::string DiodeProblem(bool transient, double resistance) {
  return transient
             ? "TRAN\n1\n0.001\nDP 2 1 " + std::to_string(resistance) + " 1 0.0003 0\n0\n0\n0\n1\n"
             : "DC\n1\n0\n1\n2\nDP 2 " + std::to_string(resistance) + " 0\n1\n";
}

const std::vector<std::string> kEarlierFiles = {"wyniki.txt", "c.wyn", "c.moc", "c.tem", "c.spl"};

class EarlierResults : public AnalysisTest {
 protected:
  // Earlier results of distinct bytes, as a last run would have left them.
  void WriteEarlierFiles() {
    for (const std::string& name : kEarlierFiles) {
      etherm::testing::WriteBytes(name, "earlier " + name + "\r\n 1.0 2.0 \r\n");
    }
  }
  void ExpectEarlierFilesKept(const std::string& what) {
    for (const std::string& name : kEarlierFiles) {
      EXPECT_EQ(ReadFile(name), "earlier " + name + "\r\n 1.0 2.0 \r\n") << what << ": " << name;
    }
    for (const std::string& name : Files()) {
      EXPECT_EQ(name.find(".new"), std::string::npos) << what << ": staged file left: " << name;
    }
  }
};

TEST_F(EarlierResults, FailureBeforeTheFirstAcceptedResultKeepsThem) {
  struct Case {
    const char* what;
    std::string extraCircuitLines;
    std::function<void()> arrange;
    const char* failure;  // part of the text
  } cases[] = {
      {"missing include", ".INCLUDE nothere.lib\n", [] {}, "nothere.lib"},
      {".CONTROL block", ".control\nshell touch owned\n.endc\n", [] {},
       ".CONTROL blocks are not accepted"},
      {"missing simulator", "", [] { setenv("ETHERM_SIMULATOR", "./no-such-sim", 1); },
       "\"./no-such-sim\" cannot be started"},
      {"bad ETHERM_SIM_TIMEOUT", "", [] { setenv("ETHERM_SIM_TIMEOUT", "soon", 1); },
       "ETHERM_SIM_TIMEOUT must be a number of seconds above 0, not \"soon\""},
      {"result name that is a folder", "",
       [] {
         std::filesystem::remove("c.tem");
         std::filesystem::create_directory("c.tem");
       },
       "The output file \"c.tem\" is a folder"},
      {"staged name that is a folder", "", [] { std::filesystem::create_directory("c.wyn.new"); },
       "The output file \"c.wyn.new\" is a folder"},
  };
  const std::string simulator = std::getenv("ETHERM_SIMULATOR");
  for (const bool transient : {false, true}) {
    for (const Case& c : cases) {
      const std::string what = std::string(c.what) + (transient ? " (transient)" : " (DC)");
      std::filesystem::remove_all("c.tem");
      std::filesystem::remove_all("c.wyn.new");
      WriteEarlierFiles();
      WriteLines("c.cir", DiodeCircuit(c.extraCircuitLines, transient));
      WriteLines("c.par", DiodeProblem(transient, 25));
      c.arrange();
      const std::string text =
          FailureOf([&] { transient ? RunTransientAnalysis(state()) : RunDcAnalysis(state()); });
      setenv("ETHERM_SIMULATOR", simulator.c_str(), 1);
      unsetenv("ETHERM_SIM_TIMEOUT");
      EXPECT_NE(text.find(c.failure), std::string::npos) << what << ": " << text;
      if (std::filesystem::is_directory("c.tem")) {
        std::filesystem::remove("c.tem");
        etherm::testing::WriteBytes("c.tem", "earlier c.tem\r\n 1.0 2.0 \r\n");
      }
      std::filesystem::remove("c.wyn.new");  // the folder of the last case
      ExpectEarlierFilesKept(what);
    }
  }
  EXPECT_FALSE(std::filesystem::exists("owned"));
}

TEST_F(EarlierResults, FailureAfterTheFirstAcceptedPointKeepsWhatWasAccepted) {
  // The real simulator for the first run only; every later run writes nothing. Without thermal
  // resistance the first point settles at once, and the second point fails.
  UseStandIn("[ -e ran ] && exit 1; touch ran; exec '" + std::string(std::getenv("ETHERM_BIN")) +
             "/etherm-sim' \"$1\"");
  WriteEarlierFiles();
  WriteLines("c.cir", DiodeCircuit("", false));
  WriteLines("c.par", DiodeProblem(false, 0));
  const std::string text = FailureOf([&] { RunDcAnalysis(state()); });
  EXPECT_NE(text.find("wrote no results file \"c2.csd\""), std::string::npos) << text;
  ASSERT_EQ(Numbers("c.wyn", 0).size(), 1u);
  EXPECT_EQ(Numbers("c.wyn", 0)[0][0], 0);
  EXPECT_EQ(Numbers("c.tem", 0).size(), 1u);
  EXPECT_EQ(Lines("wyniki.txt")[0], "startuj\xEA");
  EXPECT_EQ(ReadFile("c.spl"), "earlier c.spl\r\n 1.0 2.0 \r\n");  // a DC run has none
  for (const std::string& name : Files()) EXPECT_EQ(name.find(".new"), std::string::npos) << name;
}

// A device display that keeps the warnings.
class WarningRecorder : public AnalysisListener {
 public:
  void Warning(std::string_view text) override { warnings.emplace_back(text); }
  std::vector<std::string> warnings;
};

TEST_F(EarlierResults, DevicesAboveAThousandKelvinAreWarnedOfOncePerRun) {
  WarningRecorder display;
  state().listener = &display;
  struct Case {
    bool transient;
    double resistance;
    const char* where;  // of the one warning; empty: none
    std::size_t row;    // of the accumulated temperatures that it names
  } cases[] = {
      {false, 25, "", 0},
      {false, 1e4, "at the sweep value 1, above", 1},  // 0 V heats nothing
      {true, 25, "", 0},
      {true, 1000, "at 0 s, above", 0},
  };
  // In the transient case a constant 0.1 A through 100 ohm of series resistance heats the
  // diode by about 1000 K from time 0 on, with too little feedback to oscillate.
  const std::string constantCurrent =
      "diode\nI1 0 1 DC 0.1\nD1 1 0 DP\n.MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=100)\n"
      ".TRAN 10u 1m\n.PROBE/CSDF V(1) I(D1)\n.END\n";
  for (const Case& c : cases) {
    display.warnings.clear();
    WriteLines("c.cir", c.transient ? constantCurrent : DiodeCircuit("", false));
    WriteLines("c.par", DiodeProblem(c.transient, c.resistance));
    c.transient ? RunTransientAnalysis(state()) : RunDcAnalysis(state());
    const std::string what = (c.transient ? "transient, " : "DC, ") + std::to_string(c.resistance);
    // 10 kK/W also drives the DC loop gain past 1; that warning is another matter.
    std::erase_if(display.warnings,
                  [](const std::string& w) { return w.rfind("thermal runaway", 0) == 0; });
    if (*c.where == '\0') {
      EXPECT_TRUE(display.warnings.empty()) << what << ": " << display.warnings[0];
      continue;
    }
    ASSERT_EQ(display.warnings.size(), 1u) << what;
    const std::string& w = display.warnings[0];
    EXPECT_EQ(w.rfind("device DP reaches ", 0), 0u) << w;
    EXPECT_NE(w.find(c.where), std::string::npos) << w;
    // The value named is the one recorded.
    const double named = std::strtod(w.c_str() + std::strlen("device DP reaches "), nullptr);
    EXPECT_GT(named, 1000) << w;
    const auto temperatures = Numbers("c.tem", c.transient ? 2 : 0);
    EXPECT_NEAR(named, temperatures.at(c.row)[1], 0.05) << w;
  }
  state().listener = nullptr;
}

}  // namespace
}  // namespace etherm
