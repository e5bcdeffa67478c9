#pragma once
// Programs the sweep starts: GNU parallel, gnuplot. Started without a shell.

#include <string>
#include <vector>

namespace etherm::sweep {

struct ChildExit {
  bool started = false;  // false when the program was not found
  int status = 0;        // exit status, or 128 + the signal that ended it
};

// Starts argv[0] (searched on PATH) with argv, the sweep's standard output and error, and
// `input` on its standard input (nothing when input is null), and waits for it. While it runs,
// Ctrl-C is left to the child, which ends its own jobs; the sweep then reports.
ChildExit RunProgram(const std::vector<std::string>& argv, const std::string* input);

}  // namespace etherm::sweep
