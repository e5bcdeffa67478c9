#include "textio/text_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "testing/failure_of.h"
#include "testing/scratch_folder.h"
#include "textio/failure.h"

namespace etherm {
namespace {

class TextFileTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) { return folder_.File(name); }
  std::string Make(const char* name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  testing::ScratchFolder folder_;
};

TEST_F(TextFileTest, WritesExactBytesAndAppends) {
  TextFile f;
  const std::string path = Path("out.txt");
  f.OpenForWriting(path);
  WriteText(f, "startuj\xEA");
  WriteLineEnd(f);
  WriteInteger(f, -7);
  WriteChar(f, ' ');
  WriteReal(f, 1.5);
  WriteReal(f, 300, 16);
  WriteReal(f, 1.5, 8, 3);
  f.Close();
  EXPECT_EQ(Contents(path), "startuj\xEA\r\n-7  1.50000000000000E+0000 3.0000000E+0002   1.500");
  f.OpenForAppending(path);
  WriteText(f, "x");
  WriteLineEnd(f);
  f.Close();
  EXPECT_EQ(Contents(path).substr(Contents(path).size() - 3), "x\r\n");
  // Writing empties an existing file.
  f.OpenForWriting(path);
  f.Close();
  EXPECT_EQ(Contents(path), "");
}

TEST_F(TextFileTest, WritesInMemoryBeyondTheFlushSizeWithoutTouchingTheFile) {
  const std::string path = Path("table.txt");
  TextFile f;
  f.OpenInMemory(path);
  const std::string line(1000, 'a');
  for (int i = 0; i < 100; ++i) WriteText(f, line);  // well past one buffer's flush
  WriteLineEnd(f);
  std::string copied;
  f.CopyWritesTo(&copied);
  WriteChar(f, 'z');
  f.CopyWritesTo(nullptr);
  const std::string text = f.TakeText();
  EXPECT_EQ(text.size(), 100u * 1000 + 3);
  EXPECT_EQ(text.substr(text.size() - 3), "\r\nz");
  EXPECT_EQ(copied, "z");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(f.mode(), TextFile::Mode::kClosed);
}

TEST_F(TextFileTest, LineReading) {
  TextFile f;
  f.OpenForReading(Make("lines.txt", std::string(150, 'a') + "\r\n\r\nb\nc\rd\r\n"));
  EXPECT_EQ(ReadString(f, 120), std::string(120, 'a'));
  SkipLine(f);  // drops the other 30 bytes and the line end
  EXPECT_EQ(ReadString(f, 200), "");
  SkipLine(f);
  EXPECT_EQ(ReadString(f, 200), "b");  // a lone LF ends a line
  SkipLine(f);
  EXPECT_EQ(ReadString(f, 200), "c");  // and so does a lone CR
  SkipLine(f);
  EXPECT_EQ(ReadChar(f), 'd');
  EXPECT_EQ(ReadChar(f), '\r');
  EXPECT_EQ(ReadChar(f), '\n');
  EXPECT_TRUE(AtEnd(f));
  EXPECT_EQ(ReadChar(f), 26);  // at the end, without moving
  EXPECT_EQ(ReadString(f, 10), "");
  SkipLine(f);
  EXPECT_TRUE(AtEnd(f));
}

TEST_F(TextFileTest, EndOfFileCases) {
  TextFile f;
  // Directly after the last CR LF the file is at its end.
  f.OpenForReading(Make("a.txt", "x\r\n"));
  SkipLine(f);
  EXPECT_TRUE(AtEnd(f));
  // An empty last line must be skipped first.
  f.OpenForReading(Make("b.txt", "x\r\n\r\n"));
  SkipLine(f);
  EXPECT_FALSE(AtEnd(f));
  SkipLine(f);
  EXPECT_TRUE(AtEnd(f));
  // Ctrl-Z ends the file; nothing after it is read.
  f.OpenForReading(Make("c.txt",
                        "1 2\x1A"
                        "3\r\n"));
  EXPECT_EQ(ReadInteger(f), 1);
  EXPECT_EQ(ReadInteger(f), 2);
  EXPECT_TRUE(AtEnd(f));
  EXPECT_EQ(ReadInteger(f), 0);
  EXPECT_EQ(ReadReal(f), 0.0);
  // Files from any editor have the same lines: LF only, CR LF, and a mix of both.
  for (const char* bytes : {"a\nb\n\nc\n", "a\r\nb\r\n\r\nc\r\n", "a\r\nb\n\r\nc"}) {
    f.OpenForReading(Make("d.txt", bytes));
    std::string lines;
    while (!AtEnd(f)) {
      lines += ReadString(f, 200) + "|";
      SkipLine(f);
    }
    EXPECT_EQ(lines, "a|b||c|") << bytes;
  }
}

TEST_F(TextFileTest, TokenReading) {
  TextFile f;
  f.OpenForReading(Make(
      "t.txt", "  1.5\t-2.5E-0003\r\n\r\n 7 .5 " + std::string(70, '9') + " 1.5e-3:2 12x\r\n2.0"));
  EXPECT_EQ(ReadReal(f), 1.5);
  EXPECT_EQ(ReadReal(f), -0.0025);
  EXPECT_EQ(ReadInteger(f), 7);  // across line ends
  EXPECT_EQ(ReadReal(f), 0.5);
  // A token longer than 64 bytes is read in pieces.
  EXPECT_EQ(ReadReal(f), std::stod(std::string(64, '9')));
  EXPECT_EQ(ReadReal(f), 999999.0);
  try {
    ReadReal(f);
    ADD_FAILURE() << "1.5e-3:2 was read";
  } catch (const Failure& e) {
    EXPECT_EQ(std::string(e.what()),
              "Invalid numeric input: \"1.5e-3:2\" in " + Path("t.txt") + ", line 3");
  }
  EXPECT_THROW(ReadInteger(f), Failure);  // 12x
  EXPECT_FALSE(AtEndOfTokens(f));
  EXPECT_EQ(ReadReal(f), 2.0);  // the last token has no line end
  EXPECT_TRUE(AtEnd(f));
  f.OpenForReading(Make("u.txt", "1 \r\n \t\r\n"));
  EXPECT_FALSE(AtEndOfTokens(f));
  ReadReal(f);
  EXPECT_TRUE(AtEndOfTokens(f));
  EXPECT_FALSE(AtEnd(f));
}

TEST_F(TextFileTest, UnreadableNumbersNameTokenFileAndLine) {
  // Line numbers count every kind of line end; the token is shown as it was taken.
  TextFile f;
  struct Case {
    const char* bytes;
    int good;  // numbers read before the bad one
    std::string token;
    int line;
  } cases[] = {
      {"x", 0, "x", 1},
      {"1\r\n2\r\n\r\n 25,0 3", 2, "25,0", 4},
      {"1\n2\n\n\t1.5.5\n", 2, "1.5.5", 4},
      {"1\r2\r\n3\n4 -e5", 4, "-e5", 4},
  };
  for (const auto& c : cases) {
    f.OpenForReading(Make("n.txt", c.bytes));
    for (int k = 0; k < c.good; ++k) ReadReal(f);
    try {
      ReadReal(f);
      ADD_FAILURE() << c.token << " was read";
    } catch (const Failure& e) {
      EXPECT_EQ(std::string(e.what()), "Invalid numeric input: \"" + c.token + "\" in " +
                                           Path("n.txt") + ", line " + std::to_string(c.line));
    }
  }
  f.OpenForReading(Make("i.txt", "7\n12x"));
  ReadInteger(f);
  try {
    ReadInteger(f);
    ADD_FAILURE() << "12x was read";
  } catch (const Failure& e) {
    EXPECT_EQ(std::string(e.what()),
              "Invalid numeric input: \"12x\" in " + Path("i.txt") + ", line 2");
  }
}

// A file's tail held in memory reads like the file, and names the file's own line numbers.
TEST_F(TextFileTest, TextInMemoryReadsAsTheFile) {
  TextFile f;
  f.OpenText("c.wyn", "\r\n 1.5 2\r\n 3 4x\r\n", 40);
  SkipLine(f);
  EXPECT_EQ(ReadReal(f), 1.5);
  EXPECT_EQ(ReadString(f, 200), " 2");
  SkipLine(f);
  EXPECT_EQ(ReadReal(f), 3);
  EXPECT_EQ(testing::FailureOf([&] { ReadReal(f); }),
            "Invalid numeric input: \"4x\" in c.wyn, line 42");
  // Reading a real file afterwards counts from line 1 again.
  f.OpenForReading(Make("n.txt", "\n\nx"));
  EXPECT_EQ(testing::FailureOf([&] { ReadReal(f); }),
            "Invalid numeric input: \"x\" in " + Path("n.txt") + ", line 3");
}

TEST_F(TextFileTest, ExtendedReadsRoundOnce) {
  TextFile f;
  f.OpenForReading(Make("x.txt", " 1.23456789012345E-0003\r\n0.1 -.\r\n5, "));
  EXPECT_EQ(ReadExtended(f), 1.23456789012345E-0003L);
  EXPECT_EQ(ReadExtended(f), 0.1L);  // not the double 0.1 widened
  EXPECT_NE(0.1L, static_cast<long double>(0.1));
  const long double negativeZero = ReadExtended(f);
  EXPECT_EQ(negativeZero, 0.0L);
  EXPECT_TRUE(std::signbit(negativeZero));
  EXPECT_THROW(ReadExtended(f), Failure);
  EXPECT_EQ(ReadExtended(f), 0.0L);  // at the end
}

TEST_F(TextFileTest, ExtendedReadingOfSignsAndALonePoint) {
  TextFile f;
  f.OpenForReading(Make("x.txt", " 1.00000000000000E-0001 -2.5E-3 +.1 . 7x"));
  // Not the double nearest 0.1 widened, but the long double nearest 0.1.
  ASSERT_NE(0.1L, static_cast<long double>(0.1));
  EXPECT_EQ(ReadExtended(f), 0.1L);
  EXPECT_EQ(ReadExtended(f), -2.5E-3L);
  EXPECT_EQ(ReadExtended(f), 0.1L);
  EXPECT_EQ(ReadExtended(f), 0.0L);
  EXPECT_THROW(ReadExtended(f), Failure);
  EXPECT_EQ(ReadExtended(f), 0.0L);  // the end of the file
}

TEST_F(TextFileTest, Failures) {
  TextFile f;
  struct Case {
    std::function<void()> operation;
    std::string text;
  } cases[] = {
      {[&] { f.OpenForReading(Path("missing.txt")); }, "File not found: " + Path("missing.txt")},
      {[&] { f.OpenForAppending(Path("missing.txt")); }, "File not found: " + Path("missing.txt")},
      {[&] { f.OpenForWriting(Path("no/such/dir/x.txt")); },
       "File not found: " + Path("no/such/dir/x.txt")},
      {[&] { f.OpenForWriting(""); }, "File not found"},
      {[&] { WriteText(f, "x"); }, "I/O error 103"},
      {[&] { ReadChar(f); }, "I/O error 103"},
      {[&] {
         f.OpenForReading(Make("r.txt", "x"));
         WriteText(f, "x");
       },
       "I/O error 105"},
      {[&] {
         f.OpenForWriting(Path("w.txt"));
         ReadReal(f);
       },
       "I/O error 104"},
  };
  for (auto& c : cases) {
    f.Close();
    try {
      c.operation();
      ADD_FAILURE() << "no failure, expected " << c.text;
    } catch (const Failure& e) {
      EXPECT_EQ(std::string(e.what()), c.text);
    }
  }
}

TEST_F(TextFileTest, FullDiskIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TextFile f;
  f.OpenForWriting("/dev/full");
  WriteText(f, "x");
  try {
    f.Close();
    ADD_FAILURE() << "closing on a full disk succeeded";
  } catch (const Failure& e) {
    EXPECT_STREQ(e.what(), "Disk full: /dev/full");
  }
}

}  // namespace
}  // namespace etherm
