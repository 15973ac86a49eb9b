#pragma once
// COM port numbers (1..16, shown as "COM%d") to device paths.
//
// On Windows the path is \\.\COM<n>. Elsewhere explicit entries (section "Ports" of the
// settings file, keys COM<n>) win; the remaining numbers go to the serial devices the
// system has, in a stable order.

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace fw {

class PortMap {
 public:
  static constexpr int kMaxPort = 16;

  // Explicit entry: COM number -> device path.
  void SetExplicit(int portNumber, const std::string& devicePath);
  void ClearExplicit();
  // Device path for a COM number; empty when none is mapped.
  std::string DevicePath(int portNumber) const;
  // The whole map 1..16 (numbers without a device are absent).
  std::map<int, std::string> Entries() const;

 private:
  mutable std::mutex mutex_;
  std::map<int, std::string> explicit_;
};

// The process-wide map used by SerialPort::OpenPort.
PortMap& GlobalPortMap();

}  // namespace fw
