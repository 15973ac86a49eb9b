#include <windows.h>

#include <filesystem>

#include "platform/SharedLibrary.h"
#include "platform/SystemError.h"

namespace fw {
namespace {

std::wstring Widen(const std::string& s) {
  if (s.empty())
    return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string SystemErrorText(DWORD code) {
  return SystemErrorMessage(code) + " (error " + std::to_string(code) + ")";
}

}  // namespace

bool SharedLibrary::Open(const std::string& absolutePath) {
  Close();
  path_ = absolutePath;
  const std::wstring wide = Widen(absolutePath);
  if (wide.empty() || !std::filesystem::path(wide).is_absolute()) {
    error_ = "\"" + absolutePath + "\" is not an absolute path; libraries are not searched for";
    return false;
  }
  // The library's own dependencies are looked up beside it, not in the current directory.
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    error_ = "\"" + absolutePath + "\": " + SystemErrorText(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<void*>(module);
  error_.clear();
  return true;
}

void* SharedLibrary::Symbol(const std::string& name) {
  if (!handle_) {
    error_ = "no library is loaded";
    return nullptr;
  }
  FARPROC proc = GetProcAddress(reinterpret_cast<HMODULE>(handle_), name.c_str());
  if (!proc) {
    error_ = "\"" + path_ + "\": " + name + ": " + SystemErrorText(GetLastError());
    return nullptr;
  }
  return reinterpret_cast<void*>(proc);
}

void SharedLibrary::Close() {
  if (handle_)
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

std::string SharedLibrary::FileName(const std::string& base) {
  return base + ".dll";
}

}  // namespace fw
