#include "textio/text_file.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>

#include "textio/failure.h"
#include "textio/file_access.h"
#include "textio/number_text.h"

namespace etherm {

namespace {
constexpr char kEndOfFile = 26;
constexpr int kNotOpen = 103;
constexpr int kNotOpenForInput = 104;
constexpr int kNotOpenForOutput = 105;

bool IsLineEndByte(char c) {
  return c == '\r' || c == '\n';
}

// The failure of an operation on a named file: the cause first, as front ends match on it,
// then the file, so the user knows which of the many files of a run it was.
[[noreturn]] void ThrowFileError(int errnoValue, const std::string& name) {
  std::string text = IoErrorText(errnoValue);
  if (!name.empty()) text += ": " + name;
  throw Failure(text);
}
}  // namespace

TextFile::~TextFile() {
  try {
    Close();
  } catch (const Failure&) {
  }
}

void TextFile::OpenForReading(const std::string& name) {
  Close();
  name_ = name;
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) ThrowFileError(errno, name);
  data_.clear();
  char buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data_.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  const int err = errno;
  std::fclose(f);
  if (failed) ThrowFileError(err, name);
  pos_ = 0;
  const std::size_t ctrlZ = data_.find(kEndOfFile);
  end_ = ctrlZ == std::string::npos ? data_.size() : ctrlZ;
  firstLine_ = 1;
  mode_ = Mode::kReading;
}

void TextFile::OpenText(const std::string& name, std::string text, int firstLine) {
  Close();
  name_ = name;
  data_ = std::move(text);
  pos_ = 0;
  const std::size_t ctrlZ = data_.find(kEndOfFile);
  end_ = ctrlZ == std::string::npos ? data_.size() : ctrlZ;
  firstLine_ = firstLine;
  mode_ = Mode::kReading;
}

void TextFile::OpenInMemory(const std::string& name) {
  Close();
  name_ = name;
  out_.clear();
  inMemory_ = true;
  mode_ = Mode::kWriting;
}

std::string TextFile::TakeText() {
  std::string text = inMemory_ ? std::move(out_) : std::string();
  out_.clear();
  Close();
  return text;
}

void TextFile::OpenOutput(const std::string& name, OutputOpening opening, Mode mode) {
  Close();
  name_ = name;
  file_ = OpenOutputStream(name, opening);
  out_.clear();
  mode_ = mode;
}

void TextFile::OpenForWriting(const std::string& name) {
  OpenOutput(name, OutputOpening::kCreate, Mode::kWriting);
}

void TextFile::OpenForReplacing(const std::string& name) {
  std::remove(name.c_str());  // a missing file is fine; a failure to create shows next
  OpenForWriting(name);
}

void TextFile::OpenForAppending(const std::string& name) {
  // Appending needs an existing file, like opening for reading (the run log takes a line at a
  // time, so one call instead of an open and a close).
  if (::access(name.c_str(), R_OK) != 0) {
    const int err = errno;
    name_ = name;
    Close();
    ThrowFileError(err, name);
  }
  OpenOutput(name, OutputOpening::kAppend, Mode::kAppending);
}

void TextFile::Flush() {
  if ((mode_ != Mode::kWriting && mode_ != Mode::kAppending) || inMemory_) return;
  WriteOut();
  errno = 0;
  if (std::fflush(file_) != 0) ThrowFileError(errno != 0 ? errno : EIO, name_);
}

void TextFile::WriteOut() {
  if (out_.empty() || inMemory_) return;
  errno = 0;
  const std::size_t written = std::fwrite(out_.data(), 1, out_.size(), file_);
  if (written != out_.size()) {
    const int err = errno != 0 ? errno : EIO;
    out_.clear();
    ThrowFileError(err, name_);
  }
  out_.clear();
}

void TextFile::Close() {
  if (mode_ == Mode::kClosed) return;
  if (mode_ == Mode::kReading) {
    data_.clear();
    data_.shrink_to_fit();
    pos_ = end_ = 0;
    mode_ = Mode::kClosed;
    return;
  }
  mode_ = Mode::kClosed;
  if (inMemory_) {
    inMemory_ = false;
    out_.clear();
    return;
  }
  std::FILE* f = file_;
  file_ = nullptr;
  int err = 0;
  if (!out_.empty()) {
    errno = 0;
    if (std::fwrite(out_.data(), 1, out_.size(), f) != out_.size()) err = errno != 0 ? errno : EIO;
    out_.clear();
  }
  if (std::fclose(f) != 0 && err == 0) err = errno != 0 ? errno : EIO;
  if (err != 0) ThrowFileError(err, name_);
}

void TextFile::RequireReading() const {
  if (mode_ == Mode::kReading) return;
  ThrowIoError(mode_ == Mode::kClosed ? kNotOpen : kNotOpenForInput);
}

void TextFile::RequireWriting() const {
  if (mode_ == Mode::kWriting || mode_ == Mode::kAppending) return;
  ThrowIoError(mode_ == Mode::kClosed ? kNotOpen : kNotOpenForOutput);
}

void WriteText(TextFile& file, std::string_view text) {
  file.Put(text);
}

void WriteChar(TextFile& file, char c) {
  file.Put(std::string_view(&c, 1));
}

void WriteLineEnd(TextFile& file) {
  file.Put("\r\n");
}

void WriteInteger(TextFile& file, std::int32_t n) {
  file.Put(std::to_string(n));
}

void WriteReal(TextFile& file, double x) {
  WriteReal(file, x, 23);
}

void WriteReal(TextFile& file, double x, int w) {
  if (w > kMaxNumberWidth) {
    file.Put(FormatExponent(x, w));
    return;
  }
  char buf[kNumberBufferSize];
  char* end = FormatExponentTo(buf, x, w);
  file.Put(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

void WriteReal(TextFile& file, double x, int w, int d) {
  file.Put(FormatReal(x, w, d));
}

char ReadChar(TextFile& file) {
  file.RequireReading();
  if (file.position() >= file.end()) return kEndOfFile;
  const char c = file.data()[file.position()];
  file.Advance(1);
  return c;
}

std::string ReadString(TextFile& file, int n) {
  file.RequireReading();
  const char* p = file.data();
  std::size_t i = file.position();
  const std::size_t limit = std::min(file.end(), i + static_cast<std::size_t>(n < 0 ? 0 : n));
  const std::size_t start = i;
  while (i < limit && !IsLineEndByte(p[i])) ++i;
  file.Advance(i - start);
  return std::string(p + start, i - start);
}

void SkipLine(TextFile& file) {
  file.RequireReading();
  const char* p = file.data();
  std::size_t i = file.position();
  const std::size_t end = file.end();
  const std::size_t start = i;
  while (i < end && !IsLineEndByte(p[i])) ++i;
  if (i < end) {
    // CR LF is one line end; a CR or an LF alone is one too.
    if (p[i++] == '\r' && i < end && p[i] == '\n') ++i;
  }
  file.Advance(i - start);
}

bool AtEnd(TextFile& file) {
  file.RequireReading();
  return file.position() >= file.end();
}

bool AtEndOfTokens(TextFile& file) {
  file.RequireReading();
  const char* p = file.data();
  for (std::size_t i = file.position(); i < file.end(); ++i) {
    if (static_cast<unsigned char>(p[i]) > 32) return false;
  }
  return true;
}

namespace {
// Skips bytes of code 32 or less and takes the token that follows, at most maxLen bytes.
// Returns false at the end of the file.
bool TakeToken(TextFile& file, std::size_t maxLen, std::string_view* token) {
  file.RequireReading();
  const char* p = file.data();
  std::size_t i = file.position();
  const std::size_t end = file.end();
  const std::size_t start = i;
  while (i < end && static_cast<unsigned char>(p[i]) <= 32) ++i;
  if (i >= end) {
    file.Advance(i - start);
    return false;
  }
  const std::size_t tokenStart = i;
  const std::size_t limit = std::min(end, i + maxLen);
  while (i<limit&& static_cast<unsigned char>(p[i])> 32) ++i;
  file.Advance(i - start);
  *token = std::string_view(p + tokenStart, i - tokenStart);
  return true;
}

// The 1-based number of the line that holds the byte at offset, counting line ends as the
// reading operations do.
int LineNumberAt(const TextFile& file, std::size_t offset) {
  const char* p = file.data();
  int line = file.firstLine();
  for (std::size_t i = 0; i < offset; ++i) {
    if (p[i] == '\n' || (p[i] == '\r' && !(i + 1 < offset && p[i + 1] == '\n'))) ++line;
  }
  return line;
}

// The token has been consumed, as with any read; the text says which token of which file.
[[noreturn]] void ThrowInvalidNumber(const TextFile& file, std::string_view token) {
  const std::size_t tokenStart = static_cast<std::size_t>(token.data() - file.data());
  throw Failure("Invalid numeric input: \"" + std::string(token) + "\" in " + file.name() +
                ", line " + std::to_string(LineNumberAt(file, tokenStart)));
}
}  // namespace

std::int32_t ReadInteger(TextFile& file) {
  std::string_view token;
  if (!TakeToken(file, 32, &token)) return 0;
  const ParsedInteger parsed = ParseInteger(token);
  if (parsed.errorPosition != 0) ThrowInvalidNumber(file, token);
  return parsed.value;
}

double ReadReal(TextFile& file) {
  std::string_view token;
  if (!TakeToken(file, 64, &token)) return 0.0;
  double value;
  if (!ParseRealToken(token, &value)) ThrowInvalidNumber(file, token);
  return value;
}

long double ReadExtended(TextFile& file) {
  std::string_view token;
  if (!TakeToken(file, 64, &token)) return 0.0L;
  long double value;
  if (!ParseExtendedToken(token, &value)) ThrowInvalidNumber(file, token);
  return value;
}

}  // namespace etherm
