#pragma once
// Who the demo radio is: the values that the simulated radio reports by default and that
// the demo installation (tools/make-demo-install) is generated to accept. Change them here
// only; both sides read them from this header.
//
// The demo radio is a "KV86" with the large processor, AMBE vocoder, area 1:
//
// Download mode, identification reply to "R":
//   offset 2  information field  "MCU-0401"   ("MCU" and version 401: the large processor;
//                                              "MCU-0399" makes it a small-processor radio)
//   offset 12 variant            "A"          ("S" for the SELP vocoder)
//   offset 24 model text         "KV86000000N00000" (model code "KV86", listed in "MODEL")
//
// Framed link, information block (185 bytes):
//   offset 1   identity block  UTF-16LE of "KV86000000N02000" (a line of config/r55/Model.dat)
//   offset 49  model text      "KV86000000N00000"; the fix-up turns it into the model
//                              identifier "KV86000000N0000000000", which names the template
//                              rcdb/KV86000000N0000000000.rcd (and rcdb/smallMCU/...)
//   offset 149 area code       '1' (area 1 is listed in Model.dat)
//
// Firmware chip, reply to the enter request: a 30-byte text containing "A-enter".
//
// Header only, no dependencies: usable by the simulator, the generator and the tests.

#include <cstdint>

namespace fw::demo {

// --- Download mode (identification reply) ---
inline constexpr const char* kInfoField = "MCU-0401";
inline constexpr const char* kInfoFieldSmall = "MCU-0399";
inline constexpr const char* kVariantAmbe = "A";
inline constexpr const char* kVariantSelp = "S";
inline constexpr const char* kDownloadModelText = "KV86000000N00000";
inline constexpr const char* kModelCode = "KV86";

// --- Framed link (information block) ---
// The 16 characters whose UTF-16LE code units form the 32-byte identity block.
inline constexpr const char* kIdentityText = "KV86000000N02000";
inline constexpr const char* kModelText = "KV86000000N00000";
// The model text after the fix-up (no variant row matches a "KV86" text: "00000").
inline constexpr const char* kModelId = "KV86000000N0000000000";
inline constexpr char kAreaDigit = '1';
inline constexpr int kAreaNumber = kAreaDigit - '0';
// Reply to the firmware version query of a small-processor radio (below 400: readable).
inline constexpr const char* kLinkVersionText = "0399";

// --- Firmware chip ---
inline constexpr const char* kChipEnterText = "A-enter";

// --- Data ---
// Size of the radio data: the large processor's, and the small processor's (the demo's
// small image names do not contain "KV680", so not 75031).
inline constexpr uint32_t kLargeDataSize = 129976;
inline constexpr uint32_t kSmallDataSize = 65431;
// The user-interface language stored at offset 766 of the data (English): a "KV" radio
// with this language gets the language font image "0409.bin" after its data.
inline constexpr uint16_t kLanguageId = 0x0409;
inline constexpr uint32_t kLanguageOffset = 766;

}  // namespace fw::demo
