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

}  // namespace etherm::report
