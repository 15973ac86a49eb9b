#include "app/HeadlessOptions.h"

#include <cstdlib>

namespace fw {

bool ParseHeadlessOptions(const std::vector<std::string>& args, HeadlessOptions& out,
                          std::string& error) {
  out = HeadlessOptions();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--headless") {
      out.headless = true;
    } else if (a == "--help" || a == "-h") {
      out.help = true;
    } else if (a == "--program-dir" || a.rfind("--program-dir=", 0) == 0) {
      // "--program-dir DIR" or "--program-dir=DIR", as the window takes it.
      if (a.size() > 13) {
        v = a.substr(14);
      } else if (!value(v)) {
        v.clear();
      }
      if (v.empty()) {
        error = "--program-dir needs a folder";
        return false;
      }
      out.programDir = v;
    } else if (a == "--port") {
      if (!value(v)) {
        return false;
      }
      char* end = nullptr;
      long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || n < 1 || n > 16) {
        error = "--port takes a COM number from 1 to 16";
        return false;
      }
      out.port = static_cast<int>(n);
    } else if (a == "--firmware-only") {
      out.firmwareOnly = true;
    } else if (a == "--chip-only") {
      out.chipOnly = true;
    } else if (a == "--update-chip") {
      out.updateChip = true;
    } else if (a == "--allow-unidentified") {
      out.allowUnidentified = true;
    } else if (a == "--vocoder") {
      if (!value(v)) {
        return false;
      }
      if (v == "AMBE") {
        out.vocoder = 0;
      } else if (v == "SELP") {
        out.vocoder = 1;
      } else {
        error = "--vocoder takes AMBE or SELP";
        return false;
      }
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  if (out.firmwareOnly && out.chipOnly) {
    error = "--firmware-only and --chip-only exclude each other";
    return false;
  }
  return true;
}

}  // namespace fw
