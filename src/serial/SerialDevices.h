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
// From the system's device information (the "Ports" device whose "PortName" is COMn, its
// friendly name), else from the serial devices the system lists (SERIALCOMM, the device's
// name: "Serial0 (COM1)").
std::string PortFriendlyName(int comNumber);

// The COM number a port's name or friendly name ends with: 3 for "COM3", "\\.\COM3",
// "USB Serial Port (COM3)" or "com3"; 0 when it names no COM port ("COM", "COM0", "COM3x",
// "LPT1", "COM3 extra", a number above 256).
int ComNumberOf(const std::string& name);

// The name of a port that only the system's list of serial devices knows: its device name
// without the "\Device\" folder, and the port ("Serial0 (COM1)"); empty without a device
// name or a port.
std::string SerialCommName(const std::string& deviceName, int comNumber);

}  // namespace fw
