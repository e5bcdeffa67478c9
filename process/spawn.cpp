#include "process/spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

extern char** environ;

namespace etherm::process {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_stopBeforeExec{false};

// The paths to try for argv[0], found before the fork: the child may not allocate.
std::vector<std::string> Candidates(const SpawnRequest& request) {
  if (!request.path.empty()) return {request.path};
  const std::string& program = request.argv.at(0);
  if (!request.searchPath || program.find('/') != std::string::npos) return {program};
  std::vector<std::string> paths;
  const char* path = std::getenv("PATH");
  std::string list = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(':', start);
    std::string folder = list.substr(start, end == std::string::npos ? end : end - start);
    if (folder.empty()) folder = ".";
    paths.push_back(folder + "/" + program);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return paths;
}

// The child's end when its exec cannot be made: the reason to the parent, then out.
[[noreturn]] void ReportAndExit(int report, int err) {
  while (::write(report, &err, sizeof err) < 0 && errno == EINTR) {
  }
  ::_exit(127);
}

// The descriptors and signals the request asks for, then the exec: async-signal-safe calls
// only, as in a child between fork and exec. Returns the errno when no exec was made.
int PrepareAndExec(const SpawnRequest& request, const std::vector<std::string>& paths,
                   char* const* argv, int devNull, bool stopFirst) {
  if (request.ownProcessGroup && ::setpgid(0, 0) != 0) return errno;
  if (request.defaultSignals) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGPIPE, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(s, &action, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
  }
  const int wanted[3] = {request.input, request.output, request.error};
  for (int target = 0; target < 3; ++target) {
    int from = wanted[target];
    if (from == SpawnRequest::kInherit) continue;
    if (from == SpawnRequest::kDevNull) from = devNull;
    if (from < 0) return EBADF;
    // dup2 onto itself would keep close-on-exec; the flag is cleared by hand then.
    if (from == target) {
      if (::fcntl(target, F_SETFD, 0) != 0) return errno;
    } else if (::dup2(from, target) < 0) {
      return errno;
    }
  }
  if (stopFirst) ::raise(SIGSTOP);
  // As a shell searches: past names not found, a program found but not runnable is the error
  // to tell.
  bool denied = false;
  for (const std::string& path : paths) {
    ::execve(path.c_str(), argv, environ);
    if (errno == EACCES) {
      denied = true;
    } else if (errno != ENOENT && errno != ENOTDIR) {
      return errno;
    }
  }
  return denied ? EACCES : ENOENT;
}

bool NeedsDevNull(const SpawnRequest& request) {
  return request.input == SpawnRequest::kDevNull || request.output == SpawnRequest::kDevNull ||
         request.error == SpawnRequest::kDevNull;
}

}  // namespace

int ExecHere(const SpawnRequest& request) {
  const std::vector<std::string> paths = Candidates(request);
  std::vector<std::string> words = request.argv;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int devNull = -1;
  if (NeedsDevNull(request)) {
    devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) return errno;
  }
  const int error = PrepareAndExec(request, paths, argv.data(), devNull, false);
  if (devNull >= 0) ::close(devNull);
  return error;
}

void StopChildrenBeforeExecForTesting(bool stop) {
  g_stopBeforeExec.store(stop);
}

Spawned Spawn(const SpawnRequest& request, Clock::time_point deadline,
              const std::function<void(pid_t)>& started) {
  Spawned result;
  const std::vector<std::string> paths = Candidates(request);
  std::vector<std::string> words = request.argv;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    result.error = errno;
    return result;
  }
  int devNull = -1;
  if (NeedsDevNull(request)) devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);

  const pid_t pid = ::fork();
  if (pid == 0) {
    ReportAndExit(report[1],
                  PrepareAndExec(request, paths, argv.data(), devNull, g_stopBeforeExec.load()));
  }
  const int forkError = errno;
  ::close(report[1]);
  if (devNull >= 0) ::close(devNull);
  if (pid < 0) {
    ::close(report[0]);
    result.error = forkError;
    return result;
  }
  // Set from both sides, so the group exists whichever runs first.
  if (request.ownProcessGroup) ::setpgid(pid, pid);
  if (started) started(pid);

  // The report pipe closes at the exec (or the child's end); a number on it is a failed exec.
  int err = 0;
  bool known = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    pollfd fd{report[0], POLLIN, 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    const ssize_t n = ::read(report[0], &err, sizeof err);
    if (n < 0 && errno == EINTR) continue;
    known = true;
    if (n != static_cast<ssize_t>(sizeof err)) err = 0;  // closed: the program runs
    break;
  }
  ::close(report[0]);
  if (!known) {
    result.pid = pid;
    result.pending = true;
    return result;
  }
  if (err != 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.error = err;
    return result;
  }
  result.pid = pid;
  return result;
}

}  // namespace etherm::process
