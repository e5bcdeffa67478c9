#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace etherm {

enum class ChildOutcome { kExited, kTimedOut };

struct ChildResult {
  ChildOutcome outcome = ChildOutcome::kExited;
  int exitStatus = 0;    // exit code, or 128 + signal number
  int endingSignal = 0;  // the signal that ended the child, 0 when it exited
};

// Starts program with argv {program, args...} in the current folder, without a shell, and
// waits for it. A child still running timeoutSeconds after its start (however far it got: a
// child stopped before its exec included) is sent SIGTERM, then SIGKILL, with everything it
// started. Throws Failure naming the program when it cannot be started, and
// Failure("interrupted") when InterruptChild was called before the start.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     double timeoutSeconds);

// Starts program with argv {program, args...} in its own process group, in the current folder,
// without a shell; its standard input and output are `io` when that is not -1. Until
// ForgetChild, InterruptChild kills the child's group, from the moment the child exists. Waits
// for the program's exec at most until `deadline`: a child stopped before it is returned
// all the same, for the caller to end at its own deadline. Throws as RunChild does.
pid_t StartChild(const std::string& program, const std::vector<std::string>& args, int io = -1,
                 std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() +
                                                                  std::chrono::seconds(20));

// Waits for a child of StartChild until the deadline: true, with its result, when it ended.
bool WaitForChild(pid_t pid, std::chrono::steady_clock::time_point deadline, ChildResult* result);

// Ends a child of StartChild that is still running, with its group (SIGTERM, then SIGKILL), and
// waits for it; the result says kTimedOut.
ChildResult EndChildGroup(pid_t pid);

// After the child has ended: InterruptChild no longer concerns it.
void ForgetChild(pid_t pid);

// For a signal handler (async-signal-safe): kills the process group of the running child (of
// RunChild or StartChild), now or as soon as it is started, and records the signal, so that
// whoever waits for it returns at once and the run can end with "interrupted".
void InterruptChild(int signalNumber);

// The signal given to InterruptChild, 0 when none was.
int InterruptSignal();

}  // namespace etherm
