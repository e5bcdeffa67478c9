#pragma once
// What the bias point that starts a restarted transient imposes, so that every quantity is
// imposed exactly once. A restart carries a capacitor's voltage twice, as its ic= and as the
// saved voltages of its nodes, and the two differ in their last digits (the ic= comes from a
// results line of 9 digits); imposing both put a phantom current of amperes to megaamperes
// through the 1e-9 ohm beside the capacitor's source, and ngspice crept at 1e-20 s steps.
//
// The rule: branches that fix a voltage in the bias point (voltage sources, inductors, which are
// shorts there, and the capacitors whose voltage is imposed) join nodes into groups; a group
// that holds ground is fixed, every other group takes at most one hold. A capacitor both of
// whose nodes are already in one group is not imposed (the circuit decides its voltage), and a
// capacitor whose nodes both have saved voltages is imposed at their difference (the saved state
// has every digit). Subcircuit calls are expanded for this, with ngspice's node names (x1.n).

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "translate.h"

namespace etherm::sim {

struct BiasPlan {
  struct Hold {
    std::string node;   // as the .ic line names it, lower case
    std::string value;  // as written there
  };
  std::vector<Hold> holds;       // one node of each group nothing else fixes
  std::vector<std::string> kept;  // .ic words that name no node voltage; passed on as they are
  std::set<std::size_t> notImposed;               // body lines of capacitors left to the circuit
  std::map<std::size_t, std::string> valueOf;     // body line -> imposed capacitor voltage
  std::vector<std::string> dropped;               // nodes whose .ic entry another branch fixes
};

// The plan for `t`'s bias point. Pure: no ngspice, no files.
BiasPlan PlanBiasPoint(const Translation& t);

}  // namespace etherm::sim
