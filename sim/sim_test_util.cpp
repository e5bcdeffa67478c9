#include "sim_test_util.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace etherm::sim::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::random_device rd;
  fs::path p = fs::temp_directory_path() /
               ("etherm_sim_" + std::to_string(rd()) + "_" + std::to_string(::getpid()));
  fs::create_directories(p);
  path_ = p.string();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void ScratchDir::Write(const std::string& name, const std::string& text) const {
  std::ofstream out(File(name), std::ios::binary);
  out << text;
}

bool ScratchDir::Exists(const std::string& name) const {
  return fs::exists(File(name));
}

std::string ScratchDir::Read(const std::string& name) const {
  std::ifstream in(File(name), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int RunEthermSim(const ScratchDir& dir, const std::string& circuit) {
  const char* bin = std::getenv("ETHERM_BIN");
  EXPECT_NE(bin, nullptr) << "ETHERM_BIN is not set";
  if (!bin) return -1;
  std::string command = "cd '" + dir.path() + "' && '" + std::string(bin) + "/etherm-sim' '" +
                        circuit + "' 2>/dev/null";
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
std::string Bin() {
  const char* bin = std::getenv("ETHERM_BIN");
  EXPECT_NE(bin, nullptr) << "ETHERM_BIN is not set";
  return bin ? bin : "/nonexistent";
}
}  // namespace

ProgramRun RunEthermSimProgram(const ScratchDir& dir, const std::vector<std::string>& args,
                               const std::string& environment) {
  std::string command = "cd '" + dir.path() + "' && " + environment + " '" + Bin() + "/etherm-sim'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " >stdout.txt 2>/dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, dir.Read("stdout.txt")};
}

pid_t StartOrphanedEthermSim(const ScratchDir& dir, const std::string& circuit) {
  const std::string script = "cd '" + dir.path() + "' && '" + Bin() + "/etherm-sim' '" + circuit +
                             "' 2>/dev/null & echo $! > '" + dir.File("sim.pid") + "'; wait";
  const pid_t shell = ::fork();
  if (shell == 0) {
    ::execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (shell < 0) return -1;
  // The listing is created after etherm-sim asked to end with its parent.
  const std::string listing = fs::path(circuit).replace_extension(".out").string();
  pid_t simulator = -1;
  for (int wait = 0; wait < 600 && simulator < 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!dir.Exists(listing)) continue;
    std::istringstream(dir.Read("sim.pid")) >> simulator;
  }
  ::kill(shell, SIGKILL);
  ::waitpid(shell, nullptr, 0);
  return simulator;
}

bool ProcessEnds(pid_t pid, int seconds) {
  for (int wait = 0; wait < seconds * 10; ++wait) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return true;
    const size_t close = text.rfind(')');
    if (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z') {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

std::vector<double> Csdf::Column(const std::string& name) const {
  for (size_t q = 0; q < names.size(); ++q)
    if (names[q] == name) {
      std::vector<double> c;
      for (const auto& row : values) c.push_back(row[q]);
      return c;
    }
  ADD_FAILURE() << "no quantity " << name << " in the probe data";
  return {};
}

Csdf ReadCsdf(const std::string& text) {
  Csdf d;
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (lines.size() < 13) {
    ADD_FAILURE() << "probe data shorter than its header";
    return d;
  }
  std::istringstream names(lines[12]);
  std::string n;
  while (names >> n) d.names.push_back(n.substr(1, n.size() - 2));
  for (size_t i = 13; i < lines.size(); ++i) {
    if (lines[i].rfind("#;", 0) == 0) break;
    if (lines[i].rfind("#C ", 0) != 0) continue;
    std::istringstream header(lines[i].substr(3));
    double x;
    header >> x;
    d.x.push_back(x);
    std::istringstream values(lines[++i]);
    std::vector<double> row;
    std::string v;
    while (values >> v) row.push_back(std::strtod(v.substr(0, v.find(':')).c_str(), nullptr));
    d.values.push_back(row);
  }
  return d;
}

std::map<std::string, std::vector<double>> RunNgspiceReference(const ScratchDir& dir,
                                                               const std::string& deck) {
  dir.Write("ref.cir", deck);
  std::string command = "cd '" + dir.path() + "' && ngspice -b ref.cir > ref.log 2>&1";
  // ngspice -b ends with status 1 after a .control block even when all went well; the written
  // data file is what counts.
  std::remove(dir.File("ref.txt").c_str());
  std::system(command.c_str());
  std::map<std::string, std::vector<double>> columns;
  std::istringstream in(dir.Read("ref.txt"));
  std::string header;
  std::getline(in, header);
  std::vector<std::string> names;
  std::istringstream h(header);
  std::string name;
  while (h >> name) names.push_back(name);
  std::string row;
  while (std::getline(in, row)) {
    std::istringstream r(row);
    for (const std::string& n : names) {
      double v;
      if (r >> v) columns[n].push_back(v);
    }
  }
  EXPECT_FALSE(names.empty()) << dir.Read("ref.log");
  return columns;
}

double At(const std::vector<double>& x, const std::vector<double>& y, double at) {
  if (at <= x.front()) return y.front();
  if (at >= x.back()) return y.back();
  size_t hi = 1;
  while (x[hi] < at) ++hi;
  double f = (at - x[hi - 1]) / (x[hi] - x[hi - 1]);
  return y[hi - 1] + f * (y[hi] - y[hi - 1]);
}

std::string WriterReal(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14E", value);
  std::string s = buf;
  size_t e = s.find('E');
  std::string digits = s.substr(e + 2);
  while (digits.size() < 4) digits.insert(digits.begin(), '0');
  s = s.substr(0, e + 2) + digits;
  while (s.size() < 23) s.insert(s.begin(), ' ');
  return s;
}

}  // namespace etherm::sim::test
