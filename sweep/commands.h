#pragma once
// The commands of etherm-sweep, run in the folder that holds CASES.csv, BASE.par and BASE.cir.
// Each throws Failure for what stops it; messages go to `out`.

#include <cstdio>
#include <string>

namespace etherm::sweep {

enum class Analysis { kDc, kTransient };
const char* AnalysisWord(Analysis analysis);

// Checks the whole table against BASE.par and BASE.cir, then writes cases/<name>/BASE.par and
// BASE.cir for every case and keeps the table as cases/cases.csv. Nothing is written when any
// case is refused, nor when cases/ already holds a sweep.
void Prepare(const std::string& tableFile, const std::string& base, std::FILE* out);

struct RunOptions {
  Analysis analysis = Analysis::kDc;
  std::string base;
  int jobs = 0;  // 0: one per processor
  bool progress = false;
};
// Runs the cases that have not succeeded (or whose results were removed) with GNU parallel.
// Returns 0 when every case has succeeded, 1 otherwise.
int Run(const RunOptions& options, std::FILE* out);

// One case, as parallel and Slurm start it: etherm-batch in cases/<name>/ with its standard
// output and error in etherm-batch.out and etherm-batch.err there. Replaces this process.
[[noreturn]] void RunCase(Analysis analysis, const std::string& base, const std::string& name);

// Writes cases/sweep.sbatch (a job array of one task per case, at most `throttle` at once when
// not 0) and prints the line that submits it.
void WriteSlurmScript(Analysis analysis, const std::string& base, int throttle, std::FILE* out);
// The script's text, for the folder `folder` (absolute) and etherm-batch at `batch`.
std::string SlurmScript(Analysis analysis, const std::string& base, int throttle,
                        const std::string& folder, const std::string& batch,
                        const std::string& caseNames);

// Writes sweep.csv (and sweep.png when gnuplot is there) from the cases' results.
void Gather(const std::string& base, std::FILE* out);

}  // namespace etherm::sweep
