#pragma once
// The port used in download mode (main firmware transfer, firmware-chip update), with the
// download-mode request/reply exchange.

#include <cstdint>

#include "protocol/ChannelPort.h"
#include "protocol/DownloadRequests.h"

namespace fw {

class DownloadPort : public ChannelPort {
 public:
  // Sends `request` and reads its reply into `reply` (room for request.reply.length bytes):
  // purge, write, 20 ms, read; after a silent read, three more reads 500 ms apart (unless
  // the rule fails silence at once); then, unless the rule accepts, 200 ms and up to
  // `retries` calls of DownloadAgain. 1 when a reply was accepted, else 0.
  int DownloadExchange(const DownloadModeRequest& request, uint8_t* reply, int retries);
  // One repeat: purge, write, 50 ms, read, and up to three more reads at once while silent.
  int DownloadAgain(const DownloadModeRequest& request, uint8_t* reply);
};

}  // namespace fw
