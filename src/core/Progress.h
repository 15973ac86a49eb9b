#pragma once
// The window's progress computation: turns the cumulative byte count of a progress event
// into the percentage of the whole job and the phase text, and handles the
// communication errors. Runs on the window's thread (the Qt window and the headless front
// end both call HandleJobEvent).

#include <cstdint>
#include <optional>
#include <string>

#include "core/UpgradeState.h"

namespace fw {

struct ProgressInputs {
  uint32_t imageSize = 0;  // bytes; counted in whole 1024-byte blocks; missing (-1) is 0
  uint32_t radioDataSize = 0;
  uint32_t writeDataSize = 0;
  uint32_t fontImageSize = 0;
  uint32_t chipImageSize = 0;
  bool chipOnly = false;
  bool firmwareOnly = false;
};

struct ProgressResult {
  int percent = 0;                           // 0..100, never more
  const char* phaseText = nullptr;           // null: the status text stays
  bool pauseAtFull = false;                  // sleep one second before showing 100
  std::optional<uint32_t> newChipImageSize;  // set when the firmware-only job clears it
  uint64_t total = 0;
};

// Pure: the sizes and flags, and the posted count P. With a total of 0 there is nothing to
// measure: the bars show 0 while nothing has moved and 100 once anything has.
ProgressResult ComputeProgress(const ProgressInputs& in, uint64_t posted);

ProgressInputs ProgressInputsFrom(const UpgradeState& state);

// Handles one event posted to the window: progress of any phase updates the bars and the
// status text (and may write chipImageSize); a communication error of any kind shows
// "Communication error, Please retry!". Returns true when the event was one of these (the
// end of a write has no handling of its own). Every fixed wait goes through the clock.
bool HandleJobEvent(UpgradeState& state, const JobEvent& event);

}  // namespace fw
