#include "radiodata/RadioInfo.h"

#include <gtest/gtest.h>

#include <cstring>

namespace fw {
namespace {

TEST(ModelTextFixUp, RowsThatCanBeConfused) {
  struct Case {
    const char* text;
    const char* variant;
  };
  const Case cases[] = {
      {"KZ66000000NB0000", "B2000"},    // row 13: KZ66 with NB
      {"KZ66000000N00000", "02000"},    // row 14: KZ66 without NB
      {"KV25U3-0-C00S00000", "02000"},  // row 6 wins over row 7
      {"KV25000000S00000", "02000"},    // "00S00000" (row 7)
      {"KV25000000N00000", "R2000"},    // row 8: neither marker
      {"KV680000000N0000", "00000"},    // KV680 is none of the families above
      {"KW680000000N0000", "02000"},    // KW68 (row 4)
      {"KW650000000N0000", "R0000"},    // row 1, before KW66-like rows
      {"KW63000G0000xxxx", "B2000"},    // row 11
      {"KV2300000000xxxx", "02000"},    // row 12
      {"KW63xxxxxxxxxxxx", "00000"},    // KW63 without either marker falls through to row 15
      {"KX2X000000N00000", "02000"},   {"KX4X000000N00000", "02000"},
      {"KW66NB0000000000", "02000"},  // "NB" alone means nothing without KZ66
      {"ABCDEFGHIJ", "00000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ModelVariantCode(c.text), c.variant) << c.text;
  }
}

TEST(ModelTextFixUp, KeepsSixteenThenVariantThenSeven) {
  // 30 characters: 0-15 kept, 16-20 replaced, 21-27 kept, 28-29 dropped.
  const std::string t = "KZ66000000N00000abcdeFGHIJKLmn";
  ASSERT_EQ(t.size(), 30u);
  EXPECT_EQ(FixUpModelText(t), "KZ66000000N0000002000FGHIJKL");
  EXPECT_EQ(FixUpModelText(t).size(), 28u);
  // 10 characters: the text, then the variant.
  EXPECT_EQ(FixUpModelText("KZ66000000"), "KZ6600000002000");
  // 16 characters exactly, and 19 (the part after 21 is empty).
  EXPECT_EQ(FixUpModelText("KW66000000N00000"), "KW66000000N0000002000");
  EXPECT_EQ(FixUpModelText("KW66000000N00000L12"), "KW66000000N0000002000");
  // 23 characters: two after index 21.
  EXPECT_EQ(FixUpModelText("KW66000000N00000L1234XY"), "KW66000000N0000002000XY");
  EXPECT_EQ(FixUpModelText(""), "00000");
}

TEST(RadioInfoBlock, DecodesIdentityAreaAndFixedUpModelText) {
  uint8_t block[kRadioInfoSize];
  for (size_t i = 0; i < sizeof block; ++i) {
    block[i] = static_cast<uint8_t>(0xA0 + i);  // no zero anywhere
  }
  const char* id = "KW66000000N02000";
  for (int i = 0; i < 16; ++i) {
    block[1 + 2 * i] = static_cast<uint8_t>(id[i]);
    block[2 + 2 * i] = 0;
  }
  std::memset(block + 49, 0, 32);
  std::memcpy(block + 49, "KW66000000N00000L", 17);
  block[149] = '3';
  RadioInfo info = DecodeRadioInfoBlock(block);
  EXPECT_EQ(info.identity[0], 'K');
  EXPECT_EQ(info.identity[1], 0);
  EXPECT_EQ(info.identity[30], '0');
  EXPECT_EQ(info.identity[31], 0);
  EXPECT_EQ(info.areaCode, '3');
  EXPECT_EQ(info.modelId, "KW66000000N0000002000");
}

TEST(RadioInfoBlock, ModelTextWithoutTerminatorStopsAtThirtyTwoBytes) {
  uint8_t block[kRadioInfoSize] = {};
  std::memcpy(block + 49, "KZ86000000N00000ABCDEFGHIJKLMNOP", 32);
  block[81] = 'Z';  // next field: not part of the text
  EXPECT_EQ(DecodeRadioInfoBlock(block).modelId, "KZ86000000N0000002000FGHIJKL");
}

TEST(RadioInfoBlock, EightBitCharactersAreWidenedOneByOne) {
  uint8_t block[kRadioInfoSize] = {};
  block[49] = 'K';
  block[50] = 0xE9;  // Latin-1 e acute
  EXPECT_EQ(DecodeRadioInfoBlock(block).modelId,
            "K\xC3\xA9"
            "00000");
}

}  // namespace
}  // namespace fw
