#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace etherm::report {

// How a child program ended.
struct ChildResult {
  enum class Outcome { kExited, kSignalled, kTimedOut, kNotStarted };
  Outcome outcome = Outcome::kNotStarted;
  int exitStatus = 0;     // kExited
  int signal = 0;         // kSignalled
  int startError = 0;     // kNotStarted: the errno of the start (ENOENT: no such program)
  std::string errorText;  // the start of what it wrote to standard error
};

// Runs `argv[0]` (looked up in PATH unless it holds a slash) with `argv` as its arguments, no
// shell between; `input` goes to its standard input, its standard output is discarded. A child
// still running after `timeout` is killed. Never raises SIGPIPE in this process.
ChildResult RunChild(const std::vector<std::string>& argv, std::string_view input,
                     std::chrono::milliseconds timeout);

// Runs `argv[0]` (looked up in PATH unless it holds a slash) with `argv`, no shell between, on
// this process's standard input, output and error, and waits for it however long it takes: a
// program that works for the user in front of the terminal. Ctrl-C is left to the child, which
// ends its own work; this process goes on when it has ended. kNotStarted when it cannot start.
ChildResult RunForeground(const std::vector<std::string>& argv);

}  // namespace etherm::report
