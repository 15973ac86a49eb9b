#include "app/HeadlessStartup.h"

#include <filesystem>

#include "firmware/MainFirmware.h"

#if __has_include("config/Settings.h")
#include "config/Settings.h"
#else
#include <cstdlib>
#include <fstream>

#include "serial/PortMap.h"
#include "serial/SelectedPort.h"
#endif

namespace fw {
namespace {

#if !__has_include("config/Settings.h")
// Until the settings module is part of the build: the keys a firmware job needs, from
// sections "Setting" and "Ports" of Flashwright.ini (names without regard to case).
std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

void LoadSettingsForProgramDir(UpgradeState& state, const std::string& programDir) {
  std::ifstream in(programDir + "Flashwright.ini");
  std::string line;
  std::string section;
  bool autoTestSeen = false;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
      line.pop_back();
    }
    if (!line.empty() && line.front() == '[' && line.back() == ']') {
      section = Lower(line.substr(1, line.size() - 2));
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      continue;
    }
    std::string key = Lower(line.substr(0, eq));
    std::string value = line.substr(eq + 1);
    int number = std::atoi(value.c_str());
    if (section == "ports" && key.rfind("com", 0) == 0) {
      GlobalPortMap().SetExplicit(std::atoi(key.c_str() + 3), value);
    } else if (section != "setting" || value.empty()) {
      continue;
    } else if (key == "port") {
      SetSelectedPortNumber(number);
    } else if (key == "updatechip") {
      state.updateChip = number;
    } else if (key == "readwritelog") {
      state.readWriteLog = number;
    } else if (key == "cmos") {
      state.vocoderIndex = number;
    } else if (key == "autotest") {
      state.autoTest = number;
      autoTestSeen = true;
    } else if (key == "model") {
      state.modelList = value;
    } else if (key == "mainbin") {
      state.mainImageName = value;
    } else if (key == "mainbinselp") {
      state.mainImageNameSelp = value;
    } else if (key == "smallmainbin") {
      state.smallImageName = value;
    } else if (key == "smallmainbinselp") {
      state.smallImageNameSelp = value;
    } else if (key == "dadazuhex") {
      state.chipHexPath = value;
    } else if (key == "dadazuhexselp") {
      state.chipHexPathSelp = value;
    } else if (key == "smalldadazuhex") {
      state.smallChipHexPath = value;
    } else if (key == "smalldadazuhexselp") {
      state.smallChipHexPathSelp = value;
    }
  }
  if (!autoTestSeen) {
    state.autoTest = state.readWriteLog;
  }
  state.programDir = programDir;
  state.imageDir = programDir;
  for (std::string* hex : {&state.chipHexPath, &state.chipHexPathSelp, &state.smallChipHexPath,
                           &state.smallChipHexPathSelp}) {
    *hex = programDir + *hex;
  }
  state.hexFilePath = state.chipHexPath;
}

void SelectVocoder(UpgradeState& state, int index) {
  state.vocoderIndex = index == 0 ? 0 : 1;
  state.selectedImageName = index == 0 ? state.mainImageName : state.mainImageNameSelp;
  state.hexFilePath = index == 0 ? state.chipHexPath : state.chipHexPathSelp;
  ReloadChipHex(state);
}
#endif

}  // namespace

std::string ExecutableFolder() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    return "./";
  }
  return exe.parent_path().string() + "/";
}

void PrepareInstallation(UpgradeState& state, const std::string& programDir,
                         std::optional<int> vocoder) {
  state.configSubdir = "config/r55";
  state.configNumber = 55;
  LoadSettingsForProgramDir(state, programDir);
  state.radioDataSize = UpgradeState::kDefaultRadioDataSize;
  state.writeDataSize = UpgradeState::kDefaultRadioDataSize;
  state.AllocateRadioData(UpgradeState::kDefaultRadioDataSize);
  if (vocoder) {
    state.vocoderIndex = *vocoder;
  }
  SelectVocoder(state, state.vocoderIndex == 0 ? 0 : 1);
  // The image named by "MainBin" is loaded at start-up; the transfer loads the one it
  // chooses for the radio again.
  std::string imagePath = state.imageDir + state.mainImageName;
  state.imageSize = ImageFileSize(imagePath);
  LoadImageFile(state, imagePath);
}

}  // namespace fw
