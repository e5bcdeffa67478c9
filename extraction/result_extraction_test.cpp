#include "extraction/result_extraction.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "testing/failure_of.h"
#include "testing/scratch_folder.h"
#include "textio/failure.h"

namespace etherm {
namespace {

const std::string kNames = "'V(1)' 'I(D1)'";

// Lines 1..13 of a probe-data file, then the records.
std::string ProbeData(const std::string& records, const std::string& names = kNames) {
  std::string text = "#H\r\nSOURCE='etherm-sim' VERSION='1'\r\nTITLE='t'\r\n";
  for (int line = 4; line <= 12; ++line) text += "skipped " + std::to_string(line) + "\r\n";
  return text + names + "\r\n" + records;
}

class ExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    csd_ = folder_.File("a1.csd");
    txt_ = folder_.File("a1.txt");
  }

  void WriteCsd(const std::string& bytes) { std::ofstream(csd_, std::ios::binary) << bytes; }
  std::string Table() {
    std::ifstream in(txt_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Dc(const std::string& bytes) {
    WriteCsd(bytes);
    ExtractDcResults(csd_, txt_);
    return Table();
  }
  std::string Transient(const std::string& bytes, double offset, double windowEnd) {
    WriteCsd(bytes);
    ExtractTransientResults(csd_, txt_, offset, windowEnd);
    return Table();
  }

  etherm::testing::ScratchFolder folder_;
  std::string csd_;
  std::string txt_;
};

TEST_F(ExtractionTest, DcTables) {
  const std::string head = "TITLE='t'\r\ndc " + kNames;
  struct Case {
    const char* what;
    std::string records;
    std::string tableAfterHead;
  } cases[] = {
      {"two records, the second at a negative sweep value",
       "#C 1.00000000e+000 2\r\n2.50000000e+000:1   1.20000000e-003:2   \r\n"
       "#C -1.00000000e+000 2\r\n3.00000000e+000:1   -4.00000000e-003:2   \r\n#;\r\n",
       "\r\n 1.00000000000000E+0000 2.50000000e+000   1.20000000e-003   "
       "\r\n-1.00000000000000E+0000 3.00000000e+000   -4.00000000e-003   \r\n"},
      {"one record gives three lines", "#C 0.5 2\r\n1.0:1   2.0:2   \r\n#;\r\n",
       "\r\n 5.00000000000000E-0001 1.0   2.0   \r\n"},
      {"bytes before the first header join the names line", "x:1 \r\n#C 1 2\r\n1:1 2:2 \r\n#;\r\n",
       "x \r\n 1.00000000000000E+0000 1 2 \r\n"},
      {"values spread over lines, tabs kept", "#C 2 2\r\n1:1 \t\r\n2:2 \r\n#;\r\n",
       "\r\n 2.00000000000000E+0000 1 \t2 \r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Dc(ProbeData(c.records)), head + c.tableAfterHead) << c.what;
  }
}

TEST_F(ExtractionTest, LongLinesAreCutAt120Bytes) {
  const std::string names(150, 'n');
  const std::string table = Dc(ProbeData("#C 1 1\r\n1:1 \r\n#;\r\n", names));
  EXPECT_EQ(table,
            "TITLE='t'\r\ndc " + names.substr(0, 120) + "\r\n 1.00000000000000E+0000 1 \r\n");
}

TEST_F(ExtractionTest, SimulatorProbeDataFile) {
  std::ifstream in("testdata/sweep.csd", std::ios::binary);
  const std::string csd(std::istreambuf_iterator<char>(in), {});
  ASSERT_FALSE(csd.empty());
  EXPECT_EQ(Dc(csd),
            "TITLE='diode with series resistor'\r\n"
            "dc 'V(2)' 'I(D1)'\r\n"
            " 5.00000000000000E-0001 6.53201452e-001   3.46798548e-002   \r\n");
}

TEST_F(ExtractionTest, TransientWindows) {
  const std::string head = "TITLE='t'\r\ntime " + kNames;
  const std::string fourRecords =
      "#C 0 2\r\n1:1 2:2 \r\n#C 0.0005 2\r\n3:1 4:2 \r\n#C 0.00103 2\r\n5:1 6:2 \r\n"
      "#C 0.00105 2\r\n7:1 8:2 \r\n#;\r\n";
  struct Case {
    const char* what;
    std::string records;
    double offset;
    double windowEnd;
    std::string tableAfterHead;
  } cases[] = {
      {"the first record beyond 1.02 x the window end ends the table", fourRecords, 0.001, 0.002,
       "\r\n 1.00000000000000E-0003 1 2 "
       "\r\n 1.50000000000000E-0003 3 4 "
       "\r\n 2.03000000000000E-0003 5 6 \r\n"},
      {"an offset beyond the window reads nothing after the names", fourRecords, 0.003, 0.002, ""},
      {"a run that ends early keeps every record",
       "#C 0 2\r\n1:1 5:2 \r\n#C 1e-5 2\r\n2:1 6:2 \r\n#;\r\n", 9e-5, 1.0,
       "\r\n 9.00000000000000E-0005 1 5 "
       "\r\n 1.00000000000000E-0004 2 6 \r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Transient(ProbeData(c.records), c.offset, c.windowEnd), head + c.tableAfterHead)
        << c.what;
  }
}

TEST_F(ExtractionTest, Failures) {
  auto failure = [](auto&& run) -> std::string {
    try {
      run();
    } catch (const Failure& f) {
      return f.what();
    }
    return "no failure";
  };
  EXPECT_EQ(failure([&] { ExtractDcResults(csd_, txt_); }), "File not found: " + csd_);
  EXPECT_EQ(
      failure([&] { Transient(ProbeData("#C 1e308 2\r\n1:1 2:2 \r\n#;\r\n"), 1e308, 1e308); }),
      "Floating point overflow");
}

TEST_F(ExtractionTest, UnreadableProbeDataIsRefusedNamingTheLine) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string says;  // after the file's name
  } cases[] = {
      {"header lines missing", "#H\r\nSOURCE\r\n",
       "line 3: the file ends before its quantity names (line 13)"},
      {"no data record", ProbeData("#;\r\n"),
       "line 14: no results: the end record \"#;\" comes before any data record"},
      {"a header without a number", ProbeData("#C one 2\r\n1:1 2:2 \r\n#;\r\n"),
       "line 14: a record header without a number after its type byte: \"#C one 2\""},
      {"nan", ProbeData("#C 1 2\r\n1:1 2:2 \r\n#C 2 2\r\nnan:1 2:2 \r\n#;\r\n"),
       "line 17: \"nan\" is not a number"},
      {"inf", ProbeData("#C 1 2\r\n1:1 -inf:2 \r\n#;\r\n"), "line 15: \"-inf\" is not a number"},
      {"random bytes", ProbeData("#C 1 2\r\n\x01\xff\x80:1 2:2 \r\n#;\r\n"),
       "line 15: \"\\x01\\xFF\\x80\" is not a number"},
      {"a missing column", ProbeData("#C 1 2\r\n1:1 2:2 \r\n#C 2 2\r\n1:1 \r\n#;\r\n"),
       "line 16: the record has 1 value for the 2 quantity names of line 13"},
      {"a file cut in half", ProbeData("#C 1 2\r\n1:1 2:2 \r\n#C 2 2\r\n3:1 4:2 \r\n"),
       "line 18: the file ends before its end record \"#;\" (is it cut short?)"},
      {"cut inside an index", ProbeData("#C 1 2\r\n1:1 2:2"),
       "line 15: the index \":2\" has no blank after it on its line"},
      {"an index without its blank would merge the next record",
       ProbeData("#C 1 2\r\n1.0:1   2.0:2\r\n#C 2 2\r\n3.0:1   4.0:2   \r\n#;\r\n"),
       "line 15: the index \":2\" has no blank after it on its line"},
      {"a ';' among the values", ProbeData("#C 1 2\r\n1.0:1 ;2.0:2 \r\n#;\r\n"),
       "line 15: \";2.0\" is not a number"},
      {"a bare line feed", ProbeData("#C 1 2\r\n1:1\n2:2 \r\n#;\r\n"),
       "line 15: the index \":1\" has no blank after it on its line"},
      {"text after the end record", ProbeData("#C 1 2\r\n1:1 2:2 \r\n#;\r\nmore\r\n"),
       "line 17: text after the end record \"#;\": \"more\""},
  };
  for (const Case& c : cases) {
    for (bool dc : {true, false}) {
      const std::string text = etherm::testing::FailureOf([&] {
        if (dc) {
          Dc(c.bytes);
        } else {
          Transient(c.bytes, 0, 1);
        }
      });
      EXPECT_EQ(text, "Unreadable results file \"" + csd_ + "\", " + c.says) << c.what;
      EXPECT_EQ(Table(), "") << c.what << ": nothing of it reaches the table";
    }
  }
}

}  // namespace
}  // namespace etherm
