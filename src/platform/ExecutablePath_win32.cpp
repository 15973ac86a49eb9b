#include <windows.h>

#include <string>
#include <vector>

#include "platform/ExecutablePath.h"

namespace fw {

std::string ExecutablePath() {
  // Grow the buffer until the whole path fits (long paths are not cut to MAX_PATH).
  std::vector<wchar_t> buffer(520);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      return std::string();
    }
    if (n < buffer.size()) {
      int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), static_cast<int>(n), nullptr, 0,
                                      nullptr, nullptr);
      std::string out(static_cast<size_t>(bytes), '\0');
      WideCharToMultiByte(CP_UTF8, 0, buffer.data(), static_cast<int>(n), out.data(), bytes,
                          nullptr, nullptr);
      return out;
    }
    if (buffer.size() >= 32768) {
      return std::string();
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace fw
