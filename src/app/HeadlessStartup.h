#pragma once
// The window's start-up, as far as a job needs it: the settings (with the port map), the
// radio-data buffer, the vocoder variant, the main image, the model table and the chip hex
// file.

#include <optional>
#include <string>

#include "core/UpgradeState.h"

namespace fw {

// `programDir` ends with a separator. `vocoder` overrides the settings' "CMOS". The font
// images (needed by the full sequence only) are the caller's: BuildFontImages.
void PrepareInstallation(UpgradeState& state, const std::string& programDir,
                         std::optional<int> vocoder);

// The job's part of the start-up, for a record whose installation is loaded already (one
// more job on the same installation: give it the installation and ApplySettingsToJob
// first): its radio-data buffer, vocoder variant, main image and chip hex file.
void PrepareJob(UpgradeState& state, std::optional<int> vocoder);

}  // namespace fw
