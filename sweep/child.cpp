#include "sweep/child.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "textio/failure.h"

extern char** environ;

namespace etherm::sweep {

ChildExit RunProgram(const std::vector<std::string>& argv, const std::string* input) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input != nullptr) {
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw Failure("cannot make a pipe for " + argv[0]);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
  }
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  struct sigaction ignore {
  }, oldInt{}, oldPipe{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ignore, &oldInt);
  sigaction(SIGPIPE, &ignore, &oldPipe);
  pid_t pid;
  const int err = posix_spawnp(&pid, argv[0].c_str(), &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);

  ChildExit result;
  if (input != nullptr) {
    close(pipeFds[0]);
    if (err == 0) {
      // A child that stops reading early only loses the rest of its input.
      const char* p = input->data();
      std::size_t left = input->size();
      while (left > 0) {
        const ssize_t n = write(pipeFds[1], p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= static_cast<std::size_t>(n);
      }
    }
    close(pipeFds[1]);
  }
  if (err == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.started = true;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGPIPE, &oldPipe, nullptr);
  if (err != 0 && err != ENOENT) {
    throw Failure("cannot start " + argv[0] + ": " + IoErrorText(err));
  }
  return result;
}

}  // namespace etherm::sweep
