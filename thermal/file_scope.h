#pragma once

#include <initializer_list>
#include <vector>

#include "textio/failure.h"
#include "textio/text_file.h"

namespace etherm {

// Closes the files a routine opened when it leaves by a failure, so what was written before
// the failure reaches the disk at once. On the ordinary path Close() reports close errors.
class FileScope {
 public:
  FileScope(std::initializer_list<TextFile*> files) : files_(files) {}
  FileScope(const FileScope&) = delete;
  FileScope& operator=(const FileScope&) = delete;
  ~FileScope() {
    for (TextFile* f : files_) {
      try {
        f->Close();
      } catch (const Failure&) {
        // The failure that is already on its way matters more than this one.
      }
    }
  }
  void Close() {
    for (TextFile* f : files_) f->Close();
  }

 private:
  std::vector<TextFile*> files_;
};

// Copies the two header lines of a table, each cut to its first 120 characters.
inline void CopyHeaderLines(TextFile& in, TextFile& out) {
  for (int line = 0; line < 2; ++line) {
    WriteText(out, ReadString(in, 120));
    SkipLine(in);
    WriteLineEnd(out);
  }
}

}  // namespace etherm
