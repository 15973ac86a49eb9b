#include "app/window/InstallationFolder.h"

#include <cstdlib>
#include <filesystem>

#include "config/Installation.h"
#include "config/Settings.h"
#include "core/AppValues.h"
#include "platform/ExecutablePath.h"
#include "serial/PortMap.h"

namespace fw {
namespace {

// "The settings file <path> cannot be written. ... in <where>."
constexpr const char* kReadOnlyNoteStart = "The settings file ";
constexpr const char* kReadOnlyNoteMiddle =
    " cannot be written. The COM port, vocoder and firmware chip choices are kept for this user "
    "instead, in ";

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// One group per installation folder.
std::string KeptKey(const std::string& folder, const char* name) {
  return "kept/" + PercentEncoded(folder) + "/" + name;
}

int IntValue(const std::optional<std::string>& value) {
  if (!value) {
    return 0;
  }
  char* end = nullptr;
  const long v = std::strtol(value->c_str(), &end, 10);
  return end != value->c_str() && v >= -1000000 && v <= 1000000 ? static_cast<int>(v) : 0;
}

}  // namespace

std::string PercentEncoded(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
        b == '.' || b == '_' || b == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------

UserSettings::UserSettings(std::unique_ptr<UserStore> store) : store_(std::move(store)) {}
UserSettings::~UserSettings() {
  if (store_) {
    store_->Flush();
  }
}

std::string UserSettings::LastInstallation() const {
  return store_->Get("installation/folder").value_or(std::string());
}

void UserSettings::SetLastInstallation(const std::string& folder) {
  store_->Set("installation/folder", folder);
}

std::optional<KeptChoices> UserSettings::Kept(const std::string& folder) const {
  const std::optional<std::string> port = store_->Get(KeptKey(folder, "Port"));
  if (!port) {
    return std::nullopt;
  }
  KeptChoices c;
  c.port = IntValue(port);
  c.vocoder = IntValue(store_->Get(KeptKey(folder, "CMOS")));
  c.updateChip = IntValue(store_->Get(KeptKey(folder, "UpdateChip")));
  return c;
}

void UserSettings::Keep(const std::string& folder, const KeptChoices& c) {
  store_->Set(KeptKey(folder, "Port"), std::to_string(c.port));
  store_->Set(KeptKey(folder, "CMOS"), std::to_string(c.vocoder));
  store_->Set(KeptKey(folder, "UpdateChip"), std::to_string(c.updateChip));
  store_->Flush();
}

void UserSettings::Forget(const std::string& folder) {
  for (const char* key : {"Port", "CMOS", "UpdateChip"}) {
    store_->Remove(KeptKey(folder, key));
  }
}

bool UserSettings::ToldReadOnly(const std::string& folder) const {
  const std::optional<std::string> v = store_->Get(KeptKey(folder, "toldReadOnly"));
  return v && (*v == "true" || *v == "1");
}

void UserSettings::SetToldReadOnly(const std::string& folder) {
  store_->Set(KeptKey(folder, "toldReadOnly"), "true");
}

std::string UserSettings::Location() const {
  return store_->Location();
}

// ---------------------------------------------------------------------------------------

InstallationCheck CheckForWindow(const UpgradeState& state) {
  const InstallationUse use = state.installation->readWriteLog == 3 ? InstallationUse::kFirmwareOnly
                                                                    : InstallationUse::kFull;
  return CheckInstallation(state, use, state.updateChip != 0);
}

InstallationFolder::InstallationFolder(std::string given, UserStoreFactory store)
    : given_(std::move(given)), store_(std::move(store)) {}

std::string InstallationFolder::LoadFolder(UpgradeState& state, const std::string& folder,
                                           bool ownFolder, bool reload) {
  // A folder chosen after another starts from nothing: keys it lacks are not the other's.
  if (reload) {
    Installation& installation = LoadingInstallation(state);
    for (std::string* s :
         {&installation.modelList, &installation.windowTitle, &installation.mainImageName,
          &installation.mainImageNameSelp, &installation.smallImageName,
          &installation.smallImageNameSelp, &installation.glyphFontFile}) {
      s->clear();
    }
    App().versionText.clear();
    App().companyText.clear();
    App().smallMcuText.clear();
    GlobalPortMap().ClearExplicit();
  }
  if (ownFolder) {
    LoadSettings(state);  // the settings file named after the program, beside it
  } else {
    LoadSettingsForProgramDir(state, folder);
  }
  return state.installation->windowTitle;
}

std::string InstallationFolder::Load(UpgradeState& state) {
  UserSettings user(store_());
  bool own = given_.empty();
  std::string folder = own ? ResolveProgramDir(std::string()) : ResolveProgramDir(given_);
  if (own && !IsFile(SettingsPathForExecutable(ExecutablePath()))) {
    // An installed package's folder holds the program only: the installation last used.
    const std::string last = user.LastInstallation();
    if (!last.empty() && IsFile(last + kSettingsFileName)) {
      folder = last;
      own = false;
    }
  }
  const int portBefore = state.selectedPort.load();
  std::string caption = LoadFolder(state, folder, own, false);
  InstallationCheck check = CheckForWindow(state);
  while (!check.Complete() && ask_ && ask_(check)) {
    const std::string chosen = choose_ ? choose_(check.folder) : std::string();
    if (chosen.empty()) {
      break;  // the folder dialog was cancelled: the window opens on the folder as it is
    }
    state.selectedPort = portBefore;
    caption = LoadFolder(state, ResolveProgramDir(chosen), false, true);
    check = CheckForWindow(state);
  }
  problem_ = check.Message();
  noInstallation_ = check.Empty();
  if (check.Complete()) {
    user.SetLastInstallation(check.folder);
  }
  if (std::optional<KeptChoices> kept = user.Kept(check.folder)) {
    // Choices made in the window that the installation's file could not take.
    state.selectedPort = kept->port;
    state.vocoderIndex = kept->vocoder;
    state.updateChip = kept->updateChip;
  }
  return caption;
}

void InstallationFolder::Save(UpgradeState& state) {
  UserSettings user(store_());
  const std::string folder = state.installation->programDir;
  if (writable_(state.installation->settingsPath) && SaveSettings(state)) {
    user.Forget(folder);
    return;
  }
  user.Keep(folder, KeptChoices{state.selectedPort.load(), state.vocoderIndex, state.updateChip});
  if (!IsFile(state.installation->settingsPath) || user.ToldReadOnly(folder) ||
      state.view == nullptr) {
    return;  // a folder without an installation was named at start-up
  }
  state.view->MessageBox(kReadOnlyNoteStart + state.installation->settingsPath +
                             kReadOnlyNoteMiddle + user.Location() + ".",
                         MessageIcon::None, MessageButtons::Ok);
  user.SetToldReadOnly(folder);
}

}  // namespace fw
