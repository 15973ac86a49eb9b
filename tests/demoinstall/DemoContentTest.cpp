// The generator's pieces: hex lines against hand-computed checksums, the character lists,
// determinism, and the failures of the program (bad arguments, missing converters, a
// folder that cannot be made).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DemoContent.h"
#include "DemoInstall.h"
#include "DemoTestSupport.h"
#include "HexText.h"
#include "font/CharacterList.h"
#include "platform/CodePage.h"
#include "platform/SharedLibrary.h"

namespace fw {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::RunGenerator;
using test::TempFolder;

TEST(DemoHexText, LinesCarryTheTwosComplementChecksumAndCrLf) {
  demo::HexText hex;
  std::vector<uint8_t> data(16);
  for (int i = 0; i < 16; ++i) {
    data[i] = static_cast<uint8_t>(i);
  }
  hex.Page(1);
  // 10 + 12 + 30 + 00 + (0 + ... + 15 = 0x78) = 0xCA; 0x100 - 0xCA = 0x36.
  hex.Data(0x1230, data);
  hex.End();
  EXPECT_EQ(hex.Text(),
            ":00000100FF\r\n"
            ":10123000000102030405060708090A0B0C0D0E0F36\r\n"
            ":00000001FF\r\n");
  EXPECT_EQ(hex.DataBytes(), 16u);
  EXPECT_EQ(hex.Records(), 3);
}

TEST(DemoHexText, RunsSplitIntoRecordsWithAShortLastOne) {
  demo::HexText hex;
  const std::vector<uint8_t> data(37, 0xAB);
  hex.DataRun(0xFFD0, data);
  // 0xFFD0 + 37 = 0xFFF5: three records of 16, 16 and 5 bytes.
  EXPECT_EQ(hex.Records(), 3);
  EXPECT_EQ(hex.DataBytes(), 37u);
  EXPECT_NE(hex.Text().find(":05FFF000ABABABABAB"), std::string::npos);
  // 05 + FF + F0 + 00 + 5 * AB (0x357) = 0x54B -> 0x4B; 0x100 - 0x4B = 0xB5.
  EXPECT_NE(hex.Text().find(":05FFF000ABABABABABB5\r\n"), std::string::npos);
}

TEST(DemoHexText, RefusesRecordsThatCannotBeWritten) {
  demo::HexText hex;
  EXPECT_THROW(hex.Data(0, {}), std::invalid_argument);
  EXPECT_THROW(hex.Data(0, std::vector<uint8_t>(256)), std::invalid_argument);
  // A run past the end of its 64 KiB page would wrap to address 0.
  EXPECT_THROW(hex.DataRun(0xFFF0, std::vector<uint8_t>(17)), std::invalid_argument);
  EXPECT_NO_THROW(hex.DataRun(0xFFF0, std::vector<uint8_t>(16)));
}

TEST(DemoCharacterList, ListsReadBackAsGb2312CharactersEightALine) {
  const std::vector<uint8_t> list =
      demo::CharacterList(demo::kListAFirstCode, demo::kListACount, demo::kCharactersPerLine);
  ASSERT_GE(list.size(), 4u);
  EXPECT_EQ(list[0], 0xFF);  // byte-order mark, alone on the first line
  EXPECT_EQ(list[1], 0xFE);
  EXPECT_EQ(list[2], '\r');
  EXPECT_EQ(list[4], '\n');

  std::vector<uint8_t> scratch(307200);
  const CharacterListResult r =
      ReadCharacterList(list.data(), list.size(), scratch.data(), scratch.size());
  EXPECT_FALSE(r.tooManyLines);
  EXPECT_EQ(r.truncatedLines, 0);
  // The punctuation line, then 480 characters at 8 a line.
  EXPECT_EQ(r.entryCount, 1 + 480 / 8);
  // Entry 1 begins with the first character of GB2312 level 1: B0 A1, then B0 A2.
  EXPECT_EQ(scratch[32], 0xB0);
  EXPECT_EQ(scratch[33], 0xA1);
  EXPECT_EQ(scratch[34], 0xB0);
  EXPECT_EQ(scratch[35], 0xA2);
  // Every entry of Chinese characters is 8 double-byte characters: 16 bytes, then zeros.
  for (int k = 1; k < r.entryCount; ++k) {
    const uint8_t* e = scratch.data() + 32 * k;
    for (int b = 0; b < 16; ++b) {
      EXPECT_GE(e[b], 0xA1) << "entry " << k;
    }
    EXPECT_EQ(e[16], 0) << "entry " << k;
  }
}

TEST(DemoCharacterList, RowsSkipCodesWithoutACharacter) {
  // Row 0xD7 ends at 0xD7F9: the list goes on with 0xD8A1.
  const std::vector<uint8_t> list = demo::CharacterList(0xD7F8, 3, 8);
  std::u16string text;
  for (size_t i = 0; i + 1 < list.size(); i += 2) {
    text += static_cast<char16_t>(list[i] | list[i + 1] << 8);
  }
  const std::string last = Utf16ToCp936(text.substr(text.size() - 5, 3));
  EXPECT_EQ(last, std::string("\xD7\xF8\xD7\xF9\xD8\xA1"));
}

TEST(DemoContent, PseudoRandomBytesAreSplitMix64LittleEndian) {
  // splitmix64 started at 0 gives 0xE220A8397B1DCDAF, then 0x6E789E6AA1B965F4.
  EXPECT_EQ(demo::PseudoRandomBytes(0, 10),
            (std::vector<uint8_t>{0xAF, 0xCD, 0x1D, 0x7B, 0x39, 0xA8, 0x20, 0xE2, 0xF4, 0x65}));
  EXPECT_TRUE(demo::PseudoRandomBytes(7, 0).empty());
}

TEST(DemoContent, ImagesCarryTheirTitleAndSize) {
  const demo::ImageFile& f = demo::kImageFiles[0];
  const std::vector<uint8_t> image = demo::FirmwareImage(f);
  ASSERT_EQ(image.size(), f.size);
  EXPECT_EQ(std::string(image.begin(), image.begin() + 22), "FLASHWRIGHT DEMO IMAGE");
  EXPECT_EQ(image[60] | image[61] << 8 | image[62] << 16 | image[63] << 24,
            static_cast<int>(f.size));
  // The rest is not a constant fill: count distinct byte values.
  std::vector<bool> seen(256);
  for (size_t i = 64; i < image.size(); ++i) {
    seen[image[i]] = true;
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
  // Different images differ.
  EXPECT_NE(demo::FirmwareImage(demo::kImageFiles[1]).at(100), image.at(100));
}

TEST(DemoGenerator, TwoRunsWriteTheSameBytes) {
  TempFolder a;
  TempFolder b;
  const demo::DemoInstallResult ra = demo::WriteDemoInstallation({a.path().string(), ""});
  const demo::DemoInstallResult rb = demo::WriteDemoInstallation({b.path().string(), ""});
  ASSERT_TRUE(ra.ok) << ra.error;
  ASSERT_TRUE(rb.ok) << rb.error;
  ASSERT_EQ(ra.files, rb.files);
  EXPECT_EQ(ra.files.size(), 15u);  // everything but the two converter libraries
  for (const std::string& f : ra.files) {
    EXPECT_EQ(ReadFileBytes(a.path() / f), ReadFileBytes(b.path() / f)) << f;
  }
  // Without converters the result says so.
  ASSERT_FALSE(ra.warnings.empty());
  EXPECT_NE(ra.warnings.back().find("converter"), std::string::npos);
}

TEST(DemoGenerator, ProgramWritesTheInstallationAndNamesItsFileCount) {
  TempFolder folder;
  const test::RunResult run =
      RunGenerator({folder.path().string(), "--plugins", FLASHWRIGHT_PLUGIN_DIR});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("17 files written"), std::string::npos) << run.output;
  EXPECT_TRUE(fs::is_regular_file(folder.path() / "Flashwright.ini"));
  EXPECT_TRUE(fs::is_regular_file(folder.path() / SharedLibrary::FileName("mutarisV1")));
}

TEST(DemoGenerator, MissingConverterLibrariesFailTheRun) {
  TempFolder folder;
  TempFolder emptyPlugins;
  const test::RunResult run = RunGenerator(
      {(folder.path() / "install").string(), "--plugins", emptyPlugins.path().string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find(SharedLibrary::FileName("mutaris")), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("missing"), std::string::npos) << run.output;
}

TEST(DemoGenerator, BadArgumentsShowTheUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"a", "b"}, {"--frobnicate", "a"}, {"a", "--plugins"}}) {
    const test::RunResult run = RunGenerator(args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("usage:"), std::string::npos) << run.output;
  }
  EXPECT_EQ(RunGenerator({"--help"}).exitCode, 0);
}

TEST(DemoGenerator, AFolderThatCannotBeMadeIsAnError) {
  TempFolder folder;
  std::ofstream(folder.path() / "file") << "x";
  const demo::DemoInstallResult r =
      demo::WriteDemoInstallation({(folder.path() / "file" / "install").string(), ""});
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("cannot create"), std::string::npos) << r.error;
  EXPECT_FALSE(demo::WriteDemoInstallation({"", ""}).ok);
}

}  // namespace
}  // namespace fw
