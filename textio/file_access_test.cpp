#include "textio/file_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "testing/failure_of.h"
#include "testing/scratch_folder.h"
#include "textio/text_file.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;
using testing::FailureOf;
using testing::ReadBytes;
using testing::WriteBytes;

// Each kind of link in the place of an output: writing anew replaces the link by a file of its
// own, appending refuses; the link's target keeps its bytes either way.
TEST(FileAccess, NothingIsWrittenThroughALink) {
  testing::ScratchFolder folder;
  const std::string target = folder.File("precious.txt");
  const std::string out = folder.File("out.txt");
  enum class Link { kSymbolic, kHard, kDangling };
  struct Case {
    Link link;
    OutputOpening opening;
  } cases[] = {
      {Link::kSymbolic, OutputOpening::kCreate}, {Link::kHard, OutputOpening::kCreate},
      {Link::kDangling, OutputOpening::kCreate}, {Link::kSymbolic, OutputOpening::kAppend},
      {Link::kHard, OutputOpening::kAppend},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.link) * 10 + static_cast<int>(c.opening));
    fs::remove(out);
    fs::remove(target);
    WriteBytes(target, "keep");
    switch (c.link) {
      case Link::kSymbolic:
        fs::create_symlink(target, out);
        break;
      case Link::kHard:
        fs::create_hard_link(target, out);
        break;
      case Link::kDangling:
        fs::create_symlink(folder.File("nowhere/made.txt"), out);
        break;
    }
    TextFile file;
    if (c.opening == OutputOpening::kCreate) {
      file.OpenForWriting(out);
      WriteText(file, "new");
      file.Close();
      EXPECT_FALSE(fs::is_symlink(out));
      EXPECT_EQ(fs::hard_link_count(out), 1u);
      EXPECT_EQ(ReadBytes(out), "new");
    } else {
      EXPECT_EQ(FailureOf([&] { file.OpenForAppending(out); }),
                "The file \"" + out +
                    "\" is a link; it is not written through, remove the link or name another "
                    "file");
    }
    EXPECT_EQ(ReadBytes(target), "keep");
    EXPECT_FALSE(fs::exists(folder.File("nowhere")));
  }
  // A plain file is emptied and appended to in place, as before.
  fs::remove(out);
  WriteBytes(out, "a");
  TextFile file;
  file.OpenForAppending(out);
  WriteText(file, "b");
  file.Close();
  EXPECT_EQ(ReadBytes(out), "ab");
  std::FILE* stream = OpenOutputStream(out, OutputOpening::kCreate);
  std::fputs("c", stream);
  std::fclose(stream);
  EXPECT_EQ(ReadBytes(out), "c");
}

TEST(FileAccess, RegularFilesOnlyWithinTheirBound) {
  testing::ScratchFolder folder;
  const std::string plain = folder.File("plain.csv");
  WriteBytes(plain, "12345");
  const std::string fifo = folder.File("fifo.csv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string toZero = folder.File("zero.csv");
  fs::create_symlink("/dev/zero", toZero);
  const std::string toPlain = folder.File("link.csv");
  fs::create_symlink(plain, toPlain);

  EXPECT_EQ(ReadRegularFile(plain, 5), "12345");
  EXPECT_EQ(ReadRegularFile(toPlain, 5), "12345");  // a link to a plain file is one
  struct Case {
    std::string name;
    std::uintmax_t bound;
    std::string failure;
  } cases[] = {
      {plain, 4, "\"" + plain + "\" holds more than 4 bytes"},
      {fifo, 100, "\"" + fifo + "\" is not a regular file"},
      {toZero, 100, "\"" + toZero + "\" is not a regular file"},
      {folder.path().string(), 100, "\"" + folder.path().string() + "\" is not a regular file"},
      {folder.File("missing.csv"), 100, "File not found: " + folder.File("missing.csv")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FailureOf([&] { ReadRegularFile(c.name, c.bound); }), c.failure);
    EXPECT_EQ(FailureOf([&] { RequireRegularFile(c.name, c.bound); }), c.failure);
  }
}

}  // namespace
}  // namespace etherm
