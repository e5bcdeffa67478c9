#include "report/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "process/spawn.h"

namespace etherm::report {

namespace {

constexpr size_t kErrorTextLimit = 4096;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// How a waited-for child ended, from its wait status.
void KeepStatus(ChildResult& result, int status) {
  if (WIFEXITED(status)) {
    result.outcome = ChildResult::Outcome::kExited;
    result.exitStatus = WEXITSTATUS(status);
  } else {
    result.outcome = ChildResult::Outcome::kSignalled;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, std::string_view input,
                     std::chrono::milliseconds timeout) {
  ChildResult result;
  // A socket rather than a pipe for standard input: send with MSG_NOSIGNAL reports a child that
  // stopped reading as EPIPE instead of killing this process.
  int inPair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inPair) != 0) {
    result.startError = errno;
    return result;
  }
  Fd inParent(inPair[0]), inChild(inPair[1]);
  int errPipe[2];
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    result.startError = errno;
    return result;
  }
  Fd errParent(errPipe[0]), errChild(errPipe[1]);

  // The limit counts from the child's start, its exec included.
  auto deadline = std::chrono::steady_clock::now() + timeout;
  process::SpawnRequest request;
  request.argv = argv;
  request.searchPath = true;
  request.input = inChild.get();
  request.output = process::SpawnRequest::kDevNull;
  request.error = errChild.get();
  const process::Spawned spawned = process::Spawn(request, deadline);
  if (spawned.pid < 0) {
    result.startError = spawned.error;
    return result;
  }
  const pid_t pid = spawned.pid;
  inChild.Reset();
  errChild.Reset();
  ::fcntl(inParent.get(), F_SETFL, O_NONBLOCK);
  ::fcntl(errParent.get(), F_SETFL, O_NONBLOCK);

  auto readError = [&] {
    char buffer[4096];
    for (;;) {
      ssize_t n = ::read(errParent.get(), buffer, sizeof buffer);
      if (n > 0) {
        size_t room = kErrorTextLimit - std::min(kErrorTextLimit, result.errorText.size());
        result.errorText.append(buffer, std::min<size_t>(n, room));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return;
      errParent.Reset();  // end of file, or an error that more reading would not mend
      return;
    }
  };

  size_t sent = 0;
  if (input.empty()) inParent.Reset();
  int status = 0;
  for (;;) {
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      result.outcome = ChildResult::Outcome::kTimedOut;
      return result;
    }
    pollfd fds[2];
    nfds_t count = 0;
    if (inParent.get() >= 0) fds[count++] = {inParent.get(), POLLOUT, 0};
    if (errParent.get() >= 0) fds[count++] = {errParent.get(), POLLIN, 0};
    // Short slices: the child's end is noticed by waitpid, not by its pipes, which a grandchild
    // could hold open.
    auto slice = std::min<long long>(
        50, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1);
    if (::poll(fds, count, static_cast<int>(slice)) <= 0) continue;
    if (inParent.get() >= 0 && fds[0].revents != 0) {
      ssize_t n = ::send(inParent.get(), input.data() + sent, input.size() - sent,
                         MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) sent += n;
      // A child that stopped reading gets no more; its exit status tells the rest.
      if (sent == input.size() || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        inParent.Reset();
      }
    }
    if (errParent.get() >= 0) readError();
  }
  if (errParent.get() >= 0) readError();
  KeepStatus(result, status);
  return result;
}

ChildResult RunForeground(const std::vector<std::string>& argv) {
  ChildResult result;
  // The terminal sends Ctrl-C to both; only the child acts on it (its SIGINT and SIGPIPE are
  // back to their defaults).
  struct sigaction ignore {};
  struct sigaction oldInt {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGINT, &ignore, &oldInt);
  process::SpawnRequest request;
  request.argv = argv;
  request.searchPath = true;
  const process::Spawned spawned =
      process::Spawn(request, std::chrono::steady_clock::now() + std::chrono::seconds(60));
  const pid_t pid = spawned.pid;
  if (pid < 0) {
    result.startError = spawned.error;
  } else {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    KeepStatus(result, status);
  }
  ::sigaction(SIGINT, &oldInt, nullptr);
  return result;
}

}  // namespace etherm::report
