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

#include "circuit_runner_parts.h"
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

std::string WithExtension(const std::string& path, const std::string& ext) {
  std::filesystem::path p(path);
  p.replace_extension(ext);
  return p.string();
}

double TransientLength(const Translation& t) {
  if (t.analysis != AnalysisKind::kTran) return 0;
  for (const BodyLine& b : t.body)
    if (b.key == ".tran" && b.words.size() >= 2) {  // step, final time, ...
      std::optional<double> length = NumberWord(b.words[1]);
      return length && *length > 0 ? *length : 0;
    }
  return 0;
}

std::optional<std::string> FindNodeVector(const std::map<std::string, std::string>& names,
                                          const std::string& node) {
  auto it = names.find(node);
  if (it != names.end()) return it->second;
  it = names.find("v(" + node + ")");
  if (it != names.end()) return it->second;
  return std::nullopt;
}

namespace {

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
  const AttachedListing attached(listing_, listing);
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

int RunCircuitFile(const std::string& circuitPath) {
  CircuitRunner runner(true);
  return runner.Run(circuitPath).status;
}

}  // namespace etherm::sim
