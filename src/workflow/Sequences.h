#pragma once
// The job sequences other than firmware only, run by RunJob on the worker thread.

#include "core/UpgradeState.h"

namespace fw {

// Firmware transfer, restart, read, convert, write, and the chip update when asked for.
void RunFullSequence(UpgradeState& state);
// The firmware-chip update alone.
void RunChipOnlySequence(UpgradeState& state);

}  // namespace fw
