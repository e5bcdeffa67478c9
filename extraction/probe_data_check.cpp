#include "extraction/probe_data_check.h"

#include <cstddef>
#include <string_view>

#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm {

namespace {

constexpr int kNamesLine = 13;
constexpr std::size_t kLongestNumber = 64;  // the longest token the table's readers take
constexpr std::size_t kQuotedBytes = 40;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Bytes as they can be shown in a failure text: stray bytes of a damaged file as \xNN.
std::string Shown(std::string_view bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size() && i < kQuotedBytes; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  if (bytes.size() > kQuotedBytes) text += "...";
  return "\"" + text + "\"";
}

std::string Plural(std::size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

class Checker {
 public:
  Checker(const TextFile& in, const std::string& name)
      : p_(in.data()), end_(in.end()), name_(name) {}

  void Run() {
    for (int line = 1; line < kNamesLine; ++line) {
      if (!SkipLine()) Refuse("the file ends before its quantity names (line 13)");
    }
    const std::size_t namesStart = i_;
    if (!SkipLine()) Refuse("the file ends before its quantity names (line 13)");
    const std::size_t names = CountWords(std::string_view(p_ + namesStart, i_ - namesStart));
    // Bytes before the first record header join the names line as they stand.
    for (; i_ < end_ && p_[i_] != '#'; ++i_) {
      if (p_[i_] == '\r') ++line_;
    }
    std::size_t records = 0;
    for (;;) {
      if (i_ >= end_) Refuse("the file ends before its end record \"#;\" (is it cut short?)");
      const std::size_t header = i_++;  // the '#'
      const std::size_t headerLine = line_;
      const char type = i_ < end_ ? p_[i_++] : '\r';
      if (type == ';') {
        EndRecord(records);
        return;
      }
      if (type == '\r' || type == '\n' || IsBlank(type)) {
        Refuse("a record header without its type byte: " + Shown(LineAt(header)));
      }
      while (i_ < end_ && IsBlank(p_[i_])) ++i_;
      const std::size_t x = i_;
      while (i_<end_&& static_cast<unsigned char>(p_[i_])> ' ') ++i_;
      double value = 0;
      if (!Number(std::string_view(p_ + x, i_ - x), &value)) {
        Refuse("a record header without a number after its type byte: " + Shown(LineAt(header)));
      }
      if (!SkipLine()) Refuse("the file ends in the record header " + Shown(LineAt(header)));
      const std::size_t values = RecordValues();
      if (values != names) {
        line_ = headerLine;
        Refuse("the record has " + Plural(values, "value") + " for the " +
               Plural(names, "quantity name") + " of line 13");
      }
      ++records;
    }
  }

 private:
  [[noreturn]] void Refuse(const std::string& what) const {
    throw Failure("Unreadable results file \"" + name_ + "\", line " + std::to_string(line_) +
                  ": " + what);
  }

  // Past the next CR and the LF after it, as the readers skip a line. False at the end.
  bool SkipLine() {
    while (i_ < end_ && p_[i_] != '\r') ++i_;
    if (i_ >= end_) return false;
    ++i_;
    ++line_;
    if (i_ < end_ && p_[i_] == '\n') ++i_;
    return true;
  }

  std::string_view LineAt(std::size_t from) const {
    std::size_t to = from;
    while (to < end_ && p_[to] != '\r' && p_[to] != '\n') ++to;
    return std::string_view(p_ + from, to - from);
  }

  static std::size_t CountWords(std::string_view line) {
    std::size_t words = 0;
    for (std::size_t k = 0; k < line.size(); ++k) {
      if (static_cast<unsigned char>(line[k]) > ' ' &&
          (k == 0 || static_cast<unsigned char>(line[k - 1]) <= ' ')) {
        ++words;
      }
    }
    return words;
  }

  static bool Number(std::string_view token, double* value) {
    return !token.empty() && token.size() <= kLongestNumber && ParseRealToken(token, value);
  }

  // The values of one record, up to the next '#': each a finite number, separated by blanks,
  // index suffixes ":digits " and CR LF line ends. Returns how many there are.
  std::size_t RecordValues() {
    std::size_t count = 0;
    while (i_ < end_ && p_[i_] != '#') {
      const char c = p_[i_];
      if (IsBlank(c)) {
        ++i_;
      } else if (c == '\r') {
        if (i_ + 1 >= end_ || p_[i_ + 1] != '\n') Refuse("a CR without the LF after it");
        i_ += 2;
        ++line_;
      } else if (c == '\n') {
        Refuse("a line end without its CR");
      } else if (c == ':') {
        const std::size_t suffix = i_++;
        while (i_ < end_ && p_[i_] != ' ' && p_[i_] != '\r' && p_[i_] != '\n') ++i_;
        if (i_ >= end_ || p_[i_] != ' ') {
          Refuse("the index " + Shown(std::string_view(p_ + suffix, i_ - suffix)) +
                 " has no blank after it on its line");
        }
        ++i_;
      } else {
        const std::size_t start = i_;
        while (i_ < end_ && !IsBlank(p_[i_]) && p_[i_] != '\r' && p_[i_] != '\n' && p_[i_] != ':' &&
               p_[i_] != '#') {
          ++i_;
        }
        const std::string_view token(p_ + start, i_ - start);
        double value = 0;
        if (!Number(token, &value)) Refuse(Shown(token) + " is not a number");
        ++count;
      }
    }
    return count;
  }

  void EndRecord(std::size_t records) {
    if (records == 0) Refuse("no results: the end record \"#;\" comes before any data record");
    SkipLine();
    for (; i_ < end_; ++i_) {
      if (p_[i_] == '\r') ++line_;
      if (static_cast<unsigned char>(p_[i_]) > ' ') {
        Refuse("text after the end record \"#;\": " + Shown(LineAt(i_)));
      }
    }
  }

  const char* p_;
  std::size_t end_;
  const std::string& name_;
  std::size_t i_ = 0;
  std::size_t line_ = 1;
};

}  // namespace

void CheckProbeData(const TextFile& in, const std::string& name) {
  Checker(in, name).Run();
}

}  // namespace etherm
