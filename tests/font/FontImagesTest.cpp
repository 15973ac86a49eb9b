#include "font/FontImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "FontTestFiles.h"
#include "config/Installation.h"
#include "core/AppValues.h"
#include "core/UpgradeState.h"

namespace fw {
namespace {

using testing::Gb2312Hanzi;
using testing::TempDir;

// The version text as UTF-16LE bytes.
std::vector<uint8_t> Version(const char* text) {
  std::vector<uint8_t> v;
  for (const char* p = text; *p != '\0'; ++p) {
    v.push_back(static_cast<uint8_t>(*p));
    v.push_back(0);
  }
  return v;
}

uint16_t Le16(const std::vector<uint8_t>& b, size_t offset) {
  return static_cast<uint16_t>(b[offset] | b[offset + 1] << 8);
}

char16_t TableEntry(const std::vector<uint8_t>& image, int index) {
  return Le16(image, 143360 + 2 * static_cast<size_t>(index));
}

bool AllZero(const std::vector<uint8_t>& b, size_t from, size_t to) {
  return std::all_of(b.begin() + from, b.begin() + to, [](uint8_t v) { return v == 0; });
}

class FontImagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App().fullWidthGlyphs = false;
    LoadingInstallation(state).programDir = dir.Dir();
  }
  void TearDown() override { App().fullWidthGlyphs = false; }

  std::string BuildChinese() {
    return BuildCharacterSetFont(LoadingInstallation(state), "SimpleCH.dat", "8.01.01", 0x0804,
                                 153550, false, LoadingInstallation(state).fontBufferA);
  }
  std::string BuildKorean() {
    return BuildCharacterSetFont(LoadingInstallation(state), "SimpleCH_0412.dat", "9.03.03", 0x0412,
                                 143310, true, LoadingInstallation(state).fontBufferB);
  }

  TempDir dir;
  UpgradeState state;
};

TEST_F(FontImagesTest, LanguageFileIsCopiedBehindItsHeader) {
  std::vector<uint8_t> file(1000);
  for (size_t i = 0; i < file.size(); ++i) {
    file[i] = static_cast<uint8_t>(i * 7 + 3);
  }
  dir.Write("0409.bin", file);
  LoadLanguageFont(LoadingInstallation(state), 1033);
  EXPECT_EQ(LoadingInstallation(state).languageFontSize, 1050u);
  const auto& b = LoadingInstallation(state).fontBufferC;
  EXPECT_TRUE(std::equal(file.begin(), file.end(), b.begin() + 50));
  const std::vector<uint8_t> version = Version("1.01.03");
  EXPECT_TRUE(std::equal(version.begin(), version.end(), b.begin()));
  EXPECT_EQ(b[14], 0);
  EXPECT_EQ(b[15], 0x09);
  EXPECT_EQ(b[16], 0x04);
  EXPECT_TRUE(AllZero(b, 17, 50));
  EXPECT_TRUE(AllZero(b, 1050, b.size()));
}

TEST_F(FontImagesTest, LanguageFileNameIsTheIdInUpperCaseHex) {
  dir.Write("040C.bin", std::vector<uint8_t>(10, 1));
  LoadLanguageFont(LoadingInstallation(state), 0x040C);
  EXPECT_EQ(LoadingInstallation(state).languageFontSize, 60u);
  EXPECT_EQ(LoadingInstallation(state).fontBufferC[15], 0x0C);
  EXPECT_EQ(LoadingInstallation(state).fontBufferC[16], 0x04);
}

TEST_F(FontImagesTest, EmptyLanguageFileGivesTheHeaderAlone) {
  // Found by fuzzing: an empty file has no bytes to copy behind the header.
  std::fill(LoadingInstallation(state).fontBufferC.begin(),
            LoadingInstallation(state).fontBufferC.end(), 0x5A);
  dir.Write("0409.bin", std::vector<uint8_t>());
  LoadLanguageFont(LoadingInstallation(state), 0x0409);
  EXPECT_EQ(LoadingInstallation(state).languageFontSize, 50u);
  const std::vector<uint8_t> version = Version("1.01.03");
  EXPECT_TRUE(
      std::equal(version.begin(), version.end(), LoadingInstallation(state).fontBufferC.begin()));
  EXPECT_EQ(LoadingInstallation(state).fontBufferC[15], 0x09);
  EXPECT_EQ(LoadingInstallation(state).fontBufferC[16], 0x04);
  EXPECT_TRUE(AllZero(LoadingInstallation(state).fontBufferC, 50,
                      LoadingInstallation(state).fontBufferC.size()));
}

TEST_F(FontImagesTest, MissingOrOversizedLanguageFileGivesSizeZero) {
  LoadingInstallation(state).languageFontSize = 77;
  std::fill(LoadingInstallation(state).fontBufferC.begin(),
            LoadingInstallation(state).fontBufferC.end(), 0x5A);
  LoadLanguageFont(LoadingInstallation(state), 0x041E);
  EXPECT_EQ(LoadingInstallation(state).languageFontSize, 0u);
  EXPECT_EQ(LoadingInstallation(state).fontBufferC[60], 0x5A);  // kept

  // One byte more than the image holds: refused, nothing copied.
  dir.Write("041F.bin", std::vector<uint8_t>(153601, 0x11));
  LoadLanguageFont(LoadingInstallation(state), 0x041F);
  EXPECT_EQ(LoadingInstallation(state).languageFontSize, 0u);
  EXPECT_EQ(LoadingInstallation(state).fontBufferC[60], 0x5A);

  // Exactly 153600 bytes fill the buffer to its end.
  dir.Write("041F.bin", std::vector<uint8_t>(153600, 0x11));
  LoadLanguageFont(LoadingInstallation(state), 0x041F);
  EXPECT_EQ(LoadingInstallation(state).languageFontSize, 153650u);
  EXPECT_EQ(LoadingInstallation(state).fontBufferC.back(), 0x11);
}

TEST_F(FontImagesTest, ByteOrderMarkOnlyListGivesAnEmptyImage) {
  dir.WriteText("SimpleCH.dat", u"\uFEFF");
  std::fill(LoadingInstallation(state).fontBufferA.begin(),
            LoadingInstallation(state).fontBufferA.end(), 0x77);
  ASSERT_EQ(BuildChinese(), "");
  const auto& b = LoadingInstallation(state).fontBufferA;
  const std::vector<uint8_t> version = Version("8.01.01");
  EXPECT_TRUE(std::equal(version.begin(), version.end(), b.begin()));
  EXPECT_EQ(Le16(b, 15), 0x0804);
  // 153600 = 0x00025800 at offset 54; every other byte zero.
  EXPECT_EQ(b[54], 0x00);
  EXPECT_EQ(b[55], 0x58);
  EXPECT_EQ(b[56], 0x02);
  EXPECT_EQ(b[57], 0x00);
  EXPECT_TRUE(AllZero(b, 17, 54));
  EXPECT_TRUE(AllZero(b, 58, b.size()));
  EXPECT_TRUE(App().fullWidthGlyphs);
}

TEST_F(FontImagesTest, ChineseImageHoldsEachCharacterOnceFromItsSecondLine) {
  // The first line carries a byte-order mark: its characters are ignored.
  dir.WriteText("SimpleCH.dat", u"\uFEFF中\r\n文A文\r\n国文\r\n");
  ASSERT_EQ(BuildChinese(), "");
  const auto& b = LoadingInstallation(state).fontBufferA;
  auto entry = [&](int i) { return b.begin() + 50 + 34 * i; };
  EXPECT_EQ(entry(128)[0], 0xCE);  // 文
  EXPECT_EQ(entry(128)[1], 0xC4);
  EXPECT_EQ(entry(129)[0], 0xB9);  // 国
  EXPECT_EQ(entry(129)[1], 0xFA);
  EXPECT_TRUE(std::any_of(entry(128) + 2, entry(128) + 34, [](uint8_t v) { return v != 0; }));
  EXPECT_TRUE(AllZero(b, 50 + 34 * 130, b.size()));  // no 中, nothing for "A"
  EXPECT_TRUE(AllZero(b, 58, 50 + 34 * 128));
  // The list's entries were rewritten with one-byte codes (full-width flag clear).
  EXPECT_EQ(LoadingInstallation(state).glyphScratch[0], 0x80);
  EXPECT_EQ(LoadingInstallation(state).glyphScratch[1], 'A');
  EXPECT_EQ(LoadingInstallation(state).glyphScratch[2], 0x80);
}

TEST_F(FontImagesTest, KoreanIndexTableMapsEachGlyphToItsCharacter) {
  App().fullWidthGlyphs = true;  // as after the simple Chinese build
  dir.WriteText("SimpleCH_0412.dat", u"\uFEFF\r\nA中\r\n文国\r\n中1\r\n");
  ASSERT_EQ(BuildKorean(), "");
  const auto& b = LoadingInstallation(state).fontBufferB;
  EXPECT_EQ(TableEntry(b, 128), u'中');
  EXPECT_EQ(TableEntry(b, 129), u'文');
  EXPECT_EQ(TableEntry(b, 130), u'国');
  EXPECT_EQ(TableEntry(b, 131), 0);
  EXPECT_EQ(TableEntry(b, 0), 0);
  EXPECT_EQ(Le16(b, 15), 0x0412);
  const std::vector<uint8_t> version = Version("9.03.03");
  EXPECT_TRUE(std::equal(version.begin(), version.end(), b.begin()));
  EXPECT_EQ(b[50 + 34 * 128], 0xD6);  // 中's entry
  // The payload ends where the table begins; the image ends at 153600.
  EXPECT_TRUE(AllZero(b, 50 + 34 * 131, 143360 + 2 * 128));
  EXPECT_TRUE(AllZero(b, 153600, b.size()));
  // Two-byte codes in the rewritten entries.
  const uint8_t line1[] = {'A', 0x80, 0x80, 0};
  EXPECT_TRUE(std::equal(line1, line1 + 4, LoadingInstallation(state).glyphScratch.begin()));
}

TEST_F(FontImagesTest, KoreanImageGivesOutOnlyTheEntriesItsPayloadKeeps) {
  App().fullWidthGlyphs = true;
  // Entries 128 to 4214 without 256, 512, ..., 4096: 4071 glyphs fit the payload.
  const std::u16string hanzi = Gb2312Hanzi(4072);
  std::u16string text;
  for (char16_t c : hanzi) {
    text += c;
    text += u'\n';
  }
  dir.WriteText("SimpleCH_0412.dat", text);
  ASSERT_EQ(BuildKorean(), "");
  const auto& b = LoadingInstallation(state).fontBufferB;
  EXPECT_EQ(TableEntry(b, 4214), hanzi[4070]);
  for (int i = 4215; i < 5120; ++i) {
    ASSERT_EQ(TableEntry(b, i), 0) << i;
  }
  const uint8_t last[] = {'?', '?', 0};
  EXPECT_TRUE(
      std::equal(last, last + 3, LoadingInstallation(state).glyphScratch.begin() + 32 * 4071));
}

TEST_F(FontImagesTest, MissingListIsAnErrorNamingTheFile) {
  std::fill(LoadingInstallation(state).fontBufferA.begin(),
            LoadingInstallation(state).fontBufferA.end(), 0x77);
  const std::string error = BuildChinese();
  EXPECT_NE(error.find("SimpleCH.dat"), std::string::npos);
  EXPECT_EQ(LoadingInstallation(state).fontBufferA[60], 0x77);
  EXPECT_FALSE(App().fullWidthGlyphs);
}

TEST_F(FontImagesTest, FolderInPlaceOfAFileCountsAsMissing) {
  std::filesystem::create_directory(dir.Dir() + "SimpleCH.dat");
  std::filesystem::create_directory(dir.Dir() + "0409.bin");
  EXPECT_NE(BuildChinese().find("SimpleCH.dat"), std::string::npos);
  LoadingInstallation(state).languageFontSize = 5;
  LoadLanguageFont(LoadingInstallation(state), 0x0409);
  EXPECT_EQ(LoadingInstallation(state).languageFontSize, 0u);
}

TEST_F(FontImagesTest, ListOfMoreThan9600LinesIsRefused) {
  std::u16string text;
  for (int i = 0; i < 9601; ++i) {
    text += u"a\r\n";
  }
  dir.WriteText("SimpleCH.dat", text);
  const std::string error = BuildChinese();
  EXPECT_NE(error.find("SimpleCH.dat"), std::string::npos);
  EXPECT_NE(error.find("9600"), std::string::npos);
  // 9600 lines are fine.
  dir.WriteText("SimpleCH.dat", text.substr(3));
  EXPECT_EQ(BuildChinese(), "");
}

TEST_F(FontImagesTest, StartUpBuildsChineseWithoutAndKoreanWithFullWidth) {
  // × (A1 C1) is a narrow character in both images.
  dir.WriteText("SimpleCH.dat", u"×中\r\n");
  dir.WriteText("SimpleCH_0412.dat", u"×中\r\n");
  dir.Write("0409.bin", std::vector<uint8_t>(100, 9));
  ASSERT_EQ(BuildFontImages(LoadingInstallation(state)), "");
  EXPECT_TRUE(App().fullWidthGlyphs);
  EXPECT_EQ(LoadingInstallation(state).languageFontSize, 150u);
  EXPECT_EQ(LoadingInstallation(state).glyphBuilder.renderingEnabled, 0);

  int cx = 0;
  int cy = 0;
  LoadingInstallation(state).glyphBuilder.Rasteriser().Measure(u"×", &cx, &cy);
  ASSERT_LE(cx, 8);
  const uint8_t* narrow = LoadingInstallation(state).fontBufferA.data() + 50 + 34 * 128;
  const uint8_t* wide = LoadingInstallation(state).fontBufferB.data() + 50 + 34 * 128;
  ASSERT_EQ(narrow[0], 0xA1);
  ASSERT_EQ(wide[0], 0xA1);
  for (int y = 0; y < 16; ++y) {
    const int expect = narrow[2 + y] << (cx == 8 ? 4 : 8);
    EXPECT_EQ(wide[2 + 2 * y] << 8 | wide[3 + 2 * y], expect) << "row " << y;
    EXPECT_EQ(narrow[2 + 16 + y], 0);
  }
  EXPECT_EQ(TableEntry(LoadingInstallation(state).fontBufferB, 128), u'×');
  EXPECT_EQ(TableEntry(LoadingInstallation(state).fontBufferB, 129), u'中');
}

TEST_F(FontImagesTest, StartUpStopsAtTheFirstMissingList) {
  dir.WriteText("SimpleCH_0412.dat", u"中\r\n");
  std::fill(LoadingInstallation(state).fontBufferB.begin(),
            LoadingInstallation(state).fontBufferB.end(), 0x66);
  const std::string error = BuildFontImages(LoadingInstallation(state));
  EXPECT_NE(error.find("SimpleCH.dat"), std::string::npos);
  EXPECT_EQ(LoadingInstallation(state).fontBufferB[60], 0x66);
  EXPECT_FALSE(App().fullWidthGlyphs);
}

TEST_F(FontImagesTest, NamedFontFileThatIsMissingIsReported) {
  dir.WriteText("SimpleCH.dat", u"中\r\n");
  LoadingInstallation(state).glyphFontFile = "fonts/none.pcf";
  const std::string error = BuildChinese();
  EXPECT_NE(error.find("fonts/none.pcf"), std::string::npos);
  EXPECT_NE(error.find(dir.Dir()), std::string::npos);  // relative to the program folder
}

}  // namespace
}  // namespace fw
