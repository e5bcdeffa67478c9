#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "sweep/case_table.h"
#include "sweep/circuit_params.h"
#include "sweep/commands.h"
#include "testing/failure_of.h"
#include "testing/scratch_folder.h"

namespace etherm::sweep {
namespace {

using etherm::testing::FailureOf;
using etherm::testing::ReadBytes;
using etherm::testing::ScratchFolder;
using etherm::testing::WriteBytes;

TEST(CaseTable, BadTablesAreRefusedWithTheirLine) {
  struct Bad {
    const char* what;
    const char* text;
    const char* message;
  };
  const Bad cases[] = {
      {"empty", "\n# only a comment\n", "t.csv: no header line"},
      {"header", "name,vin\na,1\n", "t.csv, line 1: the header starts with \"name\""},
      {"no quantity", "case\na\n", "line 1: the header names no quantity"},
      {"quantity twice", "case,vin,VIN\n", "line 1: quantity \"VIN\" stands twice"},
      {"resistance twice", "case,rth:Q1,RTH:Q1,rth:q1\n", "quantity \"RTH:Q1\" stands twice"},
      {"unknown quantity", "case,1vin\n", "unknown quantity \"1vin\""},
      {"resistance of no device", "case,rth:\n", "quantity \"rth:\" names no device"},
      {"mutual without other", "case,rth:Q1:\n", "quantity \"rth:Q1:\" names no device"},
      {"no cases", "case,vin\n\n", "t.csv: the table holds no case"},
      {"too few values", "case,vin,rth:Q1\na,1\n",
       "line 2: case \"a\" has 1 values; the header names 2"},
      {"too many values", "case,vin\na,1,2\n",
       "line 2: case \"a\" has 2 values; the header names 1"},
      {"text value", "case,vin\na,five\n", "line 2: case \"a\": vin = \"five\" is not a number"},
      {"unit letters", "case,vin\na,5V\n", "vin = \"5V\" is not a number"},
      {"empty value", "case,vin\na,\n", "vin = \"\" is not a number"},
      {"SPICE scale in the problem file", "case,rth:Q1\na,1k\n", "rth:Q1 = \"1k\" is not a number"},
      {"infinite", "case,rth:Q1\na,1e999\n", "is not a number"},
      {"name with slash", "case,vin\na/b,1\n", "the case \"a/b\" holds \"/\"; case names use"},
      {"name with blank", "case,vin\na b,1\n", "holds \" \""},
      {"dot", "case,vin\n.,1\n", "the case cannot be named \".\""},
      {"dot dot", "case,vin\n..,1\n", "the case cannot be named \"..\""},
      {"empty name", "case,vin\n,1\n", "line 2: the case has no name"},
      {"reserved", "case,vin\njoblog,1\n", "cannot be named \"joblog\", a file of the sweep"},
      {"name twice", "case,vin\na,1\nb,2\n\na,3\n", "line 5: case \"a\" stands twice"},
  };
  for (const Bad& c : cases) {
    EXPECT_NE(FailureOf([&] { ParseCaseTable(c.text, "t.csv"); }).find(c.message),
              std::string::npos)
        << c.what << ": " << FailureOf([&] { ParseCaseTable(c.text, "t.csv"); });
  }
}

TEST(CaseTable, ReadsNamesValuesAndTheirNumbers) {
  const CaseTable t = ParseCaseTable(
      "\xEF\xBB\xBF"
      "case, vin ,RTH:Q1:Q2,end,Ambient\r\n# comment\r\n\r\nhot_1.a , 2.5m, 1e1 ,0.5,-5\r\n",
      "t.csv");
  ASSERT_EQ(t.quantities.size(), 4u);
  EXPECT_EQ(t.quantities[0].kind, Quantity::Kind::kParameter);
  EXPECT_EQ(t.quantities[1].kind, Quantity::Kind::kMutualResistance);
  EXPECT_EQ(t.quantities[1].device, "Q1");
  EXPECT_EQ(t.quantities[1].other, "Q2");
  EXPECT_EQ(t.quantities[2].kind, Quantity::Kind::kEndTime);
  EXPECT_EQ(t.quantities[3].kind, Quantity::Kind::kAmbient);
  ASSERT_EQ(t.cases.size(), 1u);
  EXPECT_EQ(t.cases[0].name, "hot_1.a");
  EXPECT_EQ(t.cases[0].values, (std::vector<std::string>{"2.5m", "1e1", "0.5", "-5"}));
  EXPECT_EQ(t.cases[0].numbers, (std::vector<double>{2.5e-3, 10, 0.5, -5}));
  EXPECT_EQ(CaseTableText(t), "case,vin,RTH:Q1:Q2,end,Ambient\nhot_1.a,2.5m,1e1,0.5,-5\n");
}

TEST(CircuitParameter, ReplacedWhereDefinedElseAddedBeforeEnd) {
  struct Case {
    const char* what;
    const char* circuit;
    const char* expected;
  };
  const Case cases[] = {
      {"one entry", "t\n.PARAM vin=0\nV1 1 0 {vin}\n.END\n",
       "t\n.PARAM vin=7.5\nV1 1 0 {vin}\n.END\n"},
      {"among others, blanks around =, any case",
       "t\r\n.param a=1 VIN = {2*a} b=3 ; note\r\n.end\r\n",
       "t\r\n.param a=1 VIN = 7.5 b=3 ; note\r\n.end\r\n"},
      {"on a continuation line", "t\n.PARAM a=1\n+ vin=2\n.END\n",
       "t\n.PARAM a=1\n+ vin=7.5\n.END\n"},
      {"every top-level definition", "t\n.PARAM vin=1\n.PARAM vin=2\n",
       "t\n.PARAM vin=7.5\n.PARAM vin=7.5\n"},
      {"none: added before .END, CR LF kept", "t\r\nV1 1 0 {vin}\r\n.END\r\n",
       "t\r\nV1 1 0 {vin}\r\n.PARAM vin=7.5\r\n.END\r\n"},
      {"a subcircuit's own is local", "t\n.SUBCKT S 1\n.PARAM vin=1\n.ENDS\n.END\n",
       "t\n.SUBCKT S 1\n.PARAM vin=1\n.ENDS\n.PARAM vin=7.5\n.END\n"},
      {"title, comments and other names do not count",
       "vin=1 title\n* .PARAM vin=1\n.PARAM vinx=1\nV1 1 0 {vin}",
       "vin=1 title\n* .PARAM vin=1\n.PARAM vinx=1\nV1 1 0 {vin}\n.PARAM vin=7.5\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SetCircuitParameter(c.circuit, "vin", "7.5"), c.expected) << c.what;
  }
  // A value on a top-level call is the subcircuit's own; one inside a definition is left.
  EXPECT_EQ(SetCircuitParameter("t\nX1 1 0 S PARAMS: vin=1 r=2\n.SUBCKT S a b vin=3\n"
                                "X2 a b T vin=4\n.ENDS\n.END\n",
                                "vin", "7.5"),
            "t\nX1 1 0 S PARAMS: vin=7.5 r=2\n.SUBCKT S a b vin=3\nX2 a b T vin=4\n.ENDS\n.END\n");
  EXPECT_TRUE(CircuitMentions("t\nV1 1 0 {2*VIN}\n", "vin"));
  EXPECT_FALSE(CircuitMentions("vin\n* vin\nV1 1 0 1 ; vin\nV2 1 0 {vinx}\n", "vin"));
}

// A case's value must reach the circuit: a name that only stands in the circuit (a model
// parameter, a subcircuit's own parameter) gave cases that all ran alike.
TEST(CircuitParameter, AcceptedOnlyWhereTheCircuitReadsIt) {
  struct Case {
    const char* what;
    const char* circuit;
    int refusedLine;  // 0: accepted
  };
  const Case cases[] = {
      {"a {expression}", "t\nV1 1 0 {2*rs}\n.END\n", 0},
      {"a top-level .PARAM", "t\n.PARAM rs=1\n.END\n", 0},
      {"read by a top-level .PARAM value", "t\n.PARAM r2=rs*2\nR1 1 0 {r2}\n.END\n", 0},
      {"given on a top-level call",
       "t\nX1 1 0 S PARAMS: rs=1\n.SUBCKT S a b rs=2\n"
       "R1 a b {rs}\n.ENDS\n.END\n",
       0},
      {"read in a subcircuit without one of its own",
       "t\n.SUBCKT S a b\nR1 a b {rs}\n.ENDS\nX1 1 0 S\n.END\n", 0},
      {"a model parameter", "t\nD1 1 0 DP\n.MODEL DP D(T_ABS=27 RS=0.1)\n.END\n", 3},
      {"a subcircuit's PARAMS: default, no call giving it",
       "t\n.SUBCKT S a b PARAMS: rs=2\nR1 a b {rs}\n.ENDS\nX1 1 0 S\n.END\n", 2},
      {"a .PARAM inside a subcircuit",
       "t\nX1 1 0 S\n.SUBCKT S a b\n.PARAM rs=2\nR1 a b {rs}\n.ENDS\n.END\n", 4},
      {"a .PARAM inside a subcircuit read before it",
       "t\n.SUBCKT S a b\nR1 a b {rs}\n.PARAM rs=2\n.ENDS\nX1 1 0 S\n.END\n", 3},
      {"a node or element name", "t\nRS 1 rs 5\n.END\n", 2},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> refusal = ParameterRefusal(c.circuit, "rs", "c.cir");
    if (c.refusedLine == 0) {
      EXPECT_FALSE(refusal) << c.what << ": " << *refusal;
      continue;
    }
    ASSERT_TRUE(refusal) << c.what;
    EXPECT_EQ(refusal->rfind("quantity \"rs\": c.cir, line " + std::to_string(c.refusedLine) +
                                 " names it, but no value a case sets would reach",
                             0),
              0u)
        << c.what << ": " << *refusal;
  }
  EXPECT_EQ(*ParameterRefusal("t\nV1 1 0 1\n", "rs", "c.cir"),
            "quantity \"rs\": c.cir neither defines nor uses a parameter of that name");
}

// A transient problem file with CR LF, comments after numbers and a coupling entry.
constexpr const char* kTransientPar =
    "TRAN two devices\r\n"
    "2\r\n"
    "0.01     end time, s\r\n"
    "Q1 3 1 50.0 1.0 0.001 1 2 0 1 10.0 1.0 0.005   own, coupling\r\n"
    "0\r\n"
    "Q2 3 1 60.0 1.0 0.002 0\r\n"
    "0\r\n"
    "0\r\n"
    "0\r\n"
    "1\r\n";
constexpr const char* kDcPar =
    "DC pair\n"
    "2\n"
    "1   start\n"
    "0.5 step\n"
    "5   end\n"
    "QA 3 12.0 1 2 0 6.0  to QB\n"
    "2\n"
    "QB 3 12.0 1 1 0 6.0\n"
    "2\n";

TEST(Prepare, WritesEachCaseChangingOnlyItsNumbers) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  WriteBytes("tr.par", kTransientPar);
  WriteBytes("tr.cir", "any circuit\r\n.END\r\n");
  WriteBytes("t.csv", "case,rth:Q1,rth:Q1:Q2,end\nhot,75,1e-3,2.5e-2\n");
  std::FILE* out = std::tmpfile();
  Prepare("t.csv", "tr", out);
  std::fclose(out);
  EXPECT_EQ(ReadBytes("cases/hot/tr.par"),
            "TRAN two devices\r\n"
            "2\r\n"
            "0.025     end time, s\r\n"
            "Q1 3 1 75 1.0 0.001 1 2 0 1 0.001 1.0 0.005   own, coupling\r\n"
            "0\r\n"
            "Q2 3 1 60.0 1.0 0.002 0\r\n"
            "0\r\n"
            "0\r\n"
            "0\r\n"
            "1\r\n");
  EXPECT_EQ(ReadBytes("cases/hot/tr.cir"), "any circuit\r\n.END\r\n");
  EXPECT_EQ(ReadBytes("cases/cases.csv"), "case,rth:Q1,rth:Q1:Q2,end\nhot,75,1e-3,2.5e-2\n");

  WriteBytes("dc.par", kDcPar);
  WriteBytes("dc.cir", "c\n.PARAM vs=1\n");
  WriteBytes("d.csv", "case,start,step,stop,rth:QB:QA,vs,ambient\nd1,2,0.25,4,3,10k,40\n");
  std::filesystem::remove_all("cases");
  out = std::tmpfile();
  Prepare("d.csv", "dc", out);
  std::fclose(out);
  EXPECT_EQ(ReadBytes("cases/d1/dc.par"),
            "DC pair\n2\n2   start\n0.25 step\n4   end\n"
            "QA 3 12.0 1 2 0 6.0  to QB\n2\nQB 3 12.0 1 1 0 3\n2\n");
  EXPECT_EQ(ReadBytes("cases/d1/dc.cir"), "c\n.PARAM vs=10000\n");
}

TEST(Prepare, RefusesBeforeWritingAnything) {
  struct Bad {
    const char* what;
    const char* base;
    const char* table;
    const char* message;
  };
  const Bad cases[] = {
      {"no such device", "dc", "case,rth:Q9\na,1\n",
       "dc.par has no device Q9 (its devices: QA, QB"},
      {"device name with another case", "dc", "case,rth:qa\na,1\n", "has no device qa"},
      {"no coupling entry", "tr", "case,rth:Q2:Q1\na,1\n",
       "device Q2 of tr.par has no coupling entry for Q1"},
      {"end time of a DC file", "dc", "case,end\na,1\n", "dc.par has the DC layout"},
      {"sweep of a transient file", "tr", "case,step\na,1\n", "tr.par has the transient layout"},
      {"parameter the circuit lacks", "dc", "case,vx\na,1\n",
       "dc.cir neither defines nor uses a parameter of that name"},
      {"negative resistance, second case", "dc", "case,rth:QA\na,1\nb,-2\n",
       "case \"b\": Problem file \"cases/b/dc.par\": device 1 (QA): its thermal resistance is -2"},
      {"sweep leading away", "dc", "case,step\na,-1\n",
       "case \"a\": Problem file \"cases/a/dc.par\""},
      {"zero end time", "tr", "case,end\na,0\n",
       "case \"a\": Problem file \"cases/a/tr.par\": the end time"},
      {"bad table", "dc", "case,rth:QA\na,x\n", "t.csv, line 2"},
      {"ambient etherm-batch refuses", "dc", "case,ambient\na,20\nb,-273.15\n",
       "case \"b\": ambient = -273.15 is no ambient temperature etherm-batch takes"},
      {"base name with a line break", "d\nc", "case,rth:QA\na,1\n", "holds a control character"},
      {"base name a path", "../dc", "case,rth:QA\na,1\n", "must name files of the current folder"},
      {"missing problem file", "none", "case,rth:QA\na,1\n", "none.par"},
      {"base name an option", "--no-plot", "case,rth:QA\na,1\n", "begins with '-'"},
      {"parameter of a model only", "dc", "case,is\na,1\n",
       "dc.cir, line 3 names it, but no value a case sets would reach the circuit there"},
  };
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  WriteBytes("dc.par", kDcPar);
  WriteBytes("dc.cir", "c\nV1 1 0 {vs}\n.MODEL DP D(IS=1e-9)\n");
  WriteBytes("tr.par", kTransientPar);
  WriteBytes("tr.cir", "c\n");
  for (const Bad& c : cases) {
    WriteBytes("t.csv", c.table);
    const std::string failure = FailureOf([&] { Prepare("t.csv", c.base, stdout); });
    EXPECT_NE(failure.find(c.message), std::string::npos) << c.what << ": " << failure;
    EXPECT_FALSE(std::filesystem::exists("cases")) << c.what;
  }
  // A sweep already prepared is kept.
  WriteBytes("t.csv", "case,rth:QA\na,1\n");
  std::FILE* out = std::tmpfile();
  Prepare("t.csv", "dc", out);
  EXPECT_NE(FailureOf([&] { Prepare("t.csv", "dc", out); }).find("cases/ already holds a sweep"),
            std::string::npos);
  std::fclose(out);
}

}  // namespace
}  // namespace etherm::sweep
