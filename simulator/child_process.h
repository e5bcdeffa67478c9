#pragma once

#include <string>
#include <vector>

namespace etherm {

enum class ChildOutcome { kExited, kTimedOut };

struct ChildResult {
  ChildOutcome outcome = ChildOutcome::kExited;
  int exitStatus = 0;  // exit code, or 128 + signal number
};

// Starts program with argv {program, args...} in the current folder, without a shell, and
// waits for it. A child still running after timeoutSeconds is sent SIGTERM, then SIGKILL, with
// everything it started. Throws Failure naming the program when it cannot be started.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     double timeoutSeconds);

}  // namespace etherm
