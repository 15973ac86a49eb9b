#pragma once
// The installation folder a front end runs on: where it is, and whether it holds what a job
// needs (the settings file, the firmware image, the model file, the character lists, the chip
// hex file).
//
// Every path of a job is built from the program folder, and some are used much later (the
// converter libraries are loaded by absolute path after the firmware was sent): the folder
// is made absolute and canonical once, before anything reads from it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/ModelTable.h"
#include "core/UpgradeState.h"
#include "font/GlyphImageBuilder.h"

namespace fw {

// What every job of one installation shares, loaded once at start-up (LoadSettingsFile, the
// model table, BuildFontImages) and then only read: jobs hold it as
// std::shared_ptr<const Installation>. The values a job may change (the vocoder, "UpdateChip",
// "AllowUnidentified", the hex file) start from the settings kept here and are the job's own
// (ApplySettingsToJob).
class Installation {
 public:
  static constexpr uint32_t kFontImageBufferSize = 153650;
  static constexpr uint32_t kGlyphScratchSize = 307200;  // 9600 entries of 32 bytes

  Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  // --- Settings as read from the settings file (section "Setting") ---
  int autoTest = 0;                       // "AutoTest"
  int readWriteLog = 0;                   // "READWRITELOG" (run mode)
  int settingPort = 0;                    // "Port": the COM number chosen last
  int settingVocoderIndex = 0;            // "CMOS": 0 = AMBE, 1 = SELP
  int settingUpdateChip = 0;              // "UpdateChip"
  bool settingAllowUnidentified = false;  // "AllowUnidentified" = 1
  bool checkReplySums = true;             // "CheckReplySums" (not 0)
  bool backup = true;                     // "Backup" (not 0): back up before writing a radio
  std::string journalPath;                // "Journal": the job journal (empty: the user's)
  // "JournalLocal": the local journal when "Journal" names a server (empty: the user's)
  std::string journalLocalPath;
  std::string modelList;             // "MODEL"
  std::string mainImageName;         // "MainBin"
  std::string mainImageNameSelp;     // "MainBinSelp"
  std::string smallImageName;        // "SmallMainBin"
  std::string smallImageNameSelp;    // "SmallMainBinSelp"
  std::string chipHexPath;           // programDir + "DadazuHex"
  std::string chipHexPathSelp;       // programDir + "DadazuHexSelp"
  std::string smallChipHexPath;      // programDir + "SmallDadazuHex"
  std::string smallChipHexPathSelp;  // programDir + "SmallDadazuHexSelp"
  std::string windowTitle;           // "TitleVer": the window's caption when not empty
  std::string glyphFontFile;         // "FontFile": glyph font, relative to programDir
                                     // (empty: the installed stand-in for the 13 px font)

  // --- Paths (with a trailing separator where they name a folder) ---
  std::string settingsPath;  // the settings file; every settings write goes there
  // Why the settings file could not be used (empty when it was read or is absent); no job
  // starts while it is set.
  std::string settingsProblem;
  std::string programDir;
  std::string imageDir;
  std::string configSubdir;  // "config/r55"
  int configNumber = 0;      // 55, beside configSubdir
  std::string modelTablePath;

  // --- Model table (read from modelTablePath at start-up) ---
  ModelTable modelTable;

  // --- Font images, rendered at start-up (font/FontImages.h) ---
  std::vector<uint8_t> fontBufferA;  // 153650, zero: simple Chinese
  std::vector<uint8_t> fontBufferB;  // 153650, zero: Korean
  std::vector<uint8_t> fontBufferC;  // 153650, zero: the language image
  uint32_t languageFontSize = 0;
  std::vector<uint8_t> glyphScratch;  // 307200, not cleared
  GlyphImageBuilder glyphBuilder;     // with its own 153650-byte glyph image, zero
};

// Start-up only, before any job runs on it: the state's installation, to be loaded into; a
// state without one is given a new, empty installation. Installations are only ever made by
// std::make_shared<Installation>(), so the loading steps may fill the one the state holds;
// once a job has started, nothing changes it (a new folder gets a new installation).
Installation& LoadingInstallation(UpgradeState& state);

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

// Checks the installation whose settings were loaded for `state` (LoadSettingsFile): the
// settings file, and for `use` the firmware image of the chosen vocoder, the model file, the
// two character lists and, with `withChip` (or for kChipOnly), the chip hex file. A settings
// key that names no file is reported as that key being empty.
InstallationCheck CheckInstallation(const UpgradeState& state, InstallationUse use, bool withChip);

// Whether the settings can be written back to `settingsPath`: the file exists (an
// installation's settings are never created where there were none) and its folder is
// writable (the file is replaced through a temporary file beside it).
bool SettingsWritable(const std::string& settingsPath);

}  // namespace fw
