#pragma once

#include <string>

namespace etherm {

// While it lives, GSL's errors are recorded instead of ending the program (GSL's own handler
// aborts, so a failed allocation of a large ladder killed etherm-foster with a core dump). The
// routines return their error codes and null pointers as usual; the caller checks them and
// throws its Failure with Reason() in it. Restores the earlier handler when it ends.
class GslErrorGuard {
 public:
  GslErrorGuard();
  ~GslErrorGuard();
  GslErrorGuard(const GslErrorGuard&) = delete;
  GslErrorGuard& operator=(const GslErrorGuard&) = delete;

  // GSL's text of the last error since the guard began ("failed to allocate space for block
  // data"), or "no reason given".
  std::string Reason() const;
};

}  // namespace etherm
