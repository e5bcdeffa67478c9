#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "process/child.h"
#include "process/spawn.h"
#include "sweep/case_command.h"
#include "sweep/commands.h"
#include "sweep/job_log.h"
#include "sweep/sweep_files.h"
#include "textio/failure.h"
#include "textio/file_access.h"

namespace etherm::sweep {

const char* AnalysisWord(AnalysisKind analysis) {
  return analysis == AnalysisKind::kDc ? "dc" : "tran";
}

namespace {

// What a finished case leaves; without it the case runs again.
bool HasResults(const std::string& name, const std::string& base) {
  return std::filesystem::exists(CaseFile(name, base + ".tem")) &&
         std::filesystem::exists(CaseFile(name, base + ".csv"));
}

}  // namespace

int Run(const RunOptions& options, std::FILE* out) {
  CheckBaseName(options.base);
  const CaseTable table = ReadPreparedCases();
  for (const Case& c : table.cases) {
    for (const char* ext : {".par", ".cir"}) {
      const std::string file = CaseFile(c.name, options.base + ext);
      if (!std::filesystem::exists(file)) {
        throw Failure(file + " is missing; was the sweep prepared with another base name?");
      }
    }
  }
  const std::string batch = FindBatchProgram();
  if (batch.find_first_of("\r\n") != std::string::npos) {
    throw Failure("the path of etherm-batch holds a line break: \"" + batch + "\"");
  }
  const std::string log = std::string(kCasesFolder) + "/" + kJobLogFile;

  // A case logged as done whose results are gone is run again: parallel runs the job numbers
  // its log does not hold, and those that failed.
  std::map<int, JobEntry> logged = ReadJobLog(log);
  std::set<int> forget;
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    const int job = static_cast<int>(n) + 1;
    const auto it = logged.find(job);
    if (it != logged.end() && it->second.Ok() && !HasResults(table.cases[n].name, options.base)) {
      forget.insert(job);
      logged.erase(it);
    }
  }
  if (!forget.empty()) ForgetJobs(log, forget);

  // One line per case, in table order: the job numbers of the log. The shell runs each line
  // and gives way to etherm-batch, so a case costs one process beside parallel's own.
  std::string commands;
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    const Case& c = table.cases[n];
    const auto it = logged.find(static_cast<int>(n) + 1);
    // A status left by an earlier Slurm run would stand for this run in gather.
    if (it == logged.end() || !it->second.Ok()) {
      std::filesystem::remove(CaseFile(c.name, "etherm-batch.status"));
    }
    commands += CaseCommandLine(c.name, batch,
                                BatchArguments(options.analysis, options.base, options.plot,
                                               CaseAmbient(table, n))) +
                "\n";
  }
  const std::string commandFile = std::string(kCasesFolder) + "/" + kCommandFile;
  WriteWholeFile(commandFile, commands);

  // Every case on one thread, as the jobs already fill the processors; the plain POSIX shell
  // starts far quicker than an interactive one.
  setenv("OMP_NUM_THREADS", "1", 1);
  setenv("PARALLEL_SHELL", "/bin/sh", 1);
  // --ungroup: the cases write into their folders, so parallel has no output to hold back and
  // keeps no temporary files per job.
  std::vector<std::string> argv = {"parallel", "--will-cite", "--ungroup",
                                   "--joblog", log,           "--resume-failed"};
  if (options.jobs > 0) {
    argv.push_back("--jobs");
    argv.push_back(std::to_string(options.jobs));
  }
  if (options.progress) argv.push_back("--bar");
  argv.push_back("--arg-file");
  argv.push_back(commandFile);
  process::ChildRequest request;
  request.argv = argv;
  request.searchPath = true;
  request.foreground = true;
  const process::ChildResult parallel = process::Run(request);
  if (parallel.outcome == process::ChildResult::Outcome::kNotStarted) {
    if (parallel.startError == ENOENT) {
      throw Failure("GNU parallel is not installed (Debian package \"parallel\")");
    }
    throw Failure("cannot start GNU parallel: " + IoErrorText(parallel.startError));
  }

  const std::map<int, JobEntry> after = ReadJobLog(log);
  std::size_t ok = 0;
  std::string failed, notRun;
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    const auto it = after.find(static_cast<int>(n) + 1);
    if (it == after.end()) {
      notRun += " " + table.cases[n].name;
    } else if (it->second.Ok()) {
      ++ok;
    } else {
      failed += " " + table.cases[n].name;
    }
  }
  std::fprintf(out, "%zu of %zu cases ok\n", ok, table.cases.size());
  if (!failed.empty()) {
    std::fprintf(out, "failed (see cases/NAME/etherm-batch.err):%s\n", failed.c_str());
  }
  if (!notRun.empty()) std::fprintf(out, "not run:%s\n", notRun.c_str());
  return ok == table.cases.size() ? 0 : 1;
}

void RunCase(AnalysisKind analysis, const std::string& base, const std::string& name, bool plot) {
  auto fail = [&](const std::string& text) {
    std::fprintf(stderr, "etherm-sweep: case %s: %s\n", name.c_str(), text.c_str());
    std::exit(127);
  };
  std::vector<std::string> arguments;
  std::string batch;
  try {
    CheckBaseName(base);
    const CaseTable table = ReadPreparedCases();
    std::size_t index = 0;
    while (index < table.cases.size() && table.cases[index].name != name) ++index;
    if (index == table.cases.size()) fail("no such case in " + std::string(kCasesFolder) + "/");
    arguments = BatchArguments(analysis, base, plot, CaseAmbient(table, index));
    batch = FindBatchProgram();
  } catch (const Failure& failure) {
    fail(failure.what());
  }
  const std::string folder = CaseFile(name, "");
  if (chdir(folder.c_str()) != 0) fail("cannot enter " + folder + ": " + std::strerror(errno));
  unlink("etherm-batch.status");
  int outFd = -1, errFd = -1;
  try {
    outFd = OpenOutputFile("etherm-batch.out", OutputOpening::kCreate);
    errFd = OpenOutputFile("etherm-batch.err", OutputOpening::kCreate);
  } catch (const Failure& failure) {
    fail(std::string("cannot open its output files: ") + failure.what());
  }
  setenv("OMP_NUM_THREADS", "1", 1);
  process::SpawnRequest request;
  request.path = batch;
  request.argv = {"etherm-batch"};
  request.argv.insert(request.argv.end(), arguments.begin(), arguments.end());
  request.input = process::SpawnRequest::kDevNull;
  request.output = outFd;
  request.error = errFd;
  // This process gives way to etherm-batch as it is, signals included.
  request.defaultSignals = false;
  const int error = process::ExecHere(request);
  std::fprintf(stderr, "etherm-sweep: cannot start %s: %s\n", batch.c_str(), std::strerror(error));
  std::exit(127);
}

}  // namespace etherm::sweep
