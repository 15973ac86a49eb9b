// The template writer: its bytes against a hand-computed layout, and its files loading.

#include <gtest/gtest.h>

#include "TemplateTestFiles.h"
#include "core/UpgradeState.h"
#include "radiodata/LoadTemplate.h"
#include "radiodata/TemplateWriter.h"
#include "support/StepChecks.h"

namespace fw {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slice(const Bytes& v, size_t from, size_t n) {
  return Bytes(v.begin() + from, v.begin() + from + n);
}

TEST(TemplateWriter, LaysOutHeaderChunksAndTrailer) {
  const Bytes data = test::Pattern(300, 0x11);
  TemplateWriteOptions o;
  o.trailerSize = 40959;
  o.firstChunk = {1, 2, 3};
  o.secondChunk = {0xAA, 0xBB, 0xCC};
  o.headerWord = 0x04030201;
  std::string error;
  const Bytes img = BuildTemplateImage(data, o, &error);
  // N = 28 + 8 + 159 + 8 + 3 + 8 + 300 = 514 (0x202); file = 514 + 40959.
  ASSERT_EQ(img.size(), 41473u) << error;
  EXPECT_EQ(Slice(img, 0, 20), (Bytes{0x5A, 0, 0x4F, 0, 0x52, 0, 0x56, 0, 0x45, 0,
                                      0x58, 0, 0x52, 0, 0x43, 0, 0x44, 0, 0x42, 0}));
  EXPECT_EQ(Slice(img, 20, 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Slice(img, 24, 4), (Bytes{0x02, 0x02, 0, 0}));
  EXPECT_EQ(Slice(img, 28, 8), (Bytes{0x02, 0, 0xFF, 0xFF, 0x9F, 0, 0, 0}));
  EXPECT_EQ(Slice(img, 36, 4), (Bytes{1, 2, 3, 0}));
  EXPECT_EQ(Slice(img, 39, 156), Bytes(156, 0));
  EXPECT_EQ(Slice(img, 195, 8), (Bytes{0x03, 0, 0xFF, 0xFF, 3, 0, 0, 0}));
  EXPECT_EQ(Slice(img, 203, 3), (Bytes{0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(Slice(img, 206, 8), (Bytes{0x01, 0, 0xFF, 0xFF, 0x2C, 0x01, 0, 0}));
  EXPECT_EQ(Slice(img, 214, 300), data);
  EXPECT_EQ(Slice(img, 514, 40959), Bytes(40959, 0));
}

TEST(TemplateWriter, MatchesAHandLaidFile) {
  test::RawTemplate raw;
  raw.chunk1.assign(159, 0);
  raw.chunk2 = test::Pattern(37, 0x50);
  raw.trailer = 133120;
  TemplateWriteOptions o;
  o.secondChunk = raw.chunk2;
  o.trailerSize = 133120;
  EXPECT_EQ(BuildTemplateImage(raw.data, o), raw.Build());
}

TEST(TemplateWriter, RefusesUnknownTrailersAndEmptyData) {
  TemplateWriteOptions o;
  std::string error;
  o.trailerSize = 40960;
  EXPECT_TRUE(BuildTemplateImage(test::Pattern(10, 0), o, &error).empty());
  EXPECT_FALSE(error.empty());
  o.trailerSize = 0;
  EXPECT_TRUE(BuildTemplateImage({}, o, &error).empty());
  EXPECT_FALSE(error.empty());
}

TEST(TemplateWriter, WrittenFilesLoadWithEveryTrailer) {
  test::ScratchDir dir;
  UpgradeState state;
  state.AllocateRadioData(UpgradeState::kDefaultRadioDataSize);
  const Bytes data = test::Pattern(UpgradeState::kDefaultRadioDataSize, 0x21);
  for (uint32_t trailer : {0u, 40959u, 153600u, 143360u, 133120u}) {
    TemplateWriteOptions o;
    o.trailerSize = trailer;
    o.secondChunk = test::Pattern(1234, 0x99);
    const std::string path = dir.dir() + "KW66000000N02000.rcd";
    std::string error;
    ASSERT_TRUE(WriteTemplateFile(path, data, o, &error)) << error;
    state.templateData.clear();
    ASSERT_TRUE(test::Succeeded(LoadTemplate(state, path), error)) << trailer << ": " << error;
    EXPECT_EQ(state.templateData, data);
    EXPECT_EQ(state.radioDataSize, data.size());
  }
}

TEST(TemplateWriter, UnwritablePathIsReported) {
  test::ScratchDir dir;
  std::string error;
  TemplateWriteOptions o;
  EXPECT_FALSE(
      WriteTemplateFile(dir.dir() + "no/such/folder/x.rcd", test::Pattern(8, 0), o, &error));
  EXPECT_NE(error.find("x.rcd"), std::string::npos) << error;
}

}  // namespace
}  // namespace fw
