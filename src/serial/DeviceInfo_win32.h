#pragma once
// What the serial back end reads of the system's device information on Windows (SetupAPI and
// the registry): the "Ports" device class, and a device's or key's text values as UTF-8.
// Only read, never written.

#include <windows.h>
// windows.h first: SetupAPI's header builds on its types.
#include <setupapi.h>

#include <string>

namespace fw {

// GUID_DEVCLASS_PORTS: serial and parallel ports.
inline constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// UTF-16 to UTF-8.
std::string Narrow(const std::wstring& wide);
// A text value of `key` (REG_SZ or REG_EXPAND_SZ), empty when there is none.
std::string RegistryText(HKEY key, const wchar_t* name);
// A device's text property (the first string of a multi-string), empty when it has none.
std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property);

}  // namespace fw
