#include "process/spawn.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "testing/scratch_folder.h"

namespace etherm::process {
namespace {

using Clock = std::chrono::steady_clock;

// How the child ended: its exit status, or 128 + the signal.
int Reap(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Spawn, StartsProgramsOrTellsWhyNot) {
  testing::ScratchFolder folder;
  const std::string notRunnable = folder.File("plain.txt");
  std::ofstream(notRunnable) << "text\n";
  struct Case {
    std::vector<std::string> argv;
    bool searchPath;
    int error;   // 0: started
    int status;  // its exit status when started
  } cases[] = {
      {{"/bin/sh", "-c", "exit 3"}, false, 0, 3},
      {{"sh", "-c", "exit 4"}, true, 0, 4},
      {{"sh"}, false, ENOENT, 0},  // no search: a name of the current folder
      {{"etherm-no-such-program"}, true, ENOENT, 0},
      {{folder.File("missing")}, false, ENOENT, 0},
      {{notRunnable}, false, EACCES, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argv[0]);
    SpawnRequest request;
    request.argv = c.argv;
    request.searchPath = c.searchPath;
    pid_t told = 0;
    const Spawned spawned =
        Spawn(request, Clock::now() + std::chrono::seconds(30), [&](pid_t pid) { told = pid; });
    EXPECT_FALSE(spawned.pending);
    EXPECT_EQ(spawned.error, c.error);
    if (c.error != 0) {
      EXPECT_EQ(spawned.pid, -1);
      EXPECT_GT(told, 0);  // the child existed, and has been reaped
      EXPECT_EQ(::waitpid(told, nullptr, WNOHANG), -1);
      continue;
    }
    ASSERT_GT(spawned.pid, 0);
    EXPECT_EQ(told, spawned.pid);
    EXPECT_EQ(Reap(spawned.pid), c.status);
  }
}

TEST(Spawn, StandardStreamsAndProcessGroup) {
  testing::ScratchFolder folder;
  const std::string out = folder.File("out.txt");
  const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  SpawnRequest request;
  request.argv = {"/bin/sh", "-c", "read x; echo \"$x\"; echo gone >&2; exit 0"};
  request.input = SpawnRequest::kDevNull;  // read finds the end at once
  request.output = fd;
  request.error = SpawnRequest::kDevNull;
  request.ownProcessGroup = true;
  const Spawned spawned = Spawn(request, Clock::now() + std::chrono::seconds(30));
  ::close(fd);
  ASSERT_GT(spawned.pid, 0);
  EXPECT_EQ(::getpgid(spawned.pid), spawned.pid);
  EXPECT_EQ(Reap(spawned.pid), 0);
  EXPECT_EQ(testing::ReadBytes(out), "\n");
}

// A child stopped between fork and exec held the caller in posix_spawn for ever.
TEST(Spawn, AChildStoppedBeforeItsExecHoldsTheCallerOnlyToTheDeadline) {
  StopChildrenBeforeExecForTesting(true);
  SpawnRequest request;
  request.argv = {"/bin/true"};
  request.ownProcessGroup = true;
  const Spawned spawned = Spawn(request, Clock::now() + std::chrono::milliseconds(300));
  StopChildrenBeforeExecForTesting(false);
  ASSERT_GT(spawned.pid, 0);
  EXPECT_TRUE(spawned.pending);
  // Its group exists, so ending the group ends it.
  EXPECT_EQ(::kill(-spawned.pid, SIGKILL), 0);
  EXPECT_EQ(Reap(spawned.pid), 128 + SIGKILL);
}

}  // namespace
}  // namespace etherm::process
