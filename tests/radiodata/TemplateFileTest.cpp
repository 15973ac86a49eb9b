// Parsing template images and loading template files into the state record.

#include <gtest/gtest.h>

#include "AllocationProbe.h"
#include "TemplateTestFiles.h"
#include "core/UpgradeState.h"
#include "radiodata/LoadTemplate.h"
#include "radiodata/TemplateFile.h"
#include "support/StepChecks.h"

namespace fw {
namespace {

using test::Pattern;
using test::RawTemplate;
using test::ScratchDir;
using test::WriteBytes;

bool Parses(const RawTemplate& t) {
  return ParseTemplateBytes(t.Build()).ok;
}

TEST(TemplateParse, AcceptsAHandLaidFileWithEachTrailerSize) {
  for (uint32_t trailer : {0u, 40959u, 153600u, 143360u, 133120u}) {
    RawTemplate t;
    t.trailer = trailer;
    const auto r = ParseTemplateBytes(t.Build());
    ASSERT_TRUE(r.ok) << trailer << ": " << r.reason;
    EXPECT_EQ(r.data, t.data);
  }
}

TEST(TemplateParse, ChecksOnlyTheFirstSixCharactersOfTheMagic) {
  RawTemplate t;
  t.magic[0] = 'z';  // "zORVEX"
  EXPECT_FALSE(Parses(t));
  t = RawTemplate();
  t.magic[11] = 0x01;  // high byte of the 'X'
  EXPECT_FALSE(Parses(t));
  t = RawTemplate();
  for (size_t i = 12; i < 20; ++i)
    t.magic[i] = 0xEE;  // "RCDB" is not examined
  t.headerWord = {1, 2, 3, 4};
  EXPECT_TRUE(Parses(t));
}

TEST(TemplateParse, FileSizeMustBeNPlusOneOfTheTrailers) {
  RawTemplate t;
  t.trailer = 0;
  const uint32_t content = static_cast<uint32_t>(t.ContentSize());
  // The file is `content` bytes long; N is moved so that size - N takes each value.
  for (uint32_t extra : {0u, 40959u, 153600u, 143360u, 133120u}) {
    t.trailer = extra;
    EXPECT_TRUE(Parses(t)) << extra;
  }
  t.trailer = 40960;  // N + 0xA000: one byte too many
  EXPECT_FALSE(Parses(t));
  t.trailer = 40958;
  EXPECT_FALSE(Parses(t));
  t.trailer = 1;
  EXPECT_FALSE(Parses(t));
  t.trailer = 0;
  t.n = content + 1;  // N larger than the file
  EXPECT_FALSE(Parses(t));
}

TEST(TemplateParse, SizeRuleDoesNotWrapAround) {
  // With 32-bit sums, N = 0xFFFFFFFF + 0x9FFF would be 0x9FFE; a file of that size must
  // still be refused.
  RawTemplate t;
  t.trailer = 0;
  t.data = Pattern(0x9FFE - 52 - 159 - 37, 1);
  ASSERT_EQ(t.ContentSize(), 0x9FFEu);
  t.n = 0xFFFFFFFFu;
  EXPECT_FALSE(Parses(t));
  EXPECT_FALSE(TemplateSizeRuleHolds(0x9FFE, 0xFFFFFFFFu));
  EXPECT_TRUE(TemplateSizeRuleHolds(0x1'0000'9FFEull, 0xFFFFFFFFu));
}

TEST(TemplateParse, FirstChunkMustBe159Bytes) {
  for (size_t len : {158u, 160u, 0u}) {
    RawTemplate t;
    t.chunk1.assign(len, 0xC1);
    EXPECT_FALSE(Parses(t)) << len;
  }
  RawTemplate t;
  t.l1 = 0xFFFFFFFFu;  // refused by its length, never read
  EXPECT_FALSE(Parses(t));
}

TEST(TemplateParse, EachChunkTagMustMatch) {
  RawTemplate t;
  t.tag1 = {0x03, 0x00, 0xFF, 0xFF};
  EXPECT_FALSE(Parses(t));
  t = RawTemplate();
  t.tag2 = {0x03, 0x00, 0xFF, 0xFE};
  EXPECT_FALSE(Parses(t));
  t = RawTemplate();
  t.tag3 = {0x02, 0x00, 0xFF, 0xFF};
  EXPECT_FALSE(Parses(t));
  t = RawTemplate();
  t.tag3 = {0x01, 0x01, 0xFF, 0xFF};
  EXPECT_FALSE(Parses(t));
}

TEST(TemplateParse, ShortReadsAreRefused) {
  // Header cut short.
  std::vector<uint8_t> header = RawTemplate().Build();
  header.resize(27);
  EXPECT_FALSE(ParseTemplateBytes(header).ok);

  // Each chunk claims more than the file holds; N is the real file size, so only the
  // chunk lengths are wrong.
  RawTemplate t;
  t.trailer = 0;
  t.l2 = static_cast<uint32_t>(t.chunk2.size() + t.data.size() + 9);
  EXPECT_FALSE(Parses(t));
  t = RawTemplate();
  t.trailer = 0;
  t.l3 = static_cast<uint32_t>(t.data.size() + 1);
  auto r = ParseTemplateBytes(t.Build());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.reason.find("data chunk"), std::string::npos) << r.reason;

  // The file ends inside a chunk head: N says 0 trailer bytes and the data chunk head is
  // cut in half.
  t = RawTemplate();
  t.trailer = 0;
  std::vector<uint8_t> bytes = t.Build();
  const size_t headAt = 28 + 8 + 159 + 8 + t.chunk2.size();
  bytes.resize(headAt + 4);
  bytes[24] = bytes.size() & 0xFF;
  bytes[25] = (bytes.size() >> 8) & 0xFF;
  bytes[26] = bytes[27] = 0;
  EXPECT_FALSE(ParseTemplateBytes(bytes).ok);

  // With a trailer the data may run into it: only the end of the file counts.
  t = RawTemplate();
  t.l3 = static_cast<uint32_t>(t.data.size() + 100);
  r = ParseTemplateBytes(t.Build());
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.data.size(), t.data.size() + 100);
}

TEST(TemplateParse, HugeChunkLengthsAreRefusedWithoutALargeAllocation) {
  {
    // The probe sees the loader's allocations: a good file of 129976 data bytes shows one.
    RawTemplate good;
    good.data = Pattern(129976, 0);
    const std::vector<uint8_t> bytes = good.Build();
    test::AllocationProbe probe(1 << 20);
    ASSERT_TRUE(ParseTemplateBytes(bytes).ok);
    ASSERT_GE(probe.Largest(), 129976u);
  }
  for (int chunk : {2, 3}) {
    RawTemplate t;
    (chunk == 2 ? t.l2 : t.l3) = 0xFFFFFFFFu;
    const std::vector<uint8_t> bytes = t.Build();
    test::AllocationProbe probe(1 << 20);
    const auto r = ParseTemplateBytes(bytes);
    EXPECT_FALSE(r.ok) << chunk;
    EXPECT_LT(probe.Largest(), size_t(1 << 20)) << chunk;
  }
}

TEST(TemplateParse, EmptyOrOversizedDataIsRefused) {
  RawTemplate t;
  t.data.clear();
  EXPECT_FALSE(Parses(t));
  t = RawTemplate();
  EXPECT_TRUE(ParseTemplateBytes(t.Build(), 1000).ok);
  EXPECT_FALSE(ParseTemplateBytes(t.Build(), 999).ok);
}

class LoadTemplateTest : public ::testing::Test {
 protected:
  void SetUp() override { state.AllocateRadioData(UpgradeState::kDefaultRadioDataSize); }
  std::string Put(const std::string& name, const RawTemplate& t) {
    WriteBytes(dir.path() / name, t.Build());
    return dir.dir() + name;
  }
  ScratchDir dir;
  UpgradeState state;
};

TEST_F(LoadTemplateTest, LoadsIntoTheStateAndSetsTheDataSize) {
  RawTemplate t;
  t.data = Pattern(65431, 3);
  std::string detail = "stale";
  ASSERT_TRUE(test::Succeeded(LoadTemplate(state, Put("KW66000000N02000.rcd", t)), detail))
      << detail;
  EXPECT_EQ(state.templateData, t.data);
  EXPECT_EQ(state.radioDataSize, 65431u);
  EXPECT_TRUE(detail.empty());
  // A second load replaces the first.
  t.data = Pattern(75031, 9);
  ASSERT_TRUE(LoadTemplate(state, Put("KW66000000N02000.rcd", t)).ok);
  EXPECT_EQ(state.templateData, t.data);
  EXPECT_EQ(state.radioDataSize, 75031u);
}

TEST_F(LoadTemplateTest, ARefusedFileKeepsThePreviousTemplate) {
  RawTemplate good;
  ASSERT_TRUE(LoadTemplate(state, Put("a.rcd", good)).ok);
  RawTemplate bad;
  bad.data = Pattern(2000, 1);
  bad.trailer = 0;
  bad.l3 = 5000;  // cut short
  std::string detail;
  EXPECT_FALSE(test::Succeeded(LoadTemplate(state, Put("b.rcd", bad)), detail));
  EXPECT_NE(detail.find("b.rcd"), std::string::npos) << detail;
  EXPECT_EQ(state.templateData, good.data);
  EXPECT_EQ(state.radioDataSize, 1000u);
}

TEST_F(LoadTemplateTest, TemplateLargerThanTheRadioDataBufferIsRefused) {
  RawTemplate t;
  t.data = Pattern(UpgradeState::kDefaultRadioDataSize + 1, 0);
  std::string detail;
  EXPECT_FALSE(test::Succeeded(LoadTemplate(state, Put("big.rcd", t)), detail));
  EXPECT_NE(detail.find("larger than the radio data buffer"), std::string::npos) << detail;
  t.data.pop_back();
  EXPECT_TRUE(LoadTemplate(state, Put("fits.rcd", t)).ok);
  EXPECT_EQ(state.radioDataSize, UpgradeState::kDefaultRadioDataSize);
}

TEST_F(LoadTemplateTest, ATemplateOfAnotherLengthThanTheRadiosDataIsRefused) {
  RawTemplate good;
  good.data = Pattern(65431, 5);
  ASSERT_TRUE(LoadTemplate(state, Put("good.rcd", good), 65431).ok);
  RawTemplate ten;
  ten.data = Pattern(10, 1);
  std::string detail;
  EXPECT_FALSE(test::Succeeded(LoadTemplate(state, Put("ten.rcd", ten), 65431), detail));
  EXPECT_NE(detail.find("ten.rcd holds 10 bytes"), std::string::npos) << detail;
  EXPECT_NE(detail.find("is 65431 bytes"), std::string::npos) << detail;
  EXPECT_EQ(state.templateData, good.data);
  EXPECT_EQ(state.radioDataSize, 65431u);
  // One byte more or less is refused as well.
  ten.data = Pattern(65432, 1);
  EXPECT_FALSE(test::Succeeded(LoadTemplate(state, Put("more.rcd", ten), 65431), detail));
  ten.data = Pattern(65430, 1);
  EXPECT_FALSE(test::Succeeded(LoadTemplate(state, Put("less.rcd", ten), 65431), detail));
  EXPECT_EQ(state.templateData, good.data);
}

TEST_F(LoadTemplateTest, MissingFileOrEmptyPathFails) {
  std::string detail;
  EXPECT_FALSE(test::Succeeded(LoadTemplate(state, ""), detail));
  EXPECT_FALSE(test::Succeeded(LoadTemplate(state, dir.dir() + "KW66000000N02000.rcd"), detail));
  EXPECT_NE(detail.find("KW66000000N02000.rcd"), std::string::npos) << detail;
  EXPECT_TRUE(state.templateData.empty());
  EXPECT_EQ(state.radioDataSize, UpgradeState::kDefaultRadioDataSize);
}

TEST_F(LoadTemplateTest, UsesTheAlternativeNameWhenTheNamedFileIsMissing) {
  RawTemplate alt;
  alt.data = Pattern(500, 0x40);
  // Fifth character of "KV68000000N02000.rcd" set to '2'.
  Put("KV68200000N02000.rcd", alt);
  ASSERT_TRUE(LoadTemplate(state, dir.dir() + "KV68000000N02000.rcd").ok);
  EXPECT_EQ(state.templateData, alt.data);

  // When the named file exists, it is the one loaded.
  RawTemplate named;
  named.data = Pattern(600, 0x80);
  ASSERT_TRUE(LoadTemplate(state, Put("KV68000000N02000.rcd", named)).ok);
  EXPECT_EQ(state.templateData, named.data);
}

TEST(AlternativeTemplatePath, SetsTheFifthNameCharacterAndKeeps54AfterIt) {
  EXPECT_EQ(AlternativeTemplatePath("/opt/fw/rcdb/KW66000000N02000L.rcd"),
            "/opt/fw/rcdb/KW66200000N02000L.rcd");
  EXPECT_EQ(AlternativeTemplatePath("KV680.rcd"), "KV682.rcd");
  EXPECT_EQ(AlternativeTemplatePath("/x/abcd"), "");  // no fifth character
  EXPECT_EQ(AlternativeTemplatePath("/x/abcd5"), "/x/abcd2");
  const std::string tail(60, 't');
  EXPECT_EQ(AlternativeTemplatePath("/x/abcde" + tail), "/x/abcd2" + std::string(54, 't'));
}

}  // namespace
}  // namespace fw
