// Stand-ins for the full and chip-only sequences until they are part of the build: each
// ends the job as a failure with a row saying so and gives the window back.

#include "core/Status.h"
#include "workflow/Job.h"
#include "workflow/Sequences.h"

namespace fw {

void RunFullSequence(UpgradeState& state) {
  AddRow(state, kMarkFailed, "The full upgrade is not built into this version yet.");
  RestoreControls(state);
}

void RunChipOnlySequence(UpgradeState& state) {
  AddRow(state, kMarkFailed, "The firmware chip update is not built into this version yet.");
  RestoreControls(state);
}

}  // namespace fw
