#include "firmware/VocoderChoice.h"

#include <string_view>

#include "config/Installation.h"
#include "config/Settings.h"
#include "firmware/HexLoader.h"

namespace fw {

void SelectVocoder(UpgradeState& state, int index) {
  if (index < 0) {
    return;
  }
  const bool ambe =
      std::string_view(kVocoderItems[0]) == (index < 2 ? kVocoderItems[index] : std::string_view());
  if (ambe) {
    state.vocoderIndex = 0;
    state.selectedImageName = state.installation->mainImageName;
    state.hexFilePath = state.installation->chipHexPath;
  } else {
    state.vocoderIndex = 1;
    state.selectedImageName = state.installation->mainImageNameSelp;
    state.hexFilePath = state.installation->chipHexPathSelp;
  }
  LoadHexFile(state);
}

}  // namespace fw
