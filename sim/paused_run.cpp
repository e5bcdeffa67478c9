// A transient paused and resumed in place: the continuous engine's simulator side.
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
#include "run_circuit.h"
#include "sim_error.h"
#include "spice_text/model_line.h"
#include "spice_text/parameters.h"
#include "state_file.h"
#include "temperature.h"
#include "text_util.h"
#include "translate.h"

namespace etherm::sim {

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
    if (!StartsWithNoCase(line, ".opt")) continue;
    const std::size_t words = line.find_first_of(" \t");
    if (words == std::string::npos) continue;
    if (spice::FindParameter(spice::ParseParameters(line, words).parameters, "method")) return true;
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

// Where each probe's two vectors stand among collected vectors named by `names`.
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
ProbeData CollectedProbeData(const Translation& t, const ProbeColumns& columns,
                             std::vector<std::vector<double>> rows,
                             const std::vector<double>& previous) {
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

const ProbeColumns& CircuitRunner::Paused::Columns(const std::vector<std::string>& names) {
  if (!columns || columnNames != names) {
    columns = ColumnsOf(t, names);
    columnNames = names;
  }
  return *columns;
}

RunOutcome CircuitRunner::InPausedTransient(
    bool mustHaveStarted, bool mustWait,
    const std::function<RunOutcome(Paused&, Listing&, NgspiceSession&)>& step) {
  if (!paused_ || paused_->ended || (mustWait && paused_->started) ||
      (mustHaveStarted && !paused_->started))
    return {kExitUsage, "no transient is paused"};
  Paused& p = *paused_;
  Listing& listing = *p.listing;
  const AttachedListing attached(listing_, listing);
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
    const ProbeColumns* columns = nullptr;
    if (!guard.empty() && !ng.CollectedNames().empty() && !p.last.empty())
      columns = &p.Columns(ng.CollectedNames());
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
            columns = &p.Columns(ng.CollectedNames());
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
    ProbeData data = CollectedProbeData(p.t, p.Columns(names), std::move(rows), p.last);
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
    return PointsOutcome(
        CollectedProbeData(p.t, p.Columns(ng.CollectedNames()), std::move(rows), {}), csdPath);
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

}  // namespace etherm::sim
