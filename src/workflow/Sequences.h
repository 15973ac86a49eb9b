#pragma once
// The job sequences other than firmware only, run by RunJob on the worker thread.

#include <functional>
#include <string>

#include "core/UpgradeState.h"

namespace fw {

// Firmware transfer, restart, read, convert, write, and the chip update when asked for.
void RunFullSequence(UpgradeState& state);
// The firmware-chip update alone.
void RunChipOnlySequence(UpgradeState& state);

// The steps the sequences call. The real steps by default; tests replace them to play a
// radio that answers late or never.
struct SequenceSteps {
  std::function<void(UpgradeState&)> transferMainFirmware;
  std::function<int(UpgradeState&)> readRadio;
  std::function<int(UpgradeState&, const std::string&, std::string*)> loadTemplate;
  std::function<int(UpgradeState&, std::string*)> convertRadioData;
  std::function<void(UpgradeState&)> writeRadio;
  std::function<int(UpgradeState&)> updateFirmwareChip;

  // The steps of the system.
  static SequenceSteps Real();
};

// Gives the job on `state` its own `steps` (copied); nullptr restores the real ones. Call
// it only while that job does not run.
void SetSequenceSteps(UpgradeState& state, const SequenceSteps* steps);

}  // namespace fw
