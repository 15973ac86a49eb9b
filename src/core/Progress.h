#pragma once
// The window's progress computation: turns the cumulative byte count of a progress message
// into the percentage of the whole job and the phase text, and handles the
// communication-error messages. Runs on the window's thread (the Qt window and the
// headless front end both call HandleJobMessage).

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

// Handles one message posted to the window: progress messages (1134, 1135, 1155, 1156)
// update the bars and the status text (and may write chipImageSize); communication errors
// show "Communication error, Please retry!". Returns true when the message was one of
// these. Every fixed wait goes through the clock.
bool HandleJobMessage(UpgradeState& state, uint32_t msg, uintptr_t wParam, intptr_t lParam);

}  // namespace fw
