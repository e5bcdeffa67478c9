#include "ngspice_session.h"

#include <fcntl.h>
#include <ngspice/sharedspice.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "sim_error.h"
#include "text_util.h"

namespace etherm::sim {

namespace {
NgspiceSession* g_session = nullptr;
constexpr size_t kKeptLines = 2000;

// Lines by which ngspice says that a command failed; warnings are not among them.
bool MarksFailure(const std::string& line) {
  std::string l = ToLower(Trim(line));
  // "Error: ..." or "Error on line ...", not a measurement named error_x.
  const bool error =
      l.rfind("error", 0) == 0 && (l.size() == 5 || l[5] == ':' || l[5] == ' ' || l[5] == '\t');
  return error || l.rfind("doanalyses:", 0) == 0 ||
         l.find("simulation(s) aborted") != std::string::npos || l.rfind("panic", 0) == 0 ||
         l.find("fatal error") != std::string::npos;
}
}  // namespace

NgspiceSession::NgspiceSession(std::function<void(const std::string&)> sink)
    : sink_(std::move(sink)) {
  if (g_session) throw SimError("internal: a second ngspice session in one process");
  g_session = this;
  // At start-up ngspice sources a ".spiceinit" from the working directory, whose commands may
  // include shell commands. The working directory is where circuit files come from, so ngspice
  // starts in "/" instead and we return afterwards (the user's own ~/.spiceinit, which ngspice
  // finds through the password database, still counts).
  int here = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (here < 0 || ::chdir("/") != 0)
    throw SimError("cannot keep ngspice from the folder's .spiceinit");
  // The data callbacks come only with both of them; they follow a watched run's time steps.
  int rc = ngSpice_Init(&NgspiceSession::OnText, nullptr,
                        reinterpret_cast<ControlledExit*>(&NgspiceSession::OnExit),
                        &NgspiceSession::OnData, &NgspiceSession::OnInitData,
                        reinterpret_cast<BGThreadRunning*>(&NgspiceSession::OnThread), this);
  // Only etherm-sim's own guard source asks for a value; any other EXTERNAL source reads 0.
  if (rc == 0) {
    rc = ngSpice_Init_Sync(&NgspiceSession::OnExternalSource, nullptr, nullptr, nullptr, this);
  }
  bool back = ::fchdir(here) == 0;
  ::close(here);
  if (!back) throw SimError("cannot return to the working folder after starting ngspice");
  Check("starting ngspice", rc);
  // A batch program: ngspice must never ask before it quits, nor page its output.
  for (const char* setting : {"set noaskquit", "set nomoremode"}) Command(setting);
}

NgspiceSession::~NgspiceSession() {
  g_session = nullptr;
}

int NgspiceSession::OnText(char* text, int, void* self) {
  auto* s = static_cast<NgspiceSession*>(self);
  std::string line = text ? text : "";
  if (line.rfind("stdout", 0) == 0 || line.rfind("stderr", 0) == 0)
    line.erase(0, line.size() > 6 ? 7 : 6);
  // ngspice's progress line comes once a quarter second of the process's CPU time has passed
  // since the last one: a long-lived process would write it into listings where a fresh one
  // does not, and it says nothing about the circuit.
  if (line.rfind(" Reference value :", 0) == 0) return 0;
  if (MarksFailure(line)) s->failed_ = true;
  if (s->said_.size() < kKeptLines) s->said_.push_back(line);
  s->sink_(line);
  return 0;
}

int NgspiceSession::OnExit(int status, bool, bool, int, void* self) {
  auto* s = static_cast<NgspiceSession*>(self);
  s->exited_ = true;
  s->exitStatus_ = status;
  s->sink_("etherm-sim: ngspice stopped itself with status " + std::to_string(status));
  return 0;
}

int NgspiceSession::OnInitData(::vecinfoall*, int, void* self) {
  auto* s = static_cast<NgspiceSession*>(self);
  s->time_ = 0;
  s->shortSteps_ = 0;
  s->collectedNames_.clear();
  s->collected_.clear();
  return 0;
}

// Called for every point of every analysis: kept to a few comparisons.
int NgspiceSession::OnExternalSource(double* value, double, char* name, int, void* self) {
  const auto* s = static_cast<const NgspiceSession*>(self);
  *value = name != nullptr && EqualNoCase(name, kGuardSource) ? s->guard_ : 0.0;
  return 0;
}

int NgspiceSession::OnData(::vecvaluesall* values, int, int, void* self) {
  auto* s = static_cast<NgspiceSession*>(self);
  if (s->collecting_) {
    if (s->collectedNames_.empty()) {
      for (int i = 0; i < values->veccount; ++i)
        s->collectedNames_.push_back(ToLower(values->vecsa[i]->name));
    }
    std::vector<double> row(static_cast<std::size_t>(values->veccount));
    for (int i = 0; i < values->veccount; ++i)
      row[static_cast<std::size_t>(i)] = values->vecsa[i]->creal;
    if (s->watch_ && s->guard_ == 0 && s->watch_(row)) s->guard_ = 1;
    s->collected_.push_back(std::move(row));
  }
  for (int i = 0; i < values->veccount; ++i) {
    const vecvalues* v = values->vecsa[i];
    if (!v->is_scale) continue;
    const double step = v->creal - s->time_.load(std::memory_order_relaxed);
    s->time_.store(v->creal, std::memory_order_relaxed);
    s->step_.store(step, std::memory_order_relaxed);
    const double limit = s->shortStep_.load(std::memory_order_relaxed);
    if (limit <= 0) break;
    if (step >= limit) {
      s->shortSteps_.store(0, std::memory_order_relaxed);
    } else if (s->shortSteps_.fetch_add(1, std::memory_order_relaxed) + 1 == kStallSteps) {
      std::lock_guard lock(s->threadMutex_);
      s->threadChanged_.notify_all();
    }
    break;
  }
  return 0;
}

int NgspiceSession::OnThread(bool finished, int, void* self) {
  auto* s = static_cast<NgspiceSession*>(self);
  if (!finished) return 0;
  std::lock_guard lock(s->threadMutex_);
  ++s->threadsEnded_;
  s->threadChanged_.notify_all();
  return 0;
}

void NgspiceSession::Begin() {
  said_.clear();
  failed_ = false;
}

// ngspice's complaint in a designer's words: the line of the circuit file and what is wrong.
std::string NgspiceSession::Explain() const {
  std::vector<std::string> parts;
  bool diverged = false;
  for (size_t i = 0; i < said_.size(); ++i) {
    std::string l = std::string(Trim(said_[i]));
    std::string lower = ToLower(l);
    if (lower.find("timestep too small") != std::string::npos ||
        lower.find("stepping failed") != std::string::npos ||
        lower.find("iteration limit") != std::string::npos ||
        lower.find("no convergence") != std::string::npos)
      diverged = true;
    unsigned n = 0;
    if (std::sscanf(l.c_str(), "Error on line %u", &n) == 1) {
      std::string where = n >= 1 && n <= origins_.size()
                              ? origins_[n - 1]
                              : "line " + std::to_string(n) + " of the deck";
      std::string text = i + 1 < said_.size() ? std::string(Trim(said_[i + 1])) : "";
      std::string why = i + 2 < said_.size() ? std::string(Trim(said_[i + 2])) : "";
      parts.push_back(where + ": ngspice rejects \"" + text + "\"" +
                      (why.empty() ? std::string() : ": " + why));
      i += 2;
      continue;
    }
    if (MarksFailure(l) && lower.find("simulation(s) aborted") == std::string::npos)
      parts.push_back(l);
  }
  std::string text = parts.empty() ? std::string("ngspice reported a failure") : Join(parts, " / ");
  return diverged ? "the circuit does not converge (ngspice: " + text + ")" : text;
}

void NgspiceSession::Check(const std::string& what, int rc) {
  if (exited_)
    throw SimError(what + ": ngspice stopped (status " + std::to_string(exitStatus_) +
                   "): " + Explain());
  if (rc != 0 || failed_) throw SimError(what + ": " + Explain());
}

void NgspiceSession::Load(const std::vector<std::string>& deck,
                          const std::vector<std::string>& origins) {
  Begin();
  origins_ = origins;
  std::vector<std::string> copy = deck;
  std::vector<char*> lines;
  for (std::string& l : copy) lines.push_back(l.data());
  lines.push_back(nullptr);
  int rc = ngSpice_Circ(lines.data());
  // A rejected deck may still have left a circuit behind; Clear removes at most what is there.
  ++circuits_;
  Check("ngspice did not accept the circuit", rc);
}

void NgspiceSession::Run(const Watch& watch) {
  if (watch.length > 0) {
    RunWatched(watch);
    return;
  }
  Begin();
  std::string run = "run";
  int rc = ngSpice_Command(run.data());
  Check("the analysis failed", rc);
}

namespace {

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

std::string Seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

}  // namespace

// In ngspice's background thread, so that a stalled run can be halted (bg_halt); a synchronous
// run cannot be stopped from its own callbacks.
void NgspiceSession::RunWatched(const Watch& watch) {
  Begin();
  time_ = 0;
  step_ = 0;
  shortSteps_ = 0;
  // Steps of 10 fs and more are a circuit's own; a restart that crept took steps of 1e-20 s.
  shortStep_ = std::min(watch.length * 1e-6, 1e-14);
  struct Unwatch {
    std::atomic<double>& limit;
    ~Unwatch() { limit = 0; }
  } unwatch{shortStep_};
  long before = 0;
  {
    std::lock_guard lock(threadMutex_);
    before = threadsEnded_;
  }
  std::string run = "bg_run";
  Check("the analysis failed", ngSpice_Command(run.data()));

  using Clock = std::chrono::steady_clock;
  double stallCpuSeconds = kStallCpuSeconds;
  if (const char* text = std::getenv("ETHERM_SIM_STALL_SECONDS")) {
    const double seconds = std::atof(text);
    if (seconds > 0) stallCpuSeconds = seconds;
  }
  double checkpointCpu = CpuSeconds();
  double checkpointTime = 0;
  Clock::time_point shown = Clock::now();
  std::string stall;
  for (;;) {
    {
      std::unique_lock lock(threadMutex_);
      threadChanged_.wait_for(lock, std::chrono::milliseconds(100),
                              [&] { return threadsEnded_ > before || shortSteps_ >= kStallSteps; });
      if (threadsEnded_ > before) break;
    }
    if (exited_) break;  // ngspice stopped itself in its thread; Check says so
    const double time = time_, step = step_;
    if (shortSteps_ >= kStallSteps) {
      stall = std::to_string(kStallSteps) + " steps in a row each shorter than a millionth of " +
              "the run's " + Seconds(watch.length) + " s";
    } else if (const double cpu = CpuSeconds(); cpu - checkpointCpu >= stallCpuSeconds) {
      if (time - checkpointTime < watch.length * 1e-3) {
        stall = "it advanced " + Seconds(time - checkpointTime) + " s in " +
                Seconds(cpu - checkpointCpu) + " s of CPU time, less than a thousandth of the " +
                "run's " + Seconds(watch.length) + " s";
      }
      checkpointCpu = cpu;
      checkpointTime = time;
    }
    if (!stall.empty()) {
      std::string halt = "bg_halt";
      ngSpice_Command(halt.data());
      std::unique_lock lock(threadMutex_);
      threadChanged_.wait_for(lock, std::chrono::seconds(10),
                              [&] { return threadsEnded_ > before; });
      throw Stalled("the simulation stalled at t = " + Seconds(time) + " s of the run (time step " +
                    Seconds(step) + " s): " + stall);
    }
    if (watch.progress && Clock::now() - shown >= std::chrono::milliseconds(500)) {
      shown = Clock::now();
      watch.progress(time);
    }
  }
  Check("the analysis failed", 0);
}

bool NgspiceSession::RunOrResume(bool resume) {
  Begin();
  std::string command = resume ? "resume" : "run";
  int rc = ngSpice_Command(command.data());
  bool paused = false, failed = false;
  for (const std::string& line : said_) {
    const std::string l = ToLower(line);
    if (l.find("pause requested") != std::string::npos ||
        l.find("simulation interrupted") != std::string::npos) {
      paused = true;
    } else if (MarksFailure(line)) {
      failed = true;
    }
  }
  failed_ = failed;
  Check("the analysis failed", paused ? 0 : rc);
  return paused;
}

void NgspiceSession::Command(const std::string& command) {
  Begin();
  std::string c = command;
  int rc = ngSpice_Command(c.data());
  Check("ngspice command \"" + command + "\" failed", rc);
}

void NgspiceSession::Clear() {
  // Plots first: each holds its vectors, the larger part of what a run leaves behind.
  Command("destroy all");
  for (; circuits_ > 0; --circuits_) {
    Begin();
    std::string remove = "remcirc";
    // "there is no circuit" after a deck ngspice rejected before making one is no fault here.
    ngSpice_Command(remove.data());
    if (exited_) Check("removing the circuits", 1);
  }
  failed_ = false;
}

std::map<std::string, std::string> NgspiceSession::PlotVectors() const {
  std::map<std::string, std::string> names;
  char* plot = ngSpice_CurPlot();
  if (!plot) return names;
  char** vecs = ngSpice_AllVecs(plot);
  for (int i = 0; vecs && vecs[i]; ++i) names[ToLower(vecs[i])] = vecs[i];
  return names;
}

std::optional<NgspiceSession::Vector> NgspiceSession::Get(const std::string& name) const {
  std::string n = name;
  pvector_info info = ngGet_Vec_Info(n.data());
  if (!info || !info->v_realdata || info->v_length < 0) return std::nullopt;
  Vector v;
  v.name = info->v_name ? info->v_name : name;
  v.type = info->v_type;
  v.data.assign(info->v_realdata, info->v_realdata + info->v_length);
  return v;
}

bool NgspiceSession::HasInstanceParameter(const std::string& device,
                                          const std::string& parameter) const {
  std::string n = "@" + device + "[" + parameter + "]";
  return ngGet_Vec_Info(n.data()) != nullptr;
}

}  // namespace etherm::sim
