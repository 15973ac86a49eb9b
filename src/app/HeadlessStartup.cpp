#include "app/HeadlessStartup.h"

#include "config/Installation.h"
#include "config/Settings.h"
#include "firmware/HexLoader.h"
#include "firmware/MainFirmware.h"
#include "firmware/VocoderChoice.h"

namespace fw {

void PrepareInstallation(UpgradeState& state, const std::string& programDir,
                         std::optional<int> vocoder) {
  Installation& installation = LoadingInstallation(state);
  installation.configSubdir = "config/r55";
  installation.configNumber = 55;
  LoadSettingsForProgramDir(state, programDir);
  installation.modelTable.Load(installation.modelTablePath);
  PrepareJob(state, vocoder);
}

void PrepareJob(UpgradeState& state, std::optional<int> vocoder) {
  state.radioDataSize = UpgradeState::kDefaultRadioDataSize;
  state.writeDataSize = UpgradeState::kDefaultRadioDataSize;
  state.AllocateRadioData(UpgradeState::kDefaultRadioDataSize);
  if (vocoder) {
    state.vocoderIndex = *vocoder;
  }
  SelectVocoder(state, state.vocoderIndex == 0 ? 0 : 1);
  // The image named by "MainBin" is loaded at start-up; the transfer loads the one it
  // chooses for the radio again.
  std::string imagePath = state.installation->imageDir + state.installation->mainImageName;
  state.imageSize = ImageFileSize(imagePath);
  LoadImageFile(state, imagePath);
  LoadHexFile(state);
}

}  // namespace fw
