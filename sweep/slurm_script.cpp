#include <filesystem>

#include "sweep/case_command.h"
#include "sweep/commands.h"
#include "sweep/sweep_files.h"
#include "textio/failure.h"

namespace etherm::sweep {

namespace {

// The task's ambient temperature in the script, from its array.
constexpr const char* kTaskAmbient = "${ambient[$SLURM_ARRAY_TASK_ID]}";

std::string Script(const SlurmOptions& options, const CaseTable& table, const std::string& folder,
                   const std::string& batch) {
  std::string names, ambients;
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    names += (n ? " " : "") + table.cases[n].name;
    if (const auto ambient = CaseAmbient(table, n)) ambients += (n ? " " : "") + *ambient;
  }
  std::string array = "0-" + std::to_string(table.cases.size() - 1);
  if (options.throttle > 0) array += "%" + std::to_string(options.throttle);
  std::string command = ShellQuoted(batch);
  const bool ambient = CaseAmbient(table, 0).has_value();
  for (const std::string& word :
       BatchArguments(options.analysis, options.base, options.plot,
                      ambient ? std::optional<std::string>(kTaskAmbient) : std::nullopt)) {
    command += " " + (word == kTaskAmbient ? "\"" + word + "\"" : ShellQuoted(word));
  }
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
         names + ")\n" + (ambient ? "ambient=(" + ambients + ")\n" : "") +
         "name=${cases[$SLURM_ARRAY_TASK_ID]}\n"
         "cd \"cases/$name\" || exit 1\n"
         "export OMP_NUM_THREADS=1\n"
         "SECONDS=0\n" +
         command +
         " </dev/null >etherm-batch.out 2>etherm-batch.err\n"
         "status=$?\n"
         "# What etherm-sweep gather reports: exit status and wall time in seconds.\n"
         "echo \"$status $SECONDS\" >etherm-batch.status\n"
         "exit \"$status\"\n";
}

}  // namespace

void WriteSlurmScript(const SlurmOptions& options, std::FILE* out) {
  CheckBaseName(options.base);
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
  const std::string file = std::string(kCasesFolder) + "/" + kSlurmScriptFile;
  WriteWholeFile(file, Script(options, table, folder, FindBatchProgram()));
  std::fprintf(out, "wrote %s: %zu tasks; submit it with\n  sbatch %s\n", file.c_str(),
               table.cases.size(), file.c_str());
}

}  // namespace etherm::sweep
