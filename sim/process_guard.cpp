#include "process_guard.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "exit_status.h"
#include "sim_error.h"

namespace etherm::sim {

namespace {
constexpr unsigned long long kDefaultMemoryMegabytes = 4096;
}

void EndWithParent() {
  const pid_t parent = ::getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The parent may have ended before the request was made; then no signal would ever come.
  if (::getppid() != parent) ::_exit(kExitUnexpected);
}

unsigned long long MemoryLimitMegabytes() {
  const char* text = std::getenv("ETHERM_SIM_MEMORY_MB");
  if (text == nullptr || *text == '\0') return kDefaultMemoryMegabytes;
  unsigned long long megabytes = 0;
  const char* p = text;
  for (; *p >= '0' && *p <= '9'; ++p) {
    megabytes = megabytes * 10 + static_cast<unsigned>(*p - '0');
    if (megabytes > (1ull << 40)) break;
  }
  if (*p != '\0' || megabytes == 0 || megabytes > (1ull << 40)) {
    throw SimError(std::string("ETHERM_SIM_MEMORY_MB must be a whole number of megabytes above "
                               "0, not \"") +
                   text + "\"");
  }
  return megabytes;
}

void LimitAddressSpace() {
  const unsigned long long megabytes = MemoryLimitMegabytes();
#if defined(__SANITIZE_ADDRESS__)
  (void)megabytes;
#else
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0) return;
  const rlim_t bytes = static_cast<rlim_t>(megabytes << 20);
  // Lower only: a limit the caller set lower stays.
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > bytes) limit.rlim_cur = bytes;
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur > limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
  }
  ::setrlimit(RLIMIT_AS, &limit);
#endif
}

}  // namespace etherm::sim
