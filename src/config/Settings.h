#pragma once
// The settings file: an INI file beside the program ("Flashwright.ini"), section "Setting",
// read once at start-up; "Port", "CMOS" and "UpdateChip" are written back on close and
// "UpdateTimes" after each completed job in the unattended repeat mode. Loading also derives
// the program's base paths and maps COM numbers to devices from section "Ports".

#include <string>

#include "config/Installation.h"
#include "core/UpgradeState.h"

namespace fw {

inline constexpr const char* kSettingsFileName = "Flashwright.ini";
inline constexpr const char* kSettingsSection = "Setting";
inline constexpr const char* kPortsSection = "Ports";
inline constexpr const char* kDefaultConfigSubdir = "config/r55";
inline constexpr const char* kModelFileName = "Model.dat";
// The vocoder combo's items, in order; the index is "CMOS".
inline constexpr const char* kVocoderItems[] = {"AMBE", "SELP"};
// Run mode in which jobs repeat by timer and completed jobs are counted.
constexpr int kRunModeRepeat = 5;
constexpr uint32_t kRepeatDelayMs = 40000;
// A settings file that is there but cannot be used: no job may start (the port stays
// untouched) until it is mended.
inline constexpr const char* kSettingsUnreadableText = "The settings file cannot be read!";
// Run mode 5: the count of completed jobs could not be written to the settings file.
inline constexpr const char* kJobCountNotSavedText =
    "The count of completed jobs could not be saved to the settings file!";

// The settings file of a program file: a trailing ".exe" of its name becomes ".ini"; a name
// without one gets ".ini" appended ("/opt/fw/Flashwright" -> "/opt/fw/Flashwright.ini").
// A console program named "<name>-cli.exe" shares "<name>.ini" with its window program.
std::string SettingsPathForExecutable(const std::string& executablePath);

// Loads the settings of the running program (the settings file beside its executable).
std::string LoadSettings(UpgradeState& state);
// Runs on an installation folder elsewhere: `programDir` + "Flashwright.ini".
std::string LoadSettingsForProgramDir(UpgradeState& state, const std::string& programDir);
// Loads the settings file at `settingsPath`; the program folder is the file's folder.
// An absent file and absent keys give the defaults. A file that is there but cannot be
// read (not a regular file, too large, no permission) or has no section "Setting" (not a
// settings file, or in an encoding that is not read: UTF-16 without a byte-order mark)
// gives the defaults too, and the returned text, also kept in `settingsProblem`, says why,
// naming the file; empty when the file was read or is absent. StartJob refuses to start a
// job while `settingsProblem` is set.
//
// Fills the state's installation (LoadingInstallation: start-up only): its settings, paths
// (`settingsPath`, `programDir`, `imageDir`, `modelTablePath`, the four chip hex paths) and
// `windowTitle`; the application's About texts and port number, and the port map's explicit
// entries; then the job's own values "UpdateChip", "CMOS", "AllowUnidentified" and
// `hexFilePath` from them (ApplySettingsToJob).
std::string LoadSettingsFile(UpgradeState& state, const std::string& settingsPath);

// The installation's part of LoadSettingsFile: fills `inst` from the settings file at
// `settingsPath` (keys that are absent keep the values `inst` has), and sets the
// application's About texts, port number and the port map's explicit entries.
std::string LoadInstallationSettings(Installation& inst, const std::string& settingsPath);

// A job's values that start from the settings as read: "UpdateChip", "CMOS",
// "AllowUnidentified", the radio link's "CheckReplySums" and the hex file ("DadazuHex").
void ApplySettingsToJob(UpgradeState& state);

// Writes integer keys of section "Setting" back to one settings file. A writer without a
// file (a state that never loaded settings) has nowhere to write.
class SettingsWriter {
 public:
  explicit SettingsWriter(std::string settingsPath);
  bool HasFile() const { return !settingsPath_.empty(); }
  // Writes `key` = `value`; false when the file could not be written.
  bool WriteInt(const char* key, int value) const;

 private:
  std::string settingsPath_;
};

// Writes "Port", "CMOS" and "UpdateChip" to the settings file, in that order. Returns false
// when a write failed (closing goes on regardless).
bool SaveSettings(const UpgradeState& state);

// The window is being closed (Exit, Escape or the close box). When the last step did not
// succeed (`resultOk` clear) the user is asked "Are you sure to exit?" and may cancel: then
// nothing happens and false is returned. Otherwise `resultOk` is set, the download port is
// closed, the settings are saved (failures ignored) and true is returned: close the window.
bool ConfirmCloseAndSave(UpgradeState& state);

// After a job that completed in run mode 5: counts it, writes the count as "UpdateTimes"
// and re-arms the job timer (40 s). Does nothing in other run modes. Returns true when it
// counted the job. When the count cannot be written, a failed row and an error box say so
// and the timer is not re-armed: the unattended count would be wrong from here on.
bool RecordCompletedJob(UpgradeState& state);

}  // namespace fw
