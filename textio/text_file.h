#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "textio/file_access.h"

namespace etherm {

// A text file of the system: a name bound to a handle that is closed or open for reading,
// writing or appending. Lines end in CR LF when written. When read, CR LF, a lone CR and a lone
// LF each end a line, so files from any editor read alike. A byte 26 (Ctrl-Z) is the end of the
// file. Every failure throws Failure with the text of the cause first ("File not found", "Disk
// full", "I/O error 103" for an operation on a closed file, ...), followed by ": " and the file
// name where the handle has one ("File not found: vd.par").
class TextFile {
 public:
  enum class Mode { kClosed, kReading, kWriting, kAppending };

  TextFile() = default;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  // Writes out what is buffered; a failure at that point can no longer be reported.
  ~TextFile();

  // Opening an open handle first closes it. Reading loads the file, positioned at its first
  // byte; writing creates or empties it; appending keeps it and writes after its last byte.
  // Nothing is written through a link (see OpenOutputFile): writing replaces a link by a new
  // file, appending refuses one.
  void OpenForReading(const std::string& name);
  void OpenForWriting(const std::string& name);
  // The same for a file written anew again and again (each iteration's circuit): an existing
  // file of that name is removed first rather than truncated, since ext4 writes a truncated
  // file's blocks out at once when it is closed (auto_da_alloc), a disk write per iteration.
  void OpenForReplacing(const std::string& name);
  void OpenForAppending(const std::string& name);
  // Reads `text` as the bytes of the file `name`, positioned at its first byte, without
  // touching the file: for a file's lines held in memory. Failure texts count text's first line
  // as line firstLine of the file.
  void OpenText(const std::string& name, std::string text, int firstLine = 1);
  // Writes to memory under the name `name` (for failure texts), never to a file: for a table
  // that only this process reads back. TakeText() then closes and returns what was written.
  void OpenInMemory(const std::string& name);
  std::string TakeText();
  // Writes out everything written so far and closes. Closing a closed handle does nothing.
  void Close();
  // Writes out everything written so far; the handle stays open. Nothing on a handle that is
  // not open for writing or appending.
  void Flush();

  Mode mode() const { return mode_; }
  const std::string& name() const { return name_; }

  // Raw access for the reading and writing operations below.
  void RequireReading() const;
  void RequireWriting() const;
  void Put(std::string_view bytes) {
    RequireWriting();
    out_.append(bytes);
    if (copy_ != nullptr) copy_->append(bytes);
    if (out_.size() >= kFlushSize) WriteOut();
  }
  // From now on every byte written is also appended to *copy (nothing when null), so a caller
  // sees exactly what the file gets without reading it back.
  void CopyWritesTo(std::string* copy) { copy_ = copy; }
  // Reading position over the loaded bytes; end() stops at the first Ctrl-Z.
  const char* data() const { return data_.data(); }
  std::size_t position() const { return pos_; }
  std::size_t end() const { return end_; }
  // The line number failure texts give the first line of the bytes read.
  int firstLine() const { return firstLine_; }
  void Advance(std::size_t n) { pos_ += n; }

 private:
  static constexpr std::size_t kFlushSize = 1 << 16;
  void OpenOutput(const std::string& name, OutputOpening opening, Mode mode);
  void WriteOut();

  Mode mode_ = Mode::kClosed;
  bool inMemory_ = false;
  std::string* copy_ = nullptr;
  std::string name_;
  std::string data_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  int firstLine_ = 1;
  std::FILE* file_ = nullptr;
  std::string out_;
};

// Writing (open for writing or appending).
void WriteText(TextFile& file, std::string_view text);
void WriteChar(TextFile& file, char c);
void WriteLineEnd(TextFile& file);
void WriteInteger(TextFile& file, std::int32_t n);
// Exponent form of width 23.
void WriteReal(TextFile& file, double x);
// Exponent form of width w.
void WriteReal(TextFile& file, double x, int w);
// Fixed form of width w with d decimals.
void WriteReal(TextFile& file, double x, int w, int d);

// Reading (open for reading). None of these is an error at the end of the file.
// The next byte, whatever it is; byte 26 at the end, without moving.
char ReadChar(TextFile& file);
// Up to n bytes of the current line, stopping before a line end or the end of the file; the
// line end stays unread.
std::string ReadString(TextFile& file, int n);
// Consumes up to and including the next line end (CR LF, CR or LF).
void SkipLine(TextFile& file);
// True when the next byte is the end of the file.
bool AtEnd(TextFile& file);
// True when nothing but bytes of code 32 or less remain, so a number read would only give the
// 0 of the end of the file. Consumes nothing.
bool AtEndOfTokens(TextFile& file);
// Skips bytes of code 32 or less (across lines), then takes at most 32 (integers) or 64
// (reals) bytes above 32. 0 at the end of the file. Any other text is the failure
// "Invalid numeric input: "25,0" in vd.par, line 6" (the token, the file, the token's line).
std::int32_t ReadInteger(TextFile& file);
double ReadReal(TextFile& file);
// As ReadReal, rounded once to the extended format instead of to a double.
long double ReadExtended(TextFile& file);

}  // namespace etherm
