#include "textio/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "textio/failure.h"

namespace etherm {

namespace {

[[noreturn]] void ThrowOpenError(int err, const std::string& name) {
  if (err == ELOOP) {
    throw Failure("The file \"" + name +
                  "\" is a link; it is not written through, remove the link or name another file");
  }
  std::string text = IoErrorText(err);
  if (!name.empty()) text += ": " + name;
  throw Failure(text);
}

// A name whose writing would reach another file: a symbolic link, or a regular file that has
// another name too.
bool IsLinked(const struct stat& s) {
  return S_ISLNK(s.st_mode) || (S_ISREG(s.st_mode) && s.st_nlink > 1);
}

int OpenOnce(const std::string& name, OutputOpening opening, int extraFlags) {
  const int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC | extraFlags |
                    (opening == OutputOpening::kAppend ? O_APPEND : O_CREAT | O_TRUNC);
  int fd;
  do {
    fd = ::open(name.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

int TryOpenOutputFile(const std::string& name, OutputOpening opening) {
  struct stat s {};
  const bool exists = ::lstat(name.c_str(), &s) == 0;
  if (opening == OutputOpening::kCreate && exists && IsLinked(s)) ::unlink(name.c_str());
  int fd = OpenOnce(name, opening, 0);
  if (fd < 0) return -1;
  struct stat opened {};
  if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_nlink > 1) {
    // A second name made between the check and the open.
    ::close(fd);
    if (opening == OutputOpening::kAppend) {
      errno = ELOOP;
      return -1;
    }
    ::unlink(name.c_str());
    fd = OpenOnce(name, opening, O_EXCL);
    if (fd < 0 && errno == EEXIST) errno = ELOOP;
  }
  return fd;
}

int OpenOutputFile(const std::string& name, OutputOpening opening) {
  const int fd = TryOpenOutputFile(name, opening);
  if (fd < 0) ThrowOpenError(errno, name);
  return fd;
}

std::FILE* OpenOutputStream(const std::string& name, OutputOpening opening) {
  const int fd = OpenOutputFile(name, opening);
  std::FILE* file = ::fdopen(fd, opening == OutputOpening::kAppend ? "ab" : "wb");
  if (file == nullptr) {
    const int err = errno;
    ::close(fd);
    ThrowOpenError(err, name);
  }
  return file;
}

namespace {

// Opens without blocking (a FIFO with no writer would wait for ever) and checks the kind and
// size of what was opened.
int OpenRegular(const std::string& name, std::uintmax_t maxBytes) {
  int fd;
  do {
    fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowOpenError(errno, name);
  struct stat s {};
  if (::fstat(fd, &s) != 0) {
    const int err = errno;
    ::close(fd);
    ThrowOpenError(err, name);
  }
  if (!S_ISREG(s.st_mode)) {
    ::close(fd);
    throw Failure("\"" + name + "\" is not a regular file");
  }
  if (static_cast<std::uintmax_t>(s.st_size) > maxBytes) {
    ::close(fd);
    throw Failure("\"" + name + "\" holds more than " + std::to_string(maxBytes) + " bytes");
  }
  return fd;
}

}  // namespace

void RequireRegularFile(const std::string& name, std::uintmax_t maxBytes) {
  ::close(OpenRegular(name, maxBytes));
}

std::string ReadRegularFile(const std::string& name, std::uintmax_t maxBytes) {
  const int fd = OpenRegular(name, maxBytes);
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      ThrowOpenError(err, name);
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
    // A file that grows while it is read is held to the same bound.
    if (bytes.size() > maxBytes) {
      ::close(fd);
      throw Failure("\"" + name + "\" holds more than " + std::to_string(maxBytes) + " bytes");
    }
  }
  ::close(fd);
  return bytes;
}

}  // namespace etherm
