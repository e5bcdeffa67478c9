#include "extraction/result_extraction.h"

#include <utility>

#include <array>
#include <string_view>

#include "extraction/probe_data_check.h"
#include "textio/checked_arithmetic.h"
#include "textio/text_file.h"

namespace etherm {

namespace {

constexpr int kCopiedBytes = 120;

// Title (line 3) and names (line 13) of the probe data; the names line stays open so the bytes
// before the first record header join it.
void CopyHeaderLines(TextFile& in, TextFile& out, std::string_view word) {
  SkipLine(in);
  SkipLine(in);
  const std::string title = ReadString(in, kCopiedBytes);
  SkipLine(in);
  WriteText(out, title);
  WriteLineEnd(out);
  for (int line = 4; line <= 12; ++line) SkipLine(in);
  const std::string names = ReadString(in, kCopiedBytes);
  SkipLine(in);
  WriteText(out, word);
  WriteText(out, names);
}

enum class ValuesEnd { kRecordHeader, kSemicolon, kFileEnd };

using ByteSet = std::array<bool, 256>;

constexpr ByteSet MakeByteSet(std::string_view bytes) {
  ByteSet set{};
  for (char c : bytes) set[static_cast<unsigned char>(c)] = true;
  return set;
}

constexpr ByteSet kDcStopBytes = MakeByteSet("#:\r;");
constexpr ByteSet kTransientStopBytes = MakeByteSet("#:\r");

// Copies value bytes up to the next record header (its '#' consumed) or the end of the file:
// an index suffix up to and including its blank becomes one blank, a CR and the byte after it
// vanish. With semicolonEnds (DC) a ';' ends the copy: copied when it stands among the values,
// dropped when it is the byte after a CR. Runs of ordinary bytes are written whole, which keeps
// the byte-by-byte rules without paying for them per byte.
ValuesEnd CopyValues(TextFile& in, TextFile& out, bool semicolonEnds) {
  in.RequireReading();
  const ByteSet& stops = semicolonEnds ? kDcStopBytes : kTransientStopBytes;
  const char* p = in.data();
  const std::size_t start = in.position();
  const std::size_t end = in.end();
  std::size_t i = start;
  ValuesEnd result = ValuesEnd::kFileEnd;
  while (true) {
    const std::size_t run = i;
    while (i < end && !stops[static_cast<unsigned char>(p[i])]) ++i;
    if (i > run) WriteText(out, std::string_view(p + run, i - run));
    if (i >= end) break;
    const char c = p[i++];
    if (c == '#') {
      result = ValuesEnd::kRecordHeader;
      break;
    }
    if (c == ';') {
      WriteChar(out, ';');
      result = ValuesEnd::kSemicolon;
      break;
    }
    if (c == ':') {
      while (i < end && p[i] != ' ') ++i;
      if (i < end) ++i;
      WriteChar(out, ' ');
    } else if (i < end) {  // c is CR: the LF (or whatever byte follows) is dropped
      const char dropped = p[i++];
      if (semicolonEnds && dropped == ';') {
        result = ValuesEnd::kSemicolon;
        break;
      }
    }
  }
  in.Advance(i - start);
  return result;
}

}  // namespace

namespace {

void WriteDcTable(TextFile& in, const std::string& probeDataName, TextFile& out) {
  CheckProbeData(in, probeDataName);
  CopyHeaderLines(in, out, "dc ");
  while (CopyValues(in, out, true) == ValuesEnd::kRecordHeader) {
    WriteLineEnd(out);
    const char type = ReadChar(in);
    const double sweepValue = ReadReal(in);
    SkipLine(in);
    if (type == ';') break;
    WriteReal(out, sweepValue);
    WriteChar(out, ' ');
  }
}

}  // namespace

void ExtractDcResults(const std::string& probeDataName, const std::string& tableName) {
  TextFile in;
  TextFile out;
  in.OpenForReading(probeDataName);
  out.OpenForWriting(tableName);
  WriteDcTable(in, probeDataName, out);
  in.Close();
  out.Close();
}

std::string ExtractDcTableFromText(const std::string& probeDataName, std::string probeData,
                                   const std::string& tableName) {
  TextFile in;
  in.OpenText(probeDataName, std::move(probeData));
  TextFile out;
  out.OpenInMemory(tableName);
  WriteDcTable(in, probeDataName, out);
  return out.TakeText();
}

namespace {

void WriteTransientTable(TextFile& in, const std::string& probeDataName, TextFile& out,
                         double offset, double windowEnd) {
  CheckProbeData(in, probeDataName);
  CopyHeaderLines(in, out, "time ");
  const double limit = checked::Mul(1.02, windowEnd);
  double time = offset;
  while (time <= limit && CopyValues(in, out, false) == ValuesEnd::kRecordHeader) {
    WriteLineEnd(out);
    const char type = ReadChar(in);
    const double recordTime = ReadReal(in);
    SkipLine(in);
    time = checked::Add(recordTime, offset);
    if (type != ';' && time <= limit) {
      WriteReal(out, time);
      WriteChar(out, ' ');
    }
  }
  in.Close();
}

void WriteTransientTable(const std::string& probeDataName, TextFile& out, double offset,
                         double windowEnd) {
  TextFile in;
  in.OpenForReading(probeDataName);
  WriteTransientTable(in, probeDataName, out, offset, windowEnd);
}

}  // namespace

void ExtractTransientResults(const std::string& probeDataName, const std::string& tableName,
                             double offset, double windowEnd) {
  TextFile out;
  out.OpenForWriting(tableName);
  WriteTransientTable(probeDataName, out, offset, windowEnd);
  out.Close();
}

std::string ExtractTransientTable(const std::string& probeDataName, const std::string& tableName,
                                  double offset, double windowEnd) {
  TextFile out;
  out.OpenInMemory(tableName);
  WriteTransientTable(probeDataName, out, offset, windowEnd);
  return out.TakeText();
}

std::string ExtractTransientTableFromText(const std::string& probeDataName,
                                          std::string probeData, const std::string& tableName,
                                          double offset, double windowEnd) {
  TextFile in;
  in.OpenText(probeDataName, std::move(probeData));
  TextFile out;
  out.OpenInMemory(tableName);
  WriteTransientTable(in, probeDataName, out, offset, windowEnd);
  return out.TakeText();
}

}  // namespace etherm
