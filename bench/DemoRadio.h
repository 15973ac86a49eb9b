#pragma once
// The demo installation's radio as the end-to-end benchmarks play it: paced at the line rate,
// restarting as long as the program waits for it (scaled alike).

#include <cstdint>

#include "DemoIdentity.h"
#include "RadioSim.h"

namespace fw::bench {

inline fw::sim::RadioSimConfig DemoRadioConfig(uint32_t baud, double factor) {
  fw::sim::RadioSimConfig config;
  config.lineRate = baud;
  config.download.restartMs = static_cast<uint32_t>(25000 * factor);
  config.download.info = fw::demo::kInfoField;
  config.download.model = fw::demo::kDownloadModelText;
  config.linkIdentifier = fw::demo::kIdentityText;
  config.linkModelText = fw::demo::kModelText;
  config.areaDigit = fw::demo::kAreaDigit;
  config.firmwareVersionText = fw::demo::kLinkVersionText;
  return config;
}

}  // namespace fw::bench
