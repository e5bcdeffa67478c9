#pragma once
// The line protocol of `etherm-sim --serve`, for both of its sides: the server (serve.h) and
// a client that keeps one etherm-sim for a whole analysis. Lines end with LF (a CR before it
// is ignored); fields are separated by one TAB; every field is escaped (EscapeField), so each
// request and each answer is exactly one line.
//
//   client                              server
//   etherm-serve 2                  ->
//                                   <-  etherm-serve 2 ready
//   run<TAB>CIRCUIT.cir<TAB>id=N    ->  (runs it as `etherm-sim CIRCUIT.cir` does)
//                                   <-  id=N<TAB>progress<TAB>TIME   (now and then, transients)
//                                   <-  id=N<TAB>done | id=N<TAB>refused<TAB>reason
//                                       | id=N<TAB>failed<TAB>reason
//   ... more requests ...
//   end of input                    ->  the server ends with status 0
//
// Version 1 (hello "etherm-serve 1") is version 2 without ids and progress lines: its answers
// are the same lines without their first field. In version 2 each answer names the request it
// answers, so a client notices an answer out of step at once; TIME is the simulated time of the
// running transient in seconds. Anything but the ready line in answer to the hello (or silence
// for kReadyTimeoutSeconds) means the program is no etherm-sim server of that version. Further
// fields `name=value` after the circuit file are ignored. A request line that
// cannot be read is answered `failed` and the server goes on. After a `failed` answer the
// server may end (ngspice stopped itself, memory ran out); a crash of ngspice ends it without
// an answer. Either way the client starts a new one for the next request.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace etherm::sim::serve {

inline constexpr std::string_view kHello = "etherm-serve 1";
inline constexpr std::string_view kReady = "etherm-serve 1 ready";
inline constexpr std::string_view kHello2 = "etherm-serve 2";
inline constexpr std::string_view kReady2 = "etherm-serve 2 ready";

// The longest request line a server reads; a longer one is answered `failed` unread. A client
// hands a circuit over in a `text` request only when its line stays well below it.
inline constexpr std::size_t kLongestRequestLine = std::size_t{1} << 20;

// How long a client waits for the ready line. ngspice starts in about 0.1 s; a sanitizer build
// on a loaded machine needs some seconds.
inline constexpr int kReadyTimeoutSeconds = 20;

// When a client should start a fresh server instead of sending the next request. ngspice does
// not free everything a circuit leaves: bench/sim_serve.sh measured the serving process (Release,
// the DC example circuit) at 9.3 MB resident at the start, 10.3 MB after 100 requests, 14.0 MB
// after 5000 and 17.7 MB after 10,000, a steady 0.78 kB more per request. A fresh server every
// 5000 requests keeps it within 1.4 x of its size after 100, for one ngspice start (about 11 ms)
// per 2 s or so of requests. Larger circuits leave more behind (a long transient's plots, the
// allocator's kept pages), which the memory figure catches.
inline constexpr long kRecycleAfterRequests = 5000;
inline constexpr long kRecycleAboveResidentMegabytes = 256;

// kProgress is no answer yet: the request runs, its simulated time is `time`. kData is no
// answer either: one line of the probe data a streamed request returns, in `reason`; nor is
// kListing: one line of the listing of a `text` request that was not done, in `reason`.
enum class Outcome { kDone, kRefused, kFailed, kProgress, kData, kListing };

struct Answer {
  Outcome outcome = Outcome::kDone;
  std::string reason;  // empty for kDone and kProgress
  long id = 0;         // of the request answered (version 2); 0 for version 1
  double time = 0;     // kProgress
};

// Version 2 also keeps one transient paused between requests (the continuous engine):
//   begin<TAB>CIRCUIT.cir<TAB>id=N       loads its transient, runs nothing
//   settle<TAB>DATA.csd<TAB>id=N         before the transient starts: its operating point at the
//                                        devices' present temperatures, as one point at time 0
//   until<TAB>TIME<TAB>DATA.csd<TAB>id=N runs or resumes it to TIME, writes the points since the
//                                        last pause (that pause's point first) to DATA.csd;
//                                        DATA.csd "-" streams them instead, each line of the
//                                        probe data an answer line id=N<TAB>data<TAB>LINE before
//                                        the final one (settle likewise)
//   temps<TAB>MODEL<TAB>CELSIUS...<TAB>id=N  sets each T_ABS model's devices in place
//   end<TAB>id=N                         drops it
// each answered as `run` is. A `run` drops a paused transient too.
// Version 2 also runs a circuit handed over in the request itself, writing no file of its own:
//   text<TAB>NAME.cir<TAB>CIRCUIT<TAB>id=N   runs CIRCUIT (the whole circuit file's bytes) as
//                                        `run` runs a file NAME.cir holding them (included files
//                                        are read beside NAME.cir, which need not exist); the
//                                        probe data come back as data lines before `done`; no
//                                        listing or probe-data file is written: when the run
//                                        is not done, its listing comes back instead, each line
//                                        (with its line end) an answer id=N<TAB>listing<TAB>LINE
//                                        before the final one
//
// An until request may carry, before its id, a field guard=KIND:FIRST:BUDGET:WINDOW;... : for
// each device, its power as the products of its probe quantities (KIND 0 to 3: the
// plain-product formulas of the power models; FIRST the 0-based probe column of its first
// quantity), an energy in joules and a time in seconds. The server pauses early, at the point
// after the one where any device's power has departed, since the last pause, from its mean
// before that pause (taken exponentially over WINDOW) by more than that energy.
enum class Verb { kRun, kBegin, kSettle, kUntil, kTemps, kEnd, kText };
struct PowerGuard {
  int kind = 0;
  int first = 0;
  double budget = 0;  // J
  double window = 0;  // s, over which the mean power is taken
  bool operator==(const PowerGuard&) const = default;
};
// A begin request may carry, before its id, a field shadow=KIND:FIRST:OHMS:FARADS;... : for each
// device, its power (as in a guard) heating a resistor and capacitor in parallel that the server
// adds to the circuit apart from it. Their node's voltage follows the device's fastest thermal
// term, so ngspice's own error control takes steps fine enough for the heat as well as for the
// circuit (what the direct self-heating solution does with its thermal network).
struct PowerShadow {
  int kind = 0;
  int first = 0;
  double ohms = 0;
  double farads = 0;
  bool operator==(const PowerShadow&) const = default;
};

struct Request {
  Request() = default;
  Request(std::string file, long requestId = 0, Verb requestVerb = Verb::kRun, double until = 0)
      : circuit(std::move(file)), id(requestId), verb(requestVerb), time(until) {}

  std::string circuit;  // the circuit file (run, begin) or probe-data file (until), relative to
                        // the server's working directory
  long id = 0;          // version 2: above 0, written as the field id=N; 0 writes none
  Verb verb = Verb::kRun;
  double time = 0;                                    // until
  std::vector<std::pair<std::string, double>> temps;  // temps: model, degrees Celsius
  std::vector<PowerGuard> guard;                      // until
  std::vector<PowerShadow> shadow;                    // begin
  std::string text;                                   // text: the circuit file's bytes
};

// Backslash escapes for backslash, TAB, LF and CR: "\\", "\t", "\n", "\r".
std::string EscapeField(std::string_view text);
// The text of an escaped field; nothing for an unknown escape or a lone backslash at the end.
std::optional<std::string> UnescapeField(std::string_view field);

// The lines, without their LF.
std::string FormatRequest(const Request& request);
std::string FormatAnswer(const Answer& answer);

// A request line (its LF taken off already). On failure, `problem` says what is wrong.
struct ParsedRequest {
  std::optional<Request> request;
  std::string problem;
};
ParsedRequest ParseRequest(std::string_view line);

// An answer line; nothing when it is none.
std::optional<Answer> ParseAnswer(std::string_view line);

}  // namespace etherm::sim::serve
