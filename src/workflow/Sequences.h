#pragma once
// The job sequences other than firmware only, run by RunJob on the worker thread.

#include <functional>
#include <string>

#include "core/StepResult.h"
#include "core/UpgradeState.h"
#include "firmware/MainFirmware.h"
#include "firmware/UpdateFirmwareChip.h"
#include "radiodata/ReadRadio.h"
#include "radiodata/WriteRadio.h"

namespace fw {

// Firmware transfer, restart, read, convert, write, and the chip update when asked for.
void RunFullSequence(UpgradeState& state);
// The firmware-chip update alone.
void RunChipOnlySequence(UpgradeState& state);
// A write-back (state.writeBack): checks that the radio on the port is the one the data was
// saved from (or at least of the same model, when allowed), then writes the data as the
// write step does, with the saved font decision.
void RunWriteBackSequence(UpgradeState& state);

// The steps the sequences call. The real steps by default; tests replace them to play a
// radio that answers late or never.
struct SequenceSteps {
  std::function<TransferResult(UpgradeState&)> transferMainFirmware;
  std::function<ReadResult(UpgradeState&)> readRadio;
  std::function<StepResult(UpgradeState&, const std::string&)> loadTemplate;
  std::function<StepResult(UpgradeState&)> convertRadioData;
  std::function<WriteResult(UpgradeState&)> writeRadio;
  std::function<ChipResult(UpgradeState&)> updateFirmwareChip;

  // The steps of the system.
  static SequenceSteps Real();
};

// Gives the job on `state` its own `steps` (copied); nullptr restores the real ones. Call
// it only while that job does not run.
void SetSequenceSteps(UpgradeState& state, const SequenceSteps* steps);
// The steps the job on `state` runs: its own, or the system's.
const SequenceSteps& StepsOf(const UpgradeState& state);

}  // namespace fw
