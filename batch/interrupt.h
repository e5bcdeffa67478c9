#pragma once

#include <cstdio>

namespace etherm {

// SIGINT, SIGTERM and SIGHUP end the analysis instead of the program: the running simulator's
// process group is killed, the analysis fails with "interrupted" and closes its files, and the
// program then ends through ReportInterrupt. A second signal ends the program at once.
void InstallInterruptHandlers();

// After an interrupt: writes "etherm-batch: interrupted" to err and returns 128 + the signal
// number, the exit status. Returns 0 when no interrupt came.
int ReportInterrupt(std::FILE* err);

}  // namespace etherm
