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

SimulatorSession::~SimulatorSession() {
  server_.reset();
  g_current = outer_;
}

SimulatorPass RunSimulatorPass(const std::string& program, const std::string& circuit,
                               double timeoutSeconds, const std::function<void(double)>& progress) {
  SimulatorSession* session = g_current;
  if (session == nullptr || session->oneShot_) return OneShotPass(program, circuit, timeoutSeconds);
  auto& server = session->server_;
  if (server && (session->program_ != program || server->Gone() ||
                 server->DueForRecycling(session->recycleAfterRequests_))) {
    server.reset();
  }
  if (!server) {
    server = SimulatorServer::Start(
        program, std::min<double>(sim::serve::kReadyTimeoutSeconds, timeoutSeconds));
    if (InterruptSignal() != 0) throw Failure("interrupted");
    if (!server) {
      session->oneShot_ = true;
      SimulatorPass pass = OneShotPass(program, circuit, timeoutSeconds);
      pass.warning = "the circuit simulator \"" + program +
                     "\" did not answer as etherm-sim --serve does; it is started once for "
                     "every iteration from now on, which is slower";
      return pass;
    }
    session->program_ = program;
  }

  const ServedRun run = server->Run(circuit, timeoutSeconds, progress);
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
      server
          ->Kill();  // a program that does not keep to the protocol may not end at its input's end
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

}  // namespace etherm
