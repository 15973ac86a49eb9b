// Windows numbers its COM ports itself: the port map needs no device list. The name Windows
// shows for a port comes from the system's device information (SetupAPI: the "Ports" class
// device whose "PortName" is the port, its friendly name), else from the serial devices the
// system lists under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM. The registry is only read.

#include "serial/SerialDevices.h"

#include "serial/DeviceInfo_win32.h"

namespace fw {
namespace {

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
