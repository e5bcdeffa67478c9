// The continuous engine's segments and its ends: a segment whose temperatures drifted beyond the
// tolerance is followed by a shorter one; a run ended by an interrupt or by the simulator's death
// keeps whole lines of everything accepted before.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/scratch_folder.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;
using etherm::testing::ReadBytes;
using etherm::testing::ScratchFolder;
using etherm::testing::WriteBytes;

constexpr char kConverter[] = ETHERM_CONVERTERS_DIR "/buck_gnd";

// The buck converter of the matrix in the current folder, its end time (line 3 of the problem,
// the .TRAN's length) set to `end`.
void CopyBuck(const std::string& end) {
  for (const char* file : {"buck_gnd.cir", "buck_gnd.par"}) {
    std::istringstream lines(ReadBytes(fs::path(kConverter) / file));
    std::string out, line;
    for (int n = 1; std::getline(lines, line); ++n) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (std::string(file).ends_with(".par") && n == 3) line = end;
      if (line.starts_with(".TRAN ")) line = line.substr(0, line.rfind(' ') + 1) + end;
      out += line + "\r\n";
    }
    WriteBytes(file, out);
  }
}

std::string Bin(const char* program) {
  const char* bin = std::getenv("ETHERM_BIN");
  return std::string(bin ? bin : ".") + "/" + program;
}

int Status(int raw) {
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The converter's start, at a tolerance its switching ripple exceeds now and then (at 0.2 K the
// power guard keeps every segment within it).
TEST(ContinuousEngine, ASegmentThatDriftedTooFarIsFollowedByAShorterOne) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  CopyBuck("0.0003");
  constexpr double kTolerance = 0.05;
  const std::string command = "ETHERM_SIMULATOR=" + Bin("etherm-sim") + " " +
                              Bin("etherm-batch") +
                              " tran --no-plot --engine continuous --tolerance 0.05 buck_gnd "
                              ">/dev/null 2>batch.err";
  ASSERT_EQ(Status(std::system(command.c_str())), 0) << ReadBytes("batch.err");
  std::istringstream csv(ReadBytes("buck_gnd.iterations.csv"));
  std::string line;
  std::getline(csv, line);  // iteration,window_start_s,accepted_end_s,...,max_deviation_K,...
  struct Segment {
    double start, end, deviation;
  };
  std::vector<Segment> segments;
  while (std::getline(csv, line)) {
    std::vector<double> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(std::stod(field));
    ASSERT_EQ(fields.size(), 9u) << line;
    segments.push_back({fields[1], fields[2], fields[7]});
  }
  ASSERT_GT(segments.size(), 10u);
  int overshoots = 0;
  for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
    EXPECT_EQ(segments[i].end, segments[i + 1].start) << "segment " << i + 1;
    if (segments[i].deviation <= kTolerance) continue;
    ++overshoots;
    EXPECT_LT(segments[i + 1].end - segments[i + 1].start, segments[i].end - segments[i].start)
        << "segment " << i + 1 << " drifted " << segments[i].deviation << " K";
  }
  EXPECT_GT(overshoots, 0) << "no segment drifted beyond the tolerance; nothing was checked";
}

// Every line of an accumulated file is whole: CR LF at its end, the time and the device values.
void ExpectWholeLines(const std::string& file, std::size_t numbers) {
  const std::string text = ReadBytes(file);
  ASSERT_FALSE(text.empty()) << file;
  EXPECT_TRUE(text.ends_with("\r\n")) << file;
  std::istringstream lines(text);
  std::string line;
  std::size_t count = 0;
  for (int n = 1; std::getline(lines, line); ++n) {
    if (n <= 2) continue;  // the title and the names
    std::istringstream in(line);
    std::size_t values = 0;
    for (double v; in >> v;) ++values;
    EXPECT_EQ(values, numbers) << file << " line " << n;
    ++count;
  }
  EXPECT_GT(count, 0u) << file;
}

TEST(ContinuousEngine, AnEndedRunKeepsWholeLinesOfWhatItAccepted) {
  struct Case {
    const char* what;
    std::string simulator;  // ETHERM_SIMULATOR
    std::string before;     // in front of etherm-batch
    int status;
    const char* says;
  } cases[] = {
      // The simulator killed two seconds into a run that needs far longer.
      {"simulator dies", "./dying-sim", "", 1, "The circuit simulator ended"},
      // One SIGINT, as Ctrl-C sends it: without --foreground, timeout signals its whole process
      // group as well, and a second signal is the user insisting (files left as they are).
      {"interrupt", Bin("etherm-sim"), "timeout --foreground --preserve-status -s INT 2 ", 130,
       "interrupted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder(ScratchFolder::Enter::kYes);
    CopyBuck("0.02");
    // The killer leaves the simulator's channel alone, so its death ends the channel.
    WriteBytes("dying-sim", "#!/bin/sh\n(sleep 2; kill -9 $$) </dev/null >/dev/null 2>&1 &\nexec \"" +
                                Bin("etherm-sim") + "\" \"$@\"\n");
    fs::permissions("dying-sim", fs::perms::owner_all);
    const std::string command = "ETHERM_SIMULATOR=" + c.simulator + " " + c.before +
                                Bin("etherm-batch") +
                                " tran --no-plot --engine continuous buck_gnd >/dev/null "
                                "2>batch.err";
    EXPECT_EQ(Status(std::system(command.c_str())), c.status) << ReadBytes("batch.err");
    EXPECT_NE(ReadBytes("batch.err").find(c.says), std::string::npos) << ReadBytes("batch.err");
    ExpectWholeLines("buck_gnd.tem", 3);
    ExpectWholeLines("buck_gnd.moc", 3);
  }
}

}  // namespace
}  // namespace etherm
