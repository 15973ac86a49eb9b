#include "platform/SystemError.h"

#include <windows.h>

namespace fw {

std::string SystemErrorMessage(uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD len = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (len > 0) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(len), nullptr, 0,
                                      nullptr, nullptr);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(len), text.data(), n, nullptr,
                        nullptr);
  }
  if (buffer != nullptr) {
    LocalFree(buffer);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace fw
