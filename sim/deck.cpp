#include "deck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>

#include "sim_error.h"
#include "text_util.h"

namespace etherm::sim {

namespace {

constexpr int kMaxIncludeDepth = 16;

std::string MegabytesText(std::size_t bytes) {
  return std::to_string(bytes >> 20) + " MB";
}

std::string DisplayName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string Where(const std::string& file, bool mainFile, int lineNo) {
  return (mainFile ? std::string() : DisplayName(file) + " ") + "line " + std::to_string(lineNo);
}

// Drops a `;` comment (the usual inline comment of circuit files) outside quotes and braces.
std::string StripInlineComment(const std::string& line) {
  int braces = 0;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"' && braces == 0) quoted = !quoted;
    if (quoted) continue;
    if (c == '{') ++braces;
    if (c == '}' && braces > 0) --braces;
    if (c == ';' && braces == 0) return line.substr(0, i);
  }
  return line;
}

std::string Unquote(std::string s) {
  if (s.size() >= 2 &&
      ((s.front() == '"' && s.back() == '"') || (s.front() == '\'' && s.back() == '\'')))
    return s.substr(1, s.size() - 2);
  return s;
}

struct Loader {
  const FileReader& read;
  Deck deck;

  // Logical lines of one file's text: continuations joined, comments and blank lines dropped.
  std::vector<SourceLine> LogicalLines(const std::vector<std::string>& physical, size_t first,
                                       const std::string& file, bool mainFile) {
    std::vector<SourceLine> out;
    for (size_t i = first; i < physical.size(); ++i) {
      std::string text = StripInlineComment(physical[i]);
      std::string_view t = Trim(text);
      if (t.empty() || t[0] == '*') continue;
      if (t[0] == '+') {
        if (out.empty())
          throw SimError(Where(file, mainFile, static_cast<int>(i) + 1) +
                         ": a continuation line (\"+\") with no line before it to continue");
        out.back().text += ' ';
        out.back().text += Trim(t.substr(1));
        continue;
      }
      out.push_back({std::string(t), Where(file, mainFile, static_cast<int>(i) + 1)});
    }
    return out;
  }

  std::string Resolve(const std::string& name, const std::string& fromFile) {
    std::filesystem::path p(name);
    if (p.is_absolute()) return name;
    return (std::filesystem::path(fromFile).parent_path() / p).string();
  }

  std::vector<std::string> ReadFileLines(const std::string& path, const SourceLine& from) {
    std::optional<std::string> bytes;
    try {
      bytes = read(path);
    } catch (const UnfitFile& e) {
      throw SimError(from.where + ": the file " + DisplayName(path) + " named here " + e.what() +
                     " (" + path + ")");
    }
    if (!bytes)
      throw SimError(from.where + ": the file " + DisplayName(path) +
                     " named here cannot be read (" + path + ")");
    Count(bytes->size(), from.where + ": with " + DisplayName(path));
    return SplitPhysicalLines(*bytes);
  }

  // Adds a file's bytes to the circuit's; a file that includes itself again and again ends
  // here too.
  void Count(std::size_t bytes, const std::string& where) {
    total += bytes;
    if (total > kMaxCircuitBytes)
      throw SimError(where + ", the circuit holds more than " + MegabytesText(kMaxCircuitBytes) +
                     ", the most etherm-sim reads");
  }
  std::size_t total = 0;

  // Appends `lines` to the deck, reading includes in place. Returns false once .END is met.
  bool Append(const std::vector<SourceLine>& lines, const std::string& file, int depth) {
    for (const SourceLine& line : lines) {
      std::vector<std::string> words = SplitWords(line.text);
      if (words.empty()) continue;  // only separators, such as ",,"
      std::string key = ToLower(words[0]);
      if (key == ".end") return false;
      if (key == ".inc" || key == ".include") {
        if (words.size() < 2) throw SimError(line.where + ": .INCLUDE without a file name");
        Include(Resolve(Unquote(words[1]), file), std::nullopt, line, depth);
        continue;
      }
      if (key == ".lib" && words.size() >= 2) {
        std::string target = Resolve(Unquote(words[1]), file);
        std::optional<std::string> section;
        if (words.size() >= 3) section = words[2];
        Include(target, section, line, depth);
        continue;
      }
      deck.lines.push_back(line);
    }
    return true;
  }

  void Include(const std::string& path, const std::optional<std::string>& section,
               const SourceLine& from, int depth) {
    if (depth >= kMaxIncludeDepth)
      throw SimError(from.where + ": included files nest more than " +
                     std::to_string(kMaxIncludeDepth) + " deep (does a file include itself?)");
    std::vector<SourceLine> lines = LogicalLines(ReadFileLines(path, from), 0, path, false);
    if (section) {
      std::vector<SourceLine> picked;
      bool inside = false, found = false;
      for (const SourceLine& l : lines) {
        std::vector<std::string> w = SplitWords(l.text);
        std::string key = w.empty() ? std::string() : ToLower(w[0]);
        if (!inside && key == ".lib" && w.size() == 2 && EqualNoCase(w[1], *section)) {
          inside = found = true;
          continue;
        }
        if (inside && key == ".endl") break;
        if (inside) picked.push_back(l);
      }
      if (!found)
        throw SimError(from.where + ": the library " + DisplayName(path) + " has no section " +
                       *section);
      lines = std::move(picked);
    }
    // A library file read whole may still mark its sections; the markers are not circuit lines.
    std::vector<SourceLine> kept;
    for (const SourceLine& l : lines) {
      std::vector<std::string> w = SplitWords(l.text);
      std::string key = w.empty() ? std::string() : ToLower(w[0]);
      if (key == ".endl" || (key == ".lib" && w.size() == 1)) continue;
      kept.push_back(l);
    }
    Append(kept, path, depth + 1);
  }
};

}  // namespace

std::vector<std::string> SplitPhysicalLines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      continue;
    }
    line += c;
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

Deck LoadDeck(const std::string& path, const FileReader& read) {
  std::optional<std::string> bytes;
  try {
    bytes = read(path);
  } catch (const UnfitFile& e) {
    throw SimError("the circuit file " + path + " " + e.what());
  }
  if (!bytes) throw SimError("the circuit file " + path + " cannot be read (is it there?)");
  std::vector<std::string> physical = SplitPhysicalLines(*bytes);
  if (physical.empty()) throw SimError("the circuit file " + path + " is empty");
  Loader loader{read, {}};
  loader.Count(bytes->size(), "the circuit file " + path + ": with it");
  loader.deck.title = physical[0];
  loader.Append(loader.LogicalLines(physical, 1, path, true), path, 0);
  return std::move(loader.deck);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  // Not blocking: opening a FIFO would otherwise wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  if (S_ISDIR(info.st_mode)) throw UnfitFile("is a directory, not a file");
  if (!S_ISREG(info.st_mode)) throw UnfitFile("is not a regular file (a device, pipe or socket)");
  const std::string tooLarge =
      "holds more than " + MegabytesText(kMaxCircuitBytes) + ", the most etherm-sim reads";
  if (static_cast<std::uintmax_t>(info.st_size) > kMaxCircuitBytes) throw UnfitFile(tooLarge);
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t have = 0;
  // A file may grow while it is read; one byte beyond the bound tells.
  for (;;) {
    if (have == bytes.size()) bytes.resize(std::min(bytes.size() * 2 + 4096, kMaxCircuitBytes + 1));
    if (have == bytes.size()) throw UnfitFile(tooLarge);
    const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  bytes.resize(have);
  return bytes;
}

}  // namespace etherm::sim
