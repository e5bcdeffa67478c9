// The sweep's commands run as users run them: the etherm-sweep program on GNU parallel, with
// the real etherm-batch and etherm-sim, or with a stand-in batch program where only the
// bookkeeping is under test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sweep/case_command.h"
#include "sweep/commands.h"
#include "testing/scratch_folder.h"

extern char** environ;

namespace etherm::sweep {
namespace {

namespace fs = std::filesystem;
using etherm::testing::NumberRows;
using etherm::testing::ReadBytes;
using etherm::testing::ScratchFolder;
using etherm::testing::WriteBytes;

std::string Bin(const std::string& program) {
  const char* bin = std::getenv("ETHERM_BIN");
  return bin == nullptr ? program : std::string(bin) + "/" + program;
}

// Runs argv in `dir` with its standard output and error in dir/stdout.txt and dir/stderr.txt;
// returns the exit status.
int Exec(const std::vector<std::string>& argv, const fs::path& dir = fs::current_path()) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "stdout.txt",
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "stderr.txt",
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid;
  const int err = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::istringstream in(line);
  for (std::string cell; std::getline(in, cell, ',');) cells.push_back(cell);
  if (!line.empty() && line.back() == ',') cells.push_back("");
  return cells;
}

// sweep.csv by case name.
std::map<std::string, std::vector<std::string>> SweepRows() {
  std::map<std::string, std::vector<std::string>> rows;
  const std::vector<std::string> lines = Lines(ReadBytes("sweep.csv"));
  for (std::size_t n = 1; n < lines.size(); ++n) {
    std::vector<std::string> cells = Cells(lines[n]);
    rows[cells[0]] = cells;
  }
  return rows;
}

// The case names of the job log's lines, in their order: each command enters cases/NAME/.
std::vector<std::string> LoggedCases() {
  std::vector<std::string> names;
  const std::vector<std::string> lines = Lines(ReadBytes("cases/joblog"));
  for (std::size_t n = 1; n < lines.size(); ++n) {
    const std::size_t from = lines[n].find("cd cases/") + 9;
    names.push_back(lines[n].substr(from, lines[n].find("/ &&") - from));
  }
  return names;
}

// The cells of a device's line of etherm-batch's summary: name, peak T (K), peak T (°C), where,
// final T (K), peak P (W), mean P (W).
std::vector<std::string> SummaryCells(const std::string& summary, const std::string& device) {
  for (const std::string& line : Lines(summary)) {
    std::istringstream in(line);
    std::vector<std::string> cells;
    for (std::string cell; in >> cell;) cells.push_back(cell);
    if (!cells.empty() && cells[0] == device) return cells;
  }
  return {};
}

std::string Printed(const char* format, const std::string& cell) {
  char text[64];
  std::snprintf(text, sizeof text, format, std::stod(cell));
  return text;
}

// The diode example's circuit with a supply in series whose voltage is the parameter vin.
constexpr const char* kDiodeCircuit =
    "Power diode with series resistor: DC sweep of the supply, offset by vin\n"
    ".PARAM vin=0\n"
    "V1 1 0 DC 1\n"
    "V2 3 1 DC {vin}\n"
    "R1 3 2 2\n"
    "D1 2 0 DPWR\n"
    ".MODEL DPWR D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042 IKF=10 XTI=3 ISR=1E-10 NR=2 M=0.33 "
    "VJ=0.7 EG=1.11 TRS1=0.004)\n"
    ".DC V1 1 8 1\n"
    ".PROBE/CSDF V(2) I(D1)\n"
    ".END\n";

void WriteDiodeExample() {
  fs::copy_file(fs::path(ETHERM_EXAMPLES_DIR) / "diode_dc/diode_dc.par", "diode_dc.par");
  WriteBytes("diode_dc.cir", kDiodeCircuit);
}

TEST(SweepRun, SixDiodeCasesEqualTheirRunsAlone) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  WriteDiodeExample();
  // 21.85 °C is the 295 K the runs start from without the option.
  WriteBytes("cases.csv",
             "case,rth:DPWR,vin,ambient\n"
             "r20_v0,20,0,21.85\nr20_v1,20,1,21.85\nr20_v2,20,2,60\n"
             "r30_v0,30,0,21.85\nr30_v1,30,1,21.85\nr30_v2,30,2,60\n");
  const std::string sweep = Bin("etherm-sweep");
  ASSERT_EQ(Exec({sweep, "prepare", "cases.csv", "diode_dc"}), 0);
  ASSERT_EQ(Exec({sweep, "run", "--jobs", "2", "dc", "diode_dc"}), 0) << ReadBytes("stdout.txt");
  ASSERT_EQ(Exec({sweep, "gather", "diode_dc"}), 0);
  EXPECT_EQ(Lines(ReadBytes("sweep.csv"))[0],
            "case,rth:DPWR,vin,ambient,status,DPWR_peak_K,DPWR_at,DPWR_final_K,DPWR_peak_W,"
            "DPWR_mean_W,iterations,wall_s");
  const auto rows = SweepRows();
  ASSERT_EQ(rows.size(), 6u);
  for (const auto& [name, row] : rows) {
    SCOPED_TRACE(name);
    // The same case alone, in a folder of its own, as a user runs it.
    const fs::path alone = fs::path("alone") / name;
    fs::create_directories(alone);
    for (const char* ext : {".par", ".cir"}) {
      fs::copy_file("cases/" + name + "/diode_dc" + ext, alone / (std::string("diode_dc") + ext));
    }
    ASSERT_EQ(Exec({Bin("etherm-batch"), "dc", "--ambient", row[3], "diode_dc"}, alone), 0);
    const std::string summary = ReadBytes(alone / "stdout.txt");
    const std::vector<std::string> printed = SummaryCells(summary, "DPWR");
    ASSERT_EQ(printed.size(), 7u) << summary;
    ASSERT_EQ(row.size(), 12u);
    EXPECT_EQ(row[4], "ok");
    // The row at full precision, the summary as printed.
    EXPECT_EQ(Printed("%.2f", row[5]), printed[1]);
    EXPECT_EQ(Printed("%g", row[6]), printed[3]);
    EXPECT_EQ(Printed("%.2f", row[7]), printed[4]);
    EXPECT_EQ(Printed("%.4g", row[8]), printed[5]);
    EXPECT_EQ(Printed("%.4g", row[9]), printed[6]);
    EXPECT_NE(summary.find("\niterations      " + row[10] + "\n"), std::string::npos) << summary;
    EXPECT_GT(std::stod(row[11]), 0);
    EXPECT_EQ(ReadBytes("cases/" + name + "/diode_dc.csv"), ReadBytes(alone / "diode_dc.csv"));
    EXPECT_EQ(ReadBytes("cases/" + name + "/diode_dc.tem"), ReadBytes(alone / "diode_dc.tem"));
    // A sweep's cases draw no plots of their own.
    EXPECT_FALSE(fs::exists("cases/" + name + "/diode_dc.png"));
  }
  // Hotter with more resistance, more supply and a warmer ambient.
  EXPECT_LT(std::stod(rows.at("r20_v0")[5]), std::stod(rows.at("r20_v1")[5]));
  EXPECT_LT(std::stod(rows.at("r20_v1")[5]), std::stod(rows.at("r30_v1")[5]));
  EXPECT_GT(std::stod(rows.at("r20_v2")[5]), std::stod(rows.at("r20_v1")[5]) + 38);

  // Results removed: the second run runs that case alone.
  for (const char* ext : {".tem", ".wyn", ".moc", ".csv"})
    fs::remove(std::string("cases/r20_v1/diode_dc") + ext);
  ASSERT_EQ(LoggedCases().size(), 6u);
  ASSERT_EQ(Exec({sweep, "run", "--jobs", "2", "dc", "diode_dc"}), 0);
  const std::vector<std::string> logged = LoggedCases();
  ASSERT_EQ(logged.size(), 6u);
  EXPECT_EQ(logged.back(), "r20_v1");
  EXPECT_TRUE(fs::exists("cases/r20_v1/diode_dc.csv"));
  if (fs::exists("/usr/bin/gnuplot")) {
    EXPECT_TRUE(fs::exists("sweep.png"));
  }
}

// Stands in for etherm-batch: fails in the folder named "bad", else writes the files of a run of
// three rows. Its output line shows the environment and the words it was given.
constexpr const char* kFakeBatch =
    "#!/bin/sh\n"
    "echo \"out $OMP_NUM_THREADS $*\"\n"
    "echo err >&2\n"
    "for word; do base=$word; done\n"
    "x=V1_V; [ \"$1\" = tran ] && x=time_s\n"
    ": >\"$base.tem\"\n"
    "[ \"${PWD##*/}\" = bad ] && [ ! -e ../../fixed ] && exit 3\n"
    "printf \"$x,T_Q1_K,P_Q1_W\\n1,300,0.5\\n2,310.5,1\\n3,305,0.75\\n\" >\"$base.csv\"\n"
    "printf 'iteration,x,Tsim_Q1_K,Tmodel_Q1_K,max_deviation_K,sim_time_s\\n"
    "1,1,295,300,5,0.1\\n2,2,300,310.5,0.5,0.1\\n' >\"$base.iterations.csv\"\n";

constexpr const char* kOneDevicePar = "DC one device\n1\n1\n1\n4\nQ1 3 10.0 0\n2\n";
constexpr const char* kOneDeviceTransientPar =
    "TRAN one device\n1\n0.01\nQ1 3 0 10.0 0\n0\n0\n0\n1\n";

class FakeBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes("fake-batch", kFakeBatch);
    fs::permissions("fake-batch", fs::perms::owner_all);
    setenv("ETHERM_BATCH", fs::absolute("fake-batch").c_str(), 1);
    PrepareCases(kOneDevicePar);
  }
  static void PrepareCases(const char* problem,
                           const char* table = "case,rth:Q1\ngood1,10\nbad,20\ngood2,30\n") {
    fs::remove_all("cases");
    WriteBytes("dc.par", problem);
    WriteBytes("dc.cir", "c\n.END\n");
    WriteBytes("cases.csv", table);
    std::FILE* out = std::tmpfile();
    Prepare("cases.csv", "dc", out);
    std::fclose(out);
  }
  void TearDown() override { unsetenv("ETHERM_BATCH"); }

  ScratchFolder folder_{ScratchFolder::Enter::kYes};
};

TEST_F(FakeBatch, AFailedCaseStopsNoOtherAndRunsAgainAlone) {
  const std::string sweep = Bin("etherm-sweep");
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  EXPECT_EQ(ReadBytes("sweep.csv"),
            "case,rth:Q1,status,Q1_peak_K,Q1_at,Q1_final_K,Q1_peak_W,Q1_mean_W,iterations,wall_s\n"
            "good1,10,not run,,,,,,,\nbad,20,not run,,,,,,,\ngood2,30,not run,,,,,,,\n");

  EXPECT_EQ(Exec({sweep, "run", "--jobs", "2", "dc", "dc"}), 1);
  EXPECT_EQ(ReadBytes("cases/good2/etherm-batch.out"), "out 1 dc --no-plot dc\n");
  EXPECT_EQ(ReadBytes("cases/good2/etherm-batch.err"), "err\n");
  EXPECT_NE(ReadBytes("stdout.txt").find("2 of 3 cases ok\nfailed (see"), std::string::npos);
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  auto rows = SweepRows();
  EXPECT_EQ(rows.at("bad"), (std::vector<std::string>{"bad", "20", "failed (exit 3)", "", "", "",
                                                      "", "", "", rows.at("bad")[9]}));
  rows.at("good1").pop_back();  // wall time
  EXPECT_EQ(rows.at("good1"),
            (std::vector<std::string>{"good1", "10", "ok", "310.5", "2", "305", "1", "0.75", "2"}));

  // Mended, the failed case runs again and nothing else.
  WriteBytes("fixed", "");
  EXPECT_EQ(Exec({sweep, "run", "dc", "dc"}), 0);
  EXPECT_EQ(LoggedCases().back(), "bad");
  EXPECT_EQ(LoggedCases().size(), 4u);
  EXPECT_EQ(Exec({sweep, "run", "dc", "dc"}), 0);
  EXPECT_EQ(LoggedCases().size(), 4u);
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  EXPECT_EQ(SweepRows().at("bad")[2], "ok");
  // Logged as done, its results since removed or spoilt.
  fs::remove("cases/good2/dc.csv");
  WriteBytes("cases/good1/dc.csv", "V1_V,T_Q1_K,P_Q1_W\n1,300\n");
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  EXPECT_EQ(SweepRows().at("good2")[2], "ok (no results)");
  EXPECT_EQ(SweepRows().at("good1")[2], "ok (results unreadable)");
  EXPECT_NE(ReadBytes("stdout.txt")
                .find("case good1: \"cases/good1/dc.csv\", line 2: 2 fields under a header of 3"),
            std::string::npos)
      << ReadBytes("stdout.txt");
  // A case whose results were removed runs again, in place of its line in the log.
  EXPECT_EQ(Exec({sweep, "run", "dc", "dc"}), 0);
  EXPECT_EQ(LoggedCases().size(), 4u);
  EXPECT_EQ(LoggedCases().back(), "good2");
}

TEST_F(FakeBatch, GatherReadsPlainFilesOnly) {
  const std::string sweep = Bin("etherm-sweep");
  WriteBytes("fixed", "");
  ASSERT_EQ(Exec({sweep, "run", "dc", "dc"}), 0);
  // A FIFO blocked gather for ever; a link to /dev/zero filled the memory.
  fs::remove("cases/good1/dc.csv");
  ASSERT_EQ(mkfifo("cases/good1/dc.csv", 0600), 0);
  fs::remove("cases/good2/dc.csv");
  fs::create_symlink("/dev/zero", "cases/good2/dc.csv");
  // Its own table replaces a link left under its name; the link's target keeps its bytes.
  WriteBytes("precious.csv", "keep");
  fs::create_symlink(fs::absolute("precious.csv"), "sweep.csv");
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  EXPECT_EQ(ReadBytes("precious.csv"), "keep");
  EXPECT_FALSE(fs::is_symlink("sweep.csv"));
  const auto rows = SweepRows();
  EXPECT_EQ(rows.at("good1")[2], "ok (results unreadable)");
  EXPECT_EQ(rows.at("good2")[2], "ok (results unreadable)");
  EXPECT_EQ(rows.at("bad")[2], "ok");
  const std::string printed = ReadBytes("stdout.txt");
  for (const char* name : {"good1", "good2"}) {
    const std::string file = std::string("cases/") + name + "/dc.csv";
    EXPECT_NE(
        printed.find("case " + std::string(name) + ": \"" + file + "\" is not a regular file"),
        std::string::npos)
        << printed;
  }
}

TEST_F(FakeBatch, TransientMeanPowerIsWeightedByTime) {
  PrepareCases(kOneDeviceTransientPar);
  const std::string sweep = Bin("etherm-sweep");
  WriteBytes("fixed", "");
  ASSERT_EQ(Exec({sweep, "run", "tran", "dc"}), 0);
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  EXPECT_EQ(
      Lines(ReadBytes("sweep.csv"))[0],
      "case,rth:Q1,status,Q1_peak_K,Q1_at_s,Q1_final_K,Q1_peak_W,Q1_mean_W,iterations,wall_s");
  auto row = SweepRows().at("good1");
  row.pop_back();
  EXPECT_EQ(row, (std::vector<std::string>{"good1", "10", "ok", "310.5", "2", "305", "1", "0.8125",
                                           "2"}));
}

// The options a case's etherm-batch gets, however the case is started.
TEST_F(FakeBatch, CasesGetTheirAmbientAndPlotOnlyWhenAsked) {
  PrepareCases(kOneDevicePar, "case,ambient,rth:Q1\ngood1,-10,10\nbad,4e1,20\ngood2,85.5,30\n");
  WriteBytes("fixed", "");
  const std::string sweep = Bin("etherm-sweep");
  ASSERT_EQ(Exec({sweep, "run", "--plot", "dc", "dc"}), 0);
  EXPECT_EQ(ReadBytes("cases/good1/etherm-batch.out"), "out 1 dc --ambient -10 dc\n");
  EXPECT_EQ(ReadBytes("cases/bad/etherm-batch.out"), "out 1 dc --ambient 40 dc\n");
  ASSERT_EQ(Exec({sweep, "run-case", "tran", "dc", "good2"}), 0);
  EXPECT_EQ(ReadBytes("cases/good2/etherm-batch.out"), "out 1 tran --no-plot --ambient 85.5 dc\n");
  EXPECT_EQ(Exec({sweep, "run-case", "dc", "dc", "nosuch"}), 127);
  EXPECT_NE(ReadBytes("stderr.txt").find("case nosuch: no such case"), std::string::npos);

  std::FILE* out = std::tmpfile();
  WriteSlurmScript({AnalysisKind::kDc, "dc", 0, false}, out);
  std::fclose(out);
  const std::string script = ReadBytes("cases/sweep.sbatch");
  EXPECT_NE(script.find("ambient=(-10 40 85.5)\n"), std::string::npos) << script;
  setenv("SLURM_ARRAY_TASK_ID", "1", 1);
  Exec({"bash", "cases/sweep.sbatch"});
  unsetenv("SLURM_ARRAY_TASK_ID");
  EXPECT_EQ(ReadBytes("cases/bad/etherm-batch.out"), "out 1 dc --no-plot --ambient 40 dc\n");
}

TEST_F(FakeBatch, MissingHelperProgramsAreNamed) {
  const std::string path = std::getenv("PATH");
  fs::create_directory("empty");
  const std::string empty = fs::absolute("empty").string();
  setenv("PATH", empty.c_str(), 1);
  EXPECT_EQ(Exec({Bin("etherm-sweep"), "run", "dc", "dc"}), 1);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(ReadBytes("stderr.txt"),
            "etherm-sweep: GNU parallel is not installed (Debian package \"parallel\")\n");

  WriteBytes("fixed", "");
  ASSERT_EQ(Exec({Bin("etherm-sweep"), "run", "dc", "dc"}), 0);
  setenv("PATH", empty.c_str(), 1);
  const int gather = Exec({Bin("etherm-sweep"), "gather", "dc"});
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(gather, 0);
  EXPECT_EQ(ReadBytes("stdout.txt"),
            "sweep.csv: 3 cases, 3 ok\n"
            "plot skipped: gnuplot not found (Debian package gnuplot-nox)\n");
  EXPECT_FALSE(fs::exists("sweep.png"));
}

TEST_F(FakeBatch, SlurmScriptRunsEachTaskInItsFolder) {
  PrepareCases(kOneDeviceTransientPar);
  std::FILE* out = std::tmpfile();
  WriteSlurmScript({AnalysisKind::kTransient, "dc", 2, false}, out);
  std::fclose(out);
  const std::string script = ReadBytes("cases/sweep.sbatch");
  for (const std::string& line :
       {std::string("#SBATCH --array=0-2%2\n"), std::string("#SBATCH --cpus-per-task=1\n"),
        "#SBATCH --chdir=" + fs::current_path().string() + "\n",
        std::string("cases=(good1 bad good2)\n"),
        ShellQuoted(fs::absolute("fake-batch").string()) +
            " tran --no-plot dc </dev/null >etherm-batch.out 2>etherm-batch.err\n"}) {
    EXPECT_NE(script.find(line), std::string::npos) << line << " in\n" << script;
  }
  // Each task as Slurm would start it, numbered from 0.
  for (const char* task : {"0", "1", "2"}) {
    setenv("SLURM_ARRAY_TASK_ID", task, 1);
    Exec({"bash", "cases/sweep.sbatch"});
  }
  unsetenv("SLURM_ARRAY_TASK_ID");
  EXPECT_EQ(ReadBytes("cases/good1/etherm-batch.out"), "out 1 tran --no-plot dc\n");
  EXPECT_EQ(ReadBytes("cases/bad/etherm-batch.status").substr(0, 2), "3 ");
  ASSERT_EQ(Exec({Bin("etherm-sweep"), "gather", "dc"}), 0);
  const auto rows = SweepRows();
  EXPECT_EQ(rows.at("good2")[2], "ok");
  EXPECT_EQ(rows.at("good2")[3], "310.5");
  EXPECT_EQ(rows.at("bad")[2], "failed (exit 3)");
}

}  // namespace
}  // namespace etherm::sweep
