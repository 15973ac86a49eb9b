#include "app/window/BenchJobs.h"

#include "config/Settings.h"
#include "serial/PortMap.h"

namespace fw {

void PrepareBenchRecord(const UpgradeState& window, UpgradeState& s, int port,
                        const DialogHooks& hooks, UpgradeView* view, const JournalHandle* journal,
                        bool skipBackup, const std::string& programVersion) {
  s.SetView(view);
  s.job.clock.Use(window.job.clock.Base());
  s.installation = window.installation.Shared();
  ApplySettingsToJob(s);
  s.selectedPort = port;
  s.vocoderIndex = window.vocoderIndex;
  s.selectedImageName = window.selectedImageName;
  s.hexFilePath = window.hexFilePath;
  s.wavFilePath = window.wavFilePath;
  s.radioDataSize = UpgradeState::kDefaultRadioDataSize;
  s.writeDataSize = UpgradeState::kDefaultRadioDataSize;
  s.AllocateRadioData(UpgradeState::kDefaultRadioDataSize);
  s.imageSize = window.imageSize.load();
  if (hooks.loadImageFile) {
    hooks.loadImageFile(s);
  }
  if (hooks.loadHexFile) {
    hooks.loadHexFile(s);
  }
  // Two jobs ending in the same second write data logs of their own.
  s.dataLogTag = "COM" + std::to_string(port);
  // The panel's jobs keep their records in the window's journal, backed up as the window's.
  if (journal != nullptr) {
    AttachJournal(s, *journal, view, programVersion);
    s.skipBackup = skipBackup;
  }
}

void TakeWindowChoices(const UpgradeState& window, UpgradeState& panel, int port) {
  panel.chipOnly = window.chipOnly.load();
  panel.firmwareOnly = window.firmwareOnly.load();
  panel.updateChip = window.updateChip.load();
  panel.selectedPort = port;
  panel.radioModel.clear();
}

std::string BenchPanelTitle(int port) {
  const std::string device = GlobalPortMap().DevicePath(port);
  return "COM" + std::to_string(port) + " (" + (device.empty() ? std::string(kNoDevice) : device) +
         ")";
}

}  // namespace fw
