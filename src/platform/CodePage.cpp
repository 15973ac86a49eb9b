// What the front ends say when the system cannot convert the radios' code page; the
// conversions themselves are in CodePage_posix.cpp and CodePage_win32.cpp.

#include "platform/CodePage.h"

namespace fw {

std::string CodePageProblemWith(
    const std::function<bool(const char* to, const char* from)>& canConvert) {
  struct Pair {
    const char* to;
    const char* from;
  };
  static constexpr Pair kNeeded[] = {{"UTF-8", "CP936"},    {"CP936", "UTF-8"},
                                     {"UTF-16LE", "UTF-8"}, {"UTF-8", "UTF-16LE"},
                                     {"UTF-16LE", "CP936"}, {"CP936", "UTF-16LE"}};
  std::string failed;
  bool cp936 = false;
  bool utf16 = false;
  for (const Pair& p : kNeeded) {
    if (!canConvert(p.to, p.from)) {
      failed += std::string(failed.empty() ? "" : ", ") + p.from + " to " + p.to;
      const std::string both = std::string(p.to) + p.from;
      const bool viaUtf8 = both.find("UTF-8") != std::string::npos;
      cp936 = cp936 || (viaUtf8 && both.find("CP936") != std::string::npos);
      utf16 = utf16 || (viaUtf8 && both.find("UTF-16") != std::string::npos);
    }
  }
  if (!failed.empty() && !cp936 && !utf16) {
    cp936 = utf16 = true;  // only the direct way between them: either may be missing
  }
  if (failed.empty()) {
    return std::string();
  }
  std::string modules;
  if (cp936) {
    modules = "GBK (code page 936)";
  }
  if (utf16) {
    modules += std::string(modules.empty() ? "" : " and ") + "UTF-16";
  }
  return "The C library's code-page modules (gconv) are missing: " + modules +
         " cannot be converted (" + failed +
         "). The radios' texts and files are in code page 936, so the program cannot run "
         "without them. Install the C library's gconv modules (Debian: package libc6, folder "
         "/usr/lib/<architecture>/gconv with gconv-modules), or set GCONV_PATH to a folder "
         "that holds them.";
}

}  // namespace fw
