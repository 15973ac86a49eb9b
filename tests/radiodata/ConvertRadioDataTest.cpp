// Choosing the converter, loading the maker's libraries (here: the substitutes built by
// the project) and reporting a missing library or entry point.

#include <gtest/gtest.h>

#include <filesystem>

#include "TemplateTestFiles.h"
#include "config/Installation.h"
#include "core/UpgradeState.h"
#include "platform/SharedLibrary.h"
#include "radiodata/ConvertRadioData.h"
#include "radiodata/ConverterChoice.h"
#include "support/StepChecks.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

TEST(ConverterChoice, ThresholdIs126976Bytes) {
  EXPECT_EQ(ChooseConverter(126975, "KW66"), ConverterKind::V1);
  EXPECT_EQ(ChooseConverter(126976, "KW66"), ConverterKind::Current);
  EXPECT_EQ(ChooseConverter(65431, "KW66,KV68"), ConverterKind::V1);
  EXPECT_EQ(ChooseConverter(75031, ""), ConverterKind::V1);
  EXPECT_EQ(ChooseConverter(129976, "KW66"), ConverterKind::Current);
}

TEST(ConverterChoice, NewModelsInTheListAlwaysUseTheCurrentConverter) {
  EXPECT_EQ(ChooseConverter(126975, "KW66KZ66"), ConverterKind::Current);
  EXPECT_EQ(ChooseConverter(65431, "KX4X"), ConverterKind::Current);
  EXPECT_EQ(ChooseConverter(65431, "KW66|KX2X"), ConverterKind::Current);
  EXPECT_EQ(ChooseConverter(65431, "KX3X,kz66"), ConverterKind::V1);  // case-sensitive
}

TEST(ConverterChoice, EntryPointsAndLibraryNames) {
  EXPECT_STREQ(ConverterEntryFor(ConverterKind::V1).symbol, "RecastRadioDataV1");
  EXPECT_STREQ(ConverterEntryFor(ConverterKind::V1).libraryBase, "mutarisV1");
  EXPECT_STREQ(ConverterEntryFor(ConverterKind::Current).symbol, "RecastRadioData");
  EXPECT_STREQ(ConverterEntryFor(ConverterKind::Current).libraryBase, "mutaris");
  UpgradeState s;
  LoadingInstallation(s).programDir = "/opt/fw/";
#ifdef _WIN32
  EXPECT_EQ(ConverterLibraryPath(s, ConverterKind::V1), "/opt/fw/mutarisV1.dll");
#else
  EXPECT_EQ(ConverterLibraryPath(s, ConverterKind::V1), "/opt/fw/libmutarisV1.so");
  LoadingInstallation(s).programDir = "/opt/fw";  // a missing trailer separator is supplied
  EXPECT_EQ(ConverterLibraryPath(s, ConverterKind::Current), "/opt/fw/libmutaris.so");
#endif
}

class ConvertTest : public ::testing::Test {
 protected:
  // A state with template data of `size` bytes and different radio data.
  void Prepare(uint32_t size, const std::string& programDir) {
    state.AllocateRadioData(UpgradeState::kDefaultRadioDataSize);
    for (size_t i = 0; i < state.radioDataBuffer.size(); ++i)
      state.radioDataBuffer[i] = static_cast<uint8_t>(0xA5 ^ i);
    state.templateData = test::Pattern(size, 0x3C);
    state.radioDataSize = size;
    LoadingInstallation(state).programDir = programDir;
    LoadingInstallation(state).modelList = "KW66";
  }
  std::string PluginDir() const { return std::string(FLASHWRIGHT_PLUGIN_DIR) + "/"; }
  void CopyPlugin(const std::string& from, const fs::path& to) {
    fs::copy_file(fs::path(FLASHWRIGHT_PLUGIN_DIR) / SharedLibrary::FileName(from), to,
                  fs::copy_options::overwrite_existing);
  }
  UpgradeState state;
  test::ScratchDir dir;
};

TEST_F(ConvertTest, SubstitutePluginsLeaveTheTemplateUnchanged) {
  for (uint32_t size : {126975u, 126976u, 65431u, 129976u}) {
    Prepare(size, PluginDir());
    const auto before = state.templateData;
    std::string detail = "stale";
    EXPECT_TRUE(test::Succeeded(ConvertRadioData(state), detail)) << size << ": " << detail;
    EXPECT_TRUE(detail.empty());
    EXPECT_EQ(state.templateData, before);
    EXPECT_EQ(state.radioDataSize, size);
  }
}

TEST_F(ConvertTest, MissingLibraryIsReportedNotFatal) {
  Prepare(126975, dir.dir());  // an installation without converter libraries
  std::string detail;
  EXPECT_FALSE(test::Succeeded(ConvertRadioData(state), detail));
  EXPECT_NE(detail.find(SharedLibrary::FileName("mutarisV1")), std::string::npos) << detail;
  EXPECT_NE(detail.find(dir.dir()), std::string::npos) << detail;

  // Installed later: the next call picks it up.
  CopyPlugin("mutarisV1", dir.path() / SharedLibrary::FileName("mutarisV1"));
  EXPECT_TRUE(test::Succeeded(ConvertRadioData(state), detail)) << detail;
}

TEST_F(ConvertTest, LibraryWithoutTheEntryPointIsReported) {
  // The V1 substitute under the current converter's name: it has no RecastRadioData.
  CopyPlugin("mutarisV1", dir.path() / SharedLibrary::FileName("mutaris"));
  Prepare(129976, dir.dir());
  std::string detail;
  EXPECT_FALSE(test::Succeeded(ConvertRadioData(state), detail));
  EXPECT_NE(detail.find("RecastRadioData"), std::string::npos) << detail;
  EXPECT_NE(detail.find(SharedLibrary::FileName("mutaris")), std::string::npos) << detail;
}

TEST_F(ConvertTest, FileThatIsNoLibraryIsReportedWithTheLoaderText) {
  test::WriteBytes(dir.path() / SharedLibrary::FileName("mutaris"), {'n', 'o', 't', '\n'});
  Prepare(129976, dir.dir());
  std::string detail;
  EXPECT_FALSE(test::Succeeded(ConvertRadioData(state), detail));
  EXPECT_NE(detail.find("could not be loaded: "), std::string::npos) << detail;
  // The loader's own text follows the colon.
  EXPECT_GT(detail.size(), detail.find("could not be loaded: ") + 21) << detail;
}

TEST_F(ConvertTest, RelativeProgramDirIsNeverSearched) {
  Prepare(129976, "plugins/");
  std::string detail;
  EXPECT_FALSE(test::Succeeded(ConvertRadioData(state), detail));
  EXPECT_NE(detail.find("not an absolute path"), std::string::npos) << detail;
}

TEST_F(ConvertTest, BuffersShorterThanTheDataSizeAreRefusedBeforeTheCall) {
  Prepare(129976, PluginDir());
  state.templateData.resize(1000);  // converter would write past it
  std::string detail;
  EXPECT_FALSE(test::Succeeded(ConvertRadioData(state), detail));
  EXPECT_NE(detail.find("template data"), std::string::npos) << detail;

  Prepare(129976, PluginDir());
  state.AllocateRadioData(65431);  // converter would read past it
  EXPECT_FALSE(test::Succeeded(ConvertRadioData(state), detail));
  EXPECT_NE(detail.find("radio data buffer"), std::string::npos) << detail;

  Prepare(129976, PluginDir());
  state.radioDataSize = 0;
  EXPECT_FALSE(test::Succeeded(ConvertRadioData(state), detail));
}

}  // namespace
}  // namespace fw
