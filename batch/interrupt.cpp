#include "batch/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include "process/child.h"

namespace etherm {

namespace {

constexpr char kInterrupted[] = "etherm-batch: interrupted\n";

void OnSignal(int signalNumber) {
  if (process::InterruptSignal() != 0) {
    // The user insists: the files are left as they are.
    [[maybe_unused]] const ssize_t ignored =
        write(STDERR_FILENO, kInterrupted, sizeof kInterrupted - 1);
    _exit(128 + signalNumber);
  }
  process::InterruptChild(signalNumber);
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // file operations go on; the wait for the simulator wakes up
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
}

int ReportInterrupt(std::FILE* err) {
  const int signalNumber = process::InterruptSignal();
  if (signalNumber == 0) return 0;
  std::fputs(kInterrupted, err);
  return 128 + signalNumber;
}

}  // namespace etherm
