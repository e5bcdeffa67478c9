// etherm-sim --serve as built, on real ngspice: each answer as the one-shot run would give it.

#include <gtest/gtest.h>

#include <chrono>

#include <string>

#include "serve_protocol.h"
#include "serve_test_util.h"
#include "sim_test_util.h"

namespace etherm::sim::test {
namespace {

using serve::Outcome;

// The probe data without line 5, which holds the time of the run.
std::string WithoutClockLine(const std::string& csd) {
  std::size_t start = 0;
  for (int line = 1; line < 5; ++line) start = csd.find('\n', start) + 1;
  return csd.substr(0, start) + csd.substr(csd.find('\n', start) + 1);
}

// The text with every `from` replaced by `to`.
std::string Renamed(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// Starts a server and reads its ready line.
void Greet(ServingSim& sim) {
  sim.Send(std::string(serve::kHello));
  EXPECT_EQ(sim.ReadLine(), std::string(serve::kReady));
}

Outcome Request(ServingSim& sim, const std::string& circuit, std::string* reason = nullptr) {
  sim.Send(serve::FormatRequest({circuit}));
  const std::optional<std::string> line = sim.ReadLine();
  EXPECT_TRUE(line) << circuit << ": no answer";
  const std::optional<serve::Answer> answer = serve::ParseAnswer(line.value_or(""));
  EXPECT_TRUE(answer) << circuit << ": " << line.value_or("");
  if (reason && answer) *reason = answer->reason;
  return answer ? answer->outcome : Outcome::kFailed;
}

const char* kWithOptions =
    "clean state\n"
    ".OPTIONS TEMP=100 RELTOL=1e-2\n"
    ".PARAM rs=2k\n"
    "V1 1 0 DC 1\nR1 1 2 {rs}\nD1 2 0 DX\nD2 2 0 DT\n"
    ".MODEL DX D(IS=1e-14)\n"
    ".MODEL DT D(T_ABS=80 IS=1e-15)\n"
    ".PROBE V(2) I(D1) I(D2)\n"
    ".DC V1 0 5 0.5\n";
const char* kWithout =
    "clean state\n"
    ".PARAM rs=500\n"
    "V1 1 0 DC 1\nR1 1 2 {rs}\nD1 2 0 DX\nD2 2 0 DT\n"
    ".MODEL DX D(IS=1e-14)\n"
    ".MODEL DT D(T_ABS=40 IS=1e-15)\n"
    ".PROBE V(2) I(D1) I(D2)\n"
    ".DC V1 0 5 0.5\n";

TEST(EthermSimServe, EachCircuitRunsAsInAFreshProcess) {
  ScratchDir dir;
  const char* order[] = {"a", "b", "a2", "b2"};
  for (const char* name : order)
    dir.Write(std::string(name) + ".cir", name[0] == 'a' ? kWithOptions : kWithout);
  dir.Write("fresh_a.cir", kWithOptions);
  dir.Write("fresh_b.cir", kWithout);
  ASSERT_EQ(RunEthermSim(dir, "fresh_a.cir"), 0);
  ASSERT_EQ(RunEthermSim(dir, "fresh_b.cir"), 0);
  const std::string freshA = WithoutClockLine(dir.Read("fresh_a.csd"));
  const std::string freshB = WithoutClockLine(dir.Read("fresh_b.csd"));
  ASSERT_NE(freshA, freshB);  // else nothing of the first circuit could show in the second

  ServingSim sim(dir);
  Greet(sim);
  for (const char* name : order) {
    const std::string fresh = name[0] == 'a' ? "fresh_a" : "fresh_b";
    EXPECT_EQ(Request(sim, std::string(name) + ".cir"), Outcome::kDone) << name;
    EXPECT_EQ(WithoutClockLine(dir.Read(std::string(name) + ".csd")),
              name[0] == 'a' ? freshA : freshB)
        << name;
    // The listing too, ngspice's start and its answers about the model cards included.
    EXPECT_EQ(Renamed(dir.Read(fresh + ".out"), fresh, name), dir.Read(std::string(name) + ".out"))
        << name;
  }
  EXPECT_EQ(sim.CloseAndWait(), 0);
}

TEST(EthermSimServe, RefusalsAndBadLinesAreAnsweredAndServingGoesOn) {
  ScratchDir dir;
  dir.Write("c.cir", "t\nV1 1 0 DC 1\nR1 1 0 1k\n.PROBE V(1)\n.DC V1 0 1 1\n");
  dir.Write("shell.cir", "t\nR1 1 0 1\n.control\nshell ls\n.endc\n.dc V1 0 1 1\n");
  ServingSim sim(dir);
  Greet(sim);
  std::string reason;
  EXPECT_EQ(Request(sim, "shell.cir", &reason), Outcome::kRefused);
  EXPECT_NE(reason.find("line 3: .CONTROL blocks are not accepted"), std::string::npos) << reason;
  EXPECT_FALSE(dir.Exists("shell.csd"));
  // A reason holding a line end still comes as one line.
  EXPECT_EQ(Request(sim, "two\nlines.cir", &reason), Outcome::kRefused);
  EXPECT_NE(reason.find("two\nlines.cir"), std::string::npos) << reason;

  struct Case {
    const char* line;
    const char* says;
  } cases[] = {
      {"bogus", "unknown request \"bogus\""},
      {"run", "names no circuit file"},
      {"run\t", "names no circuit file"},
      {"run\tc\\q.cir", "bad escape"},
      {"run\tc.cir\tjunk", "field 3 is not name=value"},
  };
  for (const Case& c : cases) {
    sim.Send(c.line);
    const std::optional<serve::Answer> answer = serve::ParseAnswer(sim.ReadLine().value_or(""));
    ASSERT_TRUE(answer) << c.line;
    EXPECT_EQ(answer->outcome, Outcome::kFailed) << c.line;
    EXPECT_NE(answer->reason.find(c.says), std::string::npos) << answer->reason;
  }
  // A later field of the form name=value is left to later versions.
  sim.Send("run\tc.cir\tpriority=1");
  EXPECT_EQ(sim.ReadLine(), "done");
  EXPECT_EQ(Request(sim, "c.cir"), Outcome::kDone);
  EXPECT_TRUE(dir.Exists("c.csd"));
  EXPECT_EQ(sim.CloseAndWait(), 0);
}

TEST(EthermSimServe, HelloDecidesAndTheEndOfInputEnds) {
  ScratchDir dir;
  {
    ServingSim sim(dir);
    EXPECT_EQ(sim.CloseAndWait(), 0);  // no hello, no request
  }
  {
    ServingSim sim(dir);
    sim.Send("etherm-serve 3");
    const std::optional<serve::Answer> answer = serve::ParseAnswer(sim.ReadLine().value_or(""));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->outcome, Outcome::kFailed);
    EXPECT_EQ(sim.CloseAndWait(), 2);
  }
  {
    ServingSim sim(dir);
    Greet(sim);
    EXPECT_EQ(sim.CloseAndWait(), 0);
  }
}

TEST(EthermSimServe, NgspiceStoppingItselfEndsTheServerAfterTheAnswer) {
  ScratchDir dir;
  // An undefined parameter makes ngspice 39 stop itself ("fatal error in ngspice").
  dir.Write("stop.cir", "t\nV1 1 0 DC 1\nR1 1 0 {nowhere}\n.PROBE V(1)\n.DC V1 0 1 1\n");
  ServingSim sim(dir);
  Greet(sim);
  std::string reason;
  EXPECT_EQ(Request(sim, "stop.cir", &reason), Outcome::kRefused);
  EXPECT_NE(reason.find("ngspice stopped"), std::string::npos) << reason;
  EXPECT_EQ(sim.ReadLine(), std::nullopt);
  EXPECT_EQ(sim.CloseAndWait(), 3);
}

// Version 2 names the request in each answer. A transient that stops advancing is halted and
// refused in well under a second, saying where it stalled, and the server goes on serving.
TEST(EthermSimServe, Version2NamesEachRequestAndRefusesAStalledRunAtOnce) {
  ScratchDir dir;
  // ngspice follows the 1e17 Hz sine with steps of 1e-19 s: ten million of them to the end.
  dir.Write("stall.cir", "t\nV1 a 0 SIN(0 1 1e17)\nR1 a 0 1\n.tran 1e-19 1e-12\n.probe V(a)\n");
  dir.Write("ok.cir", "t\nV1 a 0 SIN(0 1 1k)\nR1 a 0 1\n.tran 1u 1m\n.probe V(a)\n");
  ServingSim sim(dir);
  sim.Send(std::string(serve::kHello2));
  EXPECT_EQ(sim.ReadLine(), std::string(serve::kReady2));
  const auto answer = [&](const std::string& circuit, long id) {
    sim.Send(serve::FormatRequest({circuit, id}));
    for (;;) {
      const std::optional<serve::Answer> a = serve::ParseAnswer(sim.ReadLine().value_or(""));
      if (!a || a->outcome != Outcome::kProgress) return a;
      EXPECT_EQ(a->id, id);
    }
  };
  const auto started = std::chrono::steady_clock::now();
  const std::optional<serve::Answer> stalled = answer("stall.cir", 7);
  ASSERT_TRUE(stalled);
  EXPECT_EQ(stalled->id, 7);
  EXPECT_EQ(stalled->outcome, Outcome::kRefused);
  EXPECT_NE(stalled->reason.find("the simulation stalled at t = "), std::string::npos)
      << stalled->reason;
  EXPECT_NE(stalled->reason.find("(time step 1e-19 s)"), std::string::npos) << stalled->reason;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  const std::optional<serve::Answer> ok = answer("ok.cir", 8);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->id, 8);
  EXPECT_EQ(ok->outcome, Outcome::kDone) << ok->reason;
  EXPECT_TRUE(dir.Exists("ok.csd"));
  EXPECT_EQ(sim.CloseAndWait(), 0);
}

// A run that takes no tiny steps but advances too slowly to end in any reasonable time is halted
// after the CPU time the guard allows (shortened here).
TEST(EthermSimServe, ARunThatBarelyAdvancesIsRefusedAfterItsCpuTime) {
  ScratchDir dir;
  dir.Write("slow.cir", "t\nV1 a 0 SIN(0 1 1e11)\nR1 a 0 1\n.tran 1e-12 1\n.probe V(a)\n");
  const ProgramRun run =
      RunEthermSimProgram(dir, {"slow.cir"}, "ETHERM_SIM_STALL_SECONDS=1");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(dir.Read("slow.out").find("less than a thousandth of the run's 1 s"),
            std::string::npos)
      << dir.Read("slow.out");
  EXPECT_FALSE(dir.Exists("slow.csd"));
}

// Requests name files inside the server's folder; a line beyond the bound is answered, not read
// into memory, and the server goes on.
TEST(EthermSimServe, RequestsOutsideTheFolderAndOverlongLinesAreAnswered) {
  ScratchDir dir;
  dir.Write("c.cir", "t\nV1 1 0 DC 1\nR1 1 0 1k\n.PROBE V(1)\n.DC V1 0 1 1\n");
  ServingSim sim(dir);
  Greet(sim);
  for (const std::string& outside : {dir.File("c.cir"), std::string("../c.cir"),
                                     std::string("sub/../../c.cir")}) {
    std::string reason;
    EXPECT_EQ(Request(sim, outside, &reason), Outcome::kRefused) << outside;
    EXPECT_NE(reason.find("is not inside the server's folder"), std::string::npos) << reason;
  }
  EXPECT_FALSE(dir.Exists("c.out"));
  sim.Send("run\t" + std::string(std::size_t{3} << 20, 'x') + ".cir");
  const std::optional<serve::Answer> longLine = serve::ParseAnswer(sim.ReadLine().value_or(""));
  ASSERT_TRUE(longLine);
  EXPECT_EQ(longLine->outcome, Outcome::kFailed);
  EXPECT_NE(longLine->reason.find("longer than"), std::string::npos) << longLine->reason;
  EXPECT_EQ(Request(sim, "c.cir"), Outcome::kDone);
  EXPECT_EQ(sim.CloseAndWait(), 0);
}

// A circuit handed over in a `text` request runs as the file of its name would, included files
// read beside it, and nothing is written: the probe data, or the listing of a refusal, come back
// as answer lines.
TEST(EthermSimServe, ATextRequestRunsTheCircuitAndWritesNoFile) {
  ScratchDir dir;
  dir.Write("models.lib", ".MODEL DT D(T_ABS=80 IS=1e-15)\n");
  const std::string cold = "text circuit\nV1 1 0 DC 1\nR1 1 2 1k\nD1 2 0 DT temp=40\n"
                           ".INC models.lib\n.PROBE V(2) I(D1)\n.DC V1 2 2 1\n";
  const std::string hot = Renamed(cold, "temp=40", "temp=85.5");
  const std::string refused = "t\nR1 1 0 1\n.control\nshell ls\n.endc\n.dc V1 0 1 1\n";
  dir.Write("cold.cir", cold);
  dir.Write("hot.cir", hot);
  dir.Write("refused.cir", refused);
  for (const char* name : {"cold.cir", "hot.cir"}) ASSERT_EQ(RunEthermSim(dir, name), 0) << name;
  ASSERT_NE(RunEthermSim(dir, "refused.cir"), 0);

  ServingSim sim(dir);
  sim.Send(std::string(serve::kHello2));
  EXPECT_EQ(sim.ReadLine(), std::string(serve::kReady2));
  struct Case {
    const char* name;
    std::string text;
    Outcome outcome;
    std::string data, listing;
  } cases[] = {
      {"t1.cir", cold, Outcome::kDone, dir.Read("cold.csd"), ""},
      // In place: the temperature altered on the circuit the last request left loaded.
      {"t2.cir", hot, Outcome::kDone, dir.Read("hot.csd"), ""},
      {"t3.cir", refused, Outcome::kRefused, "", Renamed(dir.Read("refused.out"), "refused", "t3")},
      {"t4.cir", cold, Outcome::kDone, dir.Read("cold.csd"), ""},
  };
  long id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    serve::Request request{c.name, ++id, serve::Verb::kText};
    request.text = c.text;
    sim.Send(serve::FormatRequest(request));
    std::string data, listing;
    std::optional<serve::Answer> answer;
    for (;;) {
      answer = serve::ParseAnswer(sim.ReadLine().value_or(""));
      ASSERT_TRUE(answer);
      EXPECT_EQ(answer->id, id);
      if (answer->outcome == Outcome::kData) {
        data += answer->reason;
      } else if (answer->outcome == Outcome::kListing) {
        listing += answer->reason;
      } else {
        break;
      }
    }
    EXPECT_EQ(answer->outcome, c.outcome) << answer->reason;
    EXPECT_EQ(WithoutClockLine(data.empty() ? "\n\n\n\n\n" : data),
              WithoutClockLine(c.data.empty() ? "\n\n\n\n\n" : c.data));
    EXPECT_EQ(listing, c.listing);
    const std::string stem = std::string(c.name).substr(0, 2);
    for (const char* extension : {".cir", ".csd", ".out", ".stan"})
      EXPECT_FALSE(dir.Exists(stem + extension)) << stem + extension;
  }
  EXPECT_EQ(sim.CloseAndWait(), 0);
}

}  // namespace
}  // namespace etherm::sim::test
