#pragma once
// The bench's jobs, as both windows run them: one record per port on the window's
// installation, prepared as the window's own record is, and the window's choices copied into
// it when its "Upgrade" is clicked.

#include <string>

#include "app/window/DialogHooks.h"
#include "core/UpgradeState.h"

namespace fw {

inline constexpr const char* kBenchModeItem = "Bench mode";
inline constexpr const char* kUpgradeAllButton = "Upgrade all";
inline constexpr const char* kStopButton = "Stop";
inline constexpr const char* kRadioModelLabel = "Radio model: ";
inline constexpr const char* kNoDevice = "no device";

// The job's part of the window's start-up for the panel of COM `port`: the window's
// installation, clock base, image, vocoder variant and hex file; its own buffers, data-log tag
// ("COM3") and, when the window keeps a journal, its own recorder in it reporting to `view`.
void PrepareBenchRecord(const UpgradeState& window, UpgradeState& panel, int port,
                        const DialogHooks& hooks, UpgradeView* view, const JournalHandle* journal,
                        bool skipBackup, const std::string& programVersion);

// "Upgrade" on a panel: the window's choices (the run mode's check boxes) for this job, on
// the panel's port; the next radio there tells its own model.
void TakeWindowChoices(const UpgradeState& window, UpgradeState& panel, int port);

// The panel's caption: "COM3 (/dev/ttyUSB0)", or "COM3 (no device)".
std::string BenchPanelTitle(int port);

}  // namespace fw
