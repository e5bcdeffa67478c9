#pragma once
// The listing etherm-sim writes for a run: our own lines, the deck handed to ngspice and
// whatever ngspice prints.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace etherm::sim {

// The listing file. While ngspice runs, standard output and error point at it too, so nothing
// ngspice prints past its callbacks reaches the terminal. Our own lines wait in memory until the
// next call into ngspice (Flush), one write for many lines; ngspice's lines go out at once
// (Live), so a crash inside ngspice leaves the listing complete up to that point.
class Listing {
 public:
  explicit Listing(const std::string& path) {
    // A listing of the same name is removed, not truncated: ext4 writes a truncated file's
    // blocks out at once when it is closed, a disk write per run.
    ::unlink(path.c_str());
    // Created anew: never written through a link left under the listing's name.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  }
  // A listing held in memory, for a run that writes no file: an anonymous file, so that ngspice's
  // printing reaches it through standard output as it reaches a listing file.
  struct InMemory {};
  explicit Listing(InMemory) { fd_ = ::memfd_create("etherm-sim listing", MFD_CLOEXEC); }
  ~Listing() {
    Restore();
    Flush();
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void Line(const std::string& text) {
    if (record_) record_->push_back(text);
    pending_ += text;
    pending_ += '\n';
  }
  // Every line from now on is also added to `lines`; nullptr stops it.
  void Record(std::vector<std::string>* lines) { record_ = lines; }
  // How long the listing is now, written out (standard output and error share its offset while
  // captured); RewindTo takes it back to that length.
  off_t Mark() {
    Flush();
    std::fflush(stdout);
    std::fflush(stderr);
    return ::lseek(fd_, 0, SEEK_CUR);
  }
  // Everything listed so far.
  std::string Text() {
    const off_t size = Mark();
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    std::size_t have = 0;
    while (have < text.size()) {
      const ssize_t n =
          ::pread(fd_, text.data() + have, text.size() - have, static_cast<off_t>(have));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    text.resize(have);
    return text;
  }
  void RewindTo(off_t mark) {
    Flush();
    std::fflush(stdout);
    std::fflush(stderr);
    if (::ftruncate(fd_, mark) == 0) ::lseek(fd_, mark, SEEK_SET);
  }
  void Live(const std::string& text) {
    Line(text);
    Flush();
  }
  void Flush() {
    const char* p = pending_.data();
    size_t left = pending_.size();
    while (left > 0) {
      ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    pending_.clear();
  }
  void Capture() {
    Flush();
    std::fflush(stdout);
    std::fflush(stderr);
    savedOut_ = ::dup(1);
    savedErr_ = ::dup(2);
    ::dup2(fd_, 1);
    ::dup2(fd_, 2);
  }
  void Restore() {
    if (savedOut_ < 0) return;
    Flush();
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut_, 1);
    ::dup2(savedErr_, 2);
    ::close(savedOut_);
    ::close(savedErr_);
    savedOut_ = savedErr_ = -1;
  }

 private:
  int fd_ = -1, savedOut_ = -1, savedErr_ = -1;
  std::string pending_;
  std::vector<std::string>* record_ = nullptr;
};

// While it lives, the listing's lines are also added to `lines` (none when nullptr).
class Recording {
 public:
  Recording(Listing& listing, std::vector<std::string>* lines) : listing_(listing) {
    listing_.Record(lines);
  }
  ~Recording() { listing_.Record(nullptr); }
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

 private:
  Listing& listing_;
};

// The deck under a heading, its lines numbered.
void ListDeck(Listing& listing, const std::string& heading, const std::vector<std::string>& deck);

}  // namespace etherm::sim
