#include "spice_text/words.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace etherm::spice {
namespace {

using Expected = std::vector<std::pair<std::string_view, std::size_t>>;

Expected Split(std::string_view line, const WordRules& rules) {
  Expected words;
  for (const Word& w : SplitWords(line, rules)) words.emplace_back(w.text, w.offset);
  return words;
}

TEST(Words, SplitsWithOffsets) {
  const struct {
    std::string_view line;
    WordRules rules;
    Expected words;
  } cases[] = {
      {"", kSpiceFields, {}},
      {"  \t ", kSpiceFields, {}},
      {"R1 1 0 10k", kBlankWords, {{"R1", 0}, {"1", 3}, {"0", 5}, {"10k", 7}}},
      {"  R1\t1   0 ", kBlankWords, {{"R1", 2}, {"1", 5}, {"0", 9}}},
      {"a,b c", kBlankWords, {{"a,b", 0}, {"c", 4}}},
      {"a,b c", kSpiceFields, {{"a", 0}, {"b", 2}, {"c", 4}}},
      {"V1 2 0 PULSE(0 5 1u)",
       kBlankWords,
       {{"V1", 0}, {"2", 3}, {"0", 5}, {"PULSE(0", 7}, {"5", 15}, {"1u)", 17}}},
      {"V1 2 0 PULSE(0 5 1u) ac 1",
       kSpiceFields,
       {{"V1", 0}, {"2", 3}, {"0", 5}, {"PULSE(0 5 1u)", 7}, {"ac", 21}, {"1", 24}}},
      {"R1 1 0 {a + b} tc=1",
       kSpiceFields,
       {{"R1", 0}, {"1", 3}, {"0", 5}, {"{a + b}", 7}, {"tc=1", 15}}},
      {"B1 1 0 v={f(a, b) + (c)}",
       kSpiceFields,
       {{"B1", 0}, {"1", 3}, {"0", 5}, {"v={f(a, b) + (c)}", 7}}},
      {".probe V(a, b) I(R1)", kSpiceFields, {{".probe", 0}, {"V(a, b)", 7}, {"I(R1)", 15}}},
      {".inc \"my lib.cir\" x", kSpiceFields, {{".inc", 0}, {"\"my lib.cir\"", 5}, {"x", 18}}},
      {"R1 1 0 'a + b'", kSpiceFields, {{"R1", 0}, {"1", 3}, {"0", 5}, {"'a + b'", 7}}},
      {"E1 1 0 {a ')' b} c",
       kSpiceFields,
       {{"E1", 0}, {"1", 3}, {"0", 5}, {"{a ')' b}", 7}, {"c", 17}}},
      // A group left open keeps the rest of the line, nothing is dropped.
      {"V1 1 0 PULSE(0 5", kSpiceFields, {{"V1", 0}, {"1", 3}, {"0", 5}, {"PULSE(0 5", 7}}},
      {"R1 1 0 {a b", kSpiceFields, {{"R1", 0}, {"1", 3}, {"0", 5}, {"{a b", 7}}},
      {"x) y", kSpiceFields, {{"x)", 0}, {"y", 3}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split(c.line, c.rules), c.words) << c.line;
}

TEST(Words, ReplacingOneWordKeepsEveryOtherByte) {
  std::string line = "L1  3\t4 10u   IC=0.1 ; carried";
  const std::vector<Word> words = SplitWords(line, kBlankWords);
  ASSERT_GE(words.size(), 4u);
  line.replace(words[3].offset, words[3].text.size(), "22u");
  EXPECT_EQ(line, "L1  3\t4 22u   IC=0.1 ; carried");
}

TEST(Words, FindsComments) {
  const struct {
    std::string_view line;
    std::size_t start;
  } cases[] = {
      {"R1 1 0 10k", 10},         {"R1 1 0 10k ; load", 11},
      {"R1 1 0 10k;load", 10},    {"R1 1 0 10k $ load", 11},
      {"R1 a$b 0 10k", 12},       {"R1 1 0 10k // load", 11},
      {".inc dir//file.cir", 18}, {".inc \"a;b.cir\" ; c", 15},
      {"B1 1 0 v={a ; b}", 16},   {"$ all", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CommentStart(c.line), c.start) << c.line;
}

TEST(Words, RecognisesCommentAndContinuationLines) {
  EXPECT_TRUE(IsCommentLine("* note"));
  EXPECT_TRUE(IsCommentLine("  *note"));
  EXPECT_FALSE(IsCommentLine("R1 1 0 1 * 2"));
  EXPECT_FALSE(IsCommentLine(""));
  EXPECT_TRUE(IsContinuationLine("+ IS=1"));
  EXPECT_TRUE(IsContinuationLine("\t+IS=1"));
  EXPECT_FALSE(IsContinuationLine("R1 + 0 1"));
}

}  // namespace
}  // namespace etherm::spice
