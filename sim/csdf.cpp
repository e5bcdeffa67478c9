#include "csdf.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "number_text.h"
#include "sim_error.h"

namespace etherm::sim {

std::string CsdfText(const ProbeData& d) {
  const char* nl = "\r\n";
  std::string s;
  s.reserve(64 * d.x.size() * (d.names.size() + 1) + 1024);
  s += "#H";
  s += nl;
  s += "SOURCE='etherm-sim' VERSION='1'";
  s += nl;
  s += "TITLE='" + d.title + "'" + nl;
  s += "SUBTITLE=''";
  s += nl;
  s += "TIME='" + d.time + "' DATE='" + d.date + "' TEMPERATURE='27'" + nl;
  s += d.transient ? "ANALYSIS='Transient Analysis'" : "ANALYSIS='DC Sweep'";
  s += nl;
  s += "ALLVALUES='NO' COMPLEXVALUES='NO' NODES='" + std::to_string(d.names.size()) + "'" + nl;
  s += d.transient ? std::string("SWEEPVAR='Time'")
                   : "SWEEPVAR='" + d.sweepVariable + "' SWEEPMODE='VAR_STEP'";
  s += nl;
  std::string first = d.x.empty() ? "0" : ShortestText(d.x.front());
  std::string last = d.x.empty() ? "0" : ShortestText(d.x.back());
  s += "XBEGIN='" + first + "' XEND='" + last + "'" + nl;
  s += "FORMAT='0 VOLTSorAMPS;EFLOAT : NODEorBRANCH;NODE  '";
  s += nl;
  s += "DGTLDATA='NO'";
  s += nl;
  s += "#N";
  s += nl;
  for (size_t i = 0; i < d.names.size(); ++i) {
    if (i) s += ' ';
    s += "'" + d.names[i] + "'";
  }
  s += nl;
  const std::string count = std::to_string(d.names.size());
  for (size_t p = 0; p < d.x.size(); ++p) {
    s += "#C " + ShortestText(d.x[p]) + " " + count + nl;
    for (size_t q = 0; q < d.names.size(); ++q) {
      s += EfloatText(d.values[p][q]);
      s += ':';
      s += std::to_string(q + 1);
      s += "   ";
    }
    s += nl;
  }
  s += "#;";
  s += nl;
  return s;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
  std::string temporary = path + ".part";
  {
    // Created anew, never opened through a link someone left under that name.
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0644);
    if (fd < 0) throw SimError("cannot create " + temporary + ": " + std::strerror(errno));
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    bool written = true;
    while (left > 0) {
      const ssize_t n = ::write(fd, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        written = false;
        break;
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) written = false;
    if (!written) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw SimError("cannot write " + temporary + " (disk full?)");
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::string why = std::strerror(errno);
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw SimError("cannot rename " + temporary + " to " + path + ": " + why);
  }
}

void NowTexts(std::string& time, std::string& date) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  time = buf;
  std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", local.tm_mon + 1, local.tm_mday,
                local.tm_year % 100);
  date = buf;
}

}  // namespace etherm::sim
