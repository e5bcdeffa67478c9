#pragma once

#include <string>

namespace etherm::testing {

// Where two texts first part, for a failing comparison of a written file against its record:
// the line number and, around it, `context` lines of each side ("  " both, "- " recorded,
// "+ " written). Empty when the texts are equal. Lines end at '\n'; a '\r' is shown as "\r" so
// that a lost CR is visible.
std::string FirstDifference(const std::string& recorded, const std::string& written,
                            int context = 3);

}  // namespace etherm::testing
