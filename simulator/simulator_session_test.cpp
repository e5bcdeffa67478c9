// RunSimulator within a SimulatorSession, against stand-in serving programs: shell scripts that
// speak the serve protocol (or fail to) and write a token results file for each circuit.
#include "simulator/simulator_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "simulator/child_process.h"
#include "simulator/run_simulator.h"
#include "testing/scratch_folder.h"
#include "textio/failure.h"

namespace etherm {
namespace {

// The warnings an analysis listener was given.
struct WarningsSaid : AnalysisListener {
  std::vector<std::string> said;
  void Warning(std::string_view text) override { said.emplace_back(text); }
};

namespace fs = std::filesystem;

// Every start is recorded in "starts" (its arguments) and "pids" (its process, which leads its
// group). Started with --serve, the script greets and then runs `request` for each request line
// with the request's number in $n and the circuit file in $c; otherwise it runs `oneShot` with
// the circuit file as $1.
std::string Script(const std::string& request, const std::string& oneShot = "exit 9",
                   const std::string& greeting =
                       "read -r hello\n"
                       "[ \"$hello\" = 'etherm-serve 2' ] || exit 2\n"
                       "echo 'etherm-serve 2 ready'\n") {
  return "#!/bin/sh\n"
         "echo \"$*\" >> starts; echo $$ >> pids\n"
         "if [ \"$1\" != --serve ]; then\n" +
         oneShot + "\nexit\nfi\n" + greeting +
         "n=0\n"
         "while IFS= read -r line; do\n"
         "  n=$((n+1)); c=${line#run\t}; c=${c%\tid=*}\n" +
         request + "\ndone\n";
}

// The client numbers its requests from 1 for each process, as $n counts them.
const char kAnswerDone[] = "echo data > \"${c%.cir}.csd\"; printf 'id=%s\\tdone\\n' $n";

class SimulatorSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream("my circuit1.cir", std::ios::binary) << "* the circuit\r\n";
    std::ofstream("wyniki.txt");
    unsetenv("ETHERM_SIM_TIMEOUT");
    unsetenv("ETHERM_SIM_NO_SERVE");
  }
  void TearDown() override {
    unsetenv("ETHERM_SIMULATOR");
    unsetenv("ETHERM_SIM_TIMEOUT");
    unsetenv("ETHERM_SIM_NO_SERVE");
    // Whatever happened, no process the stand-in started is left.
    for (pid_t pid : Pids()) EXPECT_TRUE(GroupGone(pid)) << "process group " << pid;
  }

  void UseSimulator(const std::string& script) {
    program_ = folder_.File("stand-in-server");
    std::ofstream(program_, std::ios::binary) << script;
    chmod(program_.c_str(), 0755);
    setenv("ETHERM_SIMULATOR", program_.c_str(), 1);
  }
  static std::string Read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::vector<pid_t> Pids() {
    std::vector<pid_t> pids;
    std::istringstream in(Read("pids"));
    for (pid_t pid; in >> pid;) pids.push_back(pid);
    return pids;
  }
  // True when no live process is left in the group (a zombie whose parent was the group's
  // leader waits for whichever process adopts it, and runs no more).
  static bool GroupGone(pid_t group) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::ifstream in(entry.path() / "stat");
      std::string stat;
      if (!std::getline(in, stat) || stat.rfind(')') == std::string::npos) continue;
      std::istringstream rest(stat.substr(stat.rfind(')') + 2));
      std::string state;
      pid_t parent = 0, processGroup = 0;
      rest >> state >> parent >> processGroup;
      if (processGroup == group && state != "Z") return false;
    }
    return true;
  }
  // The number of passes (the run log has two lines each).
  static long Passes() {
    const std::string log = Read("wyniki.txt");
    long lines = 0;
    for (std::size_t at = 0; (at = log.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    return lines / 2;
  }
  // "" when the run succeeded, else the failure's text.
  static std::string Run(SimulationKind kind = SimulationKind::kDc) {
    try {
      RunSimulator("my circuit1", "wyniki.txt", kind, nullptr);
    } catch (const Failure& f) {
      return f.what();
    }
    return "";
  }

  testing::ScratchFolder folder_{testing::ScratchFolder::Enter::kYes};
  std::string program_;
};

TEST_F(SimulatorSessionTest, OneServingProcessRunsEveryPassOfTheSession) {
  UseSimulator(Script(std::string("echo \"$n $c\" >> requests\n") +
                          "[ -e wants-bias ] && echo bias > a1.bsp\n" + kAnswerDone,
                      "echo data > \"${1%.cir}.csd\""));
  {
    const SimulatorSession session;
    EXPECT_EQ(Run(), "");
    std::ofstream("wants-bias");
    EXPECT_EQ(Run(SimulationKind::kTransient), "");
    EXPECT_EQ(Read("starts"), "--serve\n");
    EXPECT_EQ(Read("requests"), "1 my circuit1.cir\n2 my circuit1.cir\n");
    EXPECT_EQ(Read("a2.bsp"), "bias\n");
    EXPECT_FALSE(fs::exists("a1.bsp"));
    EXPECT_EQ(Passes(), 2);
    EXPECT_FALSE(GroupGone(Pids().at(0)));  // kept between passes
  }
  EXPECT_TRUE(GroupGone(Pids().at(0)));  // and ended with the session

  // Without a session, and with serving switched off, every pass starts the program.
  fs::remove("starts");
  EXPECT_EQ(Run(), "");
  setenv("ETHERM_SIM_NO_SERVE", "1", 1);
  {
    const SimulatorSession session;
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(Run(), "");
  }
  EXPECT_EQ(Read("starts"), "my circuit1.cir\nmy circuit1.cir\nmy circuit1.cir\n");
}

TEST_F(SimulatorSessionTest, AFreshServerTakesOverAfterTheGivenNumberOfRequests) {
  UseSimulator(Script(kAnswerDone));
  {
    const SimulatorSession session(2);
    for (int run = 0; run < 5; ++run) EXPECT_EQ(Run(), "") << run;
    EXPECT_EQ(Read("starts"), "--serve\n--serve\n--serve\n");
    const std::vector<pid_t> pids = Pids();
    ASSERT_EQ(pids.size(), 3u);
    EXPECT_TRUE(GroupGone(pids[0]));
    EXPECT_TRUE(GroupGone(pids[1]));
  }
  EXPECT_EQ(Passes(), 5);
}

TEST_F(SimulatorSessionTest, AServerThatFailsARequestIsReplacedForTheNextPass) {
  const std::string second = "if [ $n = 2 ]; then ";
  struct Case {
    const char* what;
    std::string request;
  } cases[] = {
      {"crash", second + "kill -SEGV $$; fi\n" + kAnswerDone},
      {"hang", second + "sleep 60; fi\n" + kAnswerDone},
      {"stop without an answer", second + "exit 3; fi\n" + kAnswerDone},
      {"answer failed",
       second + "printf 'id=%s\\tfailed\\tngspice stopped\\n' $n; continue; fi\n" + kAnswerDone},
  };
  setenv("ETHERM_SIM_TIMEOUT", "0.5", 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"starts", "pids"}) fs::remove(name);
    std::ofstream("wyniki.txt");
    UseSimulator(Script(c.request));
    const SimulatorSession session;
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(Run(), "");  // its first pass fails, the second runs on a fresh server
    EXPECT_EQ(Passes(), 3);
    EXPECT_EQ(Read("starts"), "--serve\n--serve\n");
    ASSERT_EQ(Pids().size(), 2u);
    EXPECT_TRUE(GroupGone(Pids()[0]));
  }
}

TEST_F(SimulatorSessionTest, ThreeFailedPassesAndRefusalsEndTheRunAsWithoutServing) {
  setenv("ETHERM_SIM_TIMEOUT", "0.5", 1);
  struct Case {
    const char* what;
    std::string request;
    std::string failure;
    int passes;
  } cases[] = {
      {"crash", "kill -SEGV $$",
       "The circuit simulator wrote no results file \"my circuit1.csd\" in 3 runs "
       "(stand-in-server ended by signal SIGSEGV on my circuit1.cir)",
       3},
      {"hang", "sleep 60",
       "The circuit simulator wrote no results file \"my circuit1.csd\" in 3 runs (a run exceeded "
       "the time limit of ETHERM_SIM_TIMEOUT seconds)",
       3},
      {"refusal in the answer alone", "printf 'id=%s\\trefused\\tline 2: R1 has no value\\n' $n",
       "The circuit simulator refused \"my circuit1.cir\": line 2: R1 has no value; see its "
       "listing \"my circuit1.out\"",
       1},
      {"refusal in the listing too",
       "echo 'etherm-sim: error in my circuit1.cir: line 3: no .PROBE' > 'my circuit1.out'\n"
       "printf 'id=%s\\trefused\\tline 3: no .PROBE\\n' $n",
       "The circuit simulator refused \"my circuit1.cir\": line 3: no .PROBE; see its listing "
       "\"my circuit1.out\"",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"starts", "pids", "my circuit1.out"}) fs::remove(name);
    std::ofstream("wyniki.txt");
    UseSimulator(Script(c.request));
    const SimulatorSession session;
    EXPECT_EQ(Run(), c.failure);
    EXPECT_EQ(Passes(), c.passes);
  }
}

TEST_F(SimulatorSessionTest, AnAnswerOutsideTheProtocolFailsNamingTheProgram) {
  UseSimulator(Script("echo 'Segmentation fault (core dumped)'"));
  const SimulatorSession session;
  EXPECT_EQ(Run(), "The circuit simulator \"" + program_ +
                       "\" answered \"Segmentation fault (core dumped)\" to the request to run "
                       "\"my circuit1.cir\", which is no answer of etherm-sim --serve");
  EXPECT_TRUE(GroupGone(Pids().at(0)));
}

// An answer that names another request (one `done` too many) ends the run at once: every answer
// after it would belong to the wrong circuit.
TEST_F(SimulatorSessionTest, AnAnswerOutOfStepFailsNamingBothRequests) {
  UseSimulator(Script(std::string(kAnswerDone) + "; printf 'id=%s\\tdone\\n' $n"));
  const SimulatorSession session;
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(Run(), "The circuit simulator \"" + program_ +
                       "\" answered \"id=1\\tdone\" to the request to run \"my circuit1.cir\", "
                       "which answers request 1, not request 2 (its answers are out of step)");
  EXPECT_TRUE(GroupGone(Pids().at(0)));
}

// The simulated time a serving simulator tells reaches the listener, after the window's start.
TEST_F(SimulatorSessionTest, ProgressLinesReachTheListener) {
  UseSimulator(Script(std::string("printf 'id=%s\\tprogress\\t2.5e-06\\n' $n\n") +
                      kAnswerDone));
  struct Seen : AnalysisListener {
    std::vector<double> times;
    std::vector<std::string> warnings;
    void SimulatorAdvanced(double time) override { times.push_back(time); }
    void Warning(std::string_view text) override { warnings.emplace_back(text); }
  } seen;
  const SimulatorSession session;
  RunSimulator("my circuit1", "wyniki.txt", SimulationKind::kTransient, &seen, 1e-3);
  EXPECT_EQ(seen.times, std::vector<double>{1e-3 + 2.5e-6});
  EXPECT_TRUE(seen.warnings.empty());
}

TEST_F(SimulatorSessionTest, AProgramThatDoesNotServeRunsOncePerPass) {
  setenv("ETHERM_SIM_TIMEOUT", "1", 1);
  const char* oneShot = "echo data > \"${1%.cir}.csd\"";
  struct Case {
    const char* what;
    std::string greeting;
  } cases[] = {
      {"ends at once", "exit 0\n"},
      {"answers something else", "read -r hello; echo \"unknown option --serve\"; exit 2\n"},
      {"never answers", "sleep 60\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"starts", "pids"}) fs::remove(name);
    UseSimulator(Script(kAnswerDone, oneShot, c.greeting));
    WarningsSaid warnings;
    const SimulatorSession session;
    EXPECT_NO_THROW(RunSimulator("my circuit1", "wyniki.txt", SimulationKind::kDc, &warnings));
    EXPECT_EQ(Run(), "");
    // Said once, when the session gave up serving.
    ASSERT_EQ(warnings.said.size(), 1u);
    EXPECT_NE(warnings.said[0].find("started once for every iteration"), std::string::npos);
    // Asked to serve once per session, and then started for each pass.
    EXPECT_EQ(Read("starts"), "--serve\nmy circuit1.cir\nmy circuit1.cir\n");
    EXPECT_TRUE(GroupGone(Pids().at(0)));
  }
}

TEST_F(SimulatorSessionTest, AnInterruptEndsTheServerAndTheRun) {
  UseSimulator(Script("sleep 60"));
  // The interrupt stays recorded for the rest of the process: a process of its own.
  EXPECT_EXIT(
      {
        std::string text;
        {
          const SimulatorSession session;
          std::thread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            InterruptChild(SIGINT);
          }).detach();
          text = Run();
        }
        std::_Exit(text == "interrupted" && GroupGone(Pids().at(0)) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}


// RunSimulatorOnText: a stand-in that answers `text` requests from memory (data lines, or a
// listing and a refusal) and `run` requests with a file, as `action` says for the text.
std::string TextScript(const std::string& textAnswer) {
  return Script(
      "case \"$line\" in\n"
      "  text*) printf '%s\\n' \"$line\" | cut -f3 > text-seen\n" +
      textAnswer +
      " ;;\n"
      "  *) printf '#H\\r\\nfrom the file\\r\\n' > \"${c%.cir}.csd\"; echo listing > \"${c%.cir}.out\"\n"
      "     printf 'id=%s\\tdone\\n' $n ;;\n"
      "esac",
      "printf '#H\\r\\nfrom the file\\r\\n' > \"${1%.cir}.csd\"");
}

TEST_F(SimulatorSessionTest, ACircuitInMemoryGoesOverThePipeAndFilesOnlyWhereNeeded) {
  setenv("ETHERM_SIM_TIMEOUT", "2", 1);
  fs::remove("my circuit1.cir");
  const std::string circuit = "* the circuit\r\nR1 1 0 1k\r\n";
  struct Case {
    const char* what;
    std::string textAnswer;
    bool session;
    std::string failure;   // "" when the run succeeds
    std::string probeData;
    std::vector<std::string> files;  // of the iteration, and a1.cir, after the call
    long passes;
  } cases[] = {
      {"served", "printf 'id=%s\\tdata\\t#H\\\\r\\\\n\\nid=%s\\tdata\\tx\\\\r\\\\n\\n' $n $n\n"
                 "printf 'id=%s\\tdone\\n' $n",
       true, "", "#H\r\nx\r\n", {}, 1},
      {"refused", "printf 'id=%s\\tlisting\\tetherm-sim listing\\\\n\\n' $n\n"
                  "printf 'id=%s\\tlisting\\tetherm-sim: error in my circuit1.cir: line 2: bad\\\\n\\n' $n\n"
                  "printf 'id=%s\\trefused\\tline 2: bad\\n' $n",
       true,
       "The circuit simulator refused \"my circuit1.cir\": line 2: bad; see its listing "
       "\"my circuit1.out\"",
       "", {"my circuit1.cir", "my circuit1.out"}, 1},
      // The pass after a crash runs the file, whose files go once its probe data are read.
      {"crashed", "kill -SEGV $$", true, "", "#H\r\nfrom the file\r\n", {"a1.cir"}, 2},
      {"no session", "exit 9", false, "", "#H\r\nfrom the file\r\n", {"a1.cir"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"starts", "pids", "my circuit1.out", "my circuit1.cir", "a1.cir",
                             "text-seen"})
      fs::remove(name);
    std::ofstream("wyniki.txt");
    UseSimulator(TextScript(c.textAnswer));
    std::string failure, probeData;
    {
      std::optional<SimulatorSession> session;
      if (c.session) session.emplace();
      try {
        probeData = RunSimulatorOnText("my circuit1", circuit, "wyniki.txt", SimulationKind::kDc,
                                       nullptr)
                        .probeData;
      } catch (const Failure& f) {
        failure = f.what();
      }
    }
    EXPECT_EQ(failure, c.failure);
    EXPECT_EQ(probeData, c.probeData);
    EXPECT_EQ(Passes(), c.passes);
    std::vector<std::string> files;
    for (const char* name : {"my circuit1.cir", "my circuit1.csd", "my circuit1.out", "a1.cir"})
      if (fs::exists(name)) files.push_back(name);
    EXPECT_EQ(files, c.files);
    if (c.session) {
      EXPECT_EQ(Read("text-seen"), "* the circuit\\r\\nR1 1 0 1k\\r\\n\n");
    }
    if (!failure.empty()) {
      EXPECT_EQ(Read("my circuit1.cir"), circuit);
    }
    if (std::string(c.what) == "refused") {
      EXPECT_EQ(Read("my circuit1.out"),
                "etherm-sim listing\netherm-sim: error in my circuit1.cir: line 2: bad\n");
    }
  }
  // A circuit longer than a request line may be goes as a file, the same server running it.
  fs::remove("text-seen");
  const std::string huge = circuit + std::string(600000, '*') + "\r\n";
  const SimulatorSession session;
  EXPECT_EQ(RunSimulatorOnText("my circuit1", huge, "wyniki.txt", SimulationKind::kDc, nullptr)
                .probeData,
            "#H\r\nfrom the file\r\n");
  EXPECT_FALSE(fs::exists("text-seen"));
  EXPECT_FALSE(fs::exists("my circuit1.cir"));
}

// A server started ahead serves the first pass; one that does not serve is found at the first
// pass as without the early start; a program that cannot start is left to the pass to report.
TEST_F(SimulatorSessionTest, AServerStartedAheadIsUsedOrFoundWantingAtTheFirstPass) {
  setenv("ETHERM_SIM_TIMEOUT", "1", 1);
  const char* oneShot = "echo data > \"${1%.cir}.csd\"";
  struct Case {
    const char* what;
    std::string greeting;
    std::string starts;
    std::size_t warnings;
  } cases[] = {
      {"serves", "read -r hello; echo 'etherm-serve 2 ready'\n", "--serve\n", 0},
      {"ends at once", "exit 0\n", "--serve\nmy circuit1.cir\nmy circuit1.cir\n", 1},
      {"never answers", "sleep 60\n", "--serve\nmy circuit1.cir\nmy circuit1.cir\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"starts", "pids"}) fs::remove(name);
    UseSimulator(Script(kAnswerDone, oneShot, c.greeting));
    WarningsSaid warnings;
    SimulatorSession session;
    session.Prestart(program_, 1);
    for (int pass = 0; pass < 2; ++pass)
      EXPECT_NO_THROW(RunSimulator("my circuit1", "wyniki.txt", SimulationKind::kDc, &warnings));
    EXPECT_EQ(Read("starts"), c.starts);
    EXPECT_EQ(warnings.said.size(), c.warnings);
  }
  // Not there at all: the early start says nothing, the pass fails as it always did.
  setenv("ETHERM_SIMULATOR", folder_.File("no-such-simulator").c_str(), 1);
  SimulatorSession session;
  session.Prestart(folder_.File("no-such-simulator"), 1);
  EXPECT_NE(Run().find("no-such-simulator"), std::string::npos);
}

}  // namespace
}  // namespace etherm
