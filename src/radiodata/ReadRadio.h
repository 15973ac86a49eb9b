#pragma once
// Reads the radio's configuration data into the state's radio data buffer over the radio
// link: connect, firmware version check, information block, model and area checks
// against the model table, then blocks of 200 bytes and the remainder.

#include <cstdint>

#include "core/UpgradeState.h"

namespace fw {

// How a read ended. The refusals have given up the link; the job tells the user why.
enum class ReadResult {
  Done,          // the whole image was read (resultOk is 1)
  UnknownModel,  // the model table does not know the radio's identity
  AreaRefused,   // the model table does not serve the radio's area
  BadModelId,    // the radio's model identifier cannot name a template file
  BlockFailed,   // a block read failed (a communication error was posted)
  NewFamily,     // the version query found a new-family firmware (message shown);
                 // familyOverride = 2
  NotReady,      // no connection or no information block: try again
};

inline constexpr const char* kModelErrorText = "Model Error!";
inline constexpr const char* kAreaErrorText = "CPS Area dosn't match!";
inline constexpr const char* kReadingText = "Reading the radio, please wait...";

ReadResult ReadRadio(UpgradeState& state);

}  // namespace fw
