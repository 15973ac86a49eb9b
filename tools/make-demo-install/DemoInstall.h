#pragma once
// Writes a complete demo installation folder: settings file, firmware images, chip hex
// files, model file, templates, character lists, language font and (when a folder with them
// is given) the substitute converter libraries. Every file is generated here.

#include <string>
#include <vector>

namespace fw::demo {

struct DemoInstallOptions {
  std::string folder;      // created when missing
  std::string pluginsDir;  // folder holding the converter libraries; empty: none copied
};

struct DemoInstallResult {
  bool ok = false;
  std::string error;                  // why it failed
  std::vector<std::string> files;     // written, relative to the folder
  std::vector<std::string> warnings;  // written anyway, but worth knowing
};

DemoInstallResult WriteDemoInstallation(const DemoInstallOptions& options);

}  // namespace fw::demo
