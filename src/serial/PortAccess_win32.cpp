// Serial-port access on Windows: the system names no holders and has no device groups.

#include <windows.h>

#include <cerrno>

#include "serial/PortAccess.h"

namespace fw {

int CurrentProcessId() {
  return static_cast<int>(::GetCurrentProcessId());
}

int OpenErrorFromWindows(unsigned long code) {
  switch (code) {
    case ERROR_ACCESS_DENIED:      // a COM port held by another program reports "access denied"
    case ERROR_SHARING_VIOLATION:  // and, behind some drivers, a sharing violation
      return EBUSY;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    default:
      return EIO;
  }
}

std::string WindowsOpenFailureText(unsigned long code, const std::string& systemWords) {
  if (OpenErrorFromWindows(code) != EBUSY) {
    return systemWords;
  }
  return systemWords.empty() ? std::string(kPortInUseText)
                             : std::string(kPortInUseText) + " (" + systemWords + ")";
}

int TryOpenExclusively(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return OpenErrorFromWindows(::GetLastError());
  }
  ::CloseHandle(h);
  return 0;
}

DeviceGroup GroupOfDevice(const std::string&) {
  return DeviceGroup();
}

std::vector<PortHolder> PortHolders(const std::string&, const std::string&, int) {
  return {};
}

}  // namespace fw
