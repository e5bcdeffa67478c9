#include "textio/failure.h"

#include <cerrno>

namespace etherm {

std::string IoErrorText(int errnoValue) {
  switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
      return "File not found";
    case EINVAL:
    case ENAMETOOLONG:
    case EISDIR:
      return "Invalid filename";
    case EMFILE:
    case ENFILE:
      return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS:
      return "File access denied";
    case ENOSPC:
    case EDQUOT:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(errnoValue);
  }
}

void ThrowIoError(int runtimeCode) {
  throw Failure("I/O error " + std::to_string(runtimeCode));
}

}  // namespace etherm
