// The command line in UTF-8 on Windows.

#include <windows.h>

#include <shellapi.h>

#include "app/HeadlessMain.h"

namespace fw {

std::vector<std::string> Utf8CommandLine() {
  std::vector<std::string> out;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    return out;
  }
  for (int i = 0; i < count; ++i) {
    const int length = static_cast<int>(wcslen(wide[i]));
    std::string arg;
    if (length > 0) {
      const int bytes =
          WideCharToMultiByte(CP_UTF8, 0, wide[i], length, nullptr, 0, nullptr, nullptr);
      arg.resize(static_cast<size_t>(bytes > 0 ? bytes : 0));
      if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide[i], length, arg.data(), bytes, nullptr, nullptr);
      }
    }
    out.push_back(arg);
  }
  LocalFree(wide);
  return out;
}

std::vector<char*> ArgvOf(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  return argv;
}

}  // namespace fw
