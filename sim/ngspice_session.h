#pragma once
// Shared ngspice, run in this process. ngspice keeps global state, so there is one session per
// process; etherm-sim runs once per circuit file.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace etherm::sim {

class NgspiceSession {
 public:
  // Everything ngspice says goes to `sink`, a line at a time.
  explicit NgspiceSession(std::function<void(const std::string&)> sink);
  ~NgspiceSession();
  NgspiceSession(const NgspiceSession&) = delete;
  NgspiceSession& operator=(const NgspiceSession&) = delete;

  // Parses and sets up a deck (title first, .end last). Throws SimError with ngspice's own
  // complaint when it rejects the deck.
  // `origins` names, per deck line, where it comes from, for ngspice's "Error on line N".
  void Load(const std::vector<std::string>& deck, const std::vector<std::string>& origins = {});
  // Runs the loaded deck's analysis. Throws SimError when it fails or stops early.
  void Run();
  // A command of our own (never one from a circuit file). Throws SimError when it fails.
  void Command(const std::string& command);

  // Vectors of the current plot: lower-case name -> name as ngspice spells it.
  std::map<std::string, std::string> PlotVectors() const;
  struct Vector {
    std::string name;
    int type = 0;  // 1 time, 3 voltage, 4 current (ngspice's own type codes)
    std::vector<double> data;
  };
  std::optional<Vector> Get(const std::string& name) const;
  // Asks a device for an instance parameter (`@q1[temp]`): whether the device has it.
  bool HasInstanceParameter(const std::string& device, const std::string& parameter) const;

 private:
  static int OnText(char* text, int id, void* self);
  static int OnExit(int status, bool immediate, bool quit, int id, void* self);
  void Begin();
  void Check(const std::string& what, int rc);
  std::string Explain() const;

  std::function<void(const std::string&)> sink_;
  std::vector<std::string> said_;     // ngspice's lines since the last Load, Run or Command
  std::vector<std::string> origins_;  // of the loaded deck
  bool failed_ = false;
  bool exited_ = false;
  int exitStatus_ = 0;
};

}  // namespace etherm::sim
