#pragma once
// A complete installation for a full upgrade with chip update against the simulated radio:
// main image, model file accepting the radio, template for its model text (with an unknown
// language that the font step replaces by 0x0409), the 0409 language image, the substitute
// converters and a two-page chip hex file. Also knows what the radio must hold afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FramedLinkResponder.h"
#include "RadioSim.h"
#include "config/Installation.h"
#include "core/UpgradeState.h"
#include "firmware/HexLoader.h"
#include "platform/SharedLibrary.h"
#include "radiodata/RadioInfo.h"
#include "radiodata/TemplateWriter.h"
#include "support/HexFileWriter.h"
#include "support/TempDir.h"

namespace fw::test {

class FullUpgradeSetup {
 public:
  static constexpr const char* kIdentifier = "KV55000000N02000";
  static constexpr const char* kModelText = "KV55000000N00000L";
  static constexpr uint32_t kDataSize = 129976;

  static std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
      v[i] = static_cast<uint8_t>((i * seed + (i >> 10)) & 0xFF);
    }
    return v;
  }

  // The identity block's rendering in the model file: UTF-16LE bytes as upper-case hex.
  static std::string IdentityHex(const std::string& identifier) {
    std::string hex;
    char two[3];
    for (char c : identifier) {
      std::snprintf(two, sizeof two, "%02X", static_cast<unsigned char>(c));
      hex += two;
      hex += "00";
    }
    return hex;
  }

  // Fills the installation folder and points `state` at it (call inside ASSERT-able code).
  void Build(UpgradeState& state) {
    const std::string d = dir.Path();
    LoadingInstallation(state).programDir = d;
    LoadingInstallation(state).imageDir = d;
    LoadingInstallation(state).mainImageName = "Main.bin";
    LoadingInstallation(state).chipHexPath = d + "Chip.hex";
    state.hexFilePath = LoadingInstallation(state).chipHexPath;
    LoadingInstallation(state).modelList = "KV68/KZ66";
    LoadingInstallation(state).readWriteLog = 1;
    LoadingInstallation(state).settingsPath = d + "Flashwright.ini";
    state.AllocateRadioData(kDataSize);
    image = Pattern(7000, 131);
    dir.Write("Main.bin", image);

    // The model table accepts the radio and areas 1 and 3.
    dir.Write("Model.dat",
              "[Area]\r\nNumber=2\r\nArea0=1\r\nArea1=3\r\n[Type]\r\nNumber=1\r\n"
              "Type0=" +
                  IdentityHex(kIdentifier) + ",1,x,y\r\n");
    LoadingInstallation(state).modelTable.Load(d + "Model.dat");

    // The template for the radio's fixed-up model text, with an unknown language (0x0407).
    modelId = FixUpModelText(kModelText);
    templateData = Pattern(kDataSize, 7);
    templateData[766] = 0x07;
    templateData[767] = 0x04;
    std::filesystem::create_directories(d + "rcdb");
    ASSERT_TRUE(WriteTemplateFile(d + "rcdb/" + modelId + ".rcd", templateData, {}));
    // The language image the radio gets instead: 0409.bin.
    languageFile = Pattern(3000, 3);
    dir.Write("0409.bin", languageFile);
    // The substitute converters, copied into the installation.
    for (const char* base : {"mutaris", "mutarisV1"}) {
      const std::string lib = SharedLibrary::FileName(base);
      std::filesystem::copy_file(std::string(FLASHWRIGHT_PLUGIN_DIR) + "/" + lib, d + lib);
    }

    // The firmware chip's hex file: two pages.
    hex.Page(0);
    hex.Data(0x0000, Pattern(16, 5));
    hex.Data(0x0010, Pattern(16, 9));
    hex.Page(1);
    hex.Data(0x0100, Pattern(8, 17));
    hex.End();
    ASSERT_TRUE(hex.Save(LoadingInstallation(state).chipHexPath));
    ASSERT_TRUE(LoadHexFile(state));

    config.download.restartMs = 300;
    config.linkIdentifier = kIdentifier;
    config.linkModelText = kModelText;
    config.areaDigit = '3';
    oldData = Pattern(kDataSize, 29);
  }

  // The radio's data before the upgrade.
  void SeedRadio(sim::RadioSim& sim) const {
    sim.WithLink([&](sim::FramedLinkResponder& r) {
      std::copy(oldData.begin(), oldData.end(),
                r.MemoryImage(sim::FramedLinkResponder::Memory::kData).begin());
    });
  }

  // What the data area holds after the write: the converted template (the substitute leaves
  // it as it is) with the language switched from 0x0407 to 0x0409 at offset 766.
  std::vector<uint8_t> ExpectedData() const {
    std::vector<uint8_t> expected = templateData;
    expected[766] = 0x09;
    expected[767] = 0x04;
    return expected;
  }

  TempDir dir;
  HexFileWriter hex;
  sim::RadioSimConfig config;
  std::vector<uint8_t> image;
  std::vector<uint8_t> templateData;
  std::vector<uint8_t> languageFile;
  std::vector<uint8_t> oldData;
  std::string modelId;
};

}  // namespace fw::test
