#pragma once
// The serial devices the system has, for the port map (platform part).

#include <string>
#include <vector>

namespace fw {

// Device paths in `deviceDir` in the order COM numbers are given to them: ttyUSB*, then
// ttyACM* (and macOS cu.usb*), then ttyS* with hardware behind them; numbered names sort
// by number (ttyUSB2 before ttyUSB10). Empty on Windows, where COM numbers are the
// system's own.
std::vector<std::string> SystemSerialDevices(const std::string& deviceDir,
                                             const std::string& sysfsRoot);

// The USB product name of the adapter behind a device path (from sysfs), empty when the
// device is not a USB adapter or the name is unknown.
std::string UsbProductName(const std::string& devicePath, const std::string& sysfsRoot);

// The name Windows shows for COMn ("USB Serial Port (COM3)"), empty when the system gives
// it none; always empty elsewhere, where the tooltip names the USB product instead.
std::string PortFriendlyName(int comNumber);

}  // namespace fw
