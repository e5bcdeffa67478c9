#pragma once
// A test's client of etherm-sim --serve: the program started in a scratch folder with its
// standard input and output as pipes.

#include <sys/types.h>

#include <optional>
#include <string>

#include "sim_test_util.h"

namespace etherm::sim::test {

class ServingSim {
 public:
  // Starts ETHERM_BIN/etherm-sim --serve in the folder (standard error to serve.err there).
  explicit ServingSim(const ScratchDir& dir);
  // Kills the program when the test has not waited for it.
  ~ServingSim();
  ServingSim(const ServingSim&) = delete;
  ServingSim& operator=(const ServingSim&) = delete;

  // Writes `line` and a LF.
  void Send(const std::string& line);
  // The next line without its LF; nothing at the end of the output or after 60 s of silence.
  std::optional<std::string> ReadLine();
  // Closes standard input and returns the exit status (-1 when it did not end by itself within
  // 60 s, or ended by a signal).
  int CloseAndWait();

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string pending_;
};

}  // namespace etherm::sim::test
