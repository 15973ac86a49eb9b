#pragma once
// The firmware chip update: brings the radio's second controller into its loader over the
// download port, lets it erase its flash, sends the loaded hex records one frame at a time
// and ends the programming with the finish, confirm and leave commands.

#include "core/UpgradeState.h"

namespace fw {

// How one pass of the chip update ended.
enum class ChipResult {
  Updated,
  Failed,       // the hex data was refused, or the chip did not take the erase
  Interrupted,  // the chip stopped answering while it was programmed or closed: a
                // communication error for the job to report
  PortFailed,   // the download port did not open
  NotReady,     // the chip did not answer the enter request or the handshake: try again
};

// Runs one pass over the loader's protocol on the worker thread; sets resultOk to 1 as well
// on success. The download port is closed on every return.
ChipResult UpdateFirmwareChip(UpgradeState& state);

}  // namespace fw
