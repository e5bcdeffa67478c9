#include "serve.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <iostream>
#include <string>

#include "exit_status.h"
#include "ngspice_session.h"
#include "process_guard.h"
#include "run_circuit.h"
#include "serve_protocol.h"
#include "sim_error.h"

namespace etherm::sim {

namespace {

// Standard output as it was given: the answers' channel. Descriptor 1 itself then points at
// standard error, so nothing ngspice or a library prints can break into an answer.
int TakeAnswerChannel() {
  const int answers = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
  if (answers >= 0) ::dup2(2, 1);
  return answers;
}

// False when the client is gone.
bool Answer(int fd, const std::string& line) {
  const std::string text = line + "\n";
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

bool Answer(int fd, serve::Outcome outcome, const std::string& reason, long id = 0) {
  return Answer(fd, serve::FormatAnswer({outcome, reason, id}));
}

std::string WithoutCr(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The longest request line read; a client's circuit names are far shorter. A longer line is
// skipped to its end and answered, never held in memory.
constexpr std::size_t kLongestRequest = serve::kLongestRequestLine;

// Lines of standard input, read straight from descriptor 0 so that their length is bounded.
class RequestLines {
 public:
  enum class Read { kLine, kTooLong, kEnd };
  Read Next(std::string* line) {
    bool tooLong = false;
    line->clear();
    for (;;) {
      if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
        if (!tooLong) line->assign(pending_, 0, end);
        pending_.erase(0, end + 1);
        return tooLong ? Read::kTooLong : Read::kLine;
      }
      if (pending_.size() > kLongestRequest) {
        tooLong = true;
        pending_.clear();
      }
      char buffer[65536];
      const ssize_t n = ::read(0, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        // A last line without its end counts as a line.
        if (pending_.empty() && !tooLong) return Read::kEnd;
        if (!tooLong) line->swap(pending_);
        pending_.clear();
        return tooLong ? Read::kTooLong : Read::kLine;
      }
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

 private:
  std::string pending_;
};

// Requests name circuit files inside the server's folder, as the protocol says.
bool InsideTheFolder(const std::string& path) {
  if (path.empty() || path.front() == '/') return false;
  for (std::size_t at = 0; at <= path.size();) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    if (slash - at == 2 && path.compare(at, 2, "..") == 0) return false;
    at = slash + 1;
  }
  return true;
}

}  // namespace

int Serve() {
  const int answers = TakeAnswerChannel();
  if (answers < 0) return kExitUsage;
  RequestLines input;
  std::string line;
  const RequestLines::Read first = input.Next(&line);
  if (first == RequestLines::Read::kEnd) return kExitSuccess;
  const std::string hello = WithoutCr(line);
  if (hello != serve::kHello && hello != serve::kHello2) {
    Answer(answers, serve::Outcome::kFailed,
           "etherm-sim --serve expects \"" + std::string(serve::kHello2) + "\" (or \"" +
               std::string(serve::kHello) + "\") first");
    return kExitUsage;
  }
  // Version 2 names the request in every answer and tells a transient's progress.
  const bool version2 = hello == serve::kHello2;
  CircuitRunner runner(false);
  try {
    LimitAddressSpace();
    runner.Ngspice();
  } catch (const SimError& e) {
    Answer(answers, serve::Outcome::kFailed, e.what());
    return kExitUnexpected;
  }
  if (!Answer(answers, std::string(version2 ? serve::kReady2 : serve::kReady)))
    return kExitUnexpected;

  for (;;) {
    const RequestLines::Read read = input.Next(&line);
    if (read == RequestLines::Read::kEnd) break;
    if (read == RequestLines::Read::kTooLong) {
      if (!Answer(answers, serve::Outcome::kFailed,
                  "bad request line: longer than " + std::to_string(kLongestRequest) + " bytes"))
        return kExitUnexpected;
      continue;
    }
    const serve::ParsedRequest request = serve::ParseRequest(line);
    if (request.request && !request.request->circuit.empty() &&
        !InsideTheFolder(request.request->circuit)) {
      if (!Answer(answers, serve::Outcome::kRefused,
                  "the circuit file " + request.request->circuit +
                      " is not inside the server's folder; requests name files relative to it",
                  version2 ? request.request->id : 0))
        return kExitUnexpected;
      continue;
    }
    if (!request.request) {
      if (!Answer(answers, serve::Outcome::kFailed, "bad request line: " + request.problem,
                  version2 ? -1 : 0))
        return kExitUnexpected;
      continue;
    }
    const long id = version2 ? request.request->id : 0;
    bool clientGone = false;
    std::function<void(double)> progress;
    if (version2) {
      progress = [&](double time) {
        clientGone =
            clientGone ||
            !Answer(answers, serve::FormatAnswer({serve::Outcome::kProgress, "", id, time}));
      };
    }
    const serve::Request& r = *request.request;
    if (!version2 && r.verb != serve::Verb::kRun) {
      if (!Answer(answers, serve::Outcome::kFailed, "bad request line: a version 2 request"))
        return kExitUnexpected;
      continue;
    }
    RunOutcome outcome;
    bool clear = true;
    switch (r.verb) {
      case serve::Verb::kRun:
        runner.EndTransient();
        outcome = runner.Run(r.circuit, progress);
        break;
      case serve::Verb::kText:
        runner.EndTransient();
        outcome = runner.RunText(r.circuit, r.text, progress);
        break;
      case serve::Verb::kBegin:
        outcome = runner.BeginTransient(r.circuit, r.shadow);
        clear = outcome.status != kExitSuccess;
        break;
      case serve::Verb::kSettle:
        outcome = runner.Settle(r.circuit);
        clear = outcome.status != kExitSuccess;
        break;
      case serve::Verb::kUntil:
        outcome = runner.RunUntil(r.time, r.circuit, r.guard);
        clear = outcome.status != kExitSuccess;
        break;
      case serve::Verb::kTemps:
        outcome = runner.SetTemperatures(r.temps);
        clear = outcome.status != kExitSuccess;
        break;
      case serve::Verb::kEnd:
        runner.EndTransient();
        break;
    }
    const serve::Outcome answer = outcome.status == kExitSuccess   ? serve::Outcome::kDone
                                  : outcome.status == kExitRefused ? serve::Outcome::kRefused
                                                                   : serve::Outcome::kFailed;
    // Streamed probe data and a listing held in memory: each of their lines (with its line end)
    // an answer line before the answer. All of it goes in one write: a write a line would wake
    // the client for each.
    std::string lines;
    const auto stream = [&](const std::string& text, serve::Outcome kind) {
      for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
        lines += serve::FormatAnswer({kind, text.substr(at, end - at), id}) + "\n";
        at = end;
      }
    };
    stream(outcome.data, serve::Outcome::kData);
    stream(outcome.listing, serve::Outcome::kListing);
    lines += serve::FormatAnswer({answer, outcome.reason, id});
    // Answered before the clean-up, which the client need not wait for.
    if (clientGone || !Answer(answers, lines)) return kExitUnexpected;
    if (outcome.status == kExitUnexpected || runner.NgspiceStopped()) return kExitUnexpected;
    if (!clear) continue;  // the paused transient stays loaded
    try {
      runner.EndTransient();
      runner.Clear();
    } catch (const SimError& e) {
      std::cerr << "etherm-sim --serve: " << e.what() << "\n";
      return kExitUnexpected;
    }
  }
  return kExitSuccess;
}

}  // namespace etherm::sim
