// The adapter behind a COM port on Windows, from the system's device information (SetupAPI):
// the port among the devices of the "Ports" class whose "PortName" is the port, its driver's
// service (FTSER2K, usbser, silabser, CH341SER ...), vendor and product from its hardware id,
// the serial number from its instance id, and an FTDI driver's "LatencyTimer" from the
// device's own registry key ("Device Parameters"). The registry is only read.

#include "serial/UsbAdapter.h"

#include <cctype>
#include <vector>

#include "serial/DeviceInfo_win32.h"

namespace fw {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return s;
}

// "COM3" from "\\.\COM3" or "COM3".
std::string PortName(const std::string& devicePath) {
  const std::string prefix = "\\\\.\\";
  return Upper(devicePath.compare(0, prefix.size(), prefix) == 0 ? devicePath.substr(prefix.size())
                                                                 : devicePath);
}

bool RegistryNumber(HKEY key, const wchar_t* name, DWORD& out) {
  DWORD type = 0;
  DWORD size = sizeof out;
  return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&out), &size) ==
             ERROR_SUCCESS &&
         type == REG_DWORD;
}

}  // namespace

AdapterInfo DescribeAdapter(const std::string& devicePath) {
  AdapterInfo info;
  info.devicePath = devicePath;
  const std::string port = PortName(devicePath);
  HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) {
    return info;
  }
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
      continue;
    }
    const bool match = Upper(RegistryText(key, L"PortName")) == port;
    DWORD latency = 0;
    if (match && RegistryNumber(key, L"LatencyTimer", latency)) {
      info.latencyMs = static_cast<int>(latency);
    }
    RegCloseKey(key);
    if (!match) {
      continue;
    }
    info.driver = DeviceProperty(set, device, SPDRP_SERVICE);
    info.product = DeviceProperty(set, device, SPDRP_DEVICEDESC);
    wchar_t instance[512] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, &device, instance, 511, nullptr)) {
      instance[0] = 0;
    }
    AdapterIdsFromWindows(DeviceProperty(set, device, SPDRP_HARDWAREID), Narrow(instance), info);
    break;
  }
  SetupDiDestroyDeviceInfoList(set);
  return info;
}

int LatencyLimitMs() {
  return 2;
}

std::string SlowLatencyAdvice(const AdapterInfo& info) {
  if (info.latencyMs <= LatencyLimitMs()) {
    return std::string();
  }
  return "The adapter " + PortName(info.devicePath) + " (" + AdapterSummary(info) +
         ") holds the radio's replies back up to " + std::to_string(info.latencyMs) +
         " ms, so every exchange waits longer. Set its latency timer to 1 ms: Device Manager, "
         "Ports (COM & LPT), the port, Properties, Port Settings, Advanced, Latency Timer "
         "(msec); then plug the adapter in again.";
}

bool DeviceGone(const std::string& devicePath) {
  // A COM port whose device went away has no DOS device name any more.
  const std::string port = PortName(devicePath);
  if (port.rfind("COM", 0) != 0) {
    return false;
  }
  std::wstring wide(port.begin(), port.end());
  wchar_t target[512];
  return QueryDosDeviceW(wide.c_str(), target, 512) == 0 && GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace fw
