#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace etherm {

// Opening files so that nothing is ever written through a link, and reading files that must be
// plain files of bounded size.

enum class OutputOpening {
  kCreate,  // created, or emptied; a symbolic link or a file with a second (hard) link in its
            // place is removed first and a new file takes the name, the link's target untouched
  kAppend,  // an existing file, written after its last byte; a link in its place is refused
};

// Opens `name` for writing (O_CLOEXEC) as `opening` says and returns the descriptor. Never
// writes through a symbolic or hard link: the open itself refuses to follow one (O_NOFOLLOW),
// and a second name that appears between the checks and the open is caught afterwards. Other
// files (a device such as /dev/full) are opened as they are. Throws Failure with the cause
// first, then ": " and the name ("File access denied: x.wyn"); a link where an existing file
// is appended to is "... is a link; ..." naming it.
int OpenOutputFile(const std::string& name, OutputOpening opening);

// The same without the Failure: the descriptor, or -1 with errno set (ELOOP for a link where
// an existing file is appended to).
int TryOpenOutputFile(const std::string& name, OutputOpening opening);

// The same as a stdio stream ("wb" or "ab").
std::FILE* OpenOutputStream(const std::string& name, OutputOpening opening);

// Throws Failure unless `name` is a regular file (a symbolic link to one counts as one) of at
// most maxBytes: a FIFO, a device or a folder is "... is not a regular file", a larger file
// "... holds more than N bytes". Never blocks on a FIFO. A missing file is
// "File not found: NAME".
void RequireRegularFile(const std::string& name, std::uintmax_t maxBytes);

// The bytes of `name`, checked as RequireRegularFile does, from the same open file.
std::string ReadRegularFile(const std::string& name, std::uintmax_t maxBytes);

}  // namespace etherm
