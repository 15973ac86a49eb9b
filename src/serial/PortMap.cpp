#include "serial/PortMap.h"

#include <filesystem>
#include <set>

#include "serial/SerialDevices.h"
#include "serial/SerialPort.h"

namespace fw {
#ifndef _WIN32
namespace {

// The path with symbolic links resolved (/dev/serial/by-id/... -> /dev/ttyUSB0), or the
// path itself when it cannot be resolved.
std::string Resolved(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::canonical(path, ec);
  return ec ? path : p.string();
}

}  // namespace
#endif

void PortMap::SetExplicit(int portNumber, const std::string& devicePath) {
  if (portNumber < 1 || portNumber > kMaxMappedPort) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (devicePath.empty()) {
    explicit_.erase(portNumber);
  } else {
    explicit_[portNumber] = devicePath;
  }
}

void PortMap::ClearExplicit() {
  std::lock_guard<std::mutex> lock(mutex_);
  explicit_.clear();
}

void PortMap::SetDeviceDirectory(const std::string& dir) {
  std::lock_guard<std::mutex> lock(mutex_);
  deviceDir_ = dir;
}

void PortMap::SetSysfsRoot(const std::string& dir) {
  std::lock_guard<std::mutex> lock(mutex_);
  sysfsRoot_ = dir;
}

std::map<int, std::string> PortMap::Entries() const {
  return EntriesUpTo(kMaxPort);
}

std::map<int, std::string> PortMap::MappedEntries() const {
  return EntriesUpTo(kMaxMappedPort);
}

// The numbers 1..last: explicit entries first, then the system's devices in their stable
// order on the numbers left free. The first 16 numbers come out the same whatever `last`.
std::map<int, std::string> PortMap::EntriesUpTo(int last) const {
  std::map<int, std::string> entries;
#ifdef _WIN32
  for (int n = 1; n <= last; ++n) {
    entries[n] = "\\\\.\\COM" + std::to_string(n);
  }
#else
  std::string deviceDir;
  std::string sysfsRoot;
  std::map<int, std::string> named;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    named = explicit_;
    deviceDir = deviceDir_;
    sysfsRoot = sysfsRoot_;
  }
  entries.insert(named.begin(), named.upper_bound(last));
  // A device that any explicit entry names (also one above `last`) gets no second number.
  std::set<std::string> taken;
  for (const auto& [n, path] : named) {
    taken.insert(Resolved(path));
  }
  std::vector<std::string> devices = SystemSerialDevices(deviceDir, sysfsRoot);
  auto next = devices.begin();
  for (int n = 1; n <= last; ++n) {
    if (entries.count(n) != 0) {
      continue;
    }
    while (next != devices.end() && taken.count(Resolved(*next)) != 0) {
      ++next;
    }
    if (next == devices.end()) {
      break;
    }
    entries[n] = *next++;
  }
#endif
  return entries;
}

std::string PortMap::DevicePath(int portNumber) const {
#ifdef _WIN32
  // The device namespace reaches every COM number, also those above the listed 16.
  if (portNumber >= 1) {
    return "\\\\.\\COM" + std::to_string(portNumber);
  }
#endif
  if (portNumber < 1 || portNumber > kMaxMappedPort) {
    return std::string();
  }
  std::map<int, std::string> entries = EntriesUpTo(portNumber);
  auto it = entries.find(portNumber);
  return it == entries.end() ? std::string() : it->second;
}

std::vector<int> PortMap::ScanPorts() const {
  std::vector<int> free;
  for (const auto& [n, path] : Entries()) {
    if (SerialPort::CanOpenExclusively(path)) {
      free.push_back(n);
    }
  }
  return free;
}

std::vector<PortMap::ScannedPort> PortMap::ScanPortList(const OpenCheck& check) const {
  std::vector<ScannedPort> shown;
  for (const auto& [n, path] : Entries()) {
    const PortAccess access = ClassifyOpenError(check(path));
    if (ShownInPortList(access)) {
      shown.push_back({n, path, access});
    }
  }
  return shown;
}

std::string PortMap::ProductName(int portNumber) const {
  std::string path = DevicePath(portNumber);
  if (path.empty()) {
    return std::string();
  }
  std::string sysfsRoot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sysfsRoot = sysfsRoot_;
  }
  return UsbProductName(path, sysfsRoot);
}

PortMap& GlobalPortMap() {
  static PortMap map;
  return map;
}

std::vector<int> ScanPorts() {
  return GlobalPortMap().ScanPorts();
}

}  // namespace fw
