#include "process/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <thread>

#include "process/spawn.h"

namespace etherm::process {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kErrorTextLimit = 4096;
// How long a group asked to end with SIGTERM may take before SIGKILL.
constexpr auto kEndGrace = std::chrono::seconds(2);
// How long a start may take when the run itself has no limit.
constexpr auto kStartLimit = std::chrono::seconds(60);

// Read and written from a signal handler: lock-free atomics only.
std::atomic<pid_t> g_runningGroup{0};
std::atomic<int> g_interruptSignal{0};
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Adopt(int fd) {
    Reset();
    fd_ = fd;
  }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

ChildResult Decode(int status) {
  ChildResult result;
  if (WIFEXITED(status)) {
    result.outcome = ChildResult::Outcome::kExited;
    result.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.outcome = ChildResult::Outcome::kSignalled;
    result.endingSignal = WTERMSIG(status);
    result.exitStatus = 128 + result.endingSignal;
  } else {
    result.outcome = ChildResult::Outcome::kExited;
    result.exitStatus = 1;
  }
  return result;
}

ChildResult TimedOut(int status) {
  ChildResult result = Decode(status);
  result.outcome = ChildResult::Outcome::kTimedOut;
  return result;
}

// Waits for the child until the deadline; true when it ended. A pidfd wakes the wait the
// moment the child ends; without one (older kernels) the child is polled.
bool WaitUntil(pid_t pid, Clock::time_point deadline, int* status) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd fd{pidfd, POLLIN, 0};
      const int ready = ::poll(
          &fd, 1, static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT32_MAX - 1)) + 1);
      if (ready > 0 || Clock::now() >= deadline) break;
      if (ready < 0 && errno != EINTR) break;
    }
    ::close(pidfd);
  }
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    const pid_t r = ::waitpid(pid, status, WNOHANG);
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

void WaitForEnd(pid_t pid, int* status) {
  while (::waitpid(pid, status, 0) < 0 && errno == EINTR) {
  }
}

// Feeds the input and reads standard error until the child ends or the deadline passes;
// true when it ended.
bool Converse(pid_t pid, const std::string& input, Fd& in, Fd& err, Clock::time_point deadline,
              ChildResult* result, int* status) {
  auto readError = [&] {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(err.get(), buffer, sizeof buffer);
      if (n > 0) {
        const std::size_t room =
            kErrorTextLimit - std::min(kErrorTextLimit, result->errorText.size());
        result->errorText.append(buffer, std::min<std::size_t>(n, room));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return;
      err.Reset();  // end of file, or an error that more reading would not mend
      return;
    }
  };
  std::size_t sent = 0;
  if (input.empty()) in.Reset();
  for (;;) {
    if (::waitpid(pid, status, WNOHANG) == pid) break;
    const auto now = Clock::now();
    if (now >= deadline) return false;
    pollfd fds[2];
    nfds_t count = 0;
    if (in.get() >= 0) fds[count++] = {in.get(), POLLOUT, 0};
    if (err.get() >= 0) fds[count++] = {err.get(), POLLIN, 0};
    // Short slices: the child's end is noticed by waitpid, not by its pipes, which a grandchild
    // could hold open.
    const auto slice = std::min<long long>(
        50, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1);
    if (::poll(fds, count, static_cast<int>(slice)) <= 0) continue;
    if (in.get() >= 0 && fds[0].revents != 0) {
      const ssize_t n =
          ::send(in.get(), input.data() + sent, input.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) sent += static_cast<std::size_t>(n);
      // A child that stopped reading gets no more; its exit status tells the rest.
      if (sent == input.size() || (n < 0 && errno != EAGAIN && errno != EINTR)) in.Reset();
    }
    if (err.get() >= 0) readError();
  }
  if (err.get() >= 0) readError();
  return true;
}

// SIGINT ignored while it lives: the terminal's Ctrl-C is the child's alone.
class IgnoreInterrupt {
 public:
  explicit IgnoreInterrupt(bool active) : active_(active) {
    if (!active_) return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGINT, &ignore, &old_);
  }
  ~IgnoreInterrupt() {
    if (active_) ::sigaction(SIGINT, &old_, nullptr);
  }
  IgnoreInterrupt(const IgnoreInterrupt&) = delete;
  IgnoreInterrupt& operator=(const IgnoreInterrupt&) = delete;

 private:
  bool active_;
  struct sigaction old_ {};
};

Spawned SpawnKnownToInterrupt(const SpawnRequest& request, Clock::time_point deadline) {
  if (InterruptSignal() != 0) {
    Spawned none;
    none.error = EINTR;
    return none;
  }
  // Known to an interrupt from the moment it exists, before its exec.
  const Spawned spawned = Spawn(request, deadline, [](pid_t pid) {
    g_runningGroup.store(pid);
    // An interrupt between the start and the line above found no group to end.
    if (InterruptSignal() != 0) ::kill(-pid, SIGKILL);
  });
  if (spawned.pid < 0) g_runningGroup.store(0);
  return spawned;
}

}  // namespace

void InterruptChild(int signalNumber) {
  g_interruptSignal.store(signalNumber);
  const pid_t group = g_runningGroup.load();
  if (group > 0) ::kill(-group, SIGKILL);
}

int InterruptSignal() {
  return g_interruptSignal.load();
}

pid_t StartInterruptible(const std::vector<std::string>& argv, int io, Clock::time_point deadline,
                         int* error) {
  SpawnRequest request;
  request.argv = argv;
  // Its own process group, so a time-out ends whatever the program started too.
  request.ownProcessGroup = true;
  request.defaultSignals = false;
  if (io >= 0) request.input = request.output = io;
  const Spawned spawned = SpawnKnownToInterrupt(request, deadline);
  *error = spawned.error;
  // A child still short of its exec (stopped, or the machine starved) is the caller's to end
  // at its deadline, as one that hangs.
  return spawned.pid;
}

bool WaitForChild(pid_t pid, Clock::time_point deadline, ChildResult* result) {
  int status = 0;
  if (!WaitUntil(pid, deadline, &status)) return false;
  *result = Decode(status);
  return true;
}

ChildResult EndChildGroup(pid_t pid) {
  int status = 0;
  ::kill(-pid, SIGTERM);
  ::kill(-pid, SIGCONT);  // a stopped child acts on the SIGTERM only once it runs again
  if (!WaitUntil(pid, Clock::now() + kEndGrace, &status)) {
    ::kill(-pid, SIGKILL);
    WaitForEnd(pid, &status);
  }
  ::kill(-pid, SIGKILL);  // anything of the group still left
  return TimedOut(status);
}

void ForgetChild(pid_t pid) {
  pid_t expected = pid;
  g_runningGroup.compare_exchange_strong(expected, 0);
}

ChildResult Run(const ChildRequest& request) {
  ChildResult result;
  // The limit counts from the child's start, its exec included.
  const auto start = Clock::now();
  // A limit beyond a century is none (and cannot overflow the clock).
  const bool limited = request.timeout && *request.timeout < std::chrono::hours(24 * 365 * 100);
  const Clock::time_point deadline = limited ? start + *request.timeout : Clock::time_point::max();
  const Clock::time_point startDeadline = limited ? deadline : start + kStartLimit;

  SpawnRequest spawn;
  spawn.argv = request.argv;
  spawn.searchPath = request.searchPath;
  spawn.defaultSignals = request.defaultSignals;
  spawn.ownProcessGroup = request.interruptible;
  if (request.discardOutput) spawn.output = SpawnRequest::kDevNull;
  // A socket rather than a pipe for standard input: send with MSG_NOSIGNAL reports a child that
  // stopped reading as EPIPE instead of killing this process.
  Fd inParent, inChild, errParent, errChild;
  if (request.input) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
      result.startError = errno;
      return result;
    }
    inParent.Adopt(pair[0]);
    inChild.Adopt(pair[1]);
    spawn.input = inChild.get();
  }
  if (request.captureError) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
      result.startError = errno;
      return result;
    }
    errParent.Adopt(pipe[0]);
    errChild.Adopt(pipe[1]);
    spawn.error = errChild.get();
  }

  const IgnoreInterrupt ignore(request.foreground);
  const Spawned spawned = request.interruptible ? SpawnKnownToInterrupt(spawn, startDeadline)
                                                : Spawn(spawn, startDeadline);
  if (spawned.pid < 0) {
    result.startError = spawned.error;
    return result;
  }
  const pid_t pid = spawned.pid;
  struct Forget {
    pid_t pid;
    bool active;
    ~Forget() {
      if (active) ForgetChild(pid);
    }
  } forget{pid, request.interruptible};
  inChild.Reset();
  errChild.Reset();

  int status = 0;
  bool ended = false;
  if (inParent.get() >= 0 || errParent.get() >= 0) {
    if (inParent.get() >= 0) ::fcntl(inParent.get(), F_SETFL, O_NONBLOCK);
    if (errParent.get() >= 0) ::fcntl(errParent.get(), F_SETFL, O_NONBLOCK);
    ended =
        Converse(pid, request.input.value_or(""), inParent, errParent, deadline, &result, &status);
  } else {
    ended = WaitUntil(pid, deadline, &status);
  }
  if (!ended) {
    if (request.interruptible) {
      ChildResult timedOut = EndChildGroup(pid);
      timedOut.errorText = std::move(result.errorText);
      return timedOut;
    }
    ::kill(pid, SIGKILL);
    WaitForEnd(pid, &status);
    result.outcome = ChildResult::Outcome::kTimedOut;
    return result;
  }
  ChildResult done = Decode(status);
  done.errorText = std::move(result.errorText);
  return done;
}

}  // namespace etherm::process
