#pragma once
// One request to the firmware chip's loader with its reply check and retries.

#include <cstdint>

#include "protocol/DownloadPort.h"

namespace fw {

// The reply buffer of a chip update.
inline constexpr uint32_t kChipReplyBufferSize = 100;

// Sends `request` for `step` (ChipStep) on the open download port and judges the reply
// with ChipReplyMatches. An attempt is: purge, write, sleep `waitMs`, read up to
// `replyLength` bytes (the port's read deadline applies). The first attempt is preceded by
// a 50 ms pause; after a failed attempt up to `retries` more follow. Returns 1 at the first
// accepted reply (which is then at the start of `reply`), 0 when the last attempt fails.
// `reply` holds at least `replyLength` bytes (the chip update passes its 100-byte buffer).
// `received`, when given, gets the number of bytes the last attempt read.
int ChipExchange(DownloadPort& port, int step, const uint8_t* request, uint32_t requestLength,
                 uint8_t* reply, uint32_t replyLength, uint32_t waitMs, int retries,
                 uint32_t* received = nullptr);

}  // namespace fw
