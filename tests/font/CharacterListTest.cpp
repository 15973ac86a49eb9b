#include "font/CharacterList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FontTestFiles.h"

namespace fw {
namespace {

using testing::Utf16Le;

struct Parsed {
  CharacterListResult result;
  std::vector<std::string> entries;  // each 32 bytes
};

Parsed Parse(std::u16string_view text, size_t capacityEntries = 9600) {
  std::vector<uint8_t> data = Utf16Le(text);
  std::vector<uint8_t> scratch(capacityEntries * 32 + 32, 0xEE);
  Parsed p;
  p.result = ReadCharacterList(data.data(), data.size(), scratch.data(), capacityEntries * 32);
  for (int k = 0; k < p.result.entryCount; ++k) {
    p.entries.emplace_back(reinterpret_cast<const char*>(&scratch[32 * k]), 32);
  }
  // Nothing is written past the scratch area.
  EXPECT_EQ(scratch[capacityEntries * 32], 0xEE);
  return p;
}

std::string Padded(std::string s) {
  s.resize(32, '\0');
  return s;
}

TEST(CharacterList, LinesEndAtLfCrOrCrLf) {
  const Parsed p = Parse(u"中A\nB\r\nC\rD");
  ASSERT_EQ(p.result.entryCount, 4);
  EXPECT_EQ(p.entries[0], Padded("\xD6\xD0"
                                 "A"));
  EXPECT_EQ(p.entries[1], Padded("B"));
  EXPECT_EQ(p.entries[2], Padded("C"));
  EXPECT_EQ(p.entries[3], Padded("D"));  // a lone CR does not swallow the next character
}

TEST(CharacterList, EmptyLinesGiveZeroEntriesAndTheLastLfEndsTheList) {
  const Parsed p = Parse(u"A\n\n\r\nB\n");
  ASSERT_EQ(p.result.entryCount, 4);
  EXPECT_EQ(p.entries[1], std::string(32, '\0'));
  EXPECT_EQ(p.entries[2], std::string(32, '\0'));
  EXPECT_EQ(p.entries[3], Padded("B"));
  EXPECT_EQ(Parse(u"").result.entryCount, 0);
}

TEST(CharacterList, ByteOrderMarkLinesAreSkippedWhole) {
  EXPECT_EQ(Parse(u"\uFEFF").result.entryCount, 0);
  EXPECT_EQ(Parse(u"\uFEFF\r\n").result.entryCount, 0);
  const Parsed p = Parse(u"\uFEFF中文\r\n国\r\n");
  ASSERT_EQ(p.result.entryCount, 1);
  EXPECT_EQ(p.entries[0], Padded("\xB9\xFA"));  // 国
}

TEST(CharacterList, LongLinesAreCutIntoPiecesOf1024Units) {
  std::u16string text(1024, u'a');
  text += u"bc\nd";
  const Parsed p = Parse(text);
  ASSERT_EQ(p.result.entryCount, 3);
  EXPECT_EQ(p.entries[0], std::string(32, 'a'));
  EXPECT_EQ(p.entries[1], Padded("bc"));
  EXPECT_EQ(p.entries[2], Padded("d"));
  EXPECT_EQ(p.result.truncatedLines, 1);
}

TEST(CharacterList, LineOver32BytesIsCutAtACharacterBoundary) {
  // "A" and 16 hanzi: 33 bytes; the 16th hanzi would split at byte 32, so it goes whole.
  std::u16string line = u"A" + testing::Gb2312Hanzi(16);
  const Parsed p = Parse(line);
  ASSERT_EQ(p.result.entryCount, 1);
  EXPECT_EQ(p.result.truncatedLines, 1);
  const std::string expect = Utf16ToCp936(line).substr(0, 31);
  EXPECT_EQ(p.entries[0], Padded(expect));
  // Exactly 32 bytes fit whole.
  const Parsed q = Parse(testing::Gb2312Hanzi(16));
  EXPECT_EQ(q.result.truncatedLines, 0);
  EXPECT_EQ(q.entries[0], Utf16ToCp936(testing::Gb2312Hanzi(16)));
}

TEST(CharacterList, MoreLinesThanTheScratchAreaHoldsAreReported) {
  std::u16string text;
  for (int i = 0; i < 5; ++i) {
    text += u"x\n";
  }
  const Parsed fits = Parse(text, 5);
  EXPECT_FALSE(fits.result.tooManyLines);
  EXPECT_EQ(fits.result.entryCount, 5);
  const Parsed over = Parse(text + u"y", 5);
  EXPECT_TRUE(over.result.tooManyLines);
  EXPECT_EQ(over.result.entryCount, 5);
}

TEST(CharacterList, OddTrailingByteIsIgnored) {
  std::vector<uint8_t> data = Utf16Le(u"AB");
  data.push_back(0x43);
  std::vector<uint8_t> scratch(64, 0);
  const CharacterListResult r = ReadCharacterList(data.data(), data.size(), scratch.data(), 64);
  EXPECT_EQ(r.entryCount, 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(scratch.data())), "AB");
}

TEST(CharacterList, FitAtCharacterBoundary) {
  const uint8_t bytes[] = {'A', 0xD6, 0xD0, 'B'};
  EXPECT_EQ(FitAtCharacterBoundary(bytes, 4, 2), 1u);
  EXPECT_EQ(FitAtCharacterBoundary(bytes, 4, 3), 3u);
  EXPECT_EQ(FitAtCharacterBoundary(bytes, 4, 10), 4u);
}

}  // namespace
}  // namespace fw
