#pragma once

// The tables of one DC iteration held in memory: what the DC driver computes when nobody keeps
// an iteration's files.

#include <string>

#include "model/problem.h"
#include "power/power_table.h"
#include "textio/text_file.h"

namespace etherm {

// Line 3 of a table as the DC driver copies it into the accumulated file: at most 200 bytes.
std::string ThirdLine(TextFile& table);

}  // namespace etherm
