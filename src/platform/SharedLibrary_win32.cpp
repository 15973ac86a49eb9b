#include <windows.h>

#include <filesystem>

#include "platform/SharedLibrary.h"

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

std::string Narrow(const wchar_t* w, int len) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, len, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, len, s.data(), n, nullptr, nullptr);
  return s;
}

std::string SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD len = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = len ? Narrow(buffer, static_cast<int>(len)) : std::string();
  if (buffer)
    LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text + " (error " + std::to_string(code) + ")";
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
