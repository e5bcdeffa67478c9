// etherm-sim --serve with DC circuits run in place against the same circuits loaded anew: the
// listings and probe data byte for byte, the values bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "serve_protocol.h"
#include "serve_test_util.h"
#include "sim_test_util.h"

namespace etherm::sim::test {
namespace {

// The probe data without line 5, which holds the time of the run.
std::string WithoutClockLine(const std::string& csd) {
  std::size_t start = 0;
  for (int line = 1; line < 5; ++line) start = csd.find('\n', start) + 1;
  return csd.substr(0, start) + csd.substr(csd.find('\n', start) + 1);
}

std::string ReadExample(const std::string& name) {
  std::FILE* f = std::fopen(
      (std::string(ETHERM_EXAMPLES_DIR) + "/" + name + "/" + name + ".cir").c_str(), "rb");
  EXPECT_NE(f, nullptr) << name;
  std::string text;
  if (!f) return text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  return text;
}

// One iteration's circuit as the DC driver writes it: every T_ABS=27 at its own temperature,
// the .DC line at one point.
struct Iteration {
  std::string example;
  std::string text;
  bool nodeset = false;
};

Iteration MakeIteration(const std::string& example, std::mt19937& random, bool nodeset) {
  std::string text = ReadExample(example);
  std::uniform_real_distribution<double> temperature(-20, 180), share(0, 1);
  for (std::size_t at = 0; (at = text.find("T_ABS=27", at)) != std::string::npos;) {
    char value[40];
    // Mostly as the writer prints them, now and then with every digit of a double.
    std::snprintf(value, sizeof value, share(random) < 0.7 ? "t_abs=%.3f" : "t_abs=%.17g",
                  temperature(random));
    text.replace(at, 8, value);
    at += std::string(value).size();
  }
  const std::size_t dc = text.find(".DC ");
  const std::size_t end = text.find('\n', dc);
  std::vector<std::string> words;
  std::string word;
  for (char c : text.substr(dc, end - dc) + " ") {
    if (c == ' ' || c == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  EXPECT_EQ(words.size(), 5u) << example;
  const double start = std::atof(words[2].c_str()), stop = std::atof(words[3].c_str());
  const std::string point = WriterReal(start + (stop - start) * share(random));
  std::string line =
      ".DC " + words[1] + " " + point + " " + point + " " + WriterReal(std::atof(words[4].c_str()));
  if (nodeset) line += "\r\n.NODESET V(2)=" + WriterReal(share(random));
  text.replace(dc, end - dc - (text[end - 1] == '\r' ? 1 : 0), line);
  return {example, text, nodeset};
}

// Runs every circuit through one server in `dir`; returns its trace lines.
std::vector<std::string> Serve(const ScratchDir& dir, const std::vector<Iteration>& iterations,
                               bool inPlace) {
  for (std::size_t i = 0; i < iterations.size(); ++i)
    dir.Write("c" + std::to_string(i) + ".cir", iterations[i].text);
  ::setenv("ETHERM_SIM_TRACE", "1", 1);
  ::setenv("ETHERM_SIM_IN_PLACE", inPlace ? "on" : "off", 1);
  {
    ServingSim sim(dir);
    ::unsetenv("ETHERM_SIM_TRACE");
    ::unsetenv("ETHERM_SIM_IN_PLACE");
    sim.Send(std::string(serve::kHello));
    EXPECT_EQ(sim.ReadLine(), std::string(serve::kReady));
    for (std::size_t i = 0; i < iterations.size(); ++i) {
      sim.Send(serve::FormatRequest({"c" + std::to_string(i) + ".cir"}));
      EXPECT_EQ(sim.ReadLine(), "done") << i;
    }
    EXPECT_EQ(sim.CloseAndWait(), 0);
  }
  std::vector<std::string> lines;
  const std::string err = dir.Read("serve.err");
  for (std::size_t at = 0, end; (end = err.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(err.substr(at, end - at));
  return lines;
}

TEST(EthermSimInPlace, EveryDcExampleGivesWhatAFreshLoadGives) {
  std::mt19937 random(20261211);
  // Each example's iterations, one that brings a .NODESET line (loaded anew, and so is the one
  // after it), then the first example again after the second.
  std::vector<std::string> examples;  // every example with a DC sweep
  for (const auto& entry : std::filesystem::directory_iterator(ETHERM_EXAMPLES_DIR)) {
    const std::string name = entry.path().filename().string();
    if (ReadExample(name).find("\n.DC ") != std::string::npos) examples.push_back(name);
  }
  std::sort(examples.begin(), examples.end());
  ASSERT_GE(examples.size(), 2u);
  std::vector<Iteration> iterations;
  for (const std::string& example : examples) {
    for (int i = 0; i < 12; ++i) iterations.push_back(MakeIteration(example, random, i == 7));
  }
  // A transient between two DC runs of the same circuit: both DC runs load anew.
  iterations.push_back(MakeIteration(examples.front(), random, false));
  iterations.push_back({"transient",
                        "RC step\r\nV1 1 0 PULSE(0 1 0 1u 1u 1 2)\r\nR1 1 2 1k\r\n"
                        "C1 2 0 1n\r\n.TRAN 0.1u 5u\r\n.PROBE V(2)\r\n.END\r\n",
                        false});
  for (int i = 0; i < 3; ++i) iterations.push_back(MakeIteration(examples.front(), random, false));

  ScratchDir inPlace, anew;
  const std::vector<std::string> traced = Serve(inPlace, iterations, true);
  const std::vector<std::string> reference = Serve(anew, iterations, false);
  ASSERT_EQ(traced.size(), iterations.size());
  ASSERT_EQ(reference.size(), iterations.size());
  for (std::size_t i = 0; i < iterations.size(); ++i) {
    const std::string name = "c" + std::to_string(i);
    const bool expected = i > 0 && iterations[i - 1].example == iterations[i].example &&
                          !iterations[i - 1].nodeset && !iterations[i].nodeset;
    ASSERT_NE(traced[i].find(": 0x"), std::string::npos) << traced[i];  // values traced
    EXPECT_EQ(traced[i].find(name + ".cir ran in place:") != std::string::npos, expected)
        << traced[i];
    EXPECT_NE(reference[i].find(name + ".cir loaded anew:"), std::string::npos) << reference[i];
    // The probe values exactly, then the files byte for byte.
    EXPECT_EQ(traced[i].substr(traced[i].rfind(':')), reference[i].substr(reference[i].rfind(':')))
        << name;
    EXPECT_EQ(inPlace.Read(name + ".out"), anew.Read(name + ".out")) << name;
    EXPECT_EQ(WithoutClockLine(inPlace.Read(name + ".csd")),
              WithoutClockLine(anew.Read(name + ".csd")))
        << name;
  }
}

// A point that fails in place (the diode near 0 K does not converge) is run again from a fresh
// load, whose refusal and listing the answer and files are; the next circuit loads anew.
TEST(EthermSimInPlace, AFailureInPlaceIsTheFreshLoadsFailure) {
  auto circuit = [](const char* temperature) {
    return std::string("diode near 0 K\r\nV1 1 0 DC 1\r\nR1 1 2 2\r\nD1 2 0 DPWR\r\n") +
           ".MODEL DPWR D(t_abs=" + temperature + " IS=2.5E-9 N=1.75 RS=0.042)\r\n" +
           ".DC V1 3 3 1\r\n.PROBE/CSDF V(2) I(D1)\r\n.END\r\n";
  };
  const std::vector<std::string> texts = {circuit("27"), circuit("-273.1"), circuit("40")};
  std::vector<std::string> outs[2], answers[2], traces[2];
  for (int inPlace = 0; inPlace < 2; ++inPlace) {
    ScratchDir dir;
    ::setenv("ETHERM_SIM_TRACE", "1", 1);
    ::setenv("ETHERM_SIM_IN_PLACE", inPlace ? "on" : "off", 1);
    ServingSim sim(dir);
    ::unsetenv("ETHERM_SIM_TRACE");
    ::unsetenv("ETHERM_SIM_IN_PLACE");
    sim.Send(std::string(serve::kHello));
    ASSERT_EQ(sim.ReadLine(), std::string(serve::kReady));
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const std::string name = "c" + std::to_string(i);
      dir.Write(name + ".cir", texts[i]);
      sim.Send(serve::FormatRequest({name + ".cir"}));
      answers[inPlace].push_back(sim.ReadLine().value_or(""));
      outs[inPlace].push_back(dir.Read(name + ".out"));
    }
    EXPECT_EQ(sim.CloseAndWait(), 0);
    traces[inPlace].push_back(dir.Read("serve.err"));
  }
  EXPECT_EQ(answers[1][0], "done");
  EXPECT_EQ(answers[1][1].rfind("refused\tthe analysis failed", 0), 0u) << answers[1][1];
  EXPECT_EQ(answers[1], answers[0]);
  EXPECT_EQ(outs[1], outs[0]);
  EXPECT_NE(traces[1][0].find("c2.cir loaded anew"), std::string::npos) << traces[1][0];
}

// A transient paused between requests, begun after a DC run whose circuit stayed loaded, runs
// as in a fresh server.
TEST(EthermSimInPlace, APausedTransientAfterAKeptDcCircuitRunsAsInAFreshServer) {
  std::mt19937 random(7);
  const Iteration dc = MakeIteration("diode_dc", random, false);
  const std::string transient =
      "t\nV1 a 0 SIN(0.2 1 10k)\nR1 a b 10\nD1 b 0 DX\n"
      ".model DX D(T_ABS=60 IS=1e-12 N=1.2 RS=0.5)\n.tran 0.2u 100u\n.probe I(D1)\n";
  std::string csd[2], listing[2];
  for (int afterDc = 0; afterDc < 2; ++afterDc) {
    ScratchDir dir;
    dir.Write("dc.cir", dc.text);
    dir.Write("paused.cir", transient);
    ServingSim sim(dir);
    sim.Send(std::string(serve::kHello2));
    ASSERT_EQ(sim.ReadLine(), std::string(serve::kReady2));
    long id = 0;
    const auto ask = [&](serve::Request request) {
      request.id = ++id;
      sim.Send(serve::FormatRequest(request));
      for (;;) {
        const std::optional<serve::Answer> a = serve::ParseAnswer(sim.ReadLine().value_or(""));
        if (!a || a->outcome != serve::Outcome::kProgress)
          return a ? a->outcome : serve::Outcome::kFailed;
      }
    };
    if (afterDc) {
      ASSERT_EQ(ask({"dc.cir", 0, serve::Verb::kRun}), serve::Outcome::kDone);
    }
    ASSERT_EQ(ask({"paused.cir", 0, serve::Verb::kBegin}), serve::Outcome::kDone);
    ASSERT_EQ(ask({"first.csd", 0, serve::Verb::kUntil, 5e-5}), serve::Outcome::kDone);
    ASSERT_EQ(ask({"", 0, serve::Verb::kEnd}), serve::Outcome::kDone);
    EXPECT_EQ(sim.CloseAndWait(), 0);
    csd[afterDc] = WithoutClockLine(dir.Read("first.csd"));
    // ngspice numbers its stop conditions over the whole session, whatever ran before.
    listing[afterDc] = dir.Read("paused.out");
    const std::size_t stop = listing[afterDc].find(" : condition met");
    ASSERT_NE(stop, std::string::npos);
    const std::size_t number = listing[afterDc].rfind('\n', stop) + 1;
    listing[afterDc].replace(number, stop - number, "N");
  }
  EXPECT_EQ(csd[1], csd[0]);
  EXPECT_EQ(listing[1], listing[0]);
}

}  // namespace
}  // namespace etherm::sim::test
