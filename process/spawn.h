#pragma once
// Starting child programs: one place for every program etherm starts (the simulator, gnuplot,
// GNU parallel).

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace etherm::process {

// What to start and how.
struct SpawnRequest {
  // argv[0] is the program: a path, or with searchPath and no '/' in it, a name looked up in
  // PATH as a shell would.
  std::vector<std::string> argv;
  bool searchPath = false;
  // When not empty, the program's path, argv[0] then being only the name it is given.
  std::string path;
  // A process group of its own (its id is the child's), so that the whole group it starts
  // can be ended.
  bool ownProcessGroup = false;
  // The child's standard input, output and error: a descriptor of this process, kInherit or
  // kDevNull.
  int input = kInherit;
  int output = kInherit;
  int error = kInherit;
  // SIGINT and SIGPIPE back to their default actions in the child (this process may ignore
  // them), every signal unblocked.
  bool defaultSignals = true;

  static constexpr int kInherit = -1;
  static constexpr int kDevNull = -2;
};

struct Spawned {
  pid_t pid = -1;  // -1 when the program could not be started
  int error = 0;   // that start's errno (ENOENT: no such program)
  // The child neither started the program nor failed to by the deadline (it was stopped before
  // its exec, or the machine is starved): it still runs, its end is the caller's to bring
  // about with its own deadline, as for a program that hangs.
  bool pending = false;
};

// Starts the program with fork and exec, never a shell. The child does nothing but async-
// signal-safe calls before its exec, and reports a failed exec over a close-on-exec pipe; this
// call returns when the program runs, when it could not start (pid -1, error set, the child
// reaped), or at `deadline`, whichever comes first, so a child stopped between fork and exec
// never holds the caller. `started`, when given, receives the pid the moment it exists (before
// the exec is known), so that an interrupt can end the child at any moment. Signals that
// interrupt the wait do not end it early.
Spawned Spawn(const SpawnRequest& request, std::chrono::steady_clock::time_point deadline,
              const std::function<void(pid_t)>& started = {});

// Becomes the program in this process (exec after the same preparation of descriptors and
// signals as for a child; no process group). Returns only when it could not: the errno.
int ExecHere(const SpawnRequest& request);

// For tests of what callers do with a child stopped between fork and exec: from now on every
// child raises SIGSTOP just before its exec.
void StopChildrenBeforeExecForTesting(bool stop);

}  // namespace etherm::process
