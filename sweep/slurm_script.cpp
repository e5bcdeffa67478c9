#include <filesystem>

#include "sweep/commands.h"
#include "sweep/sweep_files.h"
#include "textio/failure.h"

namespace etherm::sweep {

namespace {

// A word for bash, whatever bytes it holds.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

std::string SlurmScript(Analysis analysis, const std::string& base, int throttle,
                        const std::string& folder, const std::string& batch,
                        const std::string& caseNames) {
  const std::size_t count = [&] {
    std::size_t n = caseNames.empty() ? 0 : 1;
    for (char c : caseNames) n += c == ' ';
    return n;
  }();
  std::string array = "0-" + std::to_string(count - 1);
  if (throttle > 0) array += "%" + std::to_string(throttle);
  return "#!/bin/bash\n"
         "# Written by etherm-sweep: a job array of one task per case folder of cases/, each\n"
         "# running etherm-batch alone in its folder on one processor.\n"
         "#SBATCH --job-name=etherm-sweep\n"
         "#SBATCH --array=" +
         array +
         "\n"
         "#SBATCH --ntasks=1\n"
         "#SBATCH --cpus-per-task=1\n"
         "#SBATCH --chdir=" +
         folder +
         "\n"
         "#SBATCH --output=cases/slurm-%A_%a.out\n"
         "cases=(" +
         caseNames +
         ")\n"
         "name=${cases[$SLURM_ARRAY_TASK_ID]}\n"
         "cd \"cases/$name\" || exit 1\n"
         "export OMP_NUM_THREADS=1\n"
         "SECONDS=0\n" +
         ShellQuoted(batch) + " " + AnalysisWord(analysis) + " " + ShellQuoted(base) +
         " </dev/null >etherm-batch.out 2>etherm-batch.err\n"
         "status=$?\n"
         "# What etherm-sweep gather reports: exit status and wall time in seconds.\n"
         "echo \"$status $SECONDS\" >etherm-batch.status\n"
         "exit \"$status\"\n";
}

void WriteSlurmScript(Analysis analysis, const std::string& base, int throttle, std::FILE* out) {
  CheckBaseName(base);
  const CaseTable table = ReadPreparedCases();
  const std::string folder = std::filesystem::current_path().string();
  // #SBATCH lines take no quotes.
  for (char c : folder) {
    if (static_cast<unsigned char>(c) <= 32 || c == '\'' || c == '"' || c == '%') {
      throw Failure("the folder \"" + folder +
                    "\" holds a blank, quote or '%', which an #SBATCH line cannot carry; "
                    "move the sweep to a plainer path");
    }
  }
  std::string names;
  for (const Case& c : table.cases) names += (names.empty() ? "" : " ") + c.name;
  const std::string file = std::string(kCasesFolder) + "/" + kSlurmScriptFile;
  WriteWholeFile(file, SlurmScript(analysis, base, throttle, folder, FindBatchProgram(), names));
  std::fprintf(out, "wrote %s: %zu tasks; submit it with\n  sbatch %s\n", file.c_str(),
               table.cases.size(), file.c_str());
}

}  // namespace etherm::sweep
