#pragma once
// What keeps one etherm-sim from outliving its analysis or taking the machine's memory.

namespace etherm::sim {

// Asks the kernel to end this process when its parent ends (a window program killed mid-run
// leaves no simulator behind); ends at once when the parent is already gone.
void EndWithParent();

// The address space the process may use, in megabytes: ETHERM_SIM_MEMORY_MB, else 4096.
// Throws SimError when the variable is not a whole number above 0.
unsigned long long MemoryLimitMegabytes();

// Applies MemoryLimitMegabytes() as RLIMIT_AS, so one circuit that grows without bound ends
// with a failure instead of exhausting the machine. Not in AddressSanitizer builds, whose
// shadow memory needs a huge address space.
void LimitAddressSpace();

}  // namespace etherm::sim
