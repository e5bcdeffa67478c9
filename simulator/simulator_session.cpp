#include "simulator/simulator_session.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "sim/exit_status.h"
#include "sim/serve_protocol.h"
#include "simulator/child_process.h"
#include "simulator/simulator_server.h"
#include "textio/failure.h"

namespace etherm {

namespace {

// The analyses run one at a time in one thread; the innermost session serves them.
SimulatorSession* g_current = nullptr;

}  // namespace

bool ServingSwitchedOff() {
  const char* text = std::getenv("ETHERM_SIM_NO_SERVE");
  return text != nullptr && *text != '\0' && std::string_view(text) != "0";
}

namespace {

SimulatorPass OneShotPass(const std::string& program, const std::string& circuit,
                          double timeoutSeconds) {
  const ChildResult result = RunChild(program, {circuit}, timeoutSeconds);
  SimulatorPass pass;
  pass.timedOut = result.outcome == ChildOutcome::kTimedOut;
  if (!pass.timedOut) pass.endingSignal = result.endingSignal;
  pass.refused =
      !pass.timedOut && result.endingSignal == 0 && result.exitStatus == sim::kExitRefused;
  return pass;
}

// What came instead of an answer, short enough for a failure text.
std::string Quoted(const std::string& line) {
  constexpr std::size_t kShown = 200;
  return "\"" + sim::serve::EscapeField(line.substr(0, kShown)) +
         (line.size() > kShown ? "...\"" : "\"");
}

}  // namespace

SimulatorSession::SimulatorSession(long recycleAfterRequests)
    : outer_(g_current),
      recycleAfterRequests_(recycleAfterRequests),
      oneShot_(ServingSwitchedOff()) {
  g_current = this;
}

void SimulatorSession::Prestart(const std::string& program, double readySeconds) {
  if (oneShot_ || server_) return;
  try {
    server_ = SimulatorServer::Launch(program, readySeconds);
    if (server_) program_ = program;
  } catch (const Failure&) {
    // The first pass tries again and says why it cannot.
  }
}

SimulatorSession::~SimulatorSession() {
  server_.reset();
  g_current = outer_;
}

// The session's parts the passes share.
struct SessionAccess {
  // From now on the passes go one by one; `warning` says so.
  static SimulatorServer* NotServing(SimulatorSession* session, const std::string& program,
                                     std::string* warning) {
    session->oneShot_ = true;
    *warning = "the circuit simulator \"" + program +
               "\" did not answer as etherm-sim --serve does; it is started once for "
               "every iteration from now on, which is slower";
    return nullptr;
  }

  // The session's serving process for `program`, started now when needed. Nothing when the
  // passes go one by one: then `warning` is set when this call found the program does not serve.
  static SimulatorServer* Server(SimulatorSession* session, const std::string& program,
                                 double timeoutSeconds, std::string* warning) {
    if (session == nullptr || session->oneShot_) return nullptr;
    auto& server = session->server_;
    // Started ahead (Prestart): the ready line decides now.
    if (server && !server->ready() && !server->AwaitReady()) {
      server.reset();
      return NotServing(session, program, warning);
    }
    if (server && (session->program_ != program || server->Gone() ||
                   server->DueForRecycling(session->recycleAfterRequests_))) {
      server.reset();
    }
    if (!server) {
      server = SimulatorServer::Start(
          program, std::min<double>(sim::serve::kReadyTimeoutSeconds, timeoutSeconds));
      if (InterruptSignal() != 0) throw Failure("interrupted");
      if (!server) return NotServing(session, program, warning);
      session->program_ = program;
    }
    return server.get();
  }

  // How a served request went, as a pass; the server is dropped where it may be on its way out.
  static SimulatorPass PassOf(SimulatorSession* session, const ServedRun& run,
                              const std::string& program, const std::string& circuit) {
    auto& server = session->server_;
    SimulatorPass pass;
    switch (run.kind) {
      case ServedRun::Kind::kAnswered:
        pass.refused = run.answer.outcome == sim::serve::Outcome::kRefused;
        pass.reason = run.answer.reason;
        // After anything but success a server may end by itself; the next pass gets a fresh one
        // rather than a request lost to a process on its way out.
        if (run.answer.outcome != sim::serve::Outcome::kDone) server.reset();
        break;
      case ServedRun::Kind::kUnreadable:
        // a program that does not keep to the protocol may not end at its input's end
        server->Kill();
        server.reset();
        throw Failure(
            "The circuit simulator \"" + program + "\" answered " + Quoted(run.line) +
            " to the request to run \"" + circuit + "\", " +
            (run.problem.empty() ? "which is no answer of etherm-sim --serve" : run.problem));
      case ServedRun::Kind::kEnded:
        server.reset();
        pass.endingSignal = run.ended.endingSignal;
        break;
      case ServedRun::Kind::kTimedOut:
        server.reset();
        pass.timedOut = true;
        break;
    }
    return pass;
  }
};

SimulatorPass RunSimulatorPass(const std::string& program, const std::string& circuit,
                               double timeoutSeconds, const std::function<void(double)>& progress) {
  SimulatorSession* session = g_current;
  std::string warning;
  SimulatorServer* server = SessionAccess::Server(session, program, timeoutSeconds, &warning);
  if (server == nullptr) {
    SimulatorPass pass = OneShotPass(program, circuit, timeoutSeconds);
    pass.warning = warning;
    return pass;
  }
  const ServedRun run = server->Run(circuit, timeoutSeconds, progress);
  return SessionAccess::PassOf(session, run, program, circuit);
}

SimulatorTextPass RunSimulatorTextPass(const std::string& program, const std::string& circuit,
                                       const std::string& text, double timeoutSeconds) {
  SimulatorTextPass result;
  // Escaping at most doubles the fields; the rest of the line is short.
  if (2 * (text.size() + circuit.size()) + 64 > sim::serve::kLongestRequestLine) return result;
  SimulatorSession* session = g_current;
  SimulatorServer* server =
      SessionAccess::Server(session, program, timeoutSeconds, &result.pass.warning);
  if (server == nullptr) return result;
  sim::serve::Request request{circuit, 0, sim::serve::Verb::kText};
  request.text = text;
  ServedRun run = server->Ask(std::move(request), timeoutSeconds);
  result.served = true;
  result.pass = SessionAccess::PassOf(session, run, program, circuit);
  if (run.kind == ServedRun::Kind::kAnswered) {
    if (run.answer.outcome == sim::serve::Outcome::kDone) {
      result.probeData = std::move(run.data);
    } else {
      result.listing = std::move(run.listing);
    }
  }
  return result;
}

}  // namespace etherm
