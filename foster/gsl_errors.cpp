#include "foster/gsl_errors.h"

#include <gsl/gsl_errno.h>

namespace etherm {

namespace {

thread_local std::string g_lastReason;

void RecordError(const char* reason, const char* /*file*/, int /*line*/, int /*gslErrno*/) {
  g_lastReason = reason != nullptr ? reason : "";
}

gsl_error_handler_t* g_previous = nullptr;

}  // namespace

GslErrorGuard::GslErrorGuard() {
  g_lastReason.clear();
  g_previous = gsl_set_error_handler(&RecordError);
}

GslErrorGuard::~GslErrorGuard() {
  gsl_set_error_handler(g_previous);
}

std::string GslErrorGuard::Reason() const {
  return g_lastReason.empty() ? "no reason given" : g_lastReason;
}

}  // namespace etherm
