#pragma once
// The vocoder a job's radio gets (the window's vocoder combo, the headless --vocoder): the
// main image and the chip hex file of that variant, the hex file loaded for the job.

#include "core/UpgradeState.h"

namespace fw {

// The vocoder combo changed to item `index` (-1: no selection, nothing happens): switches
// `vocoderIndex`, `selectedImageName` and `hexFilePath` to that variant and reloads the hex
// file.
void SelectVocoder(UpgradeState& state, int index);

}  // namespace fw
