#include "simulator/paused_transient.h"

#include <algorithm>
#include <cstdio>

#include "sim/serve_protocol.h"
#include "simulator/child_process.h"
#include "simulator/run_simulator.h"
#include "simulator/simulator_server.h"
#include "textio/failure.h"

namespace etherm {

namespace serve = sim::serve;

struct PausedRequest {
  serve::Request request;
  std::string what;  // for failure texts: "to run ... up to 1e-05 s"
};

PausedTransient::PausedTransient(const std::string& circuit, double timeoutSeconds,
                                 const std::vector<sim::serve::PowerShadow>& shadow,
                                 std::unique_ptr<SimulatorServer> server)
    : circuit_(circuit),
      program_(SimulatorProgram()),
      timeoutSeconds_(timeoutSeconds),
      server_(std::move(server)) {
  if (!server_) {
    server_ = SimulatorServer::Start(program_,
                                     std::min<double>(serve::kReadyTimeoutSeconds, timeoutSeconds));
  }
  if (InterruptSignal() != 0) throw Failure("interrupted");
  if (!server_) {
    throw Failure("The circuit simulator \"" + program_ +
                  "\" does not serve (etherm-sim --serve, version 2), which the continuous "
                  "transient needs; use --engine windowed with it");
  }
  PausedRequest begin{{circuit}, "to load the transient of \"" + circuit + "\""};
  begin.request.verb = serve::Verb::kBegin;
  begin.request.shadow = shadow;
  Ask(begin, {});  // answers no data
}

PausedTransient::~PausedTransient() = default;

std::string PausedTransient::Ask(const PausedRequest& asked,
                                 const std::function<void(double)>& progress) {
  if (!server_) throw Failure("The circuit simulator of the continuous transient has ended");
  const ServedRun run = server_->Ask(asked.request, timeoutSeconds_, progress);
  if (InterruptSignal() != 0) throw Failure("interrupted");
  const std::string listing = circuit_.substr(0, circuit_.rfind('.')) + ".out";
  switch (run.kind) {
    case ServedRun::Kind::kAnswered:
      if (run.answer.outcome == serve::Outcome::kDone) return run.data;
      server_.reset();
      throw Failure("The circuit simulator refused " + asked.what + ": " + run.answer.reason +
                    "; see its listing \"" + listing + "\"");
    case ServedRun::Kind::kUnreadable:
      server_->Kill();
      server_.reset();
      throw Failure(
          "The circuit simulator \"" + program_ + "\" answered \"" +
          serve::EscapeField(run.line.substr(0, 200)) + "\" to the request " + asked.what + ", " +
          (run.problem.empty() ? "which is no answer of etherm-sim --serve" : run.problem));
    case ServedRun::Kind::kEnded:
      server_.reset();
      throw Failure("The circuit simulator ended " +
                    (run.ended.endingSignal != 0
                         ? "by signal " + std::to_string(run.ended.endingSignal) + " "
                         : std::string()) +
                    "when asked " + asked.what + "; see its listing \"" + listing + "\"");
    case ServedRun::Kind::kTimedOut:
      server_.reset();
      throw Failure(
          "The circuit simulator exceeded the time limit of ETHERM_SIM_TIMEOUT seconds "
          "when asked " +
          asked.what + "; see its listing \"" + listing + "\"");
  }
  throw Failure("internal: an answer of no known kind");
}

std::string PausedTransient::RunUntil(double time, const std::function<void(double)>& progress,
                                      const std::vector<sim::serve::PowerGuard>& guard) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", time);
  PausedRequest until{{"-"}, std::string("to run \"") + circuit_ + "\" up to " + text + " s"};
  until.request.verb = serve::Verb::kUntil;
  until.request.time = time;
  until.request.guard = guard;
  return Ask(until, progress);
}

std::string PausedTransient::Settle() {
  PausedRequest settle{{"-"}, "for the operating point of \"" + circuit_ + "\""};
  settle.request.verb = serve::Verb::kSettle;
  return Ask(settle, {});
}

void PausedTransient::SetTemperatures(
    const std::vector<std::pair<std::string, double>>& modelCelsius) {
  PausedRequest temps{{}, "to set the device temperatures of \"" + circuit_ + "\""};
  temps.request.verb = serve::Verb::kTemps;
  temps.request.temps = modelCelsius;
  Ask(temps, {});  // answers no data
}

}  // namespace etherm
