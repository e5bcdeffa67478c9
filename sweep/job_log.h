#pragma once
// The job log GNU parallel keeps of a sweep's runs (cases/joblog): one tab-separated line per
// finished job, numbered by the case's place in the table from 1. A case run again gets a
// further line; its last line counts.

#include <map>
#include <set>
#include <string>

namespace etherm::sweep {

struct JobEntry {
  int exitValue = 0;
  int signal = 0;
  std::string runtime;  // seconds, as logged
  bool Ok() const { return exitValue == 0 && signal == 0; }
};

// The last entry of each job number; an absent or empty log gives none.
std::map<int, JobEntry> ReadJobLog(const std::string& fileName);

// Removes every line of the given job numbers, so that parallel --resume-failed runs them again.
void ForgetJobs(const std::string& fileName, const std::set<int>& jobs);

}  // namespace etherm::sweep
