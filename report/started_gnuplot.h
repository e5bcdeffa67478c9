#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "process/child.h"

namespace etherm::report {

// gnuplot started before its script exists, so that its start (about a third of a plot's CPU
// time) happens while the analysis runs. The script follows once the results are written; the
// pictures are those of a gnuplot started for the script alone. (Warming it up further does not
// pay: its fonts load in about a millisecond, and drawing is what the rest of the time goes to.)
class StartedGnuplot {
 public:
  // Starts `program` (looked up in PATH unless it holds a slash), its input open and empty.
  // Nothing when it cannot be started: a plot then starts its own.
  static std::unique_ptr<StartedGnuplot> Start(const std::string& program = "gnuplot");
  // Closes its input; a gnuplot still running a moment later is killed.
  ~StartedGnuplot();
  StartedGnuplot(const StartedGnuplot&) = delete;
  StartedGnuplot& operator=(const StartedGnuplot&) = delete;

  // Sends `script` and the end of its input, and waits for it as process::Run does (killed after
  // `timeout`, what it wrote on standard error kept). Once only. kNotStarted (nothing ran) when
  // the process ended before it took the script: a fresh one must draw it.
  process::ChildResult Run(std::string_view script, std::chrono::milliseconds timeout);
  const std::string& program() const { return program_; }

 private:
  StartedGnuplot(std::string program, pid_t pid, int input, int error)
      : program_(std::move(program)), pid_(pid), input_(input), error_(error) {}
  void ReadError();
  void CloseInput();

  std::string program_;
  pid_t pid_;
  int input_;
  int error_;
  bool reaped_ = false;
  std::string errorText_;
};

}  // namespace etherm::report
