// make-demo-install: writes a demo installation of Radio Flashwright into a folder.
//
//   make-demo-install DIR [--plugins DIR_OF_CONVERTERS]
//
// The installation serves the simulated radio's default identity (a KV86 radio, area 1).
// Every file is generated; nothing is copied from any product. --plugins names the folder
// with the substitute converter libraries built with the project (libmutaris.so,
// libmutarisV1.so), which are copied beside the program's files.

#include <cstdio>
#include <string>

#include "DemoInstall.h"
#include "radio-sim/DemoIdentity.h"

namespace {

int Usage(FILE* to) {
  std::fprintf(to,
               "usage: make-demo-install DIR [--plugins DIR_OF_SUBSTITUTE_CONVERTERS]\n"
               "  writes a demo installation (settings, firmware images, chip hex files,\n"
               "  model file, templates, character lists, language font) into DIR\n");
  return to == stderr ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  fw::demo::DemoInstallOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--plugins" && i + 1 < argc) {
      options.pluginsDir = argv[++i];
    } else if (a.rfind("--plugins=", 0) == 0) {
      options.pluginsDir = a.substr(10);
    } else if (a == "-h" || a == "--help") {
      return Usage(stdout);
    } else if (!a.empty() && a[0] == '-') {
      return Usage(stderr);
    } else if (options.folder.empty()) {
      options.folder = a;
    } else {
      return Usage(stderr);
    }
  }
  if (options.folder.empty()) {
    return Usage(stderr);
  }

  const fw::demo::DemoInstallResult result = fw::demo::WriteDemoInstallation(options);
  for (const std::string& w : result.warnings) {
    std::fprintf(stderr, "make-demo-install: warning: %s\n", w.c_str());
  }
  if (!result.ok) {
    std::fprintf(stderr, "make-demo-install: %s\n", result.error.c_str());
    return 1;
  }
  std::printf("make-demo-install: %zu files written to %s\n", result.files.size(),
              options.folder.c_str());
  std::printf("  serves the demo radio: model %s (identity %s), model identifier %s, area %d\n",
              fw::demo::kModelCode, fw::demo::kIdentityText, fw::demo::kModelId,
              fw::demo::kAreaNumber);
  return 0;
}
