// Windows numbers its COM ports itself: the port map needs no device list. The name Windows
// shows for a port comes from the system's device information (SetupAPI: the "Ports" class
// device whose "PortName" is the port, its friendly name), else from the serial devices the
// system lists under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM. The registry is only read.

#include <windows.h>
// windows.h first: SetupAPI's header builds on its types.
#include <setupapi.h>

#include "serial/SerialDevices.h"

namespace fw {
namespace {

// GUID_DEVCLASS_PORTS: serial and parallel ports.
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string Narrow(const wchar_t* wide) {
  const int length = static_cast<int>(wcslen(wide));
  if (length == 0) {
    return std::string();
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), n, nullptr, nullptr);
  }
  return out;
}

// A text value of `key` (REG_SZ), empty when there is none.
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

// The friendly name of the present "Ports" device that is COMn (its description with the
// port when it has no friendly name).
std::string DeviceManagerName(int comNumber) {
  HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) {
    return std::string();
  }
  std::string name;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
      continue;
    }
    const bool match = ComNumberOf(RegistryText(key, L"PortName")) == comNumber;
    RegCloseKey(key);
    if (!match) {
      continue;
    }
    name = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
    if (name.empty()) {
      const std::string description = DeviceProperty(set, device, SPDRP_DEVICEDESC);
      if (!description.empty()) {
        name = description + " (COM" + std::to_string(comNumber) + ")";
      }
    }
    break;
  }
  SetupDiDestroyDeviceInfoList(set);
  return name;
}

// "Serial0 (COM1)" from the system's list of serial devices: value "\Device\Serial0",
// data "COM1".
std::string SerialCommListName(int comNumber) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return std::string();
  }
  std::string name;
  for (DWORD i = 0;; ++i) {
    wchar_t device[256] = {};
    DWORD deviceLength = 255;
    wchar_t port[64] = {};
    DWORD type = 0;
    DWORD portSize = sizeof port - sizeof(wchar_t);
    const LONG result = RegEnumValueW(key, i, device, &deviceLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(port), &portSize);
    if (result == ERROR_NO_MORE_ITEMS) {
      break;
    }
    if (result != ERROR_SUCCESS || type != REG_SZ) {
      continue;  // a value too long for a COM port's name is none
    }
    if (ComNumberOf(Narrow(port)) == comNumber) {
      name = SerialCommName(Narrow(device), comNumber);
      break;
    }
  }
  RegCloseKey(key);
  return name;
}

}  // namespace

std::vector<std::string> SystemSerialDevices(const std::string& /*deviceDir*/,
                                             const std::string& /*sysfsRoot*/) {
  return {};
}

std::string UsbProductName(const std::string& /*devicePath*/, const std::string& /*sysfsRoot*/) {
  return std::string();
}

std::string PortFriendlyName(int comNumber) {
  if (comNumber <= 0) {
    return std::string();
  }
  const std::string name = DeviceManagerName(comNumber);
  return name.empty() ? SerialCommListName(comNumber) : name;
}

}  // namespace fw
