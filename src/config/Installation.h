#pragma once
// The installation folder a front end runs on: where it is, and whether it holds what a job
// needs (the settings file, the firmware image, the model file, the character lists, the chip
// hex file).
//
// Every path of a job is built from the program folder, and some are used much later (the
// converter libraries are loaded by absolute path after the firmware was sent): the folder
// is made absolute and canonical once, before anything reads from it.

#include <string>
#include <vector>

#include "core/UpgradeState.h"

namespace fw {

// The folder `given` (empty: the running program's own folder), relative to the current
// folder when relative, made absolute and canonical (symbolic links, "." and ".." resolved
// as far as the folder exists), with a trailing separator.
std::string ResolveProgramDir(const std::string& given);

// What a job of each kind reads from the installation besides the settings file.
enum class InstallationUse {
  kFull,          // a full upgrade: image, model file, character lists
  kFirmwareOnly,  // the image
  kChipOnly,      // the chip hex file
};

struct InstallationCheck {
  std::string folder;  // the program folder, with its trailing separator
  bool folderExists = false;
  bool settingsFound = false;        // the settings file exists
  std::vector<std::string> missing;  // one entry per missing item, in words

  // Nothing a job of this kind reads is missing.
  bool Complete() const { return missing.empty(); }
  // The folder holds no installation at all: no settings file.
  bool Empty() const { return !settingsFound; }
  // One line naming the folder and what is missing there; empty when complete.
  std::string Message() const;
};

// Checks the installation whose settings were loaded into `state` (LoadSettingsFile): the
// settings file, and for `use` the firmware image of the chosen vocoder, the model file, the
// two character lists and, with `withChip` (or for kChipOnly), the chip hex file. A settings
// key that names no file is reported as that key being empty.
InstallationCheck CheckInstallation(const UpgradeState& state, InstallationUse use, bool withChip);

// Whether the settings can be written back to `settingsPath`: the file exists (an
// installation's settings are never created where there were none) and its folder is
// writable (the file is replaced through a temporary file beside it).
bool SettingsWritable(const std::string& settingsPath);

}  // namespace fw
