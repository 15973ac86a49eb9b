#pragma once
// The steps of other subsystems that the main window calls: start-up loads, the job
// start, the progress computation, the settings write-back. DefaultDialogHooks() gives
// the real ones; the window tests replace single entries.

#include <cstdint>
#include <functional>

#include "app/window/BenchOptions.h"
#include "core/UpgradeState.h"
#include "journal/JournalRecorder.h"

namespace fw {

struct DialogHooks {
  // Start-up step 9: the port number from the system-wide profile (none on Linux: the
  // number stays).
  std::function<void(UpgradeState&)> readSystemPort;
  // Step 10: the settings file; may set the port number, run mode, vocoder and
  // "UpdateChip". Returns the window caption to use (empty: keep it).
  std::function<std::string(UpgradeState&)> loadSettings;
  // Step 14: the main firmware image into imageBuffer.
  std::function<void(UpgradeState&)> loadImageFile;
  // Step 17: the model table.
  std::function<void(UpgradeState&)> loadModelTable;
  // Step 18: the character set files and font images; false ends start-up.
  std::function<bool(UpgradeState&)> buildFonts;
  // Step 19, and after a choice with "Hex File..": the hex file at hexFilePath.
  std::function<void(UpgradeState&)> loadHexFile;
  // Exit: the port number, vocoder and "UpdateChip" back to the settings file.
  std::function<void(UpgradeState&)> saveSettings;
  // After the settings step: the bench as the settings file holds it ("BenchMode",
  // "BenchPorts").
  std::function<BenchChoice(UpgradeState&)> loadBench;
  // Exit, after saveSettings: the bench back to the settings file.
  std::function<void(UpgradeState&, const BenchChoice&)> saveBench;
  // After the settings step: the job journal at `path` (empty: the user's own; a journal
  // server keeps each job in `localPath` first, empty: the user's own), opened once
  // and shared by the window's record and every bench panel's. Left empty, the window keeps
  // no records.
  std::function<JournalHandle(const std::string& path, const std::string& localPath)> openJournal;
  // Vocoder combo 1016 changed.
  std::function<void(UpgradeState&, int)> selectVocoder;
  // "Upgrade" and the auto-start timer, after the window has copied its controls and the
  // selected port into the record: prepares the window and starts the worker.
  std::function<void(UpgradeState&)> startJob;
  // Whether a job's worker is still running.
  std::function<bool(UpgradeState&)> jobRunning;
  // Asks a running job to end soon (its waits and reads return at once).
  std::function<void(UpgradeState&)> stopJob;
  // Joins the worker of a job that has ended.
  std::function<void(UpgradeState&)> joinJob;
  // An event posted by a job: progress of a phase and communication errors. Returns true
  // when it handled the event; the window shows the communication-error box itself for
  // communication errors left unhandled.
  std::function<bool(UpgradeState&, const JobEvent&)> jobEvent;
};

// The real steps of the program.
DialogHooks DefaultDialogHooks();

}  // namespace fw
