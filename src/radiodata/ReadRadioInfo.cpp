#include "radiodata/ReadRadioInfo.h"

#include "radiodata/RadioInfo.h"

namespace fw {

int DecodeRadioInfo(UpgradeState& state, const uint8_t* block) {
  RadioInfo info = DecodeRadioInfoBlock(block);
  state.radioIdentity = info.identity;
  state.radioAreaCode = info.areaCode;
  state.radioModelId = std::move(info.modelId);
  return 1;
}

int ReadRadioInfo(UpgradeState& state, int area) {
  if (area < 0 || area == 1 || area == 3 || area == 6 || area > 8) {
    return 1;
  }
  static_assert(kRadioInfoRequestSize == kRadioInfoSize);
  const uint8_t zeros[16] = {};
  uint8_t block[kRadioInfoSize] = {};
  if (state.radioLink.ReadInfo(zeros, sizeof zeros, static_cast<uint8_t>(area), block,
                               kRadioInfoRequestSize) == 1) {
    AbandonLink(state);
    return 0;
  }
  return DecodeRadioInfo(state, block);
}

void AbandonLink(UpgradeState& state) {
  state.radioLink.EndAccess(1);
  state.radioLink.Disconnect();
}

}  // namespace fw
