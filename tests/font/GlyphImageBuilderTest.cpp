#include "font/GlyphImageBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "FontTestFiles.h"

namespace fw {
namespace {

using testing::Gb2312Hanzi;
using testing::Gbk;

class GlyphImageBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override { builder.renderingEnabled = 1; }

  const uint8_t* Entry(int i) const { return builder.Image() + 34 * i; }

  GlyphImageBuilder builder;
};

TEST_F(GlyphImageBuilderTest, DoubleByteEntriesStartAt128AndSkipMultiplesOf256) {
  const std::u16string hanzi = Gb2312Hanzi(129);
  // The first character met: entry 128, glyph code bytes 0x80 0x80.
  EXPECT_EQ(builder.CodeFor(hanzi[0], false), 0x8080);
  EXPECT_EQ(Entry(128)[0], 0xB0);  // 啊 is B0 A1 in code page 936
  EXPECT_EQ(Entry(128)[1], 0xA1);
  for (int k = 1; k < 127; ++k) {
    builder.CodeFor(hanzi[k], false);
  }
  // The 128th: entry 255 (0x80 0xFF); the 129th: entry 257 (0x81 0x01).
  EXPECT_EQ(builder.CodeFor(hanzi[127], false), 0xFF80);
  EXPECT_EQ(builder.CodeFor(hanzi[128], false), 0x0181);
  EXPECT_EQ(Entry(256)[0], 0);
  EXPECT_EQ(Entry(256)[1], 0);
  EXPECT_EQ(builder.FindEntry(static_cast<uint8_t>(Gbk(hanzi[128])[0]) |
                              static_cast<uint8_t>(Gbk(hanzi[128])[1]) << 8),
            257);
  EXPECT_EQ(builder.FirstFreeEntry(), 258);
}

TEST_F(GlyphImageBuilderTest, RepeatedCharacterKeepsItsEntry) {
  EXPECT_EQ(builder.CodeFor(u'中', false), 0x8080);
  EXPECT_EQ(builder.CodeFor(u'文', false), 0x8180);  // entry 129: bytes 0x80 0x81
  EXPECT_EQ(builder.CodeFor(u'中', false), 0x8080);
  EXPECT_EQ(builder.FirstFreeEntry(), 130);
}

TEST_F(GlyphImageBuilderTest, AsciiAndUnrepresentableCharactersTakeNoEntry) {
  EXPECT_EQ(builder.CodeFor(u'A', false), 'A');
  EXPECT_EQ(builder.CodeFor(u'\uAC00', false), '?');  // Hangul: not in code page 936
  EXPECT_EQ(builder.CodeFor(u'\0', false), 0);
  EXPECT_EQ(builder.FirstFreeEntry(), 128);
  EXPECT_TRUE(std::all_of(builder.Image(), builder.Image() + GlyphImageBuilder::kImageSize,
                          [](uint8_t b) { return b == 0; }));
}

TEST_F(GlyphImageBuilderTest, SingleByteCharacterUsesItsOwnEntry) {
  // The euro sign is the single byte 0x80: entry 0, both code bytes 0x80, with a glyph.
  EXPECT_EQ(builder.CodeFor(u'\u20AC', false), 0x80);
  EXPECT_EQ(Entry(0)[0], 0x80);
  EXPECT_EQ(Entry(0)[1], 0x80);
  EXPECT_TRUE(std::any_of(Entry(0) + 2, Entry(0) + 34, [](uint8_t b) { return b != 0; }));
  EXPECT_EQ(builder.FirstFreeEntry(), 128);
}

TEST_F(GlyphImageBuilderTest, NothingNewIsStoredWhileRenderingIsOff) {
  builder.CodeFor(u'中', false);
  builder.renderingEnabled = 0;
  EXPECT_EQ(builder.CodeFor(u'中', false), 0x8080);  // found
  EXPECT_EQ(builder.CodeFor(u'文', false), 0);       // new: cannot be stored
}

TEST_F(GlyphImageBuilderTest, FullImageGivesQuestionMarks) {
  // Entries 128 to 4518 without the multiples of 256: 4374 glyphs.
  const std::u16string hanzi = Gb2312Hanzi(4375);
  ASSERT_EQ(hanzi.size(), 4375u);
  for (size_t k = 0; k < 4374; ++k) {
    ASSERT_NE(builder.CodeFor(hanzi[k], false), 0) << k;
  }
  EXPECT_EQ(builder.CodeFor(hanzi[4373], false), GlyphImageBuilder::GlyphCodeOf(4518));
  EXPECT_EQ(builder.FirstFreeEntry(), 0);
  EXPECT_EQ(builder.CodeFor(hanzi[4374], false), 0);

  // Written back as "??"; an ASCII character after it keeps its byte.
  std::string bytes = Gbk(hanzi[4374]) + "A";
  uint8_t entry[32] = {};
  std::copy(bytes.begin(), bytes.end(), entry);
  builder.EncodeEntry(entry, 32, true);
  EXPECT_EQ(entry[0], '?');
  EXPECT_EQ(entry[1], '?');
  EXPECT_EQ(entry[2], 'A');
  EXPECT_EQ(entry[3], 0);
}

TEST_F(GlyphImageBuilderTest, EntryLimitStopsGivingOutEntries) {
  builder.SetEntryLimit(130);
  EXPECT_NE(builder.CodeFor(u'一', false), 0);
  EXPECT_NE(builder.CodeFor(u'二', false), 0);
  EXPECT_EQ(builder.CodeFor(u'三', false), 0);
}

TEST_F(GlyphImageBuilderTest, EncodedCodesAreOneByteWithTheFlagClearAndTwoWithItSet) {
  // 中 D6 D0, A, 文 CE C4.
  const uint8_t original[32] = {0xD6, 0xD0, 'A', 0xCE, 0xC4};
  uint8_t clear[32];
  std::copy(original, original + 32, clear);
  EXPECT_EQ(builder.EncodeEntry(clear, 32, false), 0);
  // Low bytes only (0x80 for entries 128 and 129); the last two bytes keep their values.
  const uint8_t expectClear[32] = {0x80, 'A', 0x80, 0xCE, 0xC4};
  EXPECT_TRUE(std::equal(clear, clear + 32, expectClear));

  uint8_t set[32];
  std::copy(original, original + 32, set);
  std::vector<GlyphImageBuilder::Placed> placed;
  EXPECT_EQ(builder.EncodeEntry(set, 32, true, &placed), 1);
  const uint8_t expectSet[32] = {0x80, 0x80, 'A', 0x80, 0x81};
  EXPECT_TRUE(std::equal(set, set + 32, expectSet));
  ASSERT_EQ(placed.size(), 2u);
  EXPECT_EQ(placed[0].character, u'中');
  EXPECT_EQ(placed[1].character, u'文');
  EXPECT_EQ(placed[1].code, 0x8180);
}

TEST_F(GlyphImageBuilderTest, ClearImageStartsTheNumberingAgain) {
  builder.CodeFor(u'中', false);
  builder.CodeFor(u'文', false);
  builder.ClearImage();
  EXPECT_EQ(builder.FindEntry(0xD0D6), 0);
  EXPECT_EQ(builder.FirstFreeEntry(), 128);
  EXPECT_EQ(builder.CodeFor(u'文', false), 0x8080);
  EXPECT_EQ(builder.FindEntry(0xC4CE), 128);
  EXPECT_EQ(builder.FindEntry(0), 129);  // code 0: the first free entry
}

TEST_F(GlyphImageBuilderTest, CopyOutRefusesMoreThanTheImage) {
  builder.CodeFor(u'中', false);
  std::vector<uint8_t> out(153651, 0xEE);
  EXPECT_EQ(builder.CopyOut(out.data(), 153651), 0);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xEE; }));
  EXPECT_EQ(builder.CopyOut(out.data(), 153650), 1);
  EXPECT_EQ(out[128 * 34], 0xD6);
  EXPECT_EQ(out[128 * 34 + 1], 0xD0);
  EXPECT_EQ(out[153650], 0xEE);
  builder.ClearImage();
  builder.CopyOut(out.data(), 153650);
  EXPECT_EQ(out[128 * 34], 0);
}

}  // namespace
}  // namespace fw
