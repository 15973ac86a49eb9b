// Runs make-demo-install into a temporary folder and loads what it wrote with the
// program's own loaders, the way the program's start-up and a job would.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "DemoContent.h"
#include "DemoLayout.h"
#include "DemoTestSupport.h"
#include "config/Installation.h"
#include "config/ModelTable.h"
#include "config/Settings.h"
#include "core/AppValues.h"
#include "core/UpgradeState.h"
#include "firmware/HexLoader.h"
#include "font/FontImages.h"
#include "platform/CodePage.h"
#include "radiodata/ConvertRadioData.h"
#include "radiodata/ConverterChoice.h"
#include "radiodata/LoadTemplate.h"
#include "serial/PortMap.h"
#include "support/StepChecks.h"

namespace fw {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::RunGenerator;
using test::TempFolder;

// The identity block as the radio sends it, built here from the text's UTF-16 units.
std::vector<uint8_t> IdentityOf(const std::string& text) {
  std::vector<uint8_t> block;
  for (char16_t u : Utf8ToUtf16(text)) {
    block.push_back(static_cast<uint8_t>(u & 0xFF));
    block.push_back(static_cast<uint8_t>(u >> 8));
  }
  return block;
}

void ResetApp() {
  App().fullWidthGlyphs = false;
  App().versionText.clear();
  App().smallMcuText.clear();
  App().companyText.clear();
}

class DemoInstallTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<TempFolder>();
    run_ = RunGenerator({folder_->path().string(), "--plugins", FLASHWRIGHT_PLUGIN_DIR});
  }
  static void TearDownTestSuite() { folder_.reset(); }

  void SetUp() override {
    ASSERT_EQ(run_.exitCode, 0) << run_.output;
    GlobalPortMap().ClearExplicit();
    ResetApp();
    state_ = std::make_unique<UpgradeState>();
    LoadSettingsForProgramDir(*state_, Dir());
  }
  void TearDown() override {
    GlobalPortMap().ClearExplicit();
    ResetApp();
  }

  static std::string Dir() { return folder_->Dir(); }

  static std::unique_ptr<TempFolder> folder_;
  static test::RunResult run_;
  std::unique_ptr<UpgradeState> state_;
};

std::unique_ptr<TempFolder> DemoInstallTest::folder_;
test::RunResult DemoInstallTest::run_;

TEST_F(DemoInstallTest, SettingsFillEveryField) {
  const UpgradeState& s = *state_;
  EXPECT_EQ(s.installation->settingsPath, Dir() + "Flashwright.ini");
  EXPECT_EQ(s.installation->programDir, Dir());
  EXPECT_EQ(s.installation->imageDir, Dir());
  EXPECT_EQ(s.selectedPort.load(), 1);
  EXPECT_EQ(s.updateChip, 1);
  EXPECT_EQ(s.installation->readWriteLog, 0);
  EXPECT_EQ(s.vocoderIndex, 0);
  EXPECT_EQ(s.installation->autoTest, 0);
  EXPECT_EQ(s.installation->modelList, "KV86");
  EXPECT_FALSE(s.installation->windowTitle.empty());
  EXPECT_FALSE(App().versionText.empty());
  EXPECT_FALSE(App().companyText.empty());
  EXPECT_FALSE(App().smallMcuText.empty());
  // An empty "FontFile" keeps the installed glyph font.
  EXPECT_EQ(s.installation->glyphFontFile, "");
  EXPECT_EQ(s.installation->modelTablePath, Dir() + "config/r55/Model.dat");
  EXPECT_TRUE(fs::is_regular_file(s.installation->modelTablePath));

  const std::map<std::string, std::string> images = {
      {"MainBin", s.installation->mainImageName},
      {"MainBinSelp", s.installation->mainImageNameSelp},
      {"SmallMainBin", s.installation->smallImageName},
      {"SmallMainBinSelp", s.installation->smallImageNameSelp}};
  for (const demo::ImageFile& f : demo::kImageFiles) {
    SCOPED_TRACE(f.key);
    EXPECT_EQ(images.at(f.key), f.fileName);
    std::error_code ec;
    const auto size = fs::file_size(s.installation->imageDir + images.at(f.key), ec);
    ASSERT_FALSE(ec);
    EXPECT_EQ(size, f.size);
    EXPECT_LE(size, UpgradeState::kImageBufferSize);
    EXPECT_GE(size, 100u * 1024);
  }
  const std::map<std::string, std::string> hexes = {
      {"DadazuHex", s.installation->chipHexPath},
      {"DadazuHexSelp", s.installation->chipHexPathSelp},
      {"SmallDadazuHex", s.installation->smallChipHexPath},
      {"SmallDadazuHexSelp", s.installation->smallChipHexPathSelp}};
  for (const demo::HexFile& f : demo::kHexFiles) {
    SCOPED_TRACE(f.key);
    EXPECT_EQ(hexes.at(f.key), Dir() + f.fileName);
    EXPECT_TRUE(fs::is_regular_file(hexes.at(f.key)));
  }
  EXPECT_EQ(s.hexFilePath, s.installation->chipHexPath);
}

#ifndef _WIN32  // COM numbers map to devices through "Ports" off Windows only
TEST_F(DemoInstallTest, PortsSectionTakesAnAppendedDeviceLine) {
  // What the demo script does: append the simulated radio's pseudo-terminal.
  const std::string ini = Dir() + "Flashwright.ini";
  const std::vector<uint8_t> before = ReadFileBytes(ini);
  {
    std::ofstream out(ini, std::ios::app | std::ios::binary);
    out << "COM1=/dev/pts/77\n";
  }
  UpgradeState again;
  LoadSettingsForProgramDir(again, Dir());
  EXPECT_EQ(GlobalPortMap().DevicePath(1), "/dev/pts/77");
  EXPECT_EQ(LoadingInstallation(again).modelList,
            "KV86");  // the line did not land in section "Setting"
  std::ofstream(ini, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(before.data()),
             static_cast<std::streamsize>(before.size()));
}
#endif  // _WIN32

TEST_F(DemoInstallTest, DownloadIdentityPassesTheModelCheck) {
  // The transfer refuses an "MCU" radio whose model code (first four characters of its
  // model text) is not in "MODEL"; the demo radio is such a radio.
  const std::string info = demo::kInfoField;
  ASSERT_NE(info.find("MCU"), std::string::npos);
  EXPECT_GE(std::stoi(info.substr(info.size() - 4)), 400);
  EXPECT_LT(std::stoi(std::string(demo::kInfoFieldSmall).substr(4)), 400);
  const std::string code = std::string(demo::kDownloadModelText).substr(0, 4);
  EXPECT_EQ(code, demo::kModelCode);
  EXPECT_NE(LoadingInstallation(*state_).modelList.find(code), std::string::npos);
  // The refusal list of KW radios does not apply.
  EXPECT_EQ(LoadingInstallation(*state_).modelList.find("KV86/KV89/KV81/KW86/KW89/KW81"),
            std::string::npos);
}

TEST_F(DemoInstallTest, ModelTableAcceptsTheDemoRadio) {
  ModelTable table;
  table.Load(LoadingInstallation(*state_).modelTablePath);
  const std::vector<uint8_t> identity = IdentityOf(demo::kIdentityText);
  ASSERT_EQ(identity.size(), 32u);
  EXPECT_EQ(table.FindByIdentity(identity), std::optional<int>(1));
  EXPECT_TRUE(table.IsAreaAccepted(demo::kAreaDigit));
  EXPECT_TRUE(table.IsAreaAccepted('2'));
  EXPECT_FALSE(table.IsAreaAccepted('3'));
  EXPECT_FALSE(table.IsAreaAccepted('0'));
  // The second line names a model that the installation refuses.
  EXPECT_EQ(table.FindByIdentity(IdentityOf(demo::kRefusedIdentityText)), std::nullopt);
  ASSERT_EQ(table.entries().size(), 2u);
  // The fourth field: the identifier's UTF-16LE units padded to 23 units, 92 digits.
  EXPECT_EQ(table.entries()[0].text4.size(), 92u);
  EXPECT_EQ(table.entries()[0].text4.substr(0, 8), "4B005600");  // "KV"
}

TEST_F(DemoInstallTest, HexFilesLoadAsTheChipUpdateWalksThem) {
  for (const demo::HexFile& f : demo::kHexFiles) {
    SCOPED_TRACE(f.fileName);
    state_->hexFilePath = Dir() + f.fileName;
    ASSERT_TRUE(LoadHexFile(*state_));
    const uint32_t dataBytes = f.pageBytes[0] + f.pageBytes[1] + f.pageBytes[2];
    EXPECT_GT(dataBytes, 2000u);
    EXPECT_EQ(state_->chipImageSize, dataBytes + 52);

    // Walk the table like the chip update: a record without data sets the page.
    const HexRecordTable& table = HexRecords(*state_);
    ASSERT_GT(table.Count(), 0);
    ASSERT_LT(table.Count(), HexRecordTable::kSlotCount);
    int page = 0;
    int pageRecords = 0;
    std::map<int, uint32_t> bytesPerPage;
    std::map<int, std::vector<uint8_t>> contentPerPage;
    std::map<int, std::pair<int, int>> spanPerPage;  // first and last address + 1
    for (int i = 0; i < table.Count(); ++i) {
      const HexRecordTable::Record r = table.At(i);
      if (r.byteCount == 0) {
        page = r.addressLow;
        ++pageRecords;
        continue;
      }
      EXPECT_EQ(table.Slot(i)[4 + r.byteCount], HexRecordTable::kDataEndMark);
      const int address = r.addressHigh << 8 | r.addressLow;
      bytesPerPage[page] += r.byteCount;
      contentPerPage[page].insert(contentPerPage[page].end(), r.data.begin(), r.data.end());
      auto [it, fresh] = spanPerPage.try_emplace(page, address, address + r.byteCount);
      if (!fresh) {
        EXPECT_EQ(address, it->second.second) << "records of a page follow each other";
        it->second.second = address + r.byteCount;
      }
    }
    EXPECT_EQ(pageRecords, 4);  // pages 0, 1, 2 and the end record
    const HexRecordTable::Record last = table.At(table.Count() - 1);
    EXPECT_EQ(last.type, 0x01);
    for (int p = 0; p < 3; ++p) {
      EXPECT_EQ(bytesPerPage[p], f.pageBytes[p]) << "page " << p;
      EXPECT_EQ(spanPerPage[p].first, f.pageStart[p]) << "page " << p;
      // The bytes the chip receives for the page are the generated code, in order.
      EXPECT_EQ(contentPerPage[p], demo::PseudoRandomBytes(f.seed + p, f.pageBytes[p]))
          << "page " << p;
    }
  }
}

TEST_F(DemoInstallTest, HexFilesAreWellFormedIntelHex) {
  for (const demo::HexFile& f : demo::kHexFiles) {
    SCOPED_TRACE(f.fileName);
    const std::vector<uint8_t> bytes = ReadFileBytes(Dir() + f.fileName);
    const std::string text(bytes.begin(), bytes.end());
    size_t start = 0;
    int lines = 0;
    while (start < text.size()) {
      const size_t end = text.find("\r\n", start);
      ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
      const std::string line = text.substr(start, end - start);
      ASSERT_GE(line.size(), 11u);
      ASSERT_EQ(line[0], ':');
      ASSERT_EQ(line.size() % 2, 1u);
      unsigned sum = 0;
      for (size_t k = 1; k < line.size(); k += 2) {
        sum += std::stoul(line.substr(k, 2), nullptr, 16);
      }
      EXPECT_EQ(sum % 256, 0u) << line;
      EXPECT_EQ(std::stoul(line.substr(1, 2), nullptr, 16) * 2 + 11, line.size()) << line;
      EXPECT_EQ(line.find_first_not_of(":0123456789ABCDEF"), std::string::npos) << line;
      start = end + 2;
      ++lines;
    }
    EXPECT_EQ(text.substr(text.size() - 13), ":00000001FF\r\n");
    EXPECT_GT(lines, 100);
  }
}

TEST_F(DemoInstallTest, TemplatesLoadWithTheSizesTheImageSelectionImplies) {
  UpgradeState& s = *state_;
  s.AllocateRadioData(demo::kLargeDataSize);
  s.radioModelId = demo::kModelId;
  // The model text fix-up: the first 16 characters, then "00000" for a KV86 text.
  EXPECT_EQ(std::string(demo::kModelId), std::string(demo::kModelText).substr(0, 16) + "00000");

  s.radioInfo = demo::kInfoField;
  s.radioVersion = 401;
  std::string detail;
  const std::string large = TemplatePathFor(s);
  EXPECT_EQ(large, Dir() + "rcdb/" + demo::kModelId + ".rcd");
  ASSERT_TRUE(test::Succeeded(LoadTemplate(s, large), detail)) << detail;
  EXPECT_EQ(s.radioDataSize, demo::kLargeDataSize);
  ASSERT_EQ(s.templateData.size(), demo::kLargeDataSize);
  EXPECT_EQ(s.templateData[766], 0x09);
  EXPECT_EQ(s.templateData[767], 0x04);
  // The substitute converter lies beside the program and converts the data.
  EXPECT_TRUE(test::Succeeded(ConvertRadioData(s), detail)) << detail;

  s.radioInfo = demo::kInfoFieldSmall;
  s.radioVersion = 399;
  const std::string small = TemplatePathFor(s);
  EXPECT_EQ(small, Dir() + "rcdb/smallMCU/" + demo::kModelId + ".rcd");
  ASSERT_TRUE(test::Succeeded(LoadTemplate(s, small), detail)) << detail;
  EXPECT_EQ(s.radioDataSize, demo::kSmallDataSize);
  EXPECT_EQ(s.templateData[766], 0x09);
  // Below the large size, with "MODEL" naming no KZ/KX: the V1 converter.
  EXPECT_TRUE(test::Succeeded(ConvertRadioData(s), detail)) << detail;
}

TEST_F(DemoInstallTest, SmallImageNamesGiveTheSmallDataSize) {
  // The transfer picks 75031 for an image name containing "KV680", and the large size for
  // a main image containing "KW680", "KW630" or "KV230"; the demo's small templates hold
  // 65431 bytes, so none of its names may contain them.
  for (const demo::ImageFile& f : demo::kImageFiles) {
    for (const char* part : {"KV680", "KW680", "KW630", "KV230"}) {
      EXPECT_EQ(std::string(f.fileName).find(part), std::string::npos) << f.fileName;
    }
  }
}

TEST_F(DemoInstallTest, FontImagesBuildFromTheCharacterLists) {
  UpgradeState& s = *state_;
  std::string fontError;
  if (!LoadingInstallation(s).glyphBuilder.Rasteriser().Open(&fontError)) {
    GTEST_SKIP() << "no glyph font installed: " << fontError;
  }
  App().fullWidthGlyphs = false;
  ASSERT_EQ(BuildFontImages(LoadingInstallation(s)), "");
  const size_t languageFile = fs::file_size(Dir() + "0409.bin");
  EXPECT_EQ(s.installation->languageFontSize, languageFile + 50);
  EXPECT_EQ(languageFile, 95u * 34);
  EXPECT_EQ(s.installation->fontBufferC[15], 0x09);
  EXPECT_EQ(s.installation->fontBufferC[16], 0x04);

  // Simple Chinese image: version "8.01.01", language 0x0804, glyphs past the first 128
  // entries (double-byte characters start at entry 128, 34 bytes each).
  EXPECT_EQ(s.installation->fontBufferA[0], '8');
  EXPECT_EQ(s.installation->fontBufferA[15], 0x04);
  EXPECT_EQ(s.installation->fontBufferA[16], 0x08);
  const uint8_t* entry128 = s.installation->fontBufferA.data() + 50 + 128 * 34;
  EXPECT_NE(entry128[0] | entry128[1], 0) << "the first Chinese character has a glyph";
  EXPECT_TRUE(std::any_of(entry128 + 2, entry128 + 34, [](uint8_t b) { return b != 0; }));

  // Korean image: the index table entry 128 holds the list's first non-ASCII character.
  const size_t table = 143360;
  const char16_t first = static_cast<char16_t>(s.installation->fontBufferB[table + 256] |
                                               s.installation->fontBufferB[table + 257] << 8);
  EXPECT_EQ(first, u'，');
  App().fullWidthGlyphs = false;
}

TEST_F(DemoInstallTest, ConverterLibrariesLieBesideTheProgram) {
  for (ConverterKind kind : {ConverterKind::Current, ConverterKind::V1}) {
    const std::string path = ConverterLibraryPath(*state_, kind);
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(Dir()).parent_path());
    EXPECT_TRUE(fs::is_regular_file(path)) << path;
  }
}

}  // namespace
}  // namespace fw
