#include "process/child.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "process/spawn.h"
#include "testing/scratch_folder.h"

namespace etherm::process {
namespace {

using Clock = std::chrono::steady_clock;
using Outcome = ChildResult::Outcome;

bool Alive(pid_t pid) {
  return ::kill(pid, 0) == 0;
}

TEST(ChildRun, TellsHowTheChildEnded) {
  struct Case {
    const char* what;
    std::vector<std::string> argv;
    std::optional<std::string> input;
    bool interruptible;
    Outcome outcome;
    int exitStatus;
    int endingSignal;
    int startError;
    std::string errorText;
  } cases[] = {
      {"an exit code", {"sh", "-c", "exit 3"}, {}, false, Outcome::kExited, 3, 0, 0, ""},
      {"a signal",
       {"sh", "-c", "kill -TERM $$"},
       {},
       true,
       Outcome::kSignalled,
       128 + SIGTERM,
       SIGTERM,
       0,
       ""},
      {"no such program",
       {"etherm-no-such-program"},
       {},
       false,
       Outcome::kNotStarted,
       0,
       0,
       ENOENT,
       ""},
      {"input in, standard error kept",
       {"sh", "-c", "cat >&2"},
       std::string("one\ntwo\n"),
       false,
       Outcome::kExited,
       0,
       0,
       0,
       "one\ntwo\n"},
      // A child that reads nothing of a large input: no SIGPIPE here, its status counts.
      {"input not read",
       {"sh", "-c", "exit 5"},
       std::string(1 << 20, 'x'),
       false,
       Outcome::kExited,
       5,
       0,
       0,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ChildRequest request;
    request.argv = c.argv;
    request.searchPath = true;
    request.input = c.input;
    request.captureError = true;
    request.interruptible = c.interruptible;
    request.timeout = std::chrono::seconds(30);
    const ChildResult result = process::Run(request);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.exitStatus, c.exitStatus);
    EXPECT_EQ(result.endingSignal, c.endingSignal);
    EXPECT_EQ(result.startError, c.startError);
    EXPECT_EQ(result.errorText, c.errorText);
  }
}

// A time-out ends the child; an interruptible one's group goes with it (what the simulator
// started), after a chance to end by itself.
TEST(ChildRun, ATimeOutEndsTheChildAndAnInterruptibleOnesGroup) {
  for (const bool interruptible : {false, true}) {
    SCOPED_TRACE(interruptible ? "interruptible" : "plain");
    testing::ScratchFolder folder;
    const std::string pidFile = folder.File("grandchild.pid");
    ChildRequest request;
    request.argv = {"/bin/sh", "-c", "sleep 30 & echo $! > '" + pidFile + "'; wait"};
    request.interruptible = interruptible;
    request.timeout = std::chrono::milliseconds(500);
    const auto start = Clock::now();
    const ChildResult result = process::Run(request);
    EXPECT_EQ(result.outcome, Outcome::kTimedOut);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    pid_t grandchild = 0;
    std::ifstream(pidFile) >> grandchild;
    ASSERT_GT(grandchild, 0);
    // An orphan is reaped by init, not at once: its end is awaited a little.
    bool gone = !Alive(grandchild);
    for (int i = 0; i < 100 && !gone && interruptible; ++i) {
      gone = !Alive(grandchild);
      if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(gone, interruptible);
    if (!gone) ::kill(grandchild, SIGKILL);
  }
}

TEST(ChildRun, AnInterruptEndsTheInterruptibleChildAndStopsTheNext) {
  ChildRequest request;
  request.argv = {"/bin/sh", "-c", "sleep 30"};
  request.interruptible = true;
  std::thread interrupter([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    InterruptChild(SIGINT);
  });
  const auto start = Clock::now();
  const ChildResult ended = process::Run(request);
  interrupter.join();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(ended.outcome, Outcome::kSignalled);
  EXPECT_EQ(ended.endingSignal, SIGKILL);
  EXPECT_EQ(InterruptSignal(), SIGINT);

  const ChildResult next = process::Run(request);
  EXPECT_EQ(next.outcome, Outcome::kNotStarted);
  EXPECT_EQ(next.startError, EINTR);
  int error = 0;
  EXPECT_EQ(StartInterruptible({"/bin/true"}, -1, Clock::now() + std::chrono::seconds(5), &error),
            -1);
  EXPECT_EQ(error, EINTR);

  InterruptChild(0);  // cleared: the next run starts
  request.argv = {"/bin/true"};
  EXPECT_EQ(process::Run(request).outcome, Outcome::kExited);
}

TEST(ExecHere, BecomesTheProgramUnderTheNameGivenOrTellsWhyNot) {
  testing::ScratchFolder folder;
  const std::string out = folder.File("out.txt");
  const pid_t pid = ::fork();
  if (pid == 0) {
    SpawnRequest request;
    request.path = "/bin/sh";
    request.argv = {"a-name", "-c", "echo \"$0\" > '" + out + "'"};
    request.input = SpawnRequest::kDevNull;
    ExecHere(request);
    ::_exit(99);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(testing::ReadBytes(out), "a-name\n");

  // Nothing to exec: this process goes on with the reason (descriptors and signals as they were).
  SpawnRequest missing;
  missing.path = folder.File("missing");
  missing.argv = {"missing"};
  missing.defaultSignals = false;
  EXPECT_EQ(ExecHere(missing), ENOENT);
}

}  // namespace
}  // namespace etherm::process
