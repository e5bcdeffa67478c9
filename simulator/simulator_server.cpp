#include "simulator/simulator_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "textio/failure.h"

namespace etherm {

namespace serve = sim::serve;
using process::ChildResult;

namespace {

// A line longer than this is no answer; reading stops there.
constexpr std::size_t kLongestLine = 1 << 20;
// How long a process whose end was asked for (or whose channel closed) may take to exit.
constexpr auto kExitGrace = std::chrono::seconds(5);
// The memory figure is read from /proc only now and then: it grows slowly.
constexpr long kRequestsBetweenMemoryChecks = 16;

std::chrono::steady_clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
}

[[noreturn]] void ThrowNotStarted(const std::string& program, int error) {
  if (process::InterruptSignal() != 0) throw Failure("interrupted");
  throw Failure("The circuit simulator \"" + program +
                "\" cannot be started: " + std::strerror(error));
}

}  // namespace

ChildResult RunSimulatorOnce(const std::string& program, const std::vector<std::string>& args,
                             double timeoutSeconds) {
  if (process::InterruptSignal() != 0) throw Failure("interrupted");
  process::ChildRequest request;
  request.argv = {program};
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  request.interruptible = true;
  request.defaultSignals = false;
  request.timeout = std::chrono::milliseconds(
      static_cast<long long>(std::ceil(std::min(timeoutSeconds, 1e12) * 1000)));
  const ChildResult result = process::Run(request);
  if (result.outcome == ChildResult::Outcome::kNotStarted) {
    ThrowNotStarted(program, result.startError);
  }
  return result;
}

std::unique_ptr<SimulatorServer> SimulatorServer::Start(const std::string& program,
                                                        double readySeconds) {
  std::unique_ptr<SimulatorServer> server = Launch(program, readySeconds);
  if (server && !server->AwaitReady()) server.reset();
  return server;
}

std::unique_ptr<SimulatorServer> SimulatorServer::Launch(const std::string& program,
                                                         double readySeconds) {
  // A socket, not pipes: a write to a server that died then fails with EPIPE (MSG_NOSIGNAL)
  // instead of raising SIGPIPE in the analysis.
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return nullptr;
  const Clock::time_point ready = Clock::now() + Seconds(readySeconds);
  int error = 0;
  const pid_t pid = process::StartInterruptible({program, "--serve"}, ends[1], ready, &error);
  close(ends[1]);
  if (pid < 0) {
    close(ends[0]);
    ThrowNotStarted(program, error);
  }
  std::unique_ptr<SimulatorServer> server(new SimulatorServer(pid, ends[0]));
  server->readyDeadline_ = ready;
  // A hello that cannot be sent shows as no ready line.
  server->Send(std::string(serve::kHello2));
  return server;
}

bool SimulatorServer::AwaitReady() {
  if (ready_) return true;
  std::string line;
  if (ReadLine(readyDeadline_, &line) == Read::kLine && line == serve::kReady2) {
    ready_ = true;
    return true;
  }
  Kill();  // whatever the program does instead is not waited for
  return false;
}

SimulatorServer::~SimulatorServer() {
  if (socket_ >= 0) close(socket_);  // the end of its input: a server ends by itself
  if (running_) {
    ChildResult ignored;
    if (!process::WaitForChild(pid_, Clock::now() + kExitGrace, &ignored)) {
      process::EndChildGroup(pid_);
    }
  }
  process::ForgetChild(pid_);
}

bool SimulatorServer::Send(const std::string& line) {
  const std::string text = line + "\n";
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(socket_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

SimulatorServer::Read SimulatorServer::ReadLine(Clock::time_point deadline, std::string* line) {
  for (;;) {
    if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
      *line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return Read::kLine;
    }
    if (pending_.size() > kLongestLine) {
      *line = std::move(pending_);
      pending_.clear();
      return Read::kLine;
    }
    if (process::InterruptSignal() != 0)
      return Read::kEnded;  // the signal handler killed the group
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left < 0) return Read::kTimedOut;
    pollfd fd{socket_, POLLIN, 0};
    const int ready = poll(&fd, 1, static_cast<int>(std::min<std::int64_t>(left + 1, INT32_MAX)));
    if (ready < 0 && errno != EINTR) return Read::kEnded;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(socket_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Read::kEnded;
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

ChildResult SimulatorServer::Reap() {
  running_ = false;
  ChildResult result;
  if (process::InterruptSignal() != 0 ||
      !process::WaitForChild(pid_, Clock::now() + kExitGrace, &result)) {
    result = process::EndChildGroup(pid_);
    // Its channel closed first: it ended, whatever the signal that finished it.
    result.outcome =
        result.endingSignal != 0 ? ChildResult::Outcome::kSignalled : ChildResult::Outcome::kExited;
  }
  return result;
}

ServedRun SimulatorServer::Run(const std::string& circuit, double timeoutSeconds,
                               const std::function<void(double)>& progress) {
  return Ask({circuit}, timeoutSeconds, progress);
}

ServedRun SimulatorServer::Ask(serve::Request request, double timeoutSeconds,
                               const std::function<void(double)>& progress) {
  const long id = ++requests_;
  request.id = id;
  ServedRun run;
  const Clock::time_point deadline = Clock::now() + Seconds(timeoutSeconds);
  bool sent = Send(serve::FormatRequest(request));
  for (;;) {
    std::string line;
    const Read read = sent ? ReadLine(deadline, &line) : Read::kEnded;
    if (read == Read::kTimedOut) {
      running_ = false;
      run.kind = ServedRun::Kind::kTimedOut;
      run.ended = process::EndChildGroup(pid_);
      return run;
    }
    if (read == Read::kEnded) {
      run.kind = ServedRun::Kind::kEnded;
      run.ended = Reap();
      return run;
    }
    std::optional<serve::Answer> answer = serve::ParseAnswer(line);
    if (answer && answer->id != id) {
      run.kind = ServedRun::Kind::kUnreadable;
      run.problem = "which answers request " + std::to_string(answer->id) + ", not request " +
                    std::to_string(id) + " (its answers are out of step)";
      run.line = std::move(line);
      return run;
    }
    if (!answer) {
      run.kind = ServedRun::Kind::kUnreadable;
      run.line = std::move(line);
      return run;
    }
    if (answer->outcome == serve::Outcome::kProgress) {
      if (progress) progress(answer->time);
      continue;
    }
    if (answer->outcome == serve::Outcome::kData) {
      run.data += answer->reason;
      continue;
    }
    if (answer->outcome == serve::Outcome::kListing) {
      run.listing += answer->reason;
      continue;
    }
    run.answer = std::move(*answer);
    return run;
  }
}

bool SimulatorServer::Gone() {
  if (!running_) return true;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
  running_ = false;
  return true;
}

void SimulatorServer::Kill() {
  if (Gone()) return;
  process::EndChildGroup(pid_);
  running_ = false;
}

bool SimulatorServer::DueForRecycling(long requestLimit) const {
  if (requests_ >= requestLimit) return true;
  return requests_ % kRequestsBetweenMemoryChecks == 0 &&
         ResidentMegabytes() > serve::kRecycleAboveResidentMegabytes;
}

long SimulatorServer::ResidentMegabytes() const {
  std::ifstream statm("/proc/" + std::to_string(pid_) + "/statm");
  long pages = 0, resident = 0;
  if (!(statm >> pages >> resident)) return -1;
  return resident * (sysconf(_SC_PAGESIZE) / 1024) / 1024;
}

}  // namespace etherm
