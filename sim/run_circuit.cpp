#include "run_circuit.h"

#include <fcntl.h>
#include <ngspice/sharedspice.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <utility>

#include "csdf.h"
#include "deck.h"
#include "emit_deck.h"
#include "exit_status.h"
#include "in_place.h"
#include "ngspice_session.h"
#include "number_text.h"
#include "process_guard.h"
#include "sim_error.h"
#include "spice_text/model_line.h"
#include "state_file.h"
#include "temperature.h"
#include "text_util.h"
#include "translate.h"

namespace etherm::sim {

// The listing file. While ngspice runs, standard output and error point at it too, so nothing
// ngspice prints past its callbacks reaches the terminal. Our own lines wait in memory until the
// next call into ngspice (Flush), one write for many lines; ngspice's lines go out at once
// (Live), so a crash inside ngspice leaves the listing complete up to that point.
class Listing {
 public:
  explicit Listing(const std::string& path) {
    // A listing of the same name is removed, not truncated: ext4 writes a truncated file's
    // blocks out at once when it is closed, a disk write per run.
    ::unlink(path.c_str());
    // Created anew: never written through a link left under the listing's name.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  }
  // A listing held in memory, for a run that writes no file: an anonymous file, so that ngspice's
  // printing reaches it through standard output as it reaches a listing file.
  struct InMemory {};
  explicit Listing(InMemory) { fd_ = ::memfd_create("etherm-sim listing", MFD_CLOEXEC); }
  ~Listing() {
    Restore();
    Flush();
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void Line(const std::string& text) {
    if (record_) record_->push_back(text);
    pending_ += text;
    pending_ += '\n';
  }
  // Every line from now on is also added to `lines`; nullptr stops it.
  void Record(std::vector<std::string>* lines) { record_ = lines; }
  // How long the listing is now, written out (standard output and error share its offset while
  // captured); RewindTo takes it back to that length.
  off_t Mark() {
    Flush();
    std::fflush(stdout);
    std::fflush(stderr);
    return ::lseek(fd_, 0, SEEK_CUR);
  }
  // Everything listed so far.
  std::string Text() {
    const off_t size = Mark();
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    std::size_t have = 0;
    while (have < text.size()) {
      const ssize_t n =
          ::pread(fd_, text.data() + have, text.size() - have, static_cast<off_t>(have));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    text.resize(have);
    return text;
  }
  void RewindTo(off_t mark) {
    Flush();
    std::fflush(stdout);
    std::fflush(stderr);
    if (::ftruncate(fd_, mark) == 0) ::lseek(fd_, mark, SEEK_SET);
  }
  void Live(const std::string& text) {
    Line(text);
    Flush();
  }
  void Flush() {
    const char* p = pending_.data();
    size_t left = pending_.size();
    while (left > 0) {
      ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    pending_.clear();
  }
  void Capture() {
    Flush();
    std::fflush(stdout);
    std::fflush(stderr);
    savedOut_ = ::dup(1);
    savedErr_ = ::dup(2);
    ::dup2(fd_, 1);
    ::dup2(fd_, 2);
  }
  void Restore() {
    if (savedOut_ < 0) return;
    Flush();
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut_, 1);
    ::dup2(savedErr_, 2);
    ::close(savedOut_);
    ::close(savedErr_);
    savedOut_ = savedErr_ = -1;
  }

 private:
  int fd_ = -1, savedOut_ = -1, savedErr_ = -1;
  std::string pending_;
  std::vector<std::string>* record_ = nullptr;
};

namespace {

// While it lives, the listing's lines are also added to `lines` (none when nullptr).
class Recording {
 public:
  Recording(Listing& listing, std::vector<std::string>* lines) : listing_(listing) {
    listing_.Record(lines);
  }
  ~Recording() { listing_.Record(nullptr); }
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

 private:
  Listing& listing_;
};

std::string WithExtension(const std::string& path, const std::string& ext) {
  std::filesystem::path p(path);
  p.replace_extension(ext);
  return p.string();
}

void ListDeck(Listing& listing, const std::string& heading, const std::vector<std::string>& deck) {
  listing.Line("** " + heading + " **");
  char num[32];
  for (size_t i = 0; i < deck.size(); ++i) {
    std::snprintf(num, sizeof num, "%5zu  ", i + 1);
    listing.Line(num + deck[i]);
  }
}

// The stage's deck emitted, listed under `heading`, loaded and run; `commands` are our own, given
// between the load and the run and listed too.
// `loaded`, when given, receives the deck and ngspice's lines while it loaded it.
void RunStage(NgspiceSession& ng, Listing& listing, const Translation& t, const DeckStage& stage,
              const std::string& heading, const std::vector<std::string>& commands = {},
              const NgspiceSession::Watch& watch = {}, LoadedDc* loaded = nullptr) {
  std::vector<std::string> origins;
  std::vector<std::string> deck = EmitDeck(t, stage, &origins);
  ListDeck(listing, heading, deck);
  listing.Line("** ngspice **");
  listing.Flush();
  {
    const Recording recording(listing, loaded ? &loaded->whileLoading : nullptr);
    ng.Load(deck, origins);
  }
  if (loaded) loaded->deck = std::move(deck);
  for (const std::string& c : commands) {
    listing.Live(c);
    ng.Command(c);
  }
  ng.Run(watch);
}

// The length of the transient, s; 0 when there is none or it cannot be read.
double TransientLength(const Translation& t) {
  if (t.analysis != AnalysisKind::kTran) return 0;
  for (const BodyLine& b : t.body)
    if (b.key == ".tran" && b.words.size() >= 2) {  // step, final time, ...
      std::optional<double> length = NumberWord(b.words[1]);
      return length && *length > 0 ? *length : 0;
    }
  return 0;
}

// Vector names are lower case, node voltages either bare ("x1.c") or as "V(1)".
std::optional<std::string> FindNodeVector(const std::map<std::string, std::string>& names,
                                          const std::string& node) {
  auto it = names.find(node);
  if (it != names.end()) return it->second;
  it = names.find("v(" + node + ")");
  if (it != names.end()) return it->second;
  return std::nullopt;
}

// Node name of a node-voltage vector, or nothing for other vectors.
std::optional<std::string> NodeOf(const NgspiceSession::Vector& v) {
  constexpr int kVoltage = 3;
  if (v.type != kVoltage) return std::nullopt;
  std::string n = ToLower(v.name);
  if (n.find('#') != std::string::npos || n.find('@') != std::string::npos) return std::nullopt;
  if (n.size() > 6 && n.compare(n.size() - 6, 6, "-sweep") == 0) return std::nullopt;
  if (n.rfind("v(", 0) == 0 && n.back() == ')') n = n.substr(2, n.size() - 3);
  if (n.find("etherm_ic_") != std::string::npos) return std::nullopt;
  return n;
}

struct PlotData {
  std::vector<double> x;
  std::vector<NgspiceSession::Vector> vectors;  // every vector of the plot
};

PlotData ReadPlot(const NgspiceSession& ng, const std::string& scale) {
  PlotData d;
  for (const auto& [lower, name] : ng.PlotVectors()) {
    std::optional<NgspiceSession::Vector> v = ng.Get(name);
    if (!v) continue;
    if (lower == scale) d.x = v->data;
    d.vectors.push_back(std::move(*v));
  }
  return d;
}

const NgspiceSession::Vector* Find(const PlotData& d, const std::string& lowerName) {
  for (const auto& v : d.vectors)
    if (ToLower(v.name) == lowerName) return &v;
  return nullptr;
}

std::string ScaleName(const NgspiceSession& ng, const Translation& t) {
  if (t.analysis == AnalysisKind::kTran) return "time";
  auto names = ng.PlotVectors();
  for (const char* s : {"v-sweep", "i-sweep", "temp-sweep", "res-sweep", "sweep"})
    if (names.count(s)) return s;
  throw SimError("ngspice produced no sweep values for the .DC analysis");
}

// The bias-point run and the transient from it: ic= values hold in the starting bias point
// without UIC, which ngspice itself does only under UIC.
// Returns the bias point run, whose first point is the starting point of the transient: under UIC
// ngspice records no point at time 0.
PlotData RunFromBiasPointHeldBy(NgspiceSession& ng, Listing& listing, const Translation& t,
                                DeckStage bias, DeckStage stage, const NgspiceSession::Watch& watch,
                                bool firstBySources) {
  // firstBySources false: the bias point is held by ngspice alone.
  PlotData point;
  for (bool bySources : {true, false}) {
    if (bySources && !firstBySources) continue;
    bias.holdBySources = bySources;
    try {
      NgspiceSession::Watch biasWatch;
      if (!bySources) biasWatch.length = 1e-12;  // the starting point of a transient this long
      RunStage(ng, listing, t, bias, "bias point with the ic= values imposed", {}, biasWatch);
      point = ReadPlot(ng, "time");
      // An operating point has no time scale: its one point is the start of the transient.
      if (bySources && point.x.empty()) point.x = {0.0};
      break;
    } catch (const Stalled&) {
      throw;
    } catch (const SimError&) {
      // Only its first point counts: the bias point. The steps after it may fail where .IC
      // values held against the circuit let go, which says nothing about the point itself.
      if (ng.Stopped()) throw;
      point = ReadPlot(ng, "time");
      if (!point.x.empty() && point.x.front() == 0) {
        listing.Line(
            "etherm-sim: the run from the bias point stopped after it; its first point is "
            "the bias point used");
        break;
      }
      // Sources holding .IC nodes can contradict each other (an inductor without ic= between
      // two of them); ngspice's own holds then decide.
      if (!bySources) throw;
      listing.Line(
          "etherm-sim: no bias point with the .IC nodes held by sources; trying "
          "ngspice's own holds");
    }
  }
  std::string ic = ".ic";
  std::vector<std::string> inductors;
  for (const auto& v : point.vectors) {
    if (v.data.empty()) continue;
    if (std::optional<std::string> node = NodeOf(v)) {
      ic += " v(" + *node + ")=" + DeckNumber(v.data[0]);
      continue;
    }
    std::string n = ToLower(v.name);
    constexpr int kCurrent = 4;
    if (v.type == kCurrent && !n.empty() && n[0] == 'l' && n.size() > 7 &&
        n.compare(n.size() - 7, 7, "#branch") == 0)
      inductors.push_back("alter " + n.substr(0, n.size() - 7) + " ic=" + DeckNumber(v.data[0]));
  }
  stage.kind = DeckStage::kFromBias;
  stage.icLine = ic;
  // Inductors without their own ic= take the bias-point current; under UIC they would start at 0.
  RunStage(ng, listing, t, stage, "transient from that bias point", inductors, watch);
  return point;
}

PlotData RunFromBiasPoint(NgspiceSession& ng, Listing& listing, const Translation& t,
                          DeckStage stage, const NgspiceSession::Watch& watch) {
  DeckStage bias = stage;
  bias.kind = DeckStage::kBiasPoint;
  // A restart that stalls is tried once more from the other bias point, never from the same.
  for (bool bySources : {true, false}) {
    try {
      return RunFromBiasPointHeldBy(ng, listing, t, bias, stage, watch, bySources);
    } catch (const Stalled& stalled) {
      if (!bySources) throw;
      listing.Line(std::string("etherm-sim: ") + stalled.what() +
                   "; trying the bias point with ngspice's own holds");
    }
  }
  throw SimError("internal: no bias point tried");
}

bool StartsAtZero(const Translation& t) {
  for (const BodyLine& b : t.body)
    if (b.key == ".tran" && b.words.size() >= 3 && !EqualNoCase(b.words[2], "uic")) {
      std::optional<double> start = NumberWord(b.words[2]);
      return start && *start == 0;
    }
  return true;
}

// Puts the bias point in front of the transient as its point at time 0.
void PrependBiasPoint(PlotData& plot, const PlotData& bias) {
  if (plot.x.empty() || plot.x.front() <= 0 || bias.x.empty()) return;
  plot.x.insert(plot.x.begin(), 0.0);
  for (auto& v : plot.vectors) {
    if (ToLower(v.name) == "time") {
      v.data.insert(v.data.begin(), 0.0);
      continue;
    }
    const NgspiceSession::Vector* b = Find(bias, ToLower(v.name));
    double first = b && !b->data.empty() ? b->data[0] : (v.data.empty() ? 0.0 : v.data[0]);
    v.data.insert(v.data.begin(), first);
  }
}

double Interpolate(const std::vector<double>& x, const std::vector<double>& y, double at) {
  if (at <= x.front()) return y.front();
  if (at >= x.back()) return y.back();
  size_t hi = 1;
  while (x[hi] < at) ++hi;
  size_t lo = hi - 1;
  if (x[hi] == x[lo]) return y[hi];
  double f = (at - x[lo]) / (x[hi] - x[lo]);
  return y[lo] + f * (y[hi] - y[lo]);
}

void WriteBiasFile(const std::string& path, const SaveBias& s, const PlotData& plot,
                   const std::string& circuitName) {
  std::string text = "* bias point of " + circuitName + " at time " + ShortestText(s.time) +
                     " s, written by etherm-sim\r\n";
  std::string comments;
  for (const auto& v : plot.vectors) {
    if (v.data.size() != plot.x.size()) continue;
    double value = Interpolate(plot.x, v.data, s.time);
    if (std::optional<std::string> node = NodeOf(v)) {
      if (s.noSubcircuits && node->find('.') != std::string::npos) continue;
      if (node->find("etherm_s_") != std::string::npos) continue;  // our current-sense nodes
      text += ".IC V(" + ToUpper(*node) + ")=" + DeckNumber(value) + "\r\n";
      continue;
    }
    std::string n = ToLower(v.name);
    if (n.empty() || n[0] != 'l' || n.size() <= 7 || n.compare(n.size() - 7, 7, "#branch") != 0)
      continue;
    std::string device = n.substr(0, n.size() - 7);
    if (device.find('.') == std::string::npos) {
      text += ".IC I(" + ToUpper(device) + ")=" + DeckNumber(value) + "\r\n";
    } else if (!s.noSubcircuits) {
      // An inductor inside a subcircuit (l.x1.l2): .IC cannot set it, so it is kept as a note.
      std::string path = device.substr(2);
      comments += "* I(" + ToUpper(path) + ")=" + DeckNumber(value) + "\r\n";
    }
  }
  WriteFileAtomically(path, text + comments);
}

// The state file of a transient run: the node and inductor vectors of every point.
void WriteStateFile(const std::string& path, const Translation& t, const PlotData& plot,
                    Listing& listing) {
  RunVectors vectors;
  for (const auto& v : plot.vectors) {
    if (v.data.size() != plot.x.size()) continue;
    if (std::optional<std::string> node = NodeOf(v)) {
      if (node->find("etherm_") == std::string::npos) vectors.nodes.emplace_back(*node, &v.data);
      continue;
    }
    const std::string n = ToLower(v.name);
    constexpr int kCurrent = 4;
    if (v.type == kCurrent && n.size() > 8 && n[0] == 'l' &&
        n.compare(n.size() - 7, 7, "#branch") == 0 && n.find('.') == std::string::npos)
      vectors.inductorCurrents.emplace_back(n.substr(0, n.size() - 7), &v.data);
  }
  const std::vector<StateColumn> columns = StateColumns(t, vectors);
  WriteFileAtomically(path, StateFileText(columns, plot.x));
  if (columns.size() > kMaxStateValues) {
    listing.Line("etherm-sim: the circuit has " + std::to_string(columns.size()) +
                 " state values, more than the " + std::to_string(kMaxStateValues) + " " + path +
                 " may hold; it holds none");
  }
}

// True when ngspice reports the device's temperature as loading the deck sets it.
bool SetAsLoadingSetsIt(const NgspiceSession& ng, const TemperatureSetting& setting) {
  const std::optional<NgspiceSession::Vector> read =
      ng.Get("@" + setting.device + "[" + setting.parameter + "]");
  return read && read->data.size() == 1 && ReadsAs(read->data[0], setting);
}

// True when ngspice reports every temperature of the loaded deck as DeckParserValue reads it, so
// the alters that follow set what a fresh load would.
bool ReadsAsParsed(const NgspiceSession& ng, const std::vector<std::string>& deck) {
  for (const TemperatureSetting& setting : TemperatureSettings(deck))
    if (!SetAsLoadingSetsIt(ng, setting)) return false;
  return true;
}

// The one-point DC deck of `t` run on the circuit the last run left loaded, its temperatures and
// sweep values altered, listed as a fresh load lists it. False, with nothing listed and every
// circuit removed from ngspice, when it differs in more or ngspice does not take it.
bool RunInPlace(NgspiceSession& ng, Listing& listing, const Translation& t, DeckStage& stage,
                InPlaceState& inPlace) {
  if (!inPlace.enabled || t.analysis != AnalysisKind::kDc || NeedsBiasPointRun(t)) return false;
  LoadedDc& loaded = inPlace.loaded;
  if (TemperatureCards(t) != loaded.cards) return false;
  stage.tempParams = loaded.params;
  std::vector<std::string> deck = EmitDeck(t, stage);
  const std::optional<InPlacePlan> plan = PlanInPlace(loaded.deck, deck);
  if (!plan) return false;
  const off_t mark = listing.Mark();
  try {
    inPlace.muted = true;
    inPlace.mutedLines = 0;
    struct Unmute {
      bool& muted;
      ~Unmute() { muted = false; }
    } unmute{inPlace.muted};
    for (const TemperatureSetting& setting : plan->alters) {
      ng.Command(AlterCommand(setting));
      if (!SetAsLoadingSetsIt(ng, setting))
        throw SimError("ngspice did not take the temperature of " + setting.device + " exactly");
    }
    inPlace.muted = false;
    // A fresh load says nothing of the sort: a word from alter would make the listings differ.
    if (inPlace.mutedLines != 0) throw SimError("ngspice answered an alter command");
    for (const std::string& line : loaded.beforeDeck) listing.Line(line);
    ListDeck(listing, "circuit as handed to ngspice", deck);
    listing.Line("** ngspice **");
    for (const std::string& line : loaded.whileLoading) listing.Line(line);
    listing.Flush();
    ng.Command(plan->run);
  } catch (const SimError&) {
    // A failure here may be the altered circuit's alone: the fresh load decides, from the start.
    if (ng.Stopped()) throw;
    listing.RewindTo(mark);
    ng.Clear();
    return false;
  }
  loaded.deck = std::move(deck);
  return true;
}

// `circuitText`, when given, stands for the file circuitPath (what it includes is read beside
// it); `streamed`, when given, receives the probe data instead of the file csdPath.
void Simulate(const std::string& circuitPath, Listing& listing, const std::string& csdPath,
              const std::function<NgspiceSession&()>& ngspice, TemperatureAnswers& answers,
              const std::function<void(double)>& progress, InPlaceState& inPlace,
              const std::string* circuitText, std::string* streamed) {
  const FileReader read = [&](const std::string& path) -> std::optional<std::string> {
    if (circuitText != nullptr && path == circuitPath) return *circuitText;
    return ReadWholeFile(path);
  };
  Deck deck = LoadDeck(circuitPath, read);
  Translation t = Translate(deck);
  std::string folder = std::filesystem::path(circuitPath).parent_path().string();
  std::string biasPath;
  if (t.saveBias) biasPath = (std::filesystem::path(folder) / t.saveBias->file).string();
  // The bias file is there afterwards only if this run wrote it; an older one goes only once it
  // is known that this run will not (Translate keeps its name inside the folder).
  struct StaleBias {
    const std::string& path;
    bool written = false;
    ~StaleBias() {
      if (written || path.empty()) return;
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  } staleBias{biasPath};

  listing.Capture();
  NgspiceSession& ng = ngspice();
  DeckStage stage;
  // Valid again only once this run has succeeded; until then the next run loads anew.
  const bool kept = std::exchange(inPlace.loaded.valid, false);
  inPlace.ranInPlace = kept && RunInPlace(ng, listing, t, stage, inPlace);
  const bool keep = !inPlace.ranInPlace && inPlace.enabled && t.analysis == AnalysisKind::kDc &&
                    !NeedsBiasPointRun(t);
  LoadedDc fresh;
  NgspiceSession::Watch watch;
  watch.length = TransientLength(t);
  watch.progress = progress;
  std::optional<PlotData> biasPoint;
  if (!inPlace.ranInPlace) {
    if (kept) ng.Clear();  // a fresh load starts as in a fresh process
    {
      const Recording recording(listing, keep ? &fresh.beforeDeck : nullptr);
      stage.tempParams = ChooseTemperatureParameters(
          ng, t, answers, [&](const std::string& line) { listing.Live(line); });
    }
    if (NeedsBiasPointRun(t)) {
      biasPoint = RunFromBiasPoint(ng, listing, t, stage, watch);
    } else {
      RunStage(ng, listing, t, stage, "circuit as handed to ngspice", {}, watch,
               keep ? &fresh : nullptr);
    }
  }
  const std::string scale = ScaleName(ng, t);
  PlotData plot = ReadPlot(ng, scale);
  CheckTemperatures(ng, t, stage.tempParams);
  if (biasPoint && StartsAtZero(t)) PrependBiasPoint(plot, *biasPoint);
  if (plot.x.empty()) throw SimError("the analysis produced no points");
  auto names = ng.PlotVectors();
  ProbeData data;
  data.title = t.title;
  data.transient = t.analysis == AnalysisKind::kTran;
  data.sweepVariable = t.sweepVariable;
  NowTexts(data.time, data.date);
  std::vector<const std::vector<double>*> columnsA, columnsB;
  auto column = [&](const Probe& p, const std::string& vec) -> const std::vector<double>* {
    if (vec.empty()) return nullptr;  // ground
    std::optional<std::string> name =
        vec[0] == '@' || vec.find('#') != std::string::npos
            ? (names.count(vec) ? std::optional(names.at(vec)) : std::nullopt)
            : FindNodeVector(names, vec);
    const NgspiceSession::Vector* v = name ? Find(plot, ToLower(*name)) : nullptr;
    if (!v || v->data.size() != plot.x.size())
      throw SimError(p.where + ": .PROBE " + p.label + ": the circuit has no " +
                     (vec[0] == '@' || vec.find('#') != std::string::npos
                          ? "such element, or ngspice keeps no such current for it"
                          : "node " + ToUpper(vec)));
    return &v->data;
  };
  for (const Probe& p : t.probes) {
    data.names.push_back(p.label);
    columnsA.push_back(column(p, p.vectorA));
    columnsB.push_back(column(p, p.vectorB));
  }
  data.x = plot.x;
  data.values.resize(plot.x.size());
  for (size_t i = 0; i < plot.x.size(); ++i) {
    data.values[i].resize(t.probes.size());
    for (size_t q = 0; q < t.probes.size(); ++q) {
      double a = columnsA[q] ? (*columnsA[q])[i] : 0.0;
      double b = columnsB[q] ? (*columnsB[q])[i] : 0.0;
      double v = a - b;
      if (!std::isfinite(v))
        throw SimError(t.probes[q].where + ": .PROBE " + t.probes[q].label +
                       " has no finite value at " + ShortestText(plot.x[i]));
      data.values[i][q] = v;
    }
  }
  listing.Restore();
  if (inPlace.trace) {
    inPlace.values.clear();
    char text[40];
    for (std::size_t i = 0; i < data.x.size(); ++i) {
      std::snprintf(text, sizeof text, " %a", data.x[i]);
      inPlace.values += text;
      for (double v : data.values[i]) {
        std::snprintf(text, sizeof text, " %a", v);
        inPlace.values += text;
      }
    }
  }

  if (inPlace.ranInPlace) {
    inPlace.loaded.valid = true;
  } else if (keep && ListedLinesHoldForAnyValues(fresh.beforeDeck) &&
             ListedLinesHoldForAnyValues(fresh.whileLoading) && ReadsAsParsed(ng, fresh.deck)) {
    fresh.cards = TemperatureCards(t);
    fresh.params = stage.tempParams;
    fresh.valid = true;
    inPlace.loaded = std::move(fresh);
  }

  if (data.transient) WriteStateFile(WithExtension(circuitPath, ".stan"), t, plot, listing);
  if (streamed != nullptr) {
    *streamed = CsdfText(data);
  } else {
    WriteFileAtomically(csdPath, CsdfText(data));
  }
  listing.Line("etherm-sim: " + std::to_string(plot.x.size()) + " point(s) of " +
               std::to_string(t.probes.size()) + " quantities " +
               (streamed != nullptr ? std::string("streamed") : "written to " + csdPath));
  if (t.saveBias) {
    const double end = plot.x.back();
    const double tolerance = 1e-9 * std::fabs(t.saveBias->time) + 1e-18;
    if (end + tolerance >= t.saveBias->time) {
      WriteBiasFile(biasPath, *t.saveBias, plot, std::filesystem::path(circuitPath).filename());
      staleBias.written = true;
      listing.Line("etherm-sim: bias point at " + ShortestText(t.saveBias->time) +
                   " s written to " + biasPath);
    } else {
      listing.Line("etherm-sim: the run ended at " + ShortestText(end) +
                   " s, before the .SAVEBIAS time " + ShortestText(t.saveBias->time) +
                   " s; no bias file written");
    }
  }
}

}  // namespace

CircuitRunner::CircuitRunner(bool reportOnStandardError)
    : reportOnStandardError_(reportOnStandardError) {}

CircuitRunner::~CircuitRunner() {
  paused_.reset();
}

NgspiceSession& CircuitRunner::Ngspice() {
  if (!session_) {
    starting_ = true;
    struct Started {
      bool& starting;
      ~Started() { starting = false; }
    } started{starting_};
    session_ = std::make_unique<NgspiceSession>([this](const std::string& line) {
      if (starting_) startLines_.push_back(line);
      if (inPlace_.muted) {
        ++inPlace_.mutedLines;
      } else if (listing_) {
        listing_->Live(line);
      }
    });
  }
  return *session_;
}

void CircuitRunner::Clear() {
  if (!session_) return;
  // A kept DC circuit stays for the next run to alter; its plots go.
  if (inPlace_.loaded.valid) {
    session_->Command("destroy all");
  } else {
    session_->Clear();
  }
}

bool CircuitRunner::NgspiceStopped() const {
  return session_ && session_->Stopped();
}

RunOutcome CircuitRunner::Run(const std::string& circuitPath,
                              const std::function<void(double)>& progress) {
  const std::string listingPath = WithExtension(circuitPath, ".out");
  const std::string csdPath = WithExtension(circuitPath, ".csd");
  auto refuseUnread = [&](int status, const std::string& text) -> RunOutcome {
    if (reportOnStandardError_) std::fprintf(stderr, "etherm-sim: %s\n", text.c_str());
    return {status, text};
  };
  // The run removes its outputs first, so the input is checked before: a circuit named like an
  // output would be lost unread, and outputs beside a file that is no circuit (notes.txt) or
  // none at all would be lost for nothing.
  for (const char* output : {".out", ".csd", ".stan"}) {
    if (WithExtension(circuitPath, output) == circuitPath) {
      return refuseUnread(kExitUsage, "the circuit file " + circuitPath +
                                          " has the name of the run's own " + output +
                                          " file and would be overwritten; name it .cir");
    }
  }
  if (!EqualNoCase(std::filesystem::path(circuitPath).extension().string(), ".cir")) {
    return refuseUnread(kExitUsage, "the circuit file " + circuitPath +
                                        " is not named NAME.cir; its results would be written "
                                        "beside it as NAME.out, NAME.csd and NAME.stan");
  }
  {
    struct stat info {};
    if (::stat(circuitPath.c_str(), &info) != 0) {
      return refuseUnread(kExitRefused, "cannot read the circuit file " + circuitPath + ": " +
                                            std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
      return refuseUnread(kExitRefused,
                          "the circuit file " + circuitPath + " is not a regular file");
    }
    if (::access(circuitPath.c_str(), R_OK) != 0) {
      return refuseUnread(kExitRefused, "cannot read the circuit file " + circuitPath + ": " +
                                            std::strerror(errno));
    }
  }
  {
    std::error_code ignored;
    std::filesystem::remove(csdPath, ignored);  // a failed run must not leave an older result
    std::filesystem::remove(WithExtension(circuitPath, ".stan"), ignored);
  }
  Listing listing(listingPath);
  if (!listing.ok()) {
    const std::string text =
        "cannot create the listing " + listingPath + ": " + std::strerror(errno);
    if (reportOnStandardError_) std::fprintf(stderr, "etherm-sim: %s\n", text.c_str());
    return {kExitUsage, text};
  }
  return RunListed(circuitPath, listing, csdPath, progress, nullptr, nullptr);
}

RunOutcome CircuitRunner::RunText(const std::string& circuitPath, const std::string& text,
                                  const std::function<void(double)>& progress) {
  if (!EqualNoCase(std::filesystem::path(circuitPath).extension().string(), ".cir")) {
    return {kExitUsage, "the circuit " + circuitPath + " is not named NAME.cir"};
  }
  Listing listing{Listing::InMemory{}};
  if (!listing.ok()) {
    return {kExitUnexpected,
            std::string("cannot hold the listing in memory: ") + std::strerror(errno)};
  }
  std::string data;
  RunOutcome outcome =
      RunListed(circuitPath, listing, WithExtension(circuitPath, ".csd"), progress, &text, &data);
  if (outcome.status == kExitSuccess) {
    outcome.data = std::move(data);
  } else {
    outcome.listing = listing.Text();
  }
  return outcome;
}

RunOutcome CircuitRunner::RunListed(const std::string& circuitPath, Listing& listing,
                                    const std::string& csdPath,
                                    const std::function<void(double)>& progress,
                                    const std::string* circuitText, std::string* streamed) {
  const std::string listingPath = WithExtension(circuitPath, ".out");
  listing.Line("etherm-sim listing of " + circuitPath);
  const std::string name = std::filesystem::path(circuitPath).filename();
  auto report = [&](int status, const std::string& text) -> RunOutcome {
    listing.Restore();
    listing.Line("etherm-sim: error in " + name + ": " + text);
    if (reportOnStandardError_)
      std::fprintf(stderr, "etherm-sim: %s: %s (see %s)\n", name.c_str(), text.c_str(),
                   listingPath.c_str());
    return {status, text};
  };
  listing_ = &listing;
  struct Detach {
    Listing*& listing;
    ~Detach() { listing = nullptr; }
  } detach{listing_};
  try {
    LimitAddressSpace();
    // Answers are not kept from run to run: the query's lines belong in every listing, and a
    // circuit's listing must not depend on the circuits run before it.
    TemperatureAnswers answers;
    bool startShown = false;
    Simulate(
        circuitPath, listing, csdPath,
        [&]() -> NgspiceSession& {
          if (!std::exchange(startShown, true) && session_) {
            for (const std::string& line : startLines_) listing.Line(line);
          }
          return Ngspice();
        },
        answers, progress, inPlace_, circuitText, streamed);
    if (inPlace_.trace)
      std::fprintf(stderr, "etherm-sim: %s %s:%s\n", name.c_str(),
                   inPlace_.ranInPlace ? "ran in place" : "loaded anew", inPlace_.values.c_str());
    return {kExitSuccess, ""};
  } catch (const SimError& e) {
    return report(kExitRefused, e.what());
  } catch (const std::bad_alloc&) {
    return report(kExitUnexpected, "memory ran out (ETHERM_SIM_MEMORY_MB bounds it, " +
                                       std::to_string(MemoryLimitMegabytes()) + " MB now)");
  } catch (const std::exception& e) {
    return report(kExitUnexpected, e.what());
  }
}

namespace {
// The probe-data name that asks for the data in the answer instead of a file.
const std::string kStreamed = "-";
}  // namespace

struct CircuitRunner::Paused {
  std::string circuitPath;
  std::unique_ptr<Listing> listing;
  Translation t;
  std::vector<TempParam> tempParams;
  double length = 0;  // of the .TRAN
  bool started = false;
  bool ended = false;
  std::vector<double> last;  // the last pause's point: time, then every collected vector
  // Each guarded device's power, averaged over the last `window` seconds (exponentially).
  std::vector<double> meanPower;
  // The PULSE functions of the circuit's own sources: V1 V2 TD TR TF PW PER as ngspice took them.
  std::vector<std::vector<double>> pulses;
};

namespace {

// The name=value entries of a model card that an altermod may set to their own value, which makes
// ngspice recompute what depends on the devices' temperatures; LEVEL and VERSION choose the
// model and cannot be altered.
std::vector<std::string> TriggerParameters(const TempModel& m) {
  std::vector<std::string> parameters;
  const std::optional<spice::ModelLine> card = spice::ParseModelLine(m.card);
  if (!card) return parameters;
  for (const spice::Parameter& p : card->parameters) {
    if (p.value.empty() || p.value.text.front() == '{') continue;
    if (EqualNoCase(p.name.text, "level") || EqualNoCase(p.name.text, "version")) continue;
    parameters.push_back(std::string(p.name.text) + "=" + std::string(p.value.text));
  }
  return parameters;
}

}  // namespace

namespace {

// A probe's value as an expression of a behavioural source; nothing when the source cannot name
// one of its vectors (a device parameter, a current other than a voltage source's, a subcircuit's).
std::optional<std::string> ProbeExpression(const Probe& probe) {
  std::string expression;
  for (const std::string* vec : {&probe.vectorA, &probe.vectorB}) {
    std::string term = "0";
    if (!vec->empty()) {
      if (vec->find_first_of("@.") != std::string::npos) return std::nullopt;
      const std::size_t hash = vec->find('#');
      if (hash == std::string::npos) {
        term = "v(" + *vec + ")";
      } else if (vec->substr(hash) == "#branch" && (*vec)[0] == 'v') {
        term = "i(" + vec->substr(0, hash) + ")";
      } else {
        return std::nullopt;
      }
    }
    expression += (expression.empty() ? "(" : "-") + term;
  }
  return expression + ")";
}

// The shadows' lines: each device's power, of its probes as the plain-product formulas give it,
// into a resistor and a capacitor of their own node.
std::vector<std::string> ShadowLines(const Translation& t,
                                     const std::vector<serve::PowerShadow>& shadows,
                                     Listing& listing) {
  std::vector<std::string> lines;
  for (std::size_t d = 0; d < shadows.size(); ++d) {
    const serve::PowerShadow& shadow = shadows[d];
    const int count = shadow.kind <= 1 ? 2 : shadow.kind == 2 ? 4 : 6;
    std::vector<std::string> q(7, "0");
    bool named = true;
    for (int k = 0; k < count && named; ++k) {
      const std::size_t column = static_cast<std::size_t>(shadow.first + k);
      std::optional<std::string> e =
          column < t.probes.size() ? ProbeExpression(t.probes[column]) : std::nullopt;
      named = e.has_value();
      if (e) q[static_cast<std::size_t>(k + 1)] = *e;
    }
    if (!named) {
      listing.Line("etherm-sim: the power whose probes start at column " +
                   std::to_string(shadow.first + 1) +
                   " has no shadow (a behavioural source cannot name its probes)");
      continue;
    }
    const std::string power = shadow.kind <= 1 ? q[2] + "*" + q[1]
                              : shadow.kind == 2
                                  ? q[2] + "*" + q[1] + "+" + q[3] + "*" + q[4]
                                  : q[1] + "*" + q[2] + "-(" + q[6] + "+" + q[4] + ")*" + q[3];
    const std::string node = "etherm_heat_" + std::to_string(d + 1);
    lines.push_back("Betherm_heat_" + std::to_string(d + 1) + " 0 " + node + " I={" + power + "}");
    lines.push_back("Retherm_heat_" + std::to_string(d + 1) + " " + node + " 0 " +
                    DeckNumber(shadow.ohms));
    lines.push_back("Cetherm_heat_" + std::to_string(d + 1) + " " + node + " 0 " +
                    DeckNumber(shadow.farads));
  }
  return lines;
}

}  // namespace

// The PULSE functions of the deck's top-level independent sources, as ngspice took them; a
// function with a time ngspice fills in itself (a rise, fall, width or period of 0) is left out.
std::vector<std::vector<double>> PulseFunctions(const std::vector<std::string>& deck,
                                                const NgspiceSession& ng) {
  std::vector<std::vector<double>> pulses;
  int depth = 0;
  for (const std::string& line : deck) {
    const std::string l = ToLower(line);
    if (l.rfind(".subckt", 0) == 0) ++depth;
    if (l.rfind(".ends", 0) == 0) --depth;
    if (depth > 0 || l.empty() || (l[0] != 'v' && l[0] != 'i') ||
        l.find("pulse") == std::string::npos)
      continue;
    const std::string name = l.substr(0, l.find_first_of(" \t"));
    std::optional<NgspiceSession::Vector> v = ng.Get("@" + name + "[pulse]");
    if (!v || v->data.size() < 7) continue;
    std::vector<double> f(v->data.begin(), v->data.begin() + 7);
    if (f[3] > 0 && f[4] > 0 && f[5] > 0 && f[6] > 0 && f[2] >= 0) pulses.push_back(std::move(f));
  }
  return pulses;
}

// True when an .OPTIONS line of the deck sets METHOD.
bool NamesIntegrationMethod(const std::vector<std::string>& deck) {
  for (const std::string& line : deck) {
    const std::string l = ToLower(line);
    if (l.rfind(".opt", 0) != 0) continue;
    for (std::size_t at = l.find("method"); at != std::string::npos;
         at = l.find("method", at + 1)) {
      const std::size_t next = l.find_first_not_of(" \t", at + 6);
      const bool word = at == 0 || l[at - 1] == ' ' || l[at - 1] == '\t';
      if (word && next != std::string::npos && l[next] == '=') return true;
    }
  }
  return false;
}

RunOutcome CircuitRunner::BeginTransient(const std::string& circuitPath,
                                         const std::vector<serve::PowerShadow>& shadow) {
  EndTransient();
  auto paused = std::make_unique<Paused>();
  paused->circuitPath = circuitPath;
  paused->listing = std::make_unique<Listing>(WithExtension(circuitPath, ".out"));
  if (!paused->listing->ok()) {
    return {kExitUsage,
            "cannot create the listing of " + circuitPath + ": " + std::strerror(errno)};
  }
  Listing& listing = *paused->listing;
  listing.Line("etherm-sim listing of " + circuitPath + " (a transient paused in place)");
  listing_ = &listing;
  try {
    LimitAddressSpace();
    paused->t = Translate(LoadDeck(circuitPath, ReadWholeFile));
    if (paused->t.analysis != AnalysisKind::kTran || paused->t.userUic)
      throw SimError("a transient paused in place needs a .TRAN analysis without UIC");
    paused->length = TransientLength(paused->t);
    if (paused->length <= 0) throw SimError("the .TRAN line has no final time above 0");
    listing.Capture();
    // A DC circuit kept for runs in place goes first: the transient loads as in a fresh process.
    if (std::exchange(inPlace_.loaded.valid, false)) Ngspice().Clear();
    NgspiceSession& ng = Ngspice();
    TemperatureAnswers answers;
    DeckStage stage;
    stage.tempParams = ChooseTemperatureParameters(
        ng, paused->t, answers, [&](const std::string& line) { listing.Live(line); });
    paused->tempParams = stage.tempParams;
    std::vector<std::string> origins;
    std::vector<std::string> deck = EmitDeck(paused->t, stage, &origins);
    // The points reach us as ngspice accepts them; kept in ngspice too they would make the
    // process grow with the run.
    for (std::string& line : deck)
      if (line == ".save all") line = ".save none";
    // Each change of temperature in place makes the devices' charges jump; the trapezoidal
    // rule turns such a jump into a current that flips sign from step to step and never dies
    // away (a buck's switch showed +-0.1 W for dozens of points after each pause, and drifted
    // 0.4 K from the direct solution over 2 ms), where Gear's second-order rule damps it.
    // A circuit that names its own method keeps it.
    if (!NamesIntegrationMethod(deck)) deck.insert(deck.end() - 1, ".options method=gear");
    // The guard's source, apart from the circuit: RunUntil's stop condition watches its node.
    deck.insert(deck.end() - 1,
                {std::string("V") + (NgspiceSession::kGuardSource + 1) + " " +
                     NgspiceSession::kGuardNode + " 0 EXTERNAL",
                 std::string("Retherm_guard ") + NgspiceSession::kGuardNode + " 0 1"});
    origins.insert(origins.end() - 1, 2, std::string("a line etherm-sim adds"));
    const std::vector<std::string> heat = ShadowLines(paused->t, shadow, listing);
    deck.insert(deck.end() - 1, heat.begin(), heat.end());
    origins.insert(origins.end() - 1, heat.size(), std::string("a line etherm-sim adds"));
    ListDeck(listing, "circuit as handed to ngspice", deck);
    listing.Line("** ngspice **");
    listing.Flush();
    ng.Load(deck, origins);
    paused->pulses = PulseFunctions(deck, ng);
    listing.Restore();
  } catch (const SimError& e) {
    listing.Restore();
    listing.Line(std::string("etherm-sim: error in ") + circuitPath + ": " + e.what());
    listing_ = nullptr;
    return {kExitRefused, e.what()};
  }
  listing_ = nullptr;
  paused_ = std::move(paused);
  return {kExitSuccess, ""};
}

namespace {

// Where each probe's two vectors stand among collected vectors named by `names` (none for
// ground): a probe's value is a - b.
struct ProbeColumns {
  std::vector<std::optional<std::size_t>> a, b;
  std::optional<std::size_t> time;
  double Value(std::size_t q, const std::vector<double>& row) const {
    return (a[q] ? row.at(*a[q]) : 0.0) - (b[q] ? row.at(*b[q]) : 0.0);
  }
};

ProbeColumns ColumnsOf(const Translation& t, const std::vector<std::string>& names) {
  std::map<std::string, std::string> byName;
  std::map<std::string, std::size_t> index;
  for (std::size_t i = 0; i < names.size(); ++i) {
    byName[names[i]] = names[i];
    index[names[i]] = i;
  }
  auto column = [&](const Probe& probe, const std::string& vec) -> std::optional<std::size_t> {
    if (vec.empty()) return std::nullopt;  // ground
    std::optional<std::string> name = vec[0] == '@' || vec.find('#') != std::string::npos
                                          ? (index.count(vec) ? std::optional(vec) : std::nullopt)
                                          : FindNodeVector(byName, vec);
    if (!name) {
      throw SimError(probe.where + ": .PROBE " + probe.label +
                     ": ngspice does not hand this quantity over while it runs");
    }
    return index.at(*name);
  };
  ProbeColumns columns;
  for (const Probe& probe : t.probes) {
    columns.a.push_back(column(probe, probe.vectorA));
    columns.b.push_back(column(probe, probe.vectorB));
  }
  if (const auto scale = index.find("time"); scale != index.end()) columns.time = scale->second;
  return columns;
}

// The probe data of collected points (every vector per point, named by `names`) as a run writes
// it; `previous`, the last pause's point, goes first. Without a time among the names (an
// operating point) each point stands at time 0.
ProbeData CollectedProbeData(const Translation& t, const std::vector<std::string>& names,
                             std::vector<std::vector<double>> rows,
                             const std::vector<double>& previous) {
  const ProbeColumns columns = ColumnsOf(t, names);
  ProbeData data;
  data.title = t.title;
  data.transient = true;
  NowTexts(data.time, data.date);
  for (const Probe& probe : t.probes) data.names.push_back(probe.label);
  if (!previous.empty()) rows.insert(rows.begin(), previous);
  for (const std::vector<double>& row : rows) {
    const double x = columns.time ? row.at(*columns.time) : 0.0;
    if (!data.x.empty() && x <= data.x.back()) continue;  // the pause's point, given twice
    std::vector<double> values;
    for (std::size_t q = 0; q < t.probes.size(); ++q) {
      const double v = columns.Value(q, row);
      if (!std::isfinite(v))
        throw SimError(t.probes[q].where + ": .PROBE " + t.probes[q].label +
                       " has no finite value at " + ShortestText(x));
      values.push_back(v);
    }
    data.x.push_back(x);
    data.values.push_back(std::move(values));
  }
  return data;
}

}  // namespace

RunOutcome CircuitRunner::InPausedTransient(
    bool mustHaveStarted, bool mustWait,
    const std::function<RunOutcome(Paused&, Listing&, NgspiceSession&)>& step) {
  if (!paused_ || paused_->ended || (mustWait && paused_->started) ||
      (mustHaveStarted && !paused_->started))
    return {kExitUsage, "no transient is paused"};
  Paused& p = *paused_;
  Listing& listing = *p.listing;
  listing_ = &listing;
  struct Detach {
    Listing*& listing;
    ~Detach() { listing = nullptr; }
  } detach{listing_};
  try {
    NgspiceSession& ng = Ngspice();
    listing.Capture();
    RunOutcome outcome = step(p, listing, ng);
    listing.Restore();
    return outcome;
  } catch (const SimError& e) {
    // The transient cannot go on after a failure: it would not be the run it was.
    listing.Restore();
    listing.Line(std::string("etherm-sim: error in ") + p.circuitPath + ": " + e.what());
    p.ended = true;
    return {kExitRefused, e.what()};
  }
}

namespace {

// The collected points of a step as its answer: streamed, or written to `csdPath`.
RunOutcome PointsOutcome(const ProbeData& data, const std::string& csdPath) {
  RunOutcome outcome{kExitSuccess, ""};
  if (csdPath == kStreamed) {
    outcome.data = CsdfText(data);
  } else {
    WriteFileAtomically(csdPath, CsdfText(data));
  }
  return outcome;
}

// While it lives, every accepted point is collected.
struct Collecting {
  explicit Collecting(NgspiceSession& session) : ng(session) { ng.Collect(true); }
  ~Collecting() { ng.Collect(false); }
  NgspiceSession& ng;
};

}  // namespace

namespace {

// A guarded device's power at a collected point: its probe quantities' plain products.
double GuardedPower(const serve::PowerGuard& g, const ProbeColumns& columns,
                    const std::vector<double>& row) {
  double q[7] = {};
  const int count = g.kind <= 1 ? 2 : g.kind == 2 ? 4 : 6;
  for (int k = 0; k < count; ++k) {
    const std::size_t column = static_cast<std::size_t>(g.first + k);
    q[k + 1] = column < columns.a.size() ? columns.Value(column, row) : 0.0;
  }
  switch (g.kind) {
    case 2:
      return q[2] * q[1] + q[3] * q[4];
    case 3:
      return q[1] * q[2] - (q[6] + q[4]) * q[3];
    default:
      return q[2] * q[1];
  }
}

}  // namespace

RunOutcome CircuitRunner::RunUntil(double time, const std::string& csdPath,
                                   const std::vector<serve::PowerGuard>& guard) {
  return InPausedTransient(false, false, [&](Paused& p, Listing& listing, NgspiceSession& ng) {
    // A pause left pending at the final time would stop the next analysis at once.
    const bool last = time >= p.length * (1 - 1e-12);
    ng.Command("delete all");
    // The guard: each device's energy departed, since the last pause, from its mean power
    // before it; where one exceeds its budget the guard's source turns to 1 and the run pauses
    // at the next point. The means follow every point, so a mean over many switching periods
    // lets a converter's ripple pass and a quiet stretch's mean catches a pulse at once.
    std::optional<ProbeColumns> columns;
    if (!guard.empty() && !ng.CollectedNames().empty() && !p.last.empty())
      columns = ColumnsOf(p.t, ng.CollectedNames());
    const bool guarded = columns && columns->time && !last && p.meanPower.size() == guard.size();
    std::vector<double> departed(guard.size(), 0.0);
    const std::vector<double> reference = p.meanPower;
    std::vector<double> before = p.last;
    // ngspice calls the watch: nothing may be thrown through it, so a probe it cannot find
    // leaves the guard off (the points' own reading reports it afterwards).
    bool watching = !guard.empty();
    if (watching)
      ng.Guard([&](const std::vector<double>& row) {
        if (!watching) return false;
        if (!columns) {
          try {
            columns = ColumnsOf(p.t, ng.CollectedNames());
          } catch (const SimError&) {
            watching = false;
            return false;
          }
        }
        if (!columns->time) return false;
        if (p.meanPower.size() != guard.size()) {
          for (const serve::PowerGuard& g : guard)
            p.meanPower.push_back(GuardedPower(g, *columns, row));
          before = row;
          return false;
        }
        const double dt = before.empty() ? 0 : row.at(*columns->time) - before.at(*columns->time);
        bool tripped = false;
        for (std::size_t d = 0; d < guard.size(); ++d) {
          const double now = GuardedPower(guard[d], *columns, row);
          const double power =
              before.empty() ? now : 0.5 * (now + GuardedPower(guard[d], *columns, before));
          p.meanPower[d] += (power - p.meanPower[d]) * -std::expm1(-dt / guard[d].window);
          if (!guarded) continue;
          departed[d] += (power - reference[d]) * dt;
          tripped = tripped || !(std::abs(departed[d]) <= guard[d].budget);
        }
        before = row;
        return tripped;
      });
    if (guarded) ng.Command(std::string("stop when v(") + NgspiceSession::kGuardNode + ") > 0.5");
    if (!last) ng.Command("stop when time >= " + DeckNumber(time));
    // ngspice sets each corner of a PULSE when it meets the one before with a step cut to it;
    // a step that meets a corner by itself, as the steps after a pause may, ends the chain, and
    // every later edge of that source goes by between two far points (a buck lost all its
    // switching edges from 1.69 ms on). The corners of the segment are set again here.
    if (p.started) {
      const std::vector<std::string>& names = ng.CollectedNames();
      const auto at = std::find(names.begin(), names.end(), "time");
      const double from = at == names.end() || p.last.empty()
                              ? 0
                              : p.last.at(static_cast<std::size_t>(at - names.begin()));
      for (const std::vector<double>& f : p.pulses) {
        const double td = f[2], tr = f[3], tf = f[4], pw = f[5], per = f[6];
        const double first = std::max(0.0, std::floor((from - td) / per));
        bool beyond = false;
        for (double k = first; !beyond && k < first + 1e6; ++k) {
          const double base = td + k * per;
          for (const double corner : {base, base + tr, base + tr + pw, base + tr + pw + tf}) {
            if (corner <= from) continue;
            if (corner > p.length) {
              beyond = true;
              break;
            }
            ngSpice_SetBkpt(corner);
            if (corner > time) {
              beyond = true;
              break;
            }
          }
        }
      }
    }
    std::vector<std::vector<double>> rows;
    bool paused = false;
    {
      const Collecting collecting(ng);
      paused = ng.RunOrResume(std::exchange(p.started, true));
      rows = ng.TakeCollected();
    }
    // ngspice's own clock may end a hair before the end time, past any pause asked for there.
    p.ended = last || !paused;
    const std::vector<std::string>& names = ng.CollectedNames();
    if (std::find(names.begin(), names.end(), "time") == names.end())
      throw SimError("ngspice gave the transient's points no time");
    ng.Guard({});
    std::vector<double> lastRow = rows.empty() ? p.last : rows.back();
    ProbeData data = CollectedProbeData(p.t, names, std::move(rows), p.last);
    p.last = std::move(lastRow);
    if (data.x.empty()) throw SimError("the transient gave no points up to " + ShortestText(time));
    listing.Line("etherm-sim: " + std::to_string(data.x.size()) + " point(s) up to " +
                 ShortestText(data.x.back()) + " s " +
                 (csdPath == kStreamed ? std::string("streamed") : "written to " + csdPath));
    return PointsOutcome(data, csdPath);
  });
}

RunOutcome CircuitRunner::Settle(const std::string& csdPath) {
  return InPausedTransient(false, true, [&](Paused& p, Listing&, NgspiceSession& ng) {
    std::vector<std::vector<double>> rows;
    {
      const Collecting collecting(ng);
      // An operating point of its own; the transient's own starts when it runs.
      ng.Command("op");
      rows = ng.TakeCollected();
    }
    if (rows.size() != 1) throw SimError("the operating point gave no values");
    return PointsOutcome(CollectedProbeData(p.t, ng.CollectedNames(), std::move(rows), {}),
                         csdPath);
  });
}

RunOutcome CircuitRunner::SetTemperatures(
    const std::vector<std::pair<std::string, double>>& modelCelsius) {
  return InPausedTransient(false, false, [&](Paused& p, Listing& listing, NgspiceSession& ng) {
    std::vector<std::string> triggers;
    for (const auto& [model, celsius] : modelCelsius) {
      std::size_t m = 0;
      while (m < p.t.tempModels.size() && !EqualNoCase(p.t.tempModels[m].name, model)) ++m;
      if (m == p.t.tempModels.size()) throw SimError("no T_ABS model " + model);
      const TempModel& tm = p.t.tempModels[m];
      const TempParam param = m < p.tempParams.size() ? p.tempParams[m] : TempParam::kTemp;
      for (const std::string& instance : tm.instances) {
        std::string command;
        if (param == TempParam::kTemp) {
          command = "alter @" + instance + "[temp]=" + DeckNumber(celsius);
        } else if (param == TempParam::kDtemp) {
          std::optional<double> base = NumberWord(p.t.circuitTemperature);
          command = "alter @" + instance + "[dtemp]=" + DeckNumber(celsius - base.value_or(27));
        } else {
          continue;
        }
        listing.Live(command);
        ng.Command(command);
      }
      // ngspice recomputes temperature-dependent values when an analysis starts, not on
      // resume; altermod does it at once when the circuit's time is above 0.
      for (const std::string& parameter : TriggerParameters(tm))
        triggers.push_back("altermod " + tm.name + " " + parameter);
    }
    // One update serves every device; a parameter ngspice does not take, or a model inside a
    // subcircuit (another name in ngspice), sends us to the next candidate. Without any the
    // devices would run on at their old temperature: a wrong result, refused.
    bool updated = triggers.empty() && modelCelsius.empty();
    for (const std::string& trigger : triggers) {
      listing.Live(trigger);
      try {
        ng.Command(trigger);
        updated = true;
        break;
      } catch (const SimError&) {
        if (ng.Stopped()) throw;
      }
    }
    if (!updated) {
      throw SimError(
          "ngspice took no altermod of the models' own parameters, so the devices' new "
          "temperatures would not reach their temperature-dependent values; give each T_ABS model "
          "a plain numeric parameter on its .MODEL line");
    }
    return RunOutcome{kExitSuccess, ""};
  });
}

void CircuitRunner::EndTransient() {
  if (!paused_) return;
  paused_.reset();
  Clear();
}

int RunCircuitFile(const std::string& circuitPath) {
  CircuitRunner runner(true);
  return runner.Run(circuitPath).status;
}

}  // namespace etherm::sim
