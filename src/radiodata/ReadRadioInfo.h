#pragma once
// The radio's information block as a job reads it: request an information area over the
// radio link, decode the block into the state record, give up the link on failure.

#include <cstdint>

#include "core/UpgradeState.h"

namespace fw {

// Information bytes asked for in every information request.
inline constexpr uint16_t kRadioInfoRequestSize = 185;

// Stores the identity block, the area code and the fixed-up model text of a 185-byte
// information block in the state.
void DecodeRadioInfo(UpgradeState& state, const uint8_t* block);

// Reads information area `area` (185 bytes) and decodes it. Areas 1, 3, 6 and above 8 are
// not read (true at once). False when the radio gave no block (the link has been abandoned).
bool ReadRadioInfo(UpgradeState& state, int area);

// Gives up the link after an error: EndAccess with mode 1, then Disconnect.
void AbandonLink(UpgradeState& state);

}  // namespace fw
