#include "serial/DeviceInfo_win32.h"

namespace fw {

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) {
    return std::string();
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
  }
  return out;
}

std::string RegistryText(HKEY key, const wchar_t* name) {
  wchar_t value[256] = {};
  DWORD type = 0;
  DWORD size = sizeof value - sizeof(wchar_t);  // always ends with a zero
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::string();
  }
  return Narrow(value);
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t value[512] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                         reinterpret_cast<BYTE*>(value),
                                         sizeof value - 2 * sizeof(wchar_t), nullptr) ||
      (type != REG_SZ && type != REG_MULTI_SZ)) {
    return std::string();
  }
  return Narrow(value);  // the first string of a multi-string
}

}  // namespace fw
