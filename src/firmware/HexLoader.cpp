#include "firmware/HexLoader.h"

#include <optional>

#include "platform/CodePage.h"
#include "platform/FileIo.h"

namespace fw {

HexRecordTable& HexRecords(UpgradeState& state) {
  if (!state.hexRecords) {
    state.hexRecords = std::make_shared<HexRecordTable>();
  }
  return *state.hexRecords;
}

const HexRecordTable& HexRecords(const UpgradeState& state) {
  static const HexRecordTable* const kEmpty = new HexRecordTable();
  return state.hexRecords ? *state.hexRecords : *kEmpty;
}

bool LoadHexFile(UpgradeState& state) {
  if (state.hexFilePath.empty()) {
    return false;
  }
  bool loaded = false;
  std::optional<std::string> bytes = ReadWholeFile(state.hexFilePath, kMaxHexFileSize);
  if (bytes) {
    // The file's text in the ANSI code page, one unit per character.
    std::u16string text = Cp936ToUtf16(*bytes);
    state.chipLoadedBytes = HexRecords(state).Decode(text, state.hexFilePath) + kChipFixedStepUnits;
    loaded = !HexRecords(state).Refusal().has_value();
  }
  state.chipImageSize = state.chipLoadedBytes;
  return loaded;
}

std::string HexRefusalText(const HexRefusal& refusal) {
  const std::string& path = refusal.file;
  const size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string text = "The firmware chip hex file " + name;
  text += refusal.tooLarge ? " is too large: " : " is refused: ";
  if (refusal.line > 0) {
    text += "line " + std::to_string(refusal.line) + ": ";
  }
  return text + refusal.reason + ". Please choose another hex file!";
}

const HexRefusal* HexFileRefusal(const UpgradeState& state) {
  const std::optional<HexRefusal>& refusal = HexRecords(state).Refusal();
  return refusal && refusal->file == state.hexFilePath ? &*refusal : nullptr;
}

bool UseHexFile(UpgradeState& state, const std::string& path) {
  if (path.empty()) {
    return false;
  }
  state.hexFilePath = path;
  return LoadHexFile(state);
}

}  // namespace fw
