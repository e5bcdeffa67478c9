// The sweep's commands run as users run them: the etherm-sweep program on GNU parallel, with
// the real etherm-batch and etherm-sim, or with a stand-in batch program where only the
// bookkeeping is under test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
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

// The case names of the job log's lines, in their order.
std::vector<std::string> LoggedCases() {
  std::vector<std::string> names;
  const std::vector<std::string> lines = Lines(ReadBytes("cases/joblog"));
  for (std::size_t n = 1; n < lines.size(); ++n) {
    names.push_back(lines[n].substr(lines[n].rfind(' ') + 1));
  }
  return names;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
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
  WriteBytes("cases.csv",
             "case,rth:DPWR,vin\n"
             "r20_v0,20,0\nr20_v1,20,1\nr20_v2,20,2\n"
             "r30_v0,30,0\nr30_v1,30,1\nr30_v2,30,2\n");
  const std::string sweep = Bin("etherm-sweep");
  ASSERT_EQ(Exec({sweep, "prepare", "cases.csv", "diode_dc"}), 0);
  ASSERT_EQ(Exec({sweep, "run", "--jobs", "2", "dc", "diode_dc"}), 0) << ReadBytes("stdout.txt");
  ASSERT_EQ(Exec({sweep, "gather", "diode_dc"}), 0);
  EXPECT_EQ(Lines(ReadBytes("sweep.csv"))[0],
            "case,rth:DPWR,vin,status,DPWR_peak_K,DPWR_at,iterations,wall_s");
  const auto rows = SweepRows();
  ASSERT_EQ(rows.size(), 6u);
  for (const auto& [name, row] : rows) {
    SCOPED_TRACE(name);
    // The same case alone, in a folder of its own.
    const fs::path alone = fs::path("alone") / name;
    fs::create_directories(alone);
    for (const char* ext : {".par", ".cir"}) {
      fs::copy_file("cases/" + name + "/diode_dc" + ext, alone / (std::string("diode_dc") + ext));
    }
    ASSERT_EQ(Exec({Bin("etherm-batch"), "dc", "diode_dc"}, alone), 0);
    double peak = 0, at = 0;
    for (const auto& r : NumberRows(alone / "diode_dc.tem", 0)) {
      if (r[1] > peak) {
        peak = r[1];
        at = r[0];
      }
    }
    ASSERT_EQ(row.size(), 8u);
    EXPECT_EQ(row[3], "ok");
    EXPECT_EQ(std::stod(row[4]), peak);
    EXPECT_EQ(std::stod(row[5]), at);
    EXPECT_EQ(std::stoi(row[6]), Count(ReadBytes(alone / "wyniki.txt"), "startuj\xea"));
    EXPECT_GT(std::stod(row[7]), 0);
    EXPECT_EQ(ReadBytes("cases/" + name + "/diode_dc.tem"), ReadBytes(alone / "diode_dc.tem"));
  }
  // Hotter with more resistance and more supply.
  EXPECT_LT(std::stod(rows.at("r20_v0")[4]), std::stod(rows.at("r20_v2")[4]));
  EXPECT_LT(std::stod(rows.at("r20_v2")[4]), std::stod(rows.at("r30_v2")[4]));

  // Results removed: the second run runs that case alone.
  for (const char* ext : {".tem", ".wyn", ".moc"})
    fs::remove(std::string("cases/r20_v1/diode_dc") + ext);
  ASSERT_EQ(LoggedCases().size(), 6u);
  ASSERT_EQ(Exec({sweep, "run", "--jobs", "2", "dc", "diode_dc"}), 0);
  const std::vector<std::string> logged = LoggedCases();
  ASSERT_EQ(logged.size(), 6u);
  EXPECT_EQ(logged.back(), "r20_v1");
  EXPECT_TRUE(fs::exists("cases/r20_v1/diode_dc.tem"));
  if (fs::exists("/usr/bin/gnuplot")) {
    EXPECT_TRUE(fs::exists("sweep.png"));
  }
}

// Stands in for etherm-batch: fails in the folder named "bad", else writes a .tem of two rows.
constexpr const char* kFakeBatch =
    "#!/bin/sh\n"
    "echo \"out $OMP_NUM_THREADS $1 $2\"\n"
    "echo err >&2\n"
    ": >\"$2.tem\"\n"
    "[ \"$1\" = tran ] && printf 'TRAN title\\r\\n t Q1\\r\\n' >\"$2.tem\"\n"
    "[ \"${PWD##*/}\" = bad ] && [ ! -e ../../fixed ] && exit 3\n"
    "printf '1 300\\r\\n2 310.5\\r\\n3 305\\r\\n' >>\"$2.tem\"\n"
    "printf 'startuj\\352\\r\\ndc = 2\\r\\nstartuj\\352\\r\\n' >wyniki.txt\n";

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
  static void PrepareCases(const char* problem) {
    fs::remove_all("cases");
    WriteBytes("dc.par", problem);
    WriteBytes("dc.cir", "c\n.END\n");
    WriteBytes("cases.csv", "case,rth:Q1\ngood1,10\nbad,20\ngood2,30\n");
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
            "case,rth:Q1,status,Q1_peak_K,Q1_at,iterations,wall_s\n"
            "good1,10,not run,,,,\nbad,20,not run,,,,\ngood2,30,not run,,,,\n");

  EXPECT_EQ(Exec({sweep, "run", "--jobs", "2", "dc", "dc"}), 1);
  EXPECT_EQ(ReadBytes("cases/good2/etherm-batch.out"), "out 1 dc dc\n");
  EXPECT_EQ(ReadBytes("cases/good2/etherm-batch.err"), "err\n");
  EXPECT_NE(ReadBytes("stdout.txt").find("2 of 3 cases ok\nfailed (see"), std::string::npos);
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  auto rows = SweepRows();
  EXPECT_EQ(rows.at("bad"), (std::vector<std::string>{"bad", "20", "failed (exit 3)", "", "", "",
                                                      rows.at("bad")[6]}));
  rows.at("good1").pop_back();  // wall time
  EXPECT_EQ(rows.at("good1"), (std::vector<std::string>{"good1", "10", "ok", "310.5", "2", "2"}));

  // Mended, the failed case runs again and nothing else.
  WriteBytes("fixed", "");
  EXPECT_EQ(Exec({sweep, "run", "dc", "dc"}), 0);
  EXPECT_EQ(LoggedCases().back(), "bad");
  EXPECT_EQ(LoggedCases().size(), 4u);
  EXPECT_EQ(Exec({sweep, "run", "dc", "dc"}), 0);
  EXPECT_EQ(LoggedCases().size(), 4u);
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  EXPECT_EQ(SweepRows().at("bad")[2], "ok");
  // Logged as done, its results since removed.
  fs::remove("cases/good2/dc.tem");
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  EXPECT_EQ(SweepRows().at("good2")[2], "ok (no results)");
}

TEST_F(FakeBatch, TransientPeaksSkipTheHeaderLines) {
  PrepareCases(kOneDeviceTransientPar);
  const std::string sweep = Bin("etherm-sweep");
  WriteBytes("fixed", "");
  ASSERT_EQ(Exec({sweep, "run", "tran", "dc"}), 0);
  ASSERT_EQ(Exec({sweep, "gather", "dc"}), 0);
  EXPECT_EQ(Lines(ReadBytes("sweep.csv"))[0],
            "case,rth:Q1,status,Q1_peak_K,Q1_at_s,iterations,wall_s");
  auto row = SweepRows().at("good1");
  row.pop_back();
  EXPECT_EQ(row, (std::vector<std::string>{"good1", "10", "ok", "310.5", "2", "2"}));
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
            "sweep.csv: 3 cases, 3 ok\ngnuplot not found: sweep.png skipped\n");
  EXPECT_FALSE(fs::exists("sweep.png"));
}

TEST_F(FakeBatch, SlurmScriptRunsEachTaskInItsFolder) {
  std::FILE* out = std::tmpfile();
  WriteSlurmScript(Analysis::kTransient, "dc", 2, out);
  std::fclose(out);
  const std::string script = ReadBytes("cases/sweep.sbatch");
  for (const std::string& line :
       {std::string("#SBATCH --array=0-2%2\n"), std::string("#SBATCH --cpus-per-task=1\n"),
        "#SBATCH --chdir=" + fs::current_path().string() + "\n",
        std::string("cases=(good1 bad good2)\n"),
        "'" + fs::absolute("fake-batch").string() +
            "' tran 'dc' </dev/null >etherm-batch.out 2>etherm-batch.err\n"}) {
    EXPECT_NE(script.find(line), std::string::npos) << line << " in\n" << script;
  }
  // Each task as Slurm would start it, numbered from 0.
  for (const char* task : {"0", "1", "2"}) {
    setenv("SLURM_ARRAY_TASK_ID", task, 1);
    Exec({"bash", "cases/sweep.sbatch"});
  }
  unsetenv("SLURM_ARRAY_TASK_ID");
  EXPECT_EQ(ReadBytes("cases/good1/etherm-batch.out"), "out 1 tran dc\n");
  EXPECT_EQ(ReadBytes("cases/bad/etherm-batch.status").substr(0, 2), "3 ");
  ASSERT_EQ(Exec({Bin("etherm-sweep"), "gather", "dc"}), 0);
  const auto rows = SweepRows();
  EXPECT_EQ(rows.at("good2")[2], "ok");
  EXPECT_EQ(rows.at("good2")[3], "310.5");
  EXPECT_EQ(rows.at("bad")[2], "failed (exit 3)");
}

}  // namespace
}  // namespace etherm::sweep
