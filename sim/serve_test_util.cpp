#include "serve_test_util.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace etherm::sim::test {

namespace {
constexpr int kWaitMilliseconds = 60000;
}

ServingSim::ServingSim(const ScratchDir& dir) {
  const char* bin = std::getenv("ETHERM_BIN");
  EXPECT_NE(bin, nullptr) << "ETHERM_BIN is not set";
  const std::string program = std::string(bin ? bin : "/nonexistent") + "/etherm-sim";
  const std::string errors = dir.File("serve.err");
  int toChild[2], fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(toChild[0], 0);
    ::dup2(fromChild[1], 1);
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) ::dup2(err, 2);
    if (::chdir(dir.path().c_str()) != 0) ::_exit(127);
    ::execl(program.c_str(), program.c_str(), "--serve", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(toChild[0]);
  ::close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
  ::signal(SIGPIPE, SIG_IGN);  // a server that ended shows as a failed Send, not a dead test
}

ServingSim::~ServingSim() {
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0) ::close(out_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void ServingSim::Send(const std::string& line) {
  const std::string text = line + "\n";
  ASSERT_EQ(::write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size())) << line;
}

std::optional<std::string> ServingSim::ReadLine() {
  for (;;) {
    const std::size_t lf = pending_.find('\n');
    if (lf != std::string::npos) {
      std::string line = pending_.substr(0, lf);
      pending_.erase(0, lf + 1);
      return line;
    }
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, kWaitMilliseconds) <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

int ServingSim::CloseAndWait() {
  ::close(in_);
  in_ = -1;
  int status = 0;
  for (int waited = 0; waited < kWaitMilliseconds; waited += 50) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return -1;
}

}  // namespace etherm::sim::test
