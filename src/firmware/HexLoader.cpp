#include "firmware/HexLoader.h"

#include <optional>

#include "platform/CodePage.h"
#include "platform/FileIo.h"

namespace fw {

bool LoadHexFile(UpgradeState& state) {
  if (state.hexFilePath.empty()) {
    return false;
  }
  bool loaded = false;
  std::optional<std::string> bytes = ReadWholeFile(state.hexFilePath, kMaxHexFileSize);
  if (bytes) {
    // The file's text in the ANSI code page, one unit per character.
    std::u16string text = Cp936ToUtf16(*bytes);
    state.chipLoadedBytes = state.hexRecords.Decode(text) + kChipFixedStepUnits;
    loaded = true;
  }
  state.chipImageSize = state.chipLoadedBytes;
  return loaded;
}

bool UseHexFile(UpgradeState& state, const std::string& path) {
  if (path.empty()) {
    return false;
  }
  state.hexFilePath = path;
  return LoadHexFile(state);
}

}  // namespace fw
