#include "simulator/run_simulator.h"

#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "model/file_names.h"
#include "process/child.h"
#include "simulator/simulator_session.h"
#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/time_of_day.h"

namespace etherm {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxPasses = 3;
// A window of the windowed transient takes well under a second; a stalled one is refused by
// etherm-sim itself within seconds, so this bounds only what no guard inside sees.
constexpr double kDefaultTimeoutSeconds = 120;

double PassTimeoutSeconds() {
  const char* text = std::getenv("ETHERM_SIM_TIMEOUT");
  if (text == nullptr || *text == '\0') return kDefaultTimeoutSeconds;
  double seconds = 0;
  if (!ParseRealToken(text, &seconds) || !(seconds > 0)) {
    throw Failure(std::string("ETHERM_SIM_TIMEOUT must be a number of seconds above 0, not \"") +
                  text + "\"");
  }
  return seconds;
}

void AppendRunLogLine(const std::string& runLogName, const std::string& text) {
  TextFile log;
  log.OpenForAppending(runLogName);
  WriteText(log, text);
  WriteLineEnd(log);
  log.Close();
}

// The simulator's own account of what went wrong: the last line of its listing that begins
// with "etherm-sim:". Empty when there is none.
std::string ListingReason(const std::string& listingName) {
  std::ifstream listing(listingName, std::ios::binary);
  std::string line, reason;
  while (std::getline(listing, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("etherm-sim:", 0) == 0) reason = line;
  }
  return reason;
}

// Copies `from` to a file `to` created anew: whatever had the name before (a link into
// another run's files included) is removed, never written through. False when the copy failed.
bool ReplaceByCopy(const std::string& from, const std::string& to) {
  std::error_code ec;
  if (!fs::exists(from, ec)) return false;
  fs::remove(to, ec);
  // Without overwrite_existing the copy creates its file exclusively (O_EXCL).
  fs::copy_file(from, to, fs::copy_options::none, ec);
  return !ec;
}

std::string SignalName(int signalNumber) {
  if (const char* abbreviation = sigabbrev_np(signalNumber); abbreviation != nullptr) {
    return std::string("SIG") + abbreviation;
  }
  return "number " + std::to_string(signalNumber);
}

}  // namespace

void CheckSimulatorSetup() {
  PassTimeoutSeconds();
  const std::string program = SimulatorProgram();
  std::error_code ec;
  if (fs::is_directory(program, ec)) {
    throw Failure("The circuit simulator \"" + program + "\" cannot be started: it is a folder");
  }
  if (access(program.c_str(), X_OK) != 0) {
    throw Failure("The circuit simulator \"" + program +
                  "\" cannot be started: " + std::strerror(errno));
  }
}

std::string SimulatorProgram() {
  if (const char* named = std::getenv("ETHERM_SIMULATOR"); named != nullptr && *named != '\0') {
    return named;
  }
  // Asked once a window; the program's own folder does not change.
  static const std::string beside = [] {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("etherm-sim") : (self.parent_path() / "etherm-sim").string();
  }();
  return beside;
}

double SimulatorTimeoutSeconds() {
  return PassTimeoutSeconds();
}

void LogSimulatorPass(const std::string& runLogName, AnalysisKind kind,
                      AnalysisListener* listener) {
  AppendRunLogLine(runLogName, "pierwszy");
  if (listener != nullptr) {
    listener->StatusChanged(StatusLine::kSimulator, kind == AnalysisKind::kTransient
                                                        ? "jest pierwszy wynik"
                                                        : "jest wynik");
  }
  AppendRunLogLine(runLogName, TimeOfDayText());
}

double RunSimulator(const std::string& iterationName, const std::string& runLogName,
                    AnalysisKind kind, AnalysisListener* listener, double timeOffset) {
  const bool transient = kind == AnalysisKind::kTransient;
  const std::string circuitName = iterationName + ".cir";
  const std::string probeDataName = iterationName + ".csd";
  const std::string listingName = iterationName + ".out";
  const std::string program = SimulatorProgram();
  const std::string programName = fs::path(program).filename().string();
  const double timeout = PassTimeoutSeconds();

  bool timedOut = false;
  std::string crash;  // how the last crashed pass ended
  for (int pass = 1; pass <= kMaxPasses; ++pass) {
    std::error_code ignored;  // the copies and deletions are not checked; the .csd test is
    // Removed, not overwritten: ext4 writes a truncated file out at once when it is closed.
    // A second name for the iteration's circuit is a copy that costs no new file: neither
    // name is ever written in place again, each is only removed and written anew.
    // Where no second name can be made, a copy into a file created anew (never through
    // whatever else the name may have come to be).
    fs::remove(kSimulatorCircuitName, ignored);
    fs::create_hard_link(circuitName, kSimulatorCircuitName, ignored);
    if (ignored) ReplaceByCopy(circuitName, kSimulatorCircuitName);
    // A probe-data file left by an earlier, interrupted run must not pass for this run's.
    fs::remove(probeDataName, ignored);

    const auto started = std::chrono::steady_clock::now();
    std::function<void(double)> progress;
    if (listener != nullptr && transient) {
      progress = [&](double time) { listener->SimulatorAdvanced(timeOffset + time); };
    }
    const SimulatorPass result = RunSimulatorPass(program, circuitName, timeout, progress);
    if (!result.warning.empty() && listener != nullptr) listener->Warning(result.warning);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    if (process::InterruptSignal() != 0) throw Failure("interrupted");
    timedOut = timedOut || result.timedOut;
    if (result.endingSignal != 0) {
      crash = programName + " ended by signal " + SignalName(result.endingSignal) + " on " +
              circuitName;
    }
    if (transient) {
      if (ReplaceByCopy(kBiasFileName, kBiasCopyName)) fs::remove(kBiasFileName, ignored);
    }
    LogSimulatorPass(runLogName, kind, listener);
    if (fs::exists(probeDataName)) return took.count();
    // A refusal is the simulator's answer to this circuit; another pass would give it again.
    if (result.refused) {
      std::string reason = ListingReason(listingName);
      if (reason.empty()) reason = result.reason;
      if (!reason.empty()) {
        for (const std::string& said :
             {std::string("etherm-sim: "), "error in " + circuitName + ": "}) {
          if (reason.rfind(said, 0) == 0) reason.erase(0, said.size());
        }
        throw Failure("The circuit simulator refused \"" + circuitName + "\": " + reason +
                      "; see its listing \"" + listingName + "\"");
      }
    }
  }

  std::string text = "The circuit simulator wrote no results file \"" + probeDataName + "\" in " +
                     std::to_string(kMaxPasses) + " runs";
  if (timedOut) text += " (a run exceeded the time limit of ETHERM_SIM_TIMEOUT seconds)";
  if (!crash.empty()) text += " (" + crash + ")";
  if (fs::exists(listingName)) {
    const std::string reason = ListingReason(listingName);
    if (!reason.empty()) text += ": " + reason;
    text += "; see its listing \"" + listingName + "\"";
  }
  throw Failure(text);
}

}  // namespace etherm
