#pragma once
// The commands of etherm-sweep, run in the folder that holds CASES.csv, BASE.par and BASE.cir.
// Each throws Failure for what stops it; messages go to `out`.

#include <cstdio>
#include <string>

#include "model/analysis_kind.h"

namespace etherm::sweep {

const char* AnalysisWord(AnalysisKind analysis);

// Checks the whole table against BASE.par and BASE.cir, then writes cases/<name>/BASE.par and
// BASE.cir for every case and keeps the table as cases/cases.csv. Nothing is written when any
// case is refused, nor when cases/ already holds a sweep.
void Prepare(const std::string& tableFile, const std::string& base, std::FILE* out);

struct RunOptions {
  AnalysisKind analysis = AnalysisKind::kDc;
  std::string base;
  int jobs = 0;  // 0: one per processor
  bool progress = false;
  bool plot = false;  // each case draws its plot (the sweep draws its own anyway)
};
// Runs the cases that have not succeeded (or whose results were removed) with GNU parallel,
// each from its line of cases/commands. Returns 0 when every case has succeeded, 1 otherwise.
int Run(const RunOptions& options, std::FILE* out);

// One case as run runs it: etherm-batch in cases/<name>/ with its standard output and error in
// etherm-batch.out and etherm-batch.err there. Replaces this process.
[[noreturn]] void RunCase(AnalysisKind analysis, const std::string& base, const std::string& name,
                          bool plot);

struct SlurmOptions {
  AnalysisKind analysis = AnalysisKind::kDc;
  std::string base;
  int throttle = 0;  // at most this many tasks at once; 0: no bound
  bool plot = false;
};
// Writes cases/sweep.sbatch (a job array of one task per case) and prints the line that
// submits it.
void WriteSlurmScript(const SlurmOptions& options, std::FILE* out);

// Writes sweep.csv (and sweep.png when gnuplot is there) from the cases' results.
void Gather(const std::string& base, std::FILE* out);

}  // namespace etherm::sweep
