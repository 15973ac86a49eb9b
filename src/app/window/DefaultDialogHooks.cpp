#include "app/window/DialogHooks.h"

#include "config/Installation.h"
#include "config/Settings.h"
#include "core/Progress.h"
#include "firmware/HexLoader.h"
#include "firmware/MainFirmware.h"
#include "firmware/VocoderChoice.h"
#include "font/FontImages.h"
#include "workflow/Job.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The view's operations share these names.
#undef MessageBox
#undef PostMessage
#endif

namespace fw {

// The steps of the other subsystems, as far as they exist. Steps left empty are skipped
// by the window.
DialogHooks DefaultDialogHooks() {
  DialogHooks hooks;
  hooks.readSystemPort = []([[maybe_unused]] UpgradeState& state) {
#ifdef _WIN32
    // WIN.INI, section "Settings", key "Port"; the current number is the default.
    state.selectedPort = static_cast<int>(
        ::GetProfileIntW(L"Settings", L"Port", static_cast<INT>(state.selectedPort.load())));
#endif
    // Elsewhere there is no system-wide profile: the number stays.
  };
  hooks.loadSettings = [](UpgradeState& state) {
    LoadSettings(state);
    return state.installation->windowTitle;
  };
  hooks.loadImageFile = [](UpgradeState& state) {
    LoadImageFile(state, state.installation->imageDir + state.selectedImageName);
  };
  hooks.loadModelTable = [](UpgradeState& state) {
    Installation& installation = LoadingInstallation(state);
    installation.modelTable.Load(installation.modelTablePath);
  };
  hooks.buildFonts = [](UpgradeState& state) {
    // A character list that cannot be read ends the window's start-up with its message.
    std::string error = BuildFontImages(LoadingInstallation(state));
    if (!error.empty()) {
      state.view->MessageBox(error, MessageIcon::Error);
      return false;
    }
    return true;
  };
  hooks.loadHexFile = [](UpgradeState& state) { LoadHexFile(state); };
  hooks.saveSettings = [](UpgradeState& state) { SaveSettings(state); };
  hooks.loadBench = [](UpgradeState& state) {
    return LoadBenchChoice(state.installation->settingsPath);
  };
  hooks.saveBench = [](UpgradeState& state, const BenchChoice& choice) {
    SaveBenchChoice(state.installation->settingsPath, choice);
  };
  hooks.openJournal = [](const std::string& path, const std::string& localPath) {
    return OpenJournal(path, localPath);
  };
  hooks.selectVocoder = [](UpgradeState& state, int index) { SelectVocoder(state, index); };
  hooks.startJob = [](UpgradeState& state) {
    // The window has just copied its controls and the selected port into the record.
    JobInputs in;
    in.chipOnly = state.chipOnly != 0;
    in.firmwareOnly = state.firmwareOnly != 0;
    in.updateChip = state.updateChip != 0;
    in.hexFilePath = state.hexFilePath;
    in.wavFilePath = state.wavFilePath;
    in.portNumber = state.selectedPort.load();
    StartJob(state, in);
  };
  hooks.jobRunning = [](UpgradeState& state) { return JobRunning(state); };
  hooks.stopJob = [](UpgradeState& state) { StopJob(state); };
  hooks.joinJob = [](UpgradeState& state) { JoinJob(state); };
  hooks.jobEvent = [](UpgradeState& state, const JobEvent& event) {
    return HandleJobEvent(state, event);
  };
  return hooks;
}

}  // namespace fw
