// etherm-sim CIRCUIT.cir: simulates the circuit with ngspice and writes CIRCUIT.csd, the bias
// file of .SAVEBIAS and the listing CIRCUIT.out.

#include <cstdio>

#include "run_circuit.h"

// ngspice keeps its global state until the process ends and frees none of it; with the leak
// checker of the sanitizer build every run would end in a leak report and a failed exit status,
// which says nothing about our code. The address checks themselves stay on.
extern "C" const char* __lsan_default_options() {
  return "detect_leaks=0";
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: etherm-sim CIRCUIT.cir\n");
    return 2;
  }
  return etherm::sim::RunCircuitFile(argv[1]);
}
