#pragma once
// COM port numbers (shown as "COM%d") to device paths. The port list of the window shows
// COM1..COM16; a bench of many radios reaches numbers up to 64 (`kMaxMappedPort`), named on
// the command line or in the "Ports" section.
//
// On Windows the path is \\.\COM<n>. Elsewhere explicit entries (section "Ports" of the
// settings file, keys COM<n>) win; the remaining numbers, in ascending order, go to the
// serial devices the system has, in a stable order: USB adapters (ttyUSB*, then ttyACM*)
// first, then on-board ports (ttyS*) that have hardware behind them. A device that an
// explicit entry already names is not given a second number.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "serial/PortAccess.h"

namespace fw {

class PortMap {
 public:
  // The numbers the port list scans and shows.
  static constexpr int kMaxPort = 16;
  // The numbers a device can stand for: a job may run on any of them.
  static constexpr int kMaxMappedPort = 64;

  // Explicit entry: COM number (1..64) -> device path. An empty path removes the entry;
  // numbers outside 1..64 are ignored.
  void SetExplicit(int portNumber, const std::string& devicePath);
  void ClearExplicit();

  // Where the system's devices are looked for ("/dev") and the sysfs root ("/sys");
  // tests point them at folders of their own.
  void SetDeviceDirectory(const std::string& dir);
  void SetSysfsRoot(const std::string& dir);

  // Device path for a COM number; empty when none is mapped.
  std::string DevicePath(int portNumber) const;
  // The map 1..16, the numbers the port list shows (numbers without a device are absent).
  std::map<int, std::string> Entries() const;
  // The whole map 1..64: what every number stands for, for a bench of many radios.
  std::map<int, std::string> MappedEntries() const;
  // The numbers 1..16, ascending, whose device can be opened exclusively right now (each
  // is closed again at once).
  std::vector<int> ScanPorts() const;
  // The ports that the port list shows, ascending: those that can be opened exclusively
  // now and those that the user may not open (so that the list can say what to do);
  // `check` tries each device (the system's open by default).
  struct ScannedPort {
    int number = 0;
    std::string devicePath;
    PortAccess access = PortAccess::kFree;
  };
  std::vector<ScannedPort> ScanPortList(const OpenCheck& check = TryOpenExclusively) const;
  // The product name of the USB adapter behind a COM number ("CP2102 USB to UART Bridge
  // Controller"), empty for other ports; for tooltips.
  std::string ProductName(int portNumber) const;

 private:
  std::map<int, std::string> EntriesUpTo(int last) const;

  mutable std::mutex mutex_;
  std::map<int, std::string> explicit_;
  std::string deviceDir_ = "/dev";
  std::string sysfsRoot_ = "/sys";
};

// The process-wide map used by SerialPort::OpenPort.
PortMap& GlobalPortMap();

// ScanPorts of the process-wide map.
std::vector<int> ScanPorts();

}  // namespace fw
