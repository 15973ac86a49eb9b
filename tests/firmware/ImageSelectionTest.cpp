// Choosing the image, chip hex file and radio-data size, and reading the identification
// reply.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "firmware/IdentifyReply.h"
#include "firmware/ImageSelection.h"

namespace fw {
namespace {

ImageSettings Settings() {
  ImageSettings s;
  s.modelList = "KV680/KZ66";
  s.mainImageName = "Main.bin";
  s.mainImageNameSelp = "MainSelp.bin";
  s.smallImageName = "Small.bin";
  s.smallImageNameSelp = "SmallSelp.bin";
  s.chipHexPath = "p/Chip.hex";
  s.chipHexPathSelp = "p/ChipSelp.hex";
  s.smallChipHexPath = "p/SmallChip.hex";
  s.smallChipHexPathSelp = "p/SmallChipSelp.hex";
  return s;
}

RadioIdentity Radio(const std::string& info, const std::string& variant, const std::string& code,
                    int familyOverride = 0) {
  return RadioIdentity{info, variant, code, VersionFromInfo(info), familyOverride};
}

// The key whose value names `image` in Settings().
std::string KeyOf(const std::string& image) {
  if (image == "Main.bin" || image == "KW680_Main.bin" || image == "KW630.bin" ||
      image == "KV230.bin")
    return "MainBin";
  if (image == "MainSelp.bin")
    return "MainBinSelp";
  if (image == "Small.bin" || image == "KV680_small.bin")
    return "SmallMainBin";
  if (image == "SmallSelp.bin")
    return "SmallMainBinSelp";
  return "?";
}

void ExpectChoice(const ImageChoice& c, const char* image, const char* hex, uint32_t size) {
  EXPECT_EQ(c.result, ImageChoiceResult::kChosen);
  EXPECT_EQ(c.imageName, image);
  EXPECT_EQ(c.imageKey, KeyOf(image)) << image;
  EXPECT_EQ(c.hexPath, hex);
  EXPECT_EQ(c.radioDataSize, size);
}

TEST(ImageSelection, NewFamilyTableRowByRow) {
  auto s = Settings();
  ExpectChoice(ChooseImage(s, Radio("MCU-0401", "AMBE", "KV68")), "Main.bin", "p/Chip.hex", 129976);
  ExpectChoice(ChooseImage(s, Radio("MCU-0401", "SELP", "KV68")), "MainSelp.bin", "p/ChipSelp.hex",
               129976);
  ExpectChoice(ChooseImage(s, Radio("MCU-0401", "V2", "KV68")), "Main.bin", "", 129976);
  EXPECT_EQ(ChooseImage(s, Radio("MCU-0401", "X", "KV68")).result,
            ImageChoiceResult::kUnknownVariant);
  EXPECT_EQ(ChooseImage(s, Radio("MCU-0401", "", "KV68")).result,
            ImageChoiceResult::kUnknownVariant);
  // "begins with" means the letter's first occurrence is at position 0.
  EXPECT_EQ(ChooseImage(s, Radio("MCU-0401", "XA", "KV68")).result,
            ImageChoiceResult::kUnknownVariant);
}

TEST(ImageSelection, VersionBoundaryDecidesTheTable) {
  auto s = Settings();
  EXPECT_EQ(VersionFromInfo("MCU-0401"), 401);
  EXPECT_EQ(VersionFromInfo("MCU-0399"), 399);
  EXPECT_EQ(VersionFromInfo("0401"), 0);  // four characters or fewer: no version
  EXPECT_EQ(VersionFromInfo("FFFFF"), 0);
  EXPECT_TRUE(IsNewFamily(Radio("MCU-0400", "A", "KV68")));
  EXPECT_FALSE(IsNewFamily(Radio("MCU-0399", "A", "KV68")));
  EXPECT_FALSE(IsNewFamily(Radio("XYZ-0401", "A", "KV68")));
  // 0399 goes to the small-MCU rows: variant A, no KZ code -> the AMBE small image.
  ExpectChoice(ChooseImage(s, Radio("MCU-0399", "A", "KV68")), "Small.bin", "p/SmallChip.hex",
               65431);
}

TEST(ImageSelection, OverrideTwoWithVariantXTakesTheThirdRow) {
  auto c = ChooseImage(Settings(), Radio("FFFFF", "X", "FFFFF", 2));
  ExpectChoice(c, "Main.bin", "", 129976);
  EXPECT_EQ(c.familyOverride, 2);
}

TEST(ImageSelection, OtherRadiosInOrder) {
  auto s = Settings();
  s.mainImageName = "KW680_Main.bin";
  ExpectChoice(ChooseImage(s, Radio("V1.0", "S", "KZ66")), "KW680_Main.bin", "p/Chip.hex", 129976);
  s.mainImageName = "KW630.bin";
  ExpectChoice(ChooseImage(s, Radio("V1.0", "A", "KW63")), "KW630.bin", "p/Chip.hex", 129976);
  s.mainImageName = "KV230.bin";
  ExpectChoice(ChooseImage(s, Radio("V1.0", "A", "KV23")), "KV230.bin", "p/Chip.hex", 129976);

  s = Settings();
  ExpectChoice(ChooseImage(s, Radio("V1.0", "A", "KZ86")), "SmallSelp.bin", "p/SmallChip.hex",
               65431);
  ExpectChoice(ChooseImage(s, Radio("V1.0", "A", "KZ66")), "SmallSelp.bin", "p/SmallChip.hex",
               65431);
  // Variant S without a KZ8/KZ6/KZ9 code: the SELP small image and its hex.
  ExpectChoice(ChooseImage(s, Radio("V1.0", "S", "KV86")), "SmallSelp.bin", "p/SmallChipSelp.hex",
               65431);
  // Variant S on a KZ9 radio: the AMBE small image.
  ExpectChoice(ChooseImage(s, Radio("V1.0", "S", "KZ95")), "Small.bin", "p/SmallChip.hex", 65431);
  ExpectChoice(ChooseImage(s, Radio("V1.0", "A", "KX4X")), "Small.bin", "p/SmallChip.hex", 65431);
  s.smallImageName = "KV680_small.bin";
  ExpectChoice(ChooseImage(s, Radio("V1.0", "A", "KX4X")), "KV680_small.bin", "p/SmallChip.hex",
               75031);
}

TEST(ImageSelection, SmallRowsClearTheOverrideOnlyOnTheirOwnBranch) {
  auto s = Settings();
  // Override 1 is not the new-family value: the small rows apply and clear it.
  auto c = ChooseImage(s, Radio("V1.0", "A", "KX4X", 1));
  EXPECT_EQ(c.familyOverride, 0);
  c = ChooseImage(s, Radio("V1.0", "A", "KZ66", 1));
  EXPECT_EQ(c.familyOverride, 1);
}

TEST(ImageSelection, UnsupportedKwV1Radios) {
  auto s = Settings();
  s.modelList = "KV86/KV89/KV81/KW86/KW89/KW81";
  auto c = ChooseImage(s, Radio("V1.0", "A", "KW86"));
  EXPECT_EQ(c.result, ImageChoiceResult::kUnsupportedModel);
  EXPECT_EQ(ChooseImage(s, Radio("V1.0", "A", "KV86")).result, ImageChoiceResult::kChosen);
  s.modelList = "KV86/KW86";
  EXPECT_EQ(ChooseImage(s, Radio("V1.0", "A", "KW86")).result, ImageChoiceResult::kChosen);
}

TEST(IdentifyReply, FieldsAtTheirOffsets) {
  uint8_t reply[kIdentifyReplySize] = {0};
  std::memcpy(reply + 2, "MCU-0401xyz", 11);  // 11 bytes: only 10 belong to the field
  std::memcpy(reply + 12, "selp", 4);
  std::memcpy(reply + 24, "KZ66ABCDEFGHIJKLMNOPQRSTUVWXYZ", 30);
  auto f = ParseIdentifyReply(reply, sizeof reply);
  EXPECT_EQ(f.info, "MCU-0401xy");
  // The variant starts at 12, where the info's 11th byte sat: it was overwritten by "selp".
  EXPECT_EQ(f.variant, "SELP");
  EXPECT_EQ(f.model, "KZ66ABCDEFGHIJKLMNOPQRSTUVWX");
  EXPECT_EQ(f.modelCode, "KZ66");
  EXPECT_EQ(f.version, 1);  // last four of "MCU-0401xy" are "01xy": leading digits 01
}

TEST(IdentifyReply, ShortModelKeepsUnknownCodeAndVersionFromInfo) {
  uint8_t reply[60] = {0};
  std::memcpy(reply + 2, "MCU-0401", 8);
  std::memcpy(reply + 12, "a", 1);
  std::memcpy(reply + 24, "KZ66", 4);
  auto f = ParseIdentifyReply(reply, sizeof reply);
  EXPECT_EQ(f.version, 401);
  EXPECT_EQ(f.variant, "A");
  EXPECT_EQ(f.modelCode, "FFFFF");
  auto unknown = UnknownIdentity();
  EXPECT_EQ(unknown.info, "FFFFF");
  EXPECT_EQ(unknown.version, 0);
}

// A reply with the three fields at offsets 2, 12 and 24, zero elsewhere.
std::vector<uint8_t> Reply(const std::string& info, const std::string& variant,
                           const std::string& model) {
  std::vector<uint8_t> r(kIdentifyReplySize, 0);
  std::memcpy(r.data() + 2, info.data(), std::min<size_t>(info.size(), 10));
  std::memcpy(r.data() + 12, variant.data(), std::min<size_t>(variant.size(), 12));
  std::memcpy(r.data() + 24, model.data(), std::min<size_t>(model.size(), 28));
  return r;
}

IdentifyVerdict Judge(const std::vector<uint8_t>& r) {
  return JudgeIdentifyReply(r.data(), r.size());
}

TEST(IdentifyReply, ARadioThatSaysWhoItIsIsIdentified) {
  EXPECT_EQ(Judge(Reply("MCU-0401", "A", "KV680DEMO")), IdentifyVerdict::kIdentified);
  EXPECT_EQ(Judge(Reply("V1.00", "", "KW860ABC")), IdentifyVerdict::kIdentified);
  EXPECT_EQ(Judge(Reply("MCU-0399", "selp", "KX4X0")), IdentifyVerdict::kIdentified);
}

TEST(IdentifyReply, NotInDownloadModeWhateverTheOtherFieldsHold) {
  EXPECT_EQ(Judge(Reply("====", "", "")), IdentifyVerdict::kNotInDownloadMode);
  EXPECT_EQ(Judge(Reply("xx====\x01", "\x80", "K")), IdentifyVerdict::kNotInDownloadMode);
}

TEST(IdentifyReply, DamagedFieldsFailTheAttempt) {
  // Nothing but zeros: no information field.
  EXPECT_EQ(Judge(std::vector<uint8_t>(kIdentifyReplySize, 0)), IdentifyVerdict::kDamaged);
  EXPECT_EQ(Judge(Reply("", "A", "KV680DEMO")), IdentifyVerdict::kDamaged);
  // A control byte or a byte above 0x7E in any field.
  EXPECT_EQ(Judge(Reply("MCU\x01-0401", "A", "KV680DEMO")), IdentifyVerdict::kDamaged);
  EXPECT_EQ(Judge(Reply("MCU-0401", "A\x7F", "KV680DEMO")), IdentifyVerdict::kDamaged);
  EXPECT_EQ(Judge(Reply("MCU-0401", "A", "KV680DEM\xB2")), IdentifyVerdict::kDamaged);
  // No model code: the model text is four characters or fewer ...
  EXPECT_EQ(Judge(Reply("MCU-0401", "A", "KV68")), IdentifyVerdict::kDamaged);
  EXPECT_EQ(Judge(Reply("MCU-0401", "A", "")), IdentifyVerdict::kDamaged);
  // ... or its first four characters are not letters and digits.
  EXPECT_EQ(Judge(Reply("MCU-0401", "A", "KV-80DEMO")), IdentifyVerdict::kDamaged);
  EXPECT_EQ(Judge(Reply("MCU-0401", "A", " KV680")), IdentifyVerdict::kDamaged);
  // Every byte after the first two inverted (line noise): "M" 0x4D arrives as 0xB2.
  std::vector<uint8_t> garbled = Reply("MCU-0401", "A", "KV680DEMO");
  for (size_t i = 2; i < garbled.size(); ++i) {
    garbled[i] = static_cast<uint8_t>(~garbled[i]);
  }
  EXPECT_EQ(Judge(garbled), IdentifyVerdict::kDamaged);
}

}  // namespace
}  // namespace fw
