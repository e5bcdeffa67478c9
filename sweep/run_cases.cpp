#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "sweep/child.h"
#include "sweep/commands.h"
#include "sweep/job_log.h"
#include "sweep/sweep_files.h"
#include "textio/failure.h"

namespace etherm::sweep {

const char* AnalysisWord(Analysis analysis) {
  return analysis == Analysis::kDc ? "dc" : "tran";
}

namespace {

std::string SelfProgram() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) throw Failure("cannot find the etherm-sweep program itself: " + ec.message());
  return self.string();
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
  const std::string log = std::string(kCasesFolder) + "/" + kJobLogFile;

  // A case logged as done whose results are gone is run again: parallel runs the job numbers
  // its log does not hold.
  const std::map<int, JobEntry> before = ReadJobLog(log);
  std::set<int> forget;
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    const int job = static_cast<int>(n) + 1;
    const auto it = before.find(job);
    if (it != before.end() && it->second.Ok() &&
        !std::filesystem::exists(CaseFile(table.cases[n].name, options.base + ".tem"))) {
      forget.insert(job);
    }
  }
  if (!forget.empty()) ForgetJobs(log, forget);

  // The cases inherit these: the program to run, and one thread each, as the jobs already
  // fill the processors.
  setenv("ETHERM_BATCH", batch.c_str(), 1);
  setenv("OMP_NUM_THREADS", "1", 1);
  std::vector<std::string> argv = {"parallel", "--will-cite", "--joblog", log, "--resume-failed"};
  if (options.jobs > 0) {
    argv.push_back("--jobs");
    argv.push_back(std::to_string(options.jobs));
  }
  if (options.progress) argv.push_back("--bar");
  // --quote: the command's words reach the job as they are, with no shell reading them.
  argv.push_back("--quote");
  for (const std::string& word :
       {SelfProgram(), std::string("run-case"), std::string(AnalysisWord(options.analysis)),
        options.base, std::string("{}"), std::string(":::")}) {
    argv.push_back(word);
  }
  for (const Case& c : table.cases) argv.push_back(c.name);
  const ChildExit parallel = RunProgram(argv, nullptr);
  if (!parallel.started) {
    throw Failure("GNU parallel is not installed (Debian package \"parallel\")");
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

void RunCase(Analysis analysis, const std::string& base, const std::string& name) {
  const std::string folder = CaseFile(name, "");
  auto fail = [&](const std::string& text) {
    std::fprintf(stderr, "etherm-sweep: case %s: %s\n", name.c_str(), text.c_str());
    std::exit(127);
  };
  if (chdir(folder.c_str()) != 0) fail("cannot enter " + folder + ": " + std::strerror(errno));
  // A status left by an earlier Slurm run would stand for this run in gather.
  unlink("etherm-batch.status");
  const int in = open("/dev/null", O_RDONLY);
  const int outFd = open("etherm-batch.out", O_WRONLY | O_CREAT | O_TRUNC, 0666);
  const int errFd = open("etherm-batch.err", O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (in < 0 || outFd < 0 || errFd < 0)
    fail(std::string("cannot open its output files: ") + std::strerror(errno));
  std::string batch;
  try {
    batch = FindBatchProgram();
  } catch (const Failure& failure) {
    dprintf(errFd, "etherm-sweep: %s\n", failure.what());
    std::exit(127);
  }
  dup2(in, STDIN_FILENO);
  dup2(outFd, STDOUT_FILENO);
  dup2(errFd, STDERR_FILENO);
  setenv("OMP_NUM_THREADS", "1", 1);
  const char* args[] = {"etherm-batch", AnalysisWord(analysis), base.c_str(), nullptr};
  execv(batch.c_str(), const_cast<char* const*>(args));
  std::fprintf(stderr, "etherm-sweep: cannot start %s: %s\n", batch.c_str(), std::strerror(errno));
  std::exit(127);
}

}  // namespace etherm::sweep
