#pragma once

#include "textio/text_file.h"

namespace etherm {

// Copies the two header lines of a table, each cut to its first 120 characters.
inline void CopyHeaderLines(TextFile& in, TextFile& out) {
  for (int line = 0; line < 2; ++line) {
    WriteText(out, ReadString(in, 120));
    SkipLine(in);
    WriteLineEnd(out);
  }
}

}  // namespace etherm
