#include "serial/PortMap.h"

namespace fw {

void PortMap::SetExplicit(int portNumber, const std::string& devicePath) {
  std::lock_guard<std::mutex> lock(mutex_);
  explicit_[portNumber] = devicePath;
}

void PortMap::ClearExplicit() {
  std::lock_guard<std::mutex> lock(mutex_);
  explicit_.clear();
}

std::string PortMap::DevicePath(int portNumber) const {
#ifdef _WIN32
  return "\\\\.\\COM" + std::to_string(portNumber);
#else
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = explicit_.find(portNumber);
  return it == explicit_.end() ? std::string() : it->second;
#endif
}

std::map<int, std::string> PortMap::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return explicit_;
}

PortMap& GlobalPortMap() {
  static PortMap map;
  return map;
}

}  // namespace fw
