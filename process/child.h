#pragma once
// Running child programs to their end: the simulator (one circuit at a time, or serving many),
// gnuplot with its script, GNU parallel in front of the user. Spawn (spawn.h) starts them.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace etherm::process {

// How a child program ended.
struct ChildResult {
  enum class Outcome { kExited, kSignalled, kTimedOut, kNotStarted };
  Outcome outcome = Outcome::kNotStarted;
  int exitStatus = 0;     // its exit code; 128 + the signal when a signal ended it
  int endingSignal = 0;   // the signal that ended it (after a time-out too); 0 when it exited
  int startError = 0;     // kNotStarted: the errno of the start (ENOENT: no such program,
                          // EINTR: InterruptChild came before the start)
  std::string errorText;  // with captureError: the start of what it wrote to standard error
};

struct ChildRequest {
  // argv[0] is the program: a path, or with searchPath and no '/' in it, a name looked up in
  // PATH as a shell would.
  std::vector<std::string> argv;
  bool searchPath = false;
  // Written to its standard input through a socket: a child that stops reading gets no more,
  // and this process no SIGPIPE. Without it the child has this process's standard input.
  std::optional<std::string> input;
  bool discardOutput = false;
  // Its standard error read into errorText instead of going to this process's.
  bool captureError = false;
  // In a process group of its own that InterruptChild ends from the moment the child exists,
  // and that a time-out ends as a whole (SIGTERM, a short grace, SIGKILL). Otherwise a time-out
  // kills the child at once.
  bool interruptible = false;
  // SIGINT and SIGPIPE back to their default actions in the child.
  bool defaultSignals = true;
  // A program working for the user at the terminal: Ctrl-C is left to the child (this process
  // ignores SIGINT while it waits), which ends its own work.
  bool foreground = false;
  // Counted from the start, the exec included; none: waits however long it takes.
  std::optional<std::chrono::milliseconds> timeout;
};

// Starts the program without a shell, in the current folder, and waits for its end.
ChildResult Run(const ChildRequest& request);

// For a child that lives on (a server): starts `argv` interruptible, with standard input and
// output on `io` when that is not -1. Waits for the exec at most until `deadline`: a child
// stopped before it is returned all the same, for the caller to end at its own deadline. -1
// with *error (as startError) when it cannot be started.
pid_t StartInterruptible(const std::vector<std::string>& argv, int io,
                         std::chrono::steady_clock::time_point deadline, int* error);

// Waits for a child of StartInterruptible until the deadline: true, with its result, when it
// ended.
bool WaitForChild(pid_t pid, std::chrono::steady_clock::time_point deadline, ChildResult* result);

// Ends a child of StartInterruptible that is still running, with its group (SIGTERM, then
// SIGKILL), and waits for it; the result says kTimedOut.
ChildResult EndChildGroup(pid_t pid);

// After the child has ended: InterruptChild no longer concerns it.
void ForgetChild(pid_t pid);

// For a signal handler (async-signal-safe): kills the process group of the running
// interruptible child, now or as soon as it is started, and records the signal, so that
// whoever waits for it returns at once and the run can end with "interrupted". 0 clears it.
void InterruptChild(int signalNumber);

// The signal given to InterruptChild, 0 when none was.
int InterruptSignal();

}  // namespace etherm::process
