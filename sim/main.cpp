// etherm-sim CIRCUIT.cir: simulates the circuit with ngspice and writes CIRCUIT.csd, the bias
// file of .SAVEBIAS and the listing CIRCUIT.out. etherm-sim --serve does the same for each
// circuit file named on standard input (serve_protocol.h).

#include <cstdio>
#include <cstring>

#include "exit_status.h"
#include "process_guard.h"
#include "run_circuit.h"
#include "serve.h"

// ngspice keeps its global state until the process ends and frees none of it; with the leak
// checker of the sanitizer build every run would end in a leak report and a failed exit status,
// which says nothing about our code. The address checks themselves stay on.
extern "C" const char* __lsan_default_options() {
  return "detect_leaks=0";
}

namespace {

const char kUsage[] =
    "usage: etherm-sim CIRCUIT.cir\n"
    "       etherm-sim --serve\n"
    "Simulates the circuit with ngspice in the current folder and writes beside it CIRCUIT.csd\n"
    "(the .PROBE quantities), the .SAVEBIAS file when asked for, and the listing CIRCUIT.out.\n"
    "Exit status: 0 results written; 1 the circuit is refused or cannot be simulated (the\n"
    "listing's last \"etherm-sim:\" line says why); 2 wrong arguments or no listing; 3 an\n"
    "unexpected failure such as memory running out.\n"
    "With --serve it stays up and runs each circuit file named on standard input, one answer\n"
    "line per request on standard output (the line protocol of sim/serve_protocol.h).\n"
    "Environment: ETHERM_SIM_MEMORY_MB bounds the memory of one run (default 4096).\n";

}  // namespace

int main(int argc, char** argv) {
  etherm::sim::EndWithParent();
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return etherm::sim::kExitSuccess;
  }
  if (argc == 2 && std::strcmp(argv[1], "--serve") == 0) return etherm::sim::Serve();
  if (argc != 2) {
    std::fputs(kUsage, stderr);
    return etherm::sim::kExitUsage;
  }
  return etherm::sim::RunCircuitFile(argv[1]);
}
