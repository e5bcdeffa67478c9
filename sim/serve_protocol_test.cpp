// The line protocol of etherm-sim --serve, both directions.

#include "serve_protocol.h"

#include <gtest/gtest.h>

namespace etherm::sim::serve {
namespace {

TEST(ServeProtocol, FieldsEscapeAndReadBack) {
  struct Case {
    const char* text;
    const char* escaped;
  } cases[] = {{"a b.cir", "a b.cir"},
               {"tab\there", "tab\\there"},
               {"two\nlines\r", "two\\nlines\\r"},
               {"back\\slash", "back\\\\slash"},
               {"", ""}};
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeField(c.text), c.escaped);
    EXPECT_EQ(UnescapeField(c.escaped), std::string(c.text));
  }
  for (const char* bad : {"end\\", "\\x", "a\\ b"})
    EXPECT_EQ(UnescapeField(bad), std::nullopt) << bad;
}

TEST(ServeProtocol, RequestLines) {
  struct Case {
    const char* line;
    const char* circuit;  // nullptr: refused
  } cases[] = {{"run\tbase12.cir", "base12.cir"},
               {"run\tbase12.cir\r", "base12.cir"},
               {"run\tmy dir/a\\tb.cir", "my dir/a\tb.cir"},
               {"run\ta.cir\tlater=1\tmore=x", "a.cir"},
               {"run a.cir", nullptr},
               {"RUN\ta.cir", nullptr},
               {"run", nullptr},
               {"run\t", nullptr},
               {"run\ta.cir\tflag", nullptr},
               {"run\ta.cir\tid=0", nullptr},
               {"run\ta.cir\tid=x", nullptr},
               {"", nullptr}};
  for (const Case& c : cases) {
    const ParsedRequest parsed = ParseRequest(c.line);
    if (c.circuit) {
      ASSERT_TRUE(parsed.request) << c.line << ": " << parsed.problem;
      EXPECT_EQ(parsed.request->circuit, c.circuit);
      EXPECT_EQ(ParseRequest(FormatRequest(*parsed.request)).request->circuit, c.circuit);
      EXPECT_EQ(parsed.request->id, 0);
    } else {
      EXPECT_FALSE(parsed.request) << c.line;
      EXPECT_FALSE(parsed.problem.empty()) << c.line;
    }
  }
}

TEST(ServeProtocol, AnswerLines) {
  const Answer answers[] = {{Outcome::kDone, ""},
                            {Outcome::kRefused, "line 3: bad\nworse"},
                            {Outcome::kFailed, "tab\tand \\"},
                            {Outcome::kDone, "", 12},
                            {Outcome::kRefused, "stalled", 3},
                            {Outcome::kProgress, "", 4, 2.5e-6},
                            {Outcome::kListing, "** ngspice **\r\n", 6}};
  for (const Answer& a : answers) {
    const std::string line = FormatAnswer(a);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    const std::optional<Answer> back = ParseAnswer(line);
    ASSERT_TRUE(back) << line;
    EXPECT_EQ(back->outcome, a.outcome);
    EXPECT_EQ(back->reason, a.reason);
    EXPECT_EQ(back->id, a.id);
    EXPECT_EQ(back->time, a.time);
  }
  EXPECT_EQ(FormatRequest({"a.cir", 5}), "run\ta.cir\tid=5");
  EXPECT_EQ(ParseRequest("run\ta.cir\tid=5").request->id, 5);
  // A circuit may be named like an id field: only a field past the circuit is the id.
  EXPECT_EQ(ParseRequest(FormatRequest({"id=3"})).request->circuit, "id=3");
  EXPECT_EQ(ParseRequest("end\tid=4").request->id, 4);
  EXPECT_EQ(FormatAnswer({Outcome::kProgress, "", 2, 1.5e-05}), "id=2\tprogress\t1.5e-05");
  for (const char* other :
       {"id=2\tprogress", "id=2\tprogress\tnan", "id=2\tprogress\t1s", "id=0\tdone", "id=2"})
    EXPECT_EQ(ParseAnswer(other), std::nullopt) << other;
  EXPECT_EQ(FormatAnswer({Outcome::kRefused, "x y"}), "refused\tx y");
  for (const char* other :
       {"", "done\textra", "refused", "ok", "etherm-serve 1 ready", "failed\t\\"})
    EXPECT_EQ(ParseAnswer(other), std::nullopt) << other;
}

TEST(ServeProtocol, TextRequestsCarryTheCircuit) {
  Request request{"base7.cir", 9, Verb::kText};
  request.text = "title\r\nR1 1 0 1k\t; tab\r\n.DC V1 1 1 1\r\n.END\r\n\\ id=2";
  const std::string line = FormatRequest(request);
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  const ParsedRequest parsed = ParseRequest(line);
  ASSERT_TRUE(parsed.request) << parsed.problem;
  EXPECT_EQ(parsed.request->verb, Verb::kText);
  EXPECT_EQ(parsed.request->circuit, "base7.cir");
  EXPECT_EQ(parsed.request->text, request.text);
  EXPECT_EQ(parsed.request->id, 9);
  // An empty circuit is a circuit (etherm-sim says what is wrong with it); its text field is
  // still needed, and a circuit's text may itself look like an id.
  EXPECT_EQ(ParseRequest("text\ta.cir\t\tid=3").request->text, "");
  EXPECT_EQ(ParseRequest("text\ta.cir\tid=3").request->text, "id=3");
  for (const char* bad : {"text", "text\ta.cir", "text\t\tx", "text\ta.cir\tx\\", "text\ta\tb\tc"})
    EXPECT_FALSE(ParseRequest(bad).request) << bad;
}

// The continuous engine's extra fields: a begin's shadows and an until's guard read back as
// written; a malformed one refuses the request instead of running it unguarded.
TEST(ServeProtocol, ShadowAndGuardFields) {
  Request begin{"a.cir", 7, Verb::kBegin};
  begin.shadow = {{2, 0, 4.0, 1.25e-5}, {0, 4, 6.25, 1.6e-5}};
  Request until{"-", 8, Verb::kUntil, 2e-5};
  until.guard = {{1, 2, 3.5e-6, 1e-4}};
  for (const Request& r : {begin, until}) {
    const std::string line = FormatRequest(r);
    const ParsedRequest back = ParseRequest(line);
    ASSERT_TRUE(back.request) << line << ": " << back.problem;
    EXPECT_EQ(back.request->circuit, r.circuit);
    EXPECT_EQ(back.request->id, r.id);
    EXPECT_EQ(back.request->shadow, r.shadow);
    EXPECT_EQ(back.request->guard, r.guard);
  }
  EXPECT_EQ(FormatRequest(until), "until\t2e-05\t-\tguard=1:2:3.5e-06:1e-04\tid=8");
  for (const char* bad :
       {"until\t1e-5\t-\tguard=1:2:3e-6", "until\t1e-5\t-\tguard=4:0:1:1",
        "until\t1e-5\t-\tguard=1:0.5:1:1", "until\t1e-5\t-\tguard=1:0:0:1",
        "until\t1e-5\t-\tguard=", "until\t1e-5\t-\tguard=1:0:1:1;", "begin\ta.cir\tshadow=0:0:1",
        "begin\ta.cir\tshadow=0:0:-1:1", "begin\ta.cir\tshadow=0:0:1:nan"}) {
    const ParsedRequest parsed = ParseRequest(bad);
    EXPECT_FALSE(parsed.request) << bad;
    EXPECT_FALSE(parsed.problem.empty()) << bad;
  }
}

}  // namespace
}  // namespace etherm::sim::serve
