#pragma once
// The circuit file as logical lines: continuation lines joined, comments dropped, included files
// and library sections read in place, everything after .END left out. Each line remembers where
// it came from, so a failure can name it the way the designer sees the file.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim_error.h"

namespace etherm::sim {

struct SourceLine {
  std::string text;
  std::string where;  // "line 12", or "models.lib line 3" for an included file
};

struct Deck {
  std::string title;
  std::vector<SourceLine> lines;
};

// Splits bytes at CR LF, LF or CR.
std::vector<std::string> SplitPhysicalLines(std::string_view bytes);

// The most bytes a circuit may hold with all the files it includes. Real circuits and model
// libraries stay far below it; it stops a runaway file from taking the machine's memory.
inline constexpr std::size_t kMaxCircuitBytes = std::size_t{64} << 20;

// A file that is there but cannot be circuit text: not a regular file, or larger than
// kMaxCircuitBytes. The text says which ("is a directory, not a file").
class UnfitFile : public SimError {
 public:
  using SimError::SimError;
};

// Reads a file whole; nothing when it cannot be opened. May throw UnfitFile.
using FileReader = std::function<std::optional<std::string>(const std::string& path)>;

// The circuit file `path`. .INC/.INCLUDE read a file in place; .LIB "file" section reads that
// section (.LIB section ... .ENDL) of the file; .LIB "file" alone reads the whole file. Relative
// names are taken from the folder of the file that names them. Refuses (SimError) files that
// are not regular files and a circuit whose files together hold more than kMaxCircuitBytes.
Deck LoadDeck(const std::string& path, const FileReader& read);

// The reader of the real file system: only regular files, of at most kMaxCircuitBytes.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace etherm::sim
