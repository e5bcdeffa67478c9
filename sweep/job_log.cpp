#include "sweep/job_log.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "sweep/sweep_files.h"
#include "textio/failure.h"

namespace etherm::sweep {

namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string f; std::getline(in, f, '\t');) fields.push_back(f);
  return fields;
}

// The job number of a log line, 0 for the header and lines of another shape.
int JobNumber(const std::string& line) {
  const std::vector<std::string> f = Fields(line);
  if (f.size() < 9) return 0;
  try {
    return std::stoi(f[0]);
  } catch (const std::exception&) {
    return 0;
  }
}

std::string Trim(std::string s) {
  s.erase(0, s.find_first_not_of(' '));
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

}  // namespace

std::map<int, JobEntry> ReadJobLog(const std::string& fileName) {
  std::map<int, JobEntry> entries;
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec)) return entries;  // nothing run yet
  std::istringstream in(ReadWholeFile(fileName));
  for (std::string line; std::getline(in, line);) {
    const int job = JobNumber(line);
    if (job <= 0) continue;
    const std::vector<std::string> f = Fields(line);
    JobEntry e;
    e.runtime = Trim(f[3]);
    try {
      e.exitValue = std::stoi(f[6]);
      e.signal = std::stoi(f[7]);
    } catch (const std::exception&) {
      continue;
    }
    entries[job] = e;
  }
  return entries;
}

void ForgetJobs(const std::string& fileName, const std::set<int>& jobs) {
  std::ifstream in(fileName, std::ios::binary);
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    if (jobs.count(JobNumber(line)) == 0) kept += line + "\n";
  }
  in.close();
  // Written beside and renamed, so an interruption leaves the old log or the new one.
  const std::string temporary = fileName + ".new";
  WriteWholeFile(temporary, kept);
  std::error_code ec;
  std::filesystem::rename(temporary, fileName, ec);
  if (ec) throw Failure("cannot replace " + fileName + ": " + ec.message());
}

}  // namespace etherm::sweep
