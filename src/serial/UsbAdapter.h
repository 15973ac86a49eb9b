#pragma once
// The adapter behind a serial device: its driver, USB vendor:product, serial number and latency
// timer (Linux: from sysfs, no udev daemon needed; Windows: from the system's device
// information), for the port list's tooltip, the failure texts and a job's record. Also what
// is said of a latency timer that holds replies back, and of an adapter that was pulled out
// during a job.

#include <string>
#include <vector>

namespace fw {

struct AdapterInfo {
  std::string devicePath;
  std::string driver;         // ftdi_sio, cp210x, ch341, pl2303, cdc_acm ... (Windows: the
                              // driver's service, FTSER2K, usbser ...); empty when unknown
  std::string vendorProduct;  // USB "0403:6001", lower-case hex; empty: not a USB device
  std::string product;        // the USB product name, where the device gives one
  std::string serial;         // the USB serial number, where the device gives one
  int latencyMs = -1;         // the adapter's latency timer; -1: it has none, or unknown
  bool IsUsb() const { return !vendorProduct.empty(); }
};

// The adapter behind `devicePath` as the system describes it now (a symbolic link such as
// /dev/serial/by-id/... is followed). Windows: `devicePath` is "\\.\COMn" or "COMn".
AdapterInfo DescribeAdapter(const std::string& devicePath);
#ifndef _WIN32
// The same from the sysfs tree at `sysfsRoot` ("/sys" on a running system).
AdapterInfo DescribeAdapterIn(const std::string& devicePath, const std::string& sysfsRoot);
#endif

// Windows: the USB vendor:product from a device's hardware id ("FTDIBUS\COMPORT&VID_0403&
// PID_6001", "USB\VID_10C4&PID_EA60&REV_0100") and the serial number from its instance id
// ("FTDIBUS\VID_0403+PID_6001+A50285BIA\0000": the FTDI driver adds the port's letter;
// "USB\VID_10C4&PID_EA60\0001"; none where the system made the last part up, with '&').
void AdapterIdsFromWindows(const std::string& hardwareId, const std::string& instanceId,
                           AdapterInfo& info);

// "ftdi_sio, USB 0403:6001, serial A50285BI, latency 16 ms": the parts that are known, "" for
// a device that is not a USB adapter and has no known driver.
std::string AdapterSummary(const AdapterInfo& info);

// The latency timer above which an adapter holds the radio's replies back noticeably: 1 ms on
// Linux (where the program asks the driver for low latency), 2 ms on Windows.
int LatencyLimitMs();
// What to do about a latency timer above the limit ("" when it is within it or unknown):
// Linux: the udev rule that sets it to 1 ms for good; Windows: where the driver's setting is.
std::string SlowLatencyAdvice(const AdapterInfo& info);

// Notices about adapters that a job met, each device's once per process: the serial port
// notes a latency timer still above the limit while it is open; a front end takes the new
// ones (a headless line each) and asks for a device's (the port list's tooltip).
void NoteSlowLatency(const AdapterInfo& info);
std::vector<std::string> TakeAdapterNotices();
std::string NotedLatencyAdvice(const std::string& devicePath);

// The identity of an adapter as it was when last opened, so that one that was pulled out is
// still named (its sysfs entry goes with it). Empty fields when never opened.
void RememberAdapter(const AdapterInfo& info);
AdapterInfo RememberedAdapter(const std::string& devicePath);

// True when the device node at `devicePath` is gone (the adapter was unplugged).
bool DeviceGone(const std::string& devicePath);
// "The USB serial adapter /dev/ttyUSB0 (ftdi_sio, USB 0403:6001, serial ...) was
// disconnected." with what to do; `info` as remembered from the open.
std::string DisconnectedText(const std::string& devicePath, const AdapterInfo& info);
// What a failed exchange's box says beside its text: that the adapter was disconnected when
// its device is gone (otherwise which USB adapter the port is), then the other programs that
// hold the port (see PortAccess). "" when none of these.
std::string LineTroubleText(const std::string& devicePath);

}  // namespace fw
