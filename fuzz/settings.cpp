// The settings file ("Flashwright.ini" beside the program) loaded from arbitrary bytes into
// a fresh state.

#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "config/Installation.h"
#include "config/Settings.h"
#include "core/UpgradeState.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path =
      fw::fuzz::WriteScratchFile(fw::kSettingsFileName, fw::fuzz::AsText(data, size));
  auto state = std::make_unique<fw::UpgradeState>();
  fw::LoadSettingsFile(*state, path);
  FUZZ_CHECK(LoadingInstallation(*state).settingsPath == path);
  FUZZ_CHECK(LoadingInstallation(*state).programDir == fw::fuzz::ScratchDir());
  FUZZ_CHECK(state->hexFilePath == LoadingInstallation(*state).chipHexPath);
  return 0;
}
