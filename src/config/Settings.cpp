#include "config/Settings.h"

#include <filesystem>
#include <mutex>
#include <set>

#include "config/Installation.h"
#include "core/AppValues.h"
#include "core/Status.h"
#include "platform/ExecutablePath.h"
#include "platform/Profile.h"
#include "serial/PortMap.h"

namespace fw {
namespace {

constexpr std::string_view kExe = ".exe";
constexpr std::string_view kIni = ".ini";
constexpr std::string_view kCli = "-cli";

size_t LastSeparator(const std::string& path) {
#ifdef _WIN32
  return path.find_last_of("/\\");
#else
  return path.rfind('/');
#endif
}

// The folder part of a path, with its trailing separator ("" when there is none).
std::string FolderOf(const std::string& path) {
  size_t sep = LastSeparator(path);
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string WithTrailingSeparator(std::string dir) {
  if (dir.empty()) {
    return "./";
  }
  char last = dir.back();
  if (last != '/'
#ifdef _WIN32
      && last != '\\'
#endif
  ) {
    dir += '/';
  }
  return dir;
}

// File names in a settings file saved on Windows may name subfolders with '\'.
std::string NativeSeparators(std::string name) {
#ifndef _WIN32
  for (char& c : name) {
    if (c == '\\')
      c = '/';
  }
#endif
  return name;
}

// A string key that yields a value (absent and empty keys do not) replaces `target`.
void ReadString(const Profile& file, const char* key, std::string& target) {
  std::string value = file.GetString(kSettingsSection, key, "");
  if (!value.empty()) {
    target = std::move(value);
  }
}

// Section "Ports": COM<n>=<device path>, n from 1 to 16; the first line for a number wins.
void ApplyPorts(const Profile& file) {
  std::set<int> seen;
  for (const ProfileEntry& e : file.GetSection(kPortsSection)) {
    if (e.key.size() < 4 || e.key.size() > 5 || e.value.empty()) {
      continue;
    }
    std::string prefix = e.key.substr(0, 3);
    for (char& c : prefix) {
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    }
    std::string digits = e.key.substr(3);
    if (prefix != "COM" || digits.find_first_not_of("0123456789") != std::string::npos ||
        digits[0] == '0') {
      continue;
    }
    int n = std::stoi(digits);
    if (n < 1 || n > PortMap::kMaxMappedPort || !seen.insert(n).second) {
      continue;
    }
    GlobalPortMap().SetExplicit(n, e.value);
  }
}

}  // namespace

std::string SettingsPathForExecutable(const std::string& executablePath) {
  size_t nameStart = LastSeparator(executablePath);
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  std::string_view name = std::string_view(executablePath).substr(nameStart);
  if (name.size() > kExe.size() && name.substr(name.size() - kExe.size()) == kExe) {
    // The console program beside the window program (Flashwright-cli.exe beside
    // Flashwright.exe on Windows) shares its settings file.
    size_t cut = kExe.size();
    if (name.size() > kCli.size() + kExe.size() &&
        name.substr(name.size() - kCli.size() - kExe.size(), kCli.size()) == kCli) {
      cut += kCli.size();
    }
    return executablePath.substr(0, executablePath.size() - cut) + std::string(kIni);
  }
  return executablePath + std::string(kIni);
}

std::string LoadSettings(UpgradeState& state) {
  std::string exe = ExecutablePath();
  if (exe.empty()) {
    // The system cannot tell: run on the current folder.
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    exe = (ec ? std::string(".") : cwd.string()) + "/Flashwright";
  }
  return LoadSettingsFile(state, SettingsPathForExecutable(exe));
}

std::string LoadSettingsForProgramDir(UpgradeState& state, const std::string& programDir) {
  return LoadSettingsFile(state, WithTrailingSeparator(programDir) + kSettingsFileName);
}

std::string LoadSettingsFile(UpgradeState& state, const std::string& settingsPath) {
  Installation& inst = LoadingInstallation(state);
  // Absent keys leave the job's values as they are.
  inst.settingPort = state.selectedPort;
  inst.settingUpdateChip = state.updateChip;
  inst.settingVocoderIndex = state.vocoderIndex;
  inst.settingAllowUnidentified = state.allowUnidentified;
  LoadInstallationSettings(inst, settingsPath);
  ApplySettingsToJob(state);
  return inst.settingsProblem;
}

std::string LoadInstallationSettings(Installation& inst, const std::string& settingsPath) {
  inst.settingsPath = settingsPath;
  const Profile file = Profile::Load(settingsPath);
  inst.settingsProblem = file.Problem();
  if (file.Exists() && !file.HasSection(kSettingsSection)) {
    inst.settingsProblem = "\"" + settingsPath + "\" has no section [" + kSettingsSection +
                           "]: it is not a settings file, or it is saved in an encoding " +
                           "that is not read (UTF-16 needs its byte-order mark)";
  }

  // Integers first, in this order: "AutoTest" defaults to the "READWRITELOG" just read.
  inst.settingPort = file.GetInt(kSettingsSection, "Port", inst.settingPort);
  inst.settingUpdateChip = file.GetInt(kSettingsSection, "UpdateChip", inst.settingUpdateChip);
  inst.readWriteLog = file.GetInt(kSettingsSection, "READWRITELOG", inst.readWriteLog);
  inst.settingVocoderIndex = file.GetInt(kSettingsSection, "CMOS", inst.settingVocoderIndex);
  inst.autoTest = file.GetInt(kSettingsSection, "AutoTest", inst.readWriteLog);
  // Only the value 1 gives the consent in advance; anything else leaves the question to the
  // technician (or the refusal to the unattended modes).
  inst.settingAllowUnidentified = file.GetInt(kSettingsSection, "AllowUnidentified",
                                              inst.settingAllowUnidentified ? 1 : 0) == 1;
  // Not a key of the original installations: 0 takes the radio link's framed replies without
  // checking their checksums (for a radio that sends bad ones); anything else, or no key,
  // checks them.
  inst.checkReplySums = file.GetInt(kSettingsSection, "CheckReplySums", 1) != 0;
  inst.backup = file.GetInt(kSettingsSection, "Backup", 1) != 0;
  ReadString(file, "Journal", inst.journalPath);
  ReadString(file, "JournalLocal", inst.journalLocalPath);

  ReadString(file, "MODEL", inst.modelList);
  ReadString(file, "TitleVer", inst.windowTitle);
  ReadString(file, "VerInfo", App().versionText);
  ReadString(file, "CorpInfo", App().companyText);
  ReadString(file, "SmMCUInfo", App().smallMcuText);
  ReadString(file, "MainBin", inst.mainImageName);
  ReadString(file, "MainBinSelp", inst.mainImageNameSelp);
  ReadString(file, "SmallMainBin", inst.smallImageName);
  ReadString(file, "SmallMainBinSelp", inst.smallImageNameSelp);
  // Not a key of the original installations: a glyph font file of the installation's own.
  ReadString(file, "FontFile", inst.glyphFontFile);
  inst.glyphFontFile = NativeSeparators(inst.glyphFontFile);
  for (std::string* name : {&inst.mainImageName, &inst.mainImageNameSelp, &inst.smallImageName,
                            &inst.smallImageNameSelp}) {
    *name = NativeSeparators(*name);
  }

  inst.programDir = WithTrailingSeparator(FolderOf(settingsPath));
  if (inst.configSubdir.empty()) {
    inst.configSubdir = kDefaultConfigSubdir;
    inst.configNumber = 55;
  }
  inst.modelTablePath = inst.programDir + inst.configSubdir + "/" + kModelFileName;

  // A hex key that yields nothing leaves the program folder alone, which no load can open.
  const std::pair<const char*, std::string*> hexKeys[] = {
      {"DadazuHex", &inst.chipHexPath},
      {"DadazuHexSelp", &inst.chipHexPathSelp},
      {"SmallDadazuHex", &inst.smallChipHexPath},
      {"SmallDadazuHexSelp", &inst.smallChipHexPathSelp},
  };
  for (const auto& [key, path] : hexKeys) {
    *path = inst.programDir + NativeSeparators(file.GetString(kSettingsSection, key, ""));
  }

  // The images lie beside the settings file, whatever the program is called.
  inst.imageDir = inst.programDir;

  ApplyPorts(file);
  return inst.settingsProblem;
}

void ApplySettingsToJob(UpgradeState& state) {
  const Installation& inst = *state.installation;
  state.selectedPort = inst.settingPort;
  state.updateChip = inst.settingUpdateChip;
  state.vocoderIndex = inst.settingVocoderIndex;
  state.allowUnidentified = inst.settingAllowUnidentified;
  state.radioLink.Port().SetCheckReplySums(inst.checkReplySums);
  state.hexFilePath = inst.chipHexPath;
}

SettingsWriter::SettingsWriter(std::string settingsPath) : settingsPath_(std::move(settingsPath)) {}

bool SettingsWriter::WriteInt(const char* key, int value) const {
  return ProfileWriteString(kSettingsSection, key, std::to_string(value), settingsPath_);
}

bool SaveSettings(const UpgradeState& state) {
  const SettingsWriter writer(state.installation->settingsPath);
  if (!writer.HasFile()) {
    return false;
  }
  bool ok = writer.WriteInt("Port", state.selectedPort);
  ok = writer.WriteInt("CMOS", state.vocoderIndex) && ok;
  ok = writer.WriteInt("UpdateChip", state.updateChip) && ok;
  return ok;
}

bool ConfirmCloseAndSave(UpgradeState& state) {
  if (state.resultOk == 0 &&
      state.view->MessageBox("Are you sure to exit?", MessageIcon::None,
                             MessageButtons::OkCancel) != MessageResult::Ok) {
    return false;
  }
  state.resultOk = 1;
  state.downloadPort.Close();
  SaveSettings(state);
  return true;
}

bool RecordCompletedJob(UpgradeState& state) {
  if (state.installation->readWriteLog != kRunModeRepeat) {
    return false;
  }
  ++state.completedJobs;
  int count = state.completedJobs;
  // Jobs running at once count together: one total, written by one job at a time, so that
  // the file always holds the latest total.
  std::unique_lock<std::mutex> counting;
  if (state.sharedJobCount) {
    counting = std::unique_lock<std::mutex>(state.sharedJobCount->mutex);
    count = ++state.sharedJobCount->total;
  }
  // No settings path (a state that never loaded settings) has nowhere to keep the count.
  const SettingsWriter writer(state.installation->settingsPath);
  if (writer.HasFile() && !writer.WriteInt("UpdateTimes", count)) {
    counting = {};
    const std::string detail = "\"UpdateTimes\" = " + std::to_string(count) +
                               " could not be written to \"" + state.installation->settingsPath +
                               "\".";
    AddRow(state, kMarkFailed, kJobCountNotSavedText);
    state.view->MessageBox(kJobCountNotSavedText, MessageIcon::Error, MessageButtons::Ok, detail);
    return true;
  }
  counting = {};
  state.view->SetTimer(Timer::AutoStart, kRepeatDelayMs);
  return true;
}

}  // namespace fw
