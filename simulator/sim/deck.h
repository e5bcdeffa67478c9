#pragma once
// The circuit file as logical lines: continuation lines joined, comments dropped, included files
// and library sections read in place, everything after .END left out. Each line remembers where
// it came from, so a failure can name it the way the designer sees the file.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Reads a file whole; nothing when it cannot be opened.
using FileReader = std::function<std::optional<std::string>(const std::string& path)>;

// The circuit file `path`. .INC/.INCLUDE read a file in place; .LIB "file" section reads that
// section (.LIB section ... .ENDL) of the file; .LIB "file" alone reads the whole file. Relative
// names are taken from the folder of the file that names them.
Deck LoadDeck(const std::string& path, const FileReader& read);

// The reader of the real file system.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace etherm::sim
