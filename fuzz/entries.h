#pragma once
// One input as each fuzzed routine meets it. Failures the program reports to the user
// (etherm::Failure, the simulator's SimError) are expected outcomes and end quietly; anything
// else escapes to the caller, where it counts as a finding.

#include <string_view>

namespace etherm::fuzz {

// The bytes as a problem file, then the checks of both analyses.
void RunProblemFile(std::string_view bytes);

// The bytes as the user's circuit of a fixed small problem: the first and a later sweep point.
void RunDcWriter(std::string_view bytes);

// The bytes as the user's circuit of a fixed small problem: the first and a later window. A line
// "*WYN*" splits off what follows as the accumulated results read by the later window.
void RunTransientWriter(std::string_view bytes);

// The bytes as an etherm-sim circuit: loaded (every included file reads as the same bytes),
// translated and made into each kind of ngspice deck.
void RunSimTranslation(std::string_view bytes);

// The bytes as lines of etherm-sim --serve's protocol, each read as a request and as an answer;
// whatever reads as one must read back the same from its formatted line.
void RunServeLines(std::string_view bytes);

// The bytes as each of etherm-foster's tables: a measured curve (fitted when short), a maker's
// Foster table and a Cauer ladder (converted when short). Only where etherm-foster is built.
void RunFosterTables(std::string_view bytes);

}  // namespace etherm::fuzz
