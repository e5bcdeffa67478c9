// The Slurm path for real: a one-node cluster (munged, slurmctld, slurmd) on this machine with
// its configuration and state in a scratch folder, running the job array etherm-sweep writes.
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
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testing/scratch_folder.h"

extern char** environ;

namespace etherm::sweep {
namespace {

namespace fs = std::filesystem;
using etherm::testing::ReadBytes;
using etherm::testing::ScratchFolder;
using etherm::testing::WriteBytes;

std::string Find(const std::string& program) {
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/sbin";
  std::istringstream dirs(path);
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const fs::path p = fs::path(dir) / program;
    if (!dir.empty() && access(p.c_str(), X_OK) == 0) return p.string();
  }
  return "";
}

int Exec(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "stdout.txt",
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  pid_t pid;
  const int err = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A one-node cluster in `dir`; the daemons are stopped (by the ids in their pid files) when it
// goes out of scope.
class LocalSlurm {
 public:
  // Why no cluster can be started here, or "" when one can.
  static std::string Missing() {
    if (geteuid() != 0) return "slurmd must run as root to start jobs";
    for (const char* p : {"munged", "slurmctld", "slurmd", "sbatch"}) {
      if (Find(p).empty()) return std::string(p) + " is not installed (slurm-wlm, munge)";
    }
    return "";
  }

  explicit LocalSlurm(const fs::path& dir) : dir_(dir) {
    fs::create_directories(dir / "state");
    fs::create_directories(dir / "spool");
    std::random_device random;
    std::string key;
    for (int i = 0; i < 1024; ++i) key += static_cast<char>(random() & 0xFF);
    WriteBytes(dir / "munge.key", key);
    fs::permissions(dir / "munge.key", fs::perms::owner_read | fs::perms::owner_write);
    const std::string d = dir.string();
    Exec({Find("munged"), "--force", "--key-file=" + d + "/munge.key",
          "--socket=" + d + "/munge.sock", "--pid-file=" + d + "/munged.pid",
          "--log-file=" + d + "/munged.log", "--seed-file=" + d + "/munge.seed"});
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const int port = 17000 + (getpid() % 500) * 2;
    std::ofstream(dir / "slurm.conf")
        << "ClusterName=ethermtest\nSlurmctldHost=" << host << "\nSlurmctldPort=" << port
        << "\nSlurmdPort=" << port + 1 << "\nAuthType=auth/munge\nAuthInfo=socket=" << d
        << "/munge.sock\nCredType=cred/munge\nSlurmUser=root\nSlurmdUser=root\n"
        << "StateSaveLocation=" << d << "/state\nSlurmdSpoolDir=" << d << "/spool\n"
        << "SlurmctldPidFile=" << d << "/slurmctld.pid\nSlurmdPidFile=" << d << "/slurmd.pid\n"
        << "SlurmctldLogFile=" << d << "/slurmctld.log\nSlurmdLogFile=" << d << "/slurmd.log\n"
        << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
        << "JobAcctGatherType=jobacct_gather/none\nAccountingStorageType=accounting_storage/none\n"
        << "SelectType=select/cons_tres\nSelectTypeParameters=CR_CPU\nMpiDefault=none\n"
        << "ReturnToService=2\nNodeName=" << host << " CPUs=2 State=UNKNOWN\n"
        << "PartitionName=test Nodes=" << host << " Default=YES MaxTime=10 State=UP\n";
    setenv("SLURM_CONF", (dir / "slurm.conf").c_str(), 1);
    Exec({Find("slurmctld"), "-f", d + "/slurm.conf"});
    Exec({Find("slurmd"), "-f", d + "/slurm.conf"});
  }

  ~LocalSlurm() {
    unsetenv("SLURM_CONF");
    for (const char* daemon : {"slurmd", "slurmctld", "munged"}) {
      std::ifstream in(dir_ / (std::string(daemon) + ".pid"));
      pid_t pid = 0;
      if (!(in >> pid) || pid <= 1) continue;
      kill(pid, SIGTERM);
      for (int i = 0; i < 100 && kill(pid, 0) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      if (kill(pid, 0) == 0) kill(pid, SIGKILL);
    }
  }

  std::string Logs() const {
    return ReadBytes(dir_ / "slurmctld.log") + ReadBytes(dir_ / "slurmd.log");
  }

 private:
  fs::path dir_;
};

TEST(Slurm, JobArrayOnALocalCluster) {
  if (const std::string missing = LocalSlurm::Missing(); !missing.empty()) {
    GTEST_SKIP() << "no local Slurm cluster: " << missing;
  }
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  fs::copy_file(fs::path(ETHERM_EXAMPLES_DIR) / "diode_dc/diode_dc.par", "diode_dc.par");
  fs::copy_file(fs::path(ETHERM_EXAMPLES_DIR) / "diode_dc/diode_dc.cir", "diode_dc.cir");
  WriteBytes("cases.csv", "case,rth:DPWR\nr10,10\nr40,40\n");
  const std::string sweep = std::string(std::getenv("ETHERM_BIN")) + "/etherm-sweep";
  ASSERT_EQ(Exec({sweep, "prepare", "cases.csv", "diode_dc"}), 0);
  ASSERT_EQ(Exec({sweep, "slurm", "dc", "diode_dc"}), 0);
  EXPECT_NE(ReadBytes("stdout.txt").find("  sbatch cases/sweep.sbatch\n"), std::string::npos);

  LocalSlurm slurm(folder.path() / "slurm");
  ASSERT_EQ(Exec({Find("sbatch"), "cases/sweep.sbatch"}), 0) << slurm.Logs();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(4);
  while (!(fs::exists("cases/r10/etherm-batch.status") &&
           fs::exists("cases/r40/etherm-batch.status"))) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the array did not finish\n"
                                                          << slurm.Logs();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  ASSERT_EQ(Exec({sweep, "gather", "diode_dc"}), 0);
  // case, rth, status, peak, where, final, peak and mean power, iterations, wall time
  std::istringstream csv(ReadBytes("sweep.csv"));
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(csv, line);) {
    std::istringstream in(line);
    rows.emplace_back();
    for (std::string cell; std::getline(in, cell, ',');) rows.back().push_back(cell);
  }
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_EQ(rows[1].size(), 10u);
  ASSERT_EQ(rows[2].size(), 10u);
  EXPECT_EQ(rows[1][2], "ok");
  EXPECT_EQ(rows[2][2], "ok");
  // More resistance, hotter.
  EXPECT_GT(std::stod(rows[2][3]), std::stod(rows[1][3]) + 10);
  EXPECT_TRUE(fs::exists("cases/r40/diode_dc.tem"));
}

}  // namespace
}  // namespace etherm::sweep
