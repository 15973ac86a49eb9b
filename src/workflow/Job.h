#pragma once
// Starting a job and its firmware-only sequence. A job is what one click on "Upgrade" (or
// the auto-start timer) begins: a worker thread that runs one sequence on the state record
// and reports every step through the view.

#include <string>

#include "core/UpgradeState.h"

namespace fw {

// What the window copies from its controls when a job starts.
struct JobInputs {
  bool chipOnly = false;      // 1015
  bool firmwareOnly = false;  // 1017
  bool updateChip = false;    // 1018
  std::string hexFilePath;    // 1008
  std::string wavFilePath;    // 1023
  int portNumber = 0;         // the COM number selected in 1001; the job's port
};

// On the window's thread: prepares the window (clears the list, the counters and resultOk,
// disables 1001, 1016, 1000, 1007, 1018) and starts the worker; returns at once. False,
// with nothing changed, while another job is still running; false after an error box
// naming the file while the settings file could not be used (`settingsProblem`).
bool StartJob(UpgradeState& state, const JobInputs& inputs);

// The worker's procedure: runs the chosen sequence to its end. Chip only wins over
// firmware only; neither set runs the full sequence.
void RunJob(UpgradeState& state);

// Enables the port list, the vocoder list, "Upgrade", "Hex File.." and the chip check box,
// and shows the usual status text.
void RestoreControls(UpgradeState& state);

// A window timer fired: the auto-start timer starts a job with the dialog's present values.
// Returns true when it started one.
bool OnTimer(UpgradeState& state, Timer timer, const JobInputs& inputs);

// Sets the 10-second auto-start timer when the run mode is 5 (window start-up).
void ArmAutoStartTimer(UpgradeState& state);

// True while the worker has not finished its sequence.
bool JobRunning(const UpgradeState& state);
// Waits for the worker to end (call once JobRunning is false, or after StopJob). The view's
// synchronous calls must keep being served while waiting, or the worker cannot finish.
void JoinJob(UpgradeState& state);
// Gives the job on `state` COM `portNumber` and the device the port map has for it (also
// for the voice-prompt operations, which run outside a job on the window's port).
void SetJobPort(UpgradeState& state, int portNumber);
// Asks the job running on `state` to end soon: its sleeps and reads return at once, no
// more boxes appear. Other jobs go on.
void StopJob(UpgradeState& state);

}  // namespace fw
