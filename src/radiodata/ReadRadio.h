#pragma once
// Reads the radio's configuration data into the state's radio data buffer over the radio
// link: connect, firmware version check, information block, model and area checks
// against the model table, then blocks of 200 bytes and the remainder.

#include <cstdint>

#include "core/UpgradeState.h"

namespace fw {

// How a read ended.
enum class ReadResult {
  Done,       // the whole image was read (resultOk is 1)
  Refused,    // radio refused (message shown) or a block read failed
  NewFamily,  // the version query found a new-family firmware; familyOverride = 2
  NotReady,   // no connection or no information block: try again
};

inline constexpr const char* kModelErrorText = "Model Error!";
inline constexpr const char* kAreaErrorText = "CPS Area dosn't match!";
inline constexpr const char* kReadingText = "Reading the radio, please wait...";

ReadResult ReadRadio(UpgradeState& state);

}  // namespace fw
