#include "simulator/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "process/spawn.h"
#include "textio/failure.h"

namespace etherm {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the child until the deadline; true when it ended. A pidfd wakes the wait the
// moment the child ends; without one (older kernels) the child is polled.
bool WaitUntil(pid_t pid, Clock::time_point deadline, int* status) {
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd fd{pidfd, POLLIN, 0};
      const int ready = poll(&fd, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)) + 1);
      if (ready > 0 || Clock::now() >= deadline) break;
      if (ready < 0 && errno != EINTR) break;
    }
    close(pidfd);
  }
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    const pid_t r = waitpid(pid, status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno != EINTR) {
      *status = 0;
      return true;
    }
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    // Short runs end quickly; long ones need not be polled often.
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
}

ChildResult Decode(ChildOutcome outcome, int status) {
  if (WIFEXITED(status)) return {outcome, WEXITSTATUS(status), 0};
  if (WIFSIGNALED(status)) return {outcome, 128 + WTERMSIG(status), WTERMSIG(status)};
  return {outcome, 1, 0};
}

// Read and written from a signal handler: lock-free atomics only.
std::atomic<pid_t> g_runningGroup{0};
std::atomic<int> g_interruptSignal{0};
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

}  // namespace

void InterruptChild(int signalNumber) {
  g_interruptSignal.store(signalNumber);
  const pid_t group = g_runningGroup.load();
  if (group > 0) kill(-group, SIGKILL);
}

int InterruptSignal() {
  return g_interruptSignal.load();
}

pid_t StartChild(const std::string& program, const std::vector<std::string>& args, int io,
                 Clock::time_point deadline) {
  if (InterruptSignal() != 0) throw Failure("interrupted");
  process::SpawnRequest request;
  request.argv.push_back(program);
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  // Its own process group, so a time-out ends whatever the program started too.
  request.ownProcessGroup = true;
  request.defaultSignals = false;
  if (io >= 0) request.input = request.output = io;
  // Known to an interrupt from the moment it exists, before its exec.
  const process::Spawned spawned = process::Spawn(request, deadline, [](pid_t pid) {
    g_runningGroup.store(pid);
    // An interrupt between the start and the line above found no group to end.
    if (InterruptSignal() != 0) kill(-pid, SIGKILL);
  });
  if (spawned.pid < 0) {
    g_runningGroup.store(0);
    throw Failure("The circuit simulator \"" + program +
                  "\" cannot be started: " + std::strerror(spawned.error));
  }
  // A child still short of its exec (stopped, or the machine starved) is the caller's to end
  // at its deadline, as one that hangs.
  return spawned.pid;
}

bool WaitForChild(pid_t pid, Clock::time_point deadline, ChildResult* result) {
  int status = 0;
  if (!WaitUntil(pid, deadline, &status)) return false;
  *result = Decode(ChildOutcome::kExited, status);
  return true;
}

ChildResult EndChildGroup(pid_t pid) {
  int status = 0;
  kill(-pid, SIGTERM);
  kill(-pid, SIGCONT);  // a stopped child acts on the SIGTERM only once it runs again
  if (!WaitUntil(pid, Clock::now() + std::chrono::seconds(2), &status)) {
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  kill(-pid, SIGKILL);  // anything of the group still left
  return Decode(ChildOutcome::kTimedOut, status);
}

void ForgetChild(pid_t pid) {
  pid_t expected = pid;
  g_runningGroup.compare_exchange_strong(expected, 0);
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     double timeoutSeconds) {
  // From the start of the child: its start counts against the limit too.
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(timeoutSeconds));
  const pid_t pid = StartChild(program, args, -1, deadline);
  struct Forget {
    pid_t pid;
    ~Forget() { ForgetChild(pid); }
  } forget{pid};
  ChildResult result;
  if (WaitForChild(pid, deadline, &result)) return result;
  return EndChildGroup(pid);
}

}  // namespace etherm
