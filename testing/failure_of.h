#pragma once

#include <string>

#include "textio/failure.h"

namespace etherm::testing {

// The text of the Failure that f throws, or "no failure".
template <class F>
std::string FailureOf(F f) {
  try {
    f();
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "no failure";
}

}  // namespace etherm::testing
