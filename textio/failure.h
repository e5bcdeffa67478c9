#pragma once

#include <stdexcept>
#include <string>

namespace etherm {

// The one failure of the system: an I/O error, an unreadable number, an arithmetic trap or a
// refused input. It carries the text the user is shown; the front ends catch it.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& text) : std::runtime_error(text) {}
};

// The text of an operating-system error code: "File not found", "Disk full", ... or
// "I/O error N" for codes without a text of their own.
std::string IoErrorText(int errnoValue);

// Throws the failure for an I/O error whose code is a run-time error number (103: file not
// open, 104: not open for input, 105: not open for output).
[[noreturn]] void ThrowIoError(int runtimeCode);

}  // namespace etherm
