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
#include "textio/file_access.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/time_of_day.h"

namespace etherm {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxPasses = 3;
// Probe data of a DC point are a few hundred bytes; a transient's may be large, never this.
constexpr std::uintmax_t kMaxProbeDataBytes = std::uintmax_t{1} << 30;
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

namespace {

// Writes `bytes` as the file `name`, created anew.
void WriteWholeFile(const std::string& name, const std::string& bytes) {
  TextFile file;
  file.OpenForReplacing(name);
  WriteText(file, bytes);
  file.Close();
}

// The passes of RunSimulator and RunSimulatorOnText. With `circuitText`, a pass is first tried
// in memory and the probe data go to *probeData.
double RunPasses(const std::string& iterationName, const std::string* circuitText,
                 std::string* probeData, const std::string& runLogName, AnalysisKind kind,
                 AnalysisListener* listener, double timeOffset) {
  const bool transient = kind == AnalysisKind::kTransient;
  const std::string circuitName = iterationName + ".cir";
  const std::string probeDataName = iterationName + ".csd";
  const std::string listingName = iterationName + ".out";
  const std::string program = SimulatorProgram();
  const std::string programName = fs::path(program).filename().string();
  const double timeout = PassTimeoutSeconds();

  bool timedOut = false;
  std::string crash;  // how the last crashed pass ended
  bool inMemory = circuitText != nullptr;
  bool fileWritten = false;
  for (int pass = 1; pass <= kMaxPasses; ++pass) {
    std::error_code ignored;  // the copies and deletions are not checked; the .csd test is
    SimulatorPass result;
    bool served = false;
    std::string servedData;
    const auto started = std::chrono::steady_clock::now();
    if (inMemory) {
      SimulatorTextPass text = RunSimulatorTextPass(program, circuitName, *circuitText, timeout);
      if (!text.pass.warning.empty() && listener != nullptr) listener->Warning(text.pass.warning);
      served = text.served;
      if (served) {
        result = text.pass;
        servedData = std::move(text.probeData);
        // A circuit refused is the user's to look at: its file and listing stay.
        if (result.refused) {
          WriteWholeFile(circuitName, *circuitText);
          WriteWholeFile(listingName, text.listing);
        }
      }
      // A pass that gave no results is followed by passes on the file, as without a serving
      // simulator, so that what is left to look at is what they leave.
      inMemory = false;
    }
    if (!served) {
      if (circuitText != nullptr && !fileWritten) {
        WriteWholeFile(circuitName, *circuitText);
        fileWritten = true;
      }
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

      std::function<void(double)> progress;
      if (listener != nullptr && transient) {
        progress = [&](double time) { listener->SimulatorAdvanced(timeOffset + time); };
      }
      result = RunSimulatorPass(program, circuitName, timeout, progress);
      if (!result.warning.empty() && listener != nullptr) listener->Warning(result.warning);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    if (process::InterruptSignal() != 0) throw Failure("interrupted");
    timedOut = timedOut || result.timedOut;
    if (result.endingSignal != 0) {
      crash = programName + " ended by signal " + SignalName(result.endingSignal) + " on " +
              circuitName;
    }
    if (transient && !served) {
      if (ReplaceByCopy(kBiasFileName, kBiasCopyName)) fs::remove(kBiasFileName, ignored);
    }
    LogSimulatorPass(runLogName, kind, listener);
    if (served && !servedData.empty()) {
      *probeData = std::move(servedData);
      return took.count();
    }
    if (!served && fs::exists(probeDataName)) {
      if (probeData != nullptr) {
        *probeData = ReadRegularFile(probeDataName, kMaxProbeDataBytes);
        for (const std::string& name : {probeDataName, listingName, circuitName})
          fs::remove(name, ignored);
      }
      return took.count();
    }
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

}  // namespace

double RunSimulator(const std::string& iterationName, const std::string& runLogName,
                    AnalysisKind kind, AnalysisListener* listener, double timeOffset) {
  return RunPasses(iterationName, nullptr, nullptr, runLogName, kind, listener, timeOffset);
}

SimulatorResults RunSimulatorOnText(const std::string& iterationName,
                                    const std::string& circuitText, const std::string& runLogName,
                                    SimulationKind kind, AnalysisListener* listener) {
  SimulatorResults results;
  results.seconds =
      RunPasses(iterationName, &circuitText, &results.probeData, runLogName, kind, listener, 0);
  return results;
}

}  // namespace etherm
