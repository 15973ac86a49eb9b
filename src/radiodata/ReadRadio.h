#pragma once
// Reads the radio's configuration data into the state's radio data buffer over the radio
// link: connect, firmware version check, information block, model and area checks
// against the model table, then blocks of 200 bytes and the remainder.

#include <cstdint>

#include "core/UpgradeState.h"

namespace fw {

// Result codes of ReadRadio.
enum ReadRadioResult : int {
  kReadDone = 0,       // the whole image was read (resultOk is 1)
  kReadRefused = 3,    // radio refused (message shown) or a block read failed
  kReadNewFamily = 4,  // the version query found a new-family firmware; familyOverride = 2
  kReadNotReady = 5,   // no connection or no information block: try again
};

inline constexpr const char* kModelErrorText = "Model Error!";
inline constexpr const char* kAreaErrorText = "CPS Area dosn't match!";
inline constexpr const char* kReadingText = "Reading the radio, please wait...";

int ReadRadio(UpgradeState& state);

}  // namespace fw
