#pragma once
// The firmware chip update: brings the radio's second controller into its loader over the
// download port, lets it erase its flash, sends the loaded hex records one frame at a time
// and ends the programming with the finish, confirm and leave commands.

#include "core/UpgradeState.h"

namespace fw {

// Result codes of UpdateFirmwareChip.
enum ChipUpdateResult : int {
  kChipUpdated = 0,
  kChipFailed = 3,      // the chip entered its loader, then a step went unanswered
  kChipPortFailed = 4,  // the download port did not open
  kChipNotReady = 5,    // the chip did not answer the enter request or the handshake
};

// Runs one pass over the loader's protocol on the worker thread. Returns a ChipUpdateResult;
// sets resultOk to 1 on success. The download port is closed on every return.
int UpdateFirmwareChip(UpgradeState& state);

}  // namespace fw
