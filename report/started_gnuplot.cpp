#include "report/started_gnuplot.h"

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

constexpr std::size_t kErrorTextLimit = 4096;
// How long the start of the program may take; a plot of its own has the same bound.
constexpr auto kStartLimit = std::chrono::seconds(5);
// How long a gnuplot not given a script may take to end once its input is closed.
constexpr auto kEndGrace = std::chrono::milliseconds(500);

// Sends all of `text` (the socket blocks); false when the reader is gone.
bool SendAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::unique_ptr<StartedGnuplot> StartedGnuplot::Start(const std::string& program) {
  // A socket for its input: a gnuplot that ended is an EPIPE, never a SIGPIPE here.
  int in[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) return nullptr;
  int err[2];
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return nullptr;
  }
  process::SpawnRequest request;
  request.argv = {program};
  request.searchPath = true;
  request.input = in[1];
  request.output = process::SpawnRequest::kDevNull;
  request.error = err[1];
  const process::Spawned spawned =
      process::Spawn(request, std::chrono::steady_clock::now() + kStartLimit);
  ::close(in[1]);
  ::close(err[1]);
  if (spawned.pid < 0) {
    ::close(in[0]);
    ::close(err[0]);
    return nullptr;
  }
  std::unique_ptr<StartedGnuplot> started(new StartedGnuplot(program, spawned.pid, in[0], err[0]));
  ::fcntl(err[0], F_SETFL, O_NONBLOCK);
  return started;
}

StartedGnuplot::~StartedGnuplot() {
  CloseInput();
  if (error_ >= 0) ::close(error_);
  if (reaped_) return;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + kEndGrace;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    ::usleep(1000);
  }
}

void StartedGnuplot::CloseInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

void StartedGnuplot::ReadError() {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(error_, buffer, sizeof buffer);
    if (n > 0) {
      const std::size_t room = kErrorTextLimit - std::min(kErrorTextLimit, errorText_.size());
      errorText_.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), room));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    ::close(error_);  // its end, or an error that more reading would not mend
    error_ = -1;
    return;
  }
}

process::ChildResult StartedGnuplot::Run(std::string_view script, std::chrono::milliseconds timeout) {
  process::ChildResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  // Ended already: nothing ran, a fresh gnuplot draws.
  if (reaped_ || ::waitpid(pid_, &status, WNOHANG) == pid_) {
    reaped_ = true;
    result.startError = ECHILD;
    return result;
  }
  // The script is small (a few kB), so it is sent whole before the waiting starts; a gnuplot
  // that stopped reading ends the sending.
  if (!SendAll(input_, script)) {
    CloseInput();
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    result.startError = ECHILD;
    return result;
  }
  CloseInput();
  for (;;) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      reaped_ = true;
      result.outcome = process::ChildResult::Outcome::kTimedOut;
      result.endingSignal = SIGKILL;
      return result;
    }
    // Short slices: its end is noticed by waitpid, not by its pipe, which a child of its own
    // could hold open.
    const auto slice = std::min<long long>(
        50, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1);
    if (error_ >= 0) {
      pollfd fd{error_, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(slice)) > 0) ReadError();
    } else {
      ::usleep(1000);
    }
  }
  reaped_ = true;
  if (error_ >= 0) ReadError();
  result.errorText = errorText_;
  if (WIFEXITED(status)) {
    result.outcome = process::ChildResult::Outcome::kExited;
    result.exitStatus = WEXITSTATUS(status);
  } else {
    result.outcome = process::ChildResult::Outcome::kSignalled;
    result.endingSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.exitStatus = 128 + result.endingSignal;
  }
  return result;
}

}  // namespace etherm::report
