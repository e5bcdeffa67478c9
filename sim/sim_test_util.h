#pragma once
// Helpers for the tests that run the built etherm-sim and, for reference values, ngspice itself.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace etherm::sim::test {

// A fresh scratch folder, removed with its contents at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& text) const;
  bool Exists(const std::string& name) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

// Runs ETHERM_BIN/etherm-sim on `circuit` in its folder; returns the exit status.
int RunEthermSim(const ScratchDir& dir, const std::string& circuit);

// Runs ETHERM_BIN/etherm-sim with `args` in the folder, with `environment` ("NAME=value", or
// empty) added; returns the exit status and what it wrote on standard output.
struct ProgramRun {
  int status;
  std::string out;
};
ProgramRun RunEthermSimProgram(const ScratchDir& dir, const std::vector<std::string>& args,
                               const std::string& environment = "");

// Starts etherm-sim on `circuit` under a shell, waits until it runs, and kills the shell.
// Returns the simulator's process id, or -1 when it never started.
pid_t StartOrphanedEthermSim(const ScratchDir& dir, const std::string& circuit);

// True once the process is gone (or a zombie) within `seconds`.
bool ProcessEnds(pid_t pid, int seconds);

// The probe data of a .csd file, as the extraction would read it.
struct Csdf {
  std::vector<std::string> names;
  std::vector<double> x;
  std::vector<std::vector<double>> values;  // [point][quantity]
  std::vector<double> Column(const std::string& name) const;
};
Csdf ReadCsdf(const std::string& text);

// Runs `ngspice -b` on a deck whose .control block writes `wrdata ref.txt <vectors>` with a single
// scale; returns the columns by name ("time" or the sweep first).
std::map<std::string, std::vector<double>> RunNgspiceReference(const ScratchDir& dir,
                                                               const std::string& deck);

// Linear interpolation of (x, y) at `at`.
double At(const std::vector<double>& x, const std::vector<double>& y, double at);

// A real as the circuit writers print it: width 23, 14 decimals, four exponent digits.
std::string WriterReal(double value);

}  // namespace etherm::sim::test
