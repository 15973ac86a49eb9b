#include "config/Installation.h"

#ifdef _WIN32
#include <io.h>
#define FW_ACCESS_W(path) ::_access((path), 2)
#else
#include <unistd.h>
#define FW_ACCESS_W(path) ::access((path), W_OK)
#endif

#include <filesystem>
#include <system_error>

#include "config/Settings.h"
#include "platform/ExecutablePath.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCharacterLists[] = {"SimpleCH.dat", "SimpleCH_0412.dat"};

bool IsFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

// The folder with one trailing separator: the system's own where it has none.
std::string WithSeparator(std::string dir) {
  if (dir.empty() || !IsSeparator(dir.back())) {
    dir += static_cast<char>(fs::path::preferred_separator);
  }
  return dir;
}

// The path below the program folder, as the technician finds it there.
std::string Relative(const std::string& path, const std::string& folder) {
  return path.rfind(folder, 0) == 0 ? path.substr(folder.size()) : path;
}

// The first of `keys` (with their values) that names an existing file below `folder` wins;
// otherwise the first key tells what is wrong: empty, or naming a file that is not there.
void CheckNamedFile(const char* what, const std::vector<std::pair<const char*, std::string>>& keys,
                    const std::string& folder, std::vector<std::string>& missing) {
  for (const auto& [key, name] : keys) {
    if (!name.empty() && IsFile(folder + name)) {
      return;
    }
  }
  const auto& [key, name] = keys.front();
  if (name.empty()) {
    missing.push_back(std::string("the settings key \"") + key + "\" is empty");
  } else {
    missing.push_back(std::string("no ") + what + " " + name + " (\"" + key + "\")");
  }
}

}  // namespace

Installation::Installation()
    : fontBufferA(kFontImageBufferSize, 0),
      fontBufferB(kFontImageBufferSize, 0),
      fontBufferC(kFontImageBufferSize, 0),
      glyphScratch(kGlyphScratchSize) {}

const Installation& InstallationRef::Get() const {
  // A record given no installation reads as one whose settings file is absent.
  static const Installation* const kNone = new Installation();
  return installation_ ? *installation_ : *kNone;
}

Installation& LoadingInstallation(UpgradeState& state) {
  if (!state.installation.Shared()) {
    state.installation = std::make_shared<Installation>();
  }
  return const_cast<Installation&>(*state.installation.Shared());
}

std::string ResolveProgramDir(const std::string& given) {
  std::error_code ec;
  fs::path dir;
  if (given.empty()) {
    std::string exe = ExecutablePath();
    dir = exe.empty() ? fs::current_path(ec) : fs::path(exe).parent_path();
  } else {
    dir = fs::absolute(fs::path(given), ec);
    if (ec) {
      dir = fs::path(given);
    }
  }
  // weakly_canonical resolves what exists and keeps the rest as written, normalised.
  fs::path canonical = fs::weakly_canonical(dir, ec);
  if (!ec) {
    dir = canonical;
  }
  std::string text = dir.lexically_normal().string();
  while (text.size() > 1 && IsSeparator(text.back())) {
    text.pop_back();
  }
  return WithSeparator(text);
}

std::string InstallationCheck::Message() const {
  if (Complete()) {
    return std::string();
  }
  std::string text = Empty() ? "No installation in " + folder + ": "
                             : "The installation in " + folder + " is incomplete: ";
  for (size_t i = 0; i < missing.size(); ++i) {
    text += (i == 0 ? "" : ", ") + missing[i];
  }
  return text + ".";
}

InstallationCheck CheckInstallation(const UpgradeState& state, InstallationUse use, bool withChip) {
  const Installation& inst = *state.installation;
  InstallationCheck check;
  check.folder = WithSeparator(inst.programDir);
  std::error_code ec;
  check.folderExists = fs::is_directory(check.folder, ec);
  check.settingsFound = IsFile(inst.settingsPath);
  std::vector<std::string>& missing = check.missing;
  if (!check.folderExists) {
    missing.push_back("the folder does not exist");
    return check;
  }
  const bool image = use != InstallationUse::kChipOnly;
  const bool data = use == InstallationUse::kFull;
  const bool chip = use == InstallationUse::kChipOnly || withChip;
  if (!check.settingsFound) {
    // Without the settings nothing names the images and hex files: say what belongs here.
    missing.push_back("no settings file " + Relative(inst.settingsPath, check.folder));
    if (image) {
      missing.push_back("no firmware images");
    }
    if (chip) {
      missing.push_back("no chip hex files");
    }
  } else {
    const bool selp = state.vocoderIndex == 1;
    if (image) {
      std::vector<std::pair<const char*, std::string>> keys = {
          {"MainBin", inst.mainImageName},
          {"MainBinSelp", inst.mainImageNameSelp},
          {"SmallMainBin", inst.smallImageName},
          {"SmallMainBinSelp", inst.smallImageNameSelp}};
      if (selp) {
        std::swap(keys[0], keys[1]);
      }
      CheckNamedFile("firmware image", keys, check.folder, missing);
    }
    if (chip) {
      // The hex paths are the program folder + the key's value.
      std::vector<std::pair<const char*, std::string>> keys = {
          {"DadazuHex", Relative(inst.chipHexPath, check.folder)},
          {"DadazuHexSelp", Relative(inst.chipHexPathSelp, check.folder)},
          {"SmallDadazuHex", Relative(inst.smallChipHexPath, check.folder)},
          {"SmallDadazuHexSelp", Relative(inst.smallChipHexPathSelp, check.folder)}};
      if (selp) {
        std::swap(keys[0], keys[1]);
      }
      CheckNamedFile("chip hex file", keys, check.folder, missing);
    }
  }
  if (data) {
    if (!IsFile(inst.modelTablePath)) {
      missing.push_back("no model file " + Relative(inst.modelTablePath, check.folder));
    }
    for (const char* list : kCharacterLists) {
      if (!IsFile(check.folder + list)) {
        missing.push_back(std::string("no character list ") + list);
      }
    }
  }
  return check;
}

bool SettingsWritable(const std::string& settingsPath) {
  if (!IsFile(settingsPath)) {
    return false;
  }
  fs::path folder = fs::path(settingsPath).parent_path();
  if (folder.empty()) {
    folder = ".";
  }
  return FW_ACCESS_W(folder.string().c_str()) == 0 && FW_ACCESS_W(settingsPath.c_str()) == 0;
}

}  // namespace fw
