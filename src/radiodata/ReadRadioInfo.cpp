#include "radiodata/ReadRadioInfo.h"

#include <algorithm>

#include "radiodata/RadioInfo.h"

namespace fw {

void DecodeRadioInfo(UpgradeState& state, const uint8_t* block) {
  RadioInfo info = DecodeRadioInfoBlock(block);
  std::copy(block, block + kRadioInfoSize, state.radioInfoBlock.begin());
  state.radioInfoRead = true;
  state.radioIdentity = info.identity;
  state.radioAreaCode = info.areaCode;
  state.radioModelId = std::move(info.modelId);
}

bool ReadRadioInfo(UpgradeState& state, int area) {
  if (area < 0 || area == 1 || area == 3 || area == 6 || area > 8) {
    return true;
  }
  static_assert(kRadioInfoRequestSize == kRadioInfoSize);
  const uint8_t zeros[16] = {};
  uint8_t block[kRadioInfoSize] = {};
  if (!state.radioLink.ReadInfo(zeros, sizeof zeros, static_cast<uint8_t>(area), block,
                                kRadioInfoRequestSize)) {
    AbandonLink(state);
    return false;
  }
  DecodeRadioInfo(state, block);
  return true;
}

void AbandonLink(UpgradeState& state) {
  state.radioLink.EndAccess(1);
  state.radioLink.Disconnect();
}

}  // namespace fw
